#include "SettingsFile.h"

#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>

namespace camtag {

bool LoadSettingsFile(const std::wstring& path, FilterSettings& settings, std::string* error) {
    std::ifstream in(path.c_str(), std::ios::binary);
    if (!in) {
        *error = "cannot read the settings file";
        return false;
    }
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() != sizeof(FilterSettings)) {
        *error = "not a settings record (" + std::to_string(sizeof(FilterSettings)) + " bytes expected, " +
                 std::to_string(bytes.size()) + " found)";
        return false;
    }
    const FilterSettings clip = settings;
    std::memcpy(&settings, bytes.data(), sizeof settings);
    // What belongs to the clip at hand and its project, not to the look.
    std::memcpy(settings.sourcePath, clip.sourcePath, kClipBlockSize);
    settings.dvSource = clip.dvSource;
    settings.frameLeft = clip.frameLeft;
    settings.frameTop = clip.frameTop;
    settings.frameWidth = clip.frameWidth;
    settings.frameHeight = clip.frameHeight;
    settings.projectRateNumerator = clip.projectRateNumerator;
    settings.projectRateDenominator = clip.projectRateDenominator;
    settings.changeCount = clip.changeCount;
    return true;
}

bool SaveSettingsFile(const std::wstring& path, const FilterSettings& settings, std::string* error) {
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(&settings), sizeof settings);
    out.close();
    if (!out) {
        *error = "cannot write the settings file";
        return false;
    }
    return true;
}

namespace {

// The last OK or Cancel that reached the settings dialog, sent (a button, Enter, Esc) or posted
// (the close box); the module's setup answers the same after both.
DialogOutcome lastCommand = DialogOutcome::kNotShown;
HHOOK sentHook = nullptr;
HHOOK postedHook = nullptr;

void Note(HWND window, UINT message, WPARAM wParam) {
    if (message != WM_COMMAND || (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL)) return;
    WCHAR caption[64] = {};
    GetWindowTextW(window, caption, 64);
    if (lstrcmpW(caption, L"Camtag Settings") == 0)
        lastCommand = LOWORD(wParam) == IDOK ? DialogOutcome::kOk : DialogOutcome::kCancel;
}

LRESULT CALLBACK SentMessages(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
        Note(sent->hwnd, sent->message, sent->wParam);
    }
    return CallNextHookEx(sentHook, code, wParam, lParam);
}

LRESULT CALLBACK PostedMessages(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && wParam == PM_REMOVE) {
        const auto* posted = reinterpret_cast<const MSG*>(lParam);
        Note(posted->hwnd, posted->message, posted->wParam);
    }
    return CallNextHookEx(postedHook, code, wParam, lParam);
}

} // namespace

DialogOutcome RunSettingsDialog(FilterSession& session, std::vector<uint32_t> picture, int32_t width, int32_t height) {
    session.setClipPicture(std::move(picture), width, height);
    lastCommand = DialogOutcome::kNotShown;
    sentHook = SetWindowsHookExW(WH_CALLWNDPROC, SentMessages, nullptr, GetCurrentThreadId());
    postedHook = SetWindowsHookExW(WH_GETMESSAGE, PostedMessages, nullptr, GetCurrentThreadId());
    session.openSettings();
    if (sentHook) UnhookWindowsHookEx(sentHook);
    if (postedHook) UnhookWindowsHookEx(postedHook);
    sentHook = postedHook = nullptr;
    return lastCommand;
}

} // namespace camtag
