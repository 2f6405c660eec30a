// What one open settings dialog works on. The dialog's runner makes it, passes it as the dialog's
// lParam, and the dialog keeps it in its user data; the pages reach it through their parent. It
// lives until the dialog box returns, so every window of the dialog can use it to the end.
#pragma once

#include "host/HostInterface.h"
#include "settings/FilterSettings.h"

#include <windows.h>

#include <memory>

namespace camtag {

class DvAviReader;

constexpr int kTabCount = 3;

// The tab pages: the tab control, the page on show and what each tab's page is made from.
struct PageSet {
    HWND tabControl = nullptr;
    HWND currentPage = nullptr;
    RECT pageRect{}; // where pages go, in the settings dialog's client coordinates
    const DLGTEMPLATE* templates[kTabCount] = {};
    DLGPROC procedures[kTabCount] = {};
};

struct DialogState {
    DialogState(HINSTANCE module, HostRecordHandle record, FilterSettings& edited);
    ~DialogState();
    DialogState(const DialogState&) = delete;
    DialogState& operator=(const DialogState&) = delete;

    // The module whose templates and cursor the dialog shows.
    HINSTANCE module;
    // The host's record of the instance: the preview asks the host for the clip's frame through it.
    HostRecordHandle record;
    // The settings the dialog was opened with, which OK overwrites with the working copy.
    FilterSettings* edited;
    // The copy every page edits; OK copies it back.
    FilterSettings working{};
    // The moment the preview and the picture lists show: the recording time of the clip's first
    // frame, or the sample moment.
    SYSTEMTIME moment{};
    // A reader on the clip's source file while the dialog is open (DV sources only), or null.
    std::unique_ptr<DvAviReader> reader;
    // The pointing hand over the preview and the colour swatches, or null (a shared cursor).
    HCURSOR handCursor = nullptr;
    // The display font of the format page's "Font..." button, or null.
    HFONT fontButtonFont = nullptr;
    PageSet pages;
    // Set once the dialog has started: the show duration the dialog writes into its edit is never
    // read back (a value of 9 or more digits, read back by its first 8 characters, would be cut).
    bool dialogReady = false;
    // Set once the page on show has started: the texts a page writes into its own edits are never
    // read back (a stored part of -100, read back by its first 3 characters, would become -10).
    bool pageReady = false;
};

// The state of the settings dialog, or null before its WM_INITDIALOG.
inline DialogState* DialogStateOf(HWND dialog) {
    return reinterpret_cast<DialogState*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
}
// The state of the settings dialog a page belongs to.
inline DialogState* PageStateOf(HWND page) {
    return DialogStateOf(GetParent(page));
}

// Tuesday, 7 May 2002, 09:03:07.000: what the preview shows when no recording time is known.
SYSTEMTIME SampleMoment();

} // namespace camtag
