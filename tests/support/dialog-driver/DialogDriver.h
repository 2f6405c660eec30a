// Drives the module's real modal dialogs as a user would: a thread timer runs a script of steps
// inside the dialogs' own modal loops, where each step clicks, types, picks items and tabs, or
// looks at what the windows show. A step that waits for something (a window to open) returns
// false and is tried again at the next tick. Used by the UI tests and the screenshot tool.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace camtag {

struct DialogSearch {
    const wchar_t* caption;
    HWND found;
};

inline BOOL CALLBACK MatchDialog(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<DialogSearch*>(param);
    WCHAR text[256] = {};
    WCHAR cls[32] = {};
    GetClassNameW(window, cls, 32);
    GetWindowTextW(window, text, 256);
    if (IsWindowVisible(window) && lstrcmpW(cls, L"#32770") == 0 &&
        lstrcmpW(text, search->caption) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// A visible top-level dialog of this thread with exactly this caption, or null.
inline HWND FindThreadDialog(const wchar_t* caption) {
    DialogSearch search{caption, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Asks a dialog to close: Cancel, then OK for those that only close on OK.
inline BOOL CALLBACK CloseDialog(HWND window, LPARAM) {
    PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    PostMessageW(window, WM_COMMAND, IDOK, 0);
    return TRUE;
}

inline std::string WindowText(HWND window) {
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

inline std::string ControlText(HWND dialog, int id) {
    return WindowText(GetDlgItem(dialog, id));
}

// A button press, as the user's click makes it (posted: a press that opens a modal dialog must
// not block the script).
inline void Click(HWND dialog, int id) {
    PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

// Replaces an edit's text (the edit reports the change as typing does).
inline void SetText(HWND dialog, int id, const char* text) {
    SetDlgItemTextA(dialog, id, text);
}

// Types characters into a control, one at a time, at its caret.
inline void Type(HWND dialog, int id, const char* text) {
    HWND control = GetDlgItem(dialog, id);
    for (const char* c = text; *c; ++c)
        SendMessageA(control, WM_CHAR, static_cast<unsigned char>(*c), 1);
}

// Picks an item of a drop-down list as the user's choice does: the selection, then its
// notification to the list's owner.
inline void PickItem(HWND dialog, int id, int index) {
    HWND list = GetDlgItem(dialog, id);
    SendMessageA(list, CB_SETCURSEL, index, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

// Picks a tab as a click on it does (the tab control tells its owner of the change).
inline void PickTab(HWND dialog, int tabControlId, int index) {
    SendMessageA(GetDlgItem(dialog, tabControlId), TCM_SETCURFOCUS, index, 0);
}

inline void PressKey(HWND window, UINT key) {
    PostMessageW(window, WM_KEYDOWN, key, 1);
    PostMessageW(window, WM_KEYUP, key, 0xC0000001);
}

// The script. One runs at a time; it must be started before the call that opens the dialog and
// outlive it.
class DialogScript {
public:
    using Step = std::function<bool()>;

    DialogScript() = default;
    ~DialogScript() { Stop(); }
    DialogScript(const DialogScript&) = delete;
    DialogScript& operator=(const DialogScript&) = delete;

    // A step that may have to wait: true when done.
    DialogScript& Until(Step step) {
        steps_.push_back(std::move(step));
        return *this;
    }
    // A step that is done at once.
    DialogScript& Then(std::function<void()> action) {
        steps_.push_back([action] {
            action();
            return true;
        });
        return *this;
    }
    // Waits for the dialog with this caption and keeps its window in *window.
    DialogScript& WaitFor(const wchar_t* caption, HWND* window) {
        return Until(
            [caption, window] { return (*window = FindThreadDialog(caption)) != nullptr; });
    }
    // Waits until the dialog with this caption is gone.
    DialogScript& WaitGone(const wchar_t* caption) {
        return Until([caption] { return FindThreadDialog(caption) == nullptr; });
    }

    void Start(UINT interval = 15) {
        current_ = this;
        timer_ = SetTimer(nullptr, 0, interval, Tick);
    }
    void Stop() {
        if (timer_)
            KillTimer(nullptr, timer_);
        timer_ = 0;
        if (current_ == this)
            current_ = nullptr;
    }
    bool Completed() const { return next_ == steps_.size(); }
    // Told when a step waited in vain (the script then cancels every dialog of the thread).
    void OnGiveUp(std::function<void(const std::string&)> report) { giveUp_ = std::move(report); }

private:
    static constexpr int kPatience = 400; // ticks one step may wait

    static VOID CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        DialogScript* script = current_;
        if (!script || script->running_)
            return;
        script->running_ = true;
        script->Advance();
        script->running_ = false;
    }

    void Advance() {
        if (next_ >= steps_.size())
            return;
        if (steps_[next_]()) {
            ++next_;
            waited_ = 0;
            return;
        }
        if (++waited_ < kPatience)
            return;
        const std::string why = "dialog script step " + std::to_string(next_) + " waited in vain";
        if (giveUp_)
            giveUp_(why);
        else
            std::fprintf(stderr, "%s\n", why.c_str());
        next_ = steps_.size();
        // Let the call under test return: close every dialog of the thread.
        EnumThreadWindows(GetCurrentThreadId(), CloseDialog, 0);
    }

    static inline DialogScript* current_ = nullptr;
    std::vector<Step> steps_;
    size_t next_ = 0;
    int waited_ = 0;
    bool running_ = false;
    UINT_PTR timer_ = 0;
    std::function<void(const std::string&)> giveUp_;
};

} // namespace camtag
