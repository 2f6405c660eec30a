#include "ui/SettingsDialog.h"

#include "dv/DvAviReader.h"
#include "resources/ResourceIds.h"
#include "settings/FormatLists.h"
#include "settings/SettingsDefaults.h"
#include "settings/SettingsStore.h"
#include "text/TextRoutines.h"
#include "ui/AboutBox.h"
#include "ui/ControlText.h"
#include "ui/DialogState.h"
#include "ui/HelpFile.h"
#include "ui/Pages.h"
#include "ui/SettingsPreview.h"

#include <commctrl.h>

#include <cstring>
#include <new>

namespace camtag {

namespace {

constexpr int kPreviewClientWidth = kPreviewFrameWidth;
constexpr int kPreviewOuterHeight = 270;
constexpr int kShowDurationChars = 8;

// One of the module's page templates; they stay loaded for the life of the module. Null when
// the module has no such template.
const DLGTEMPLATE* PageTemplate(HINSTANCE module, int id) {
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5)); // RT_DIALOG
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    return loaded ? static_cast<const DLGTEMPLATE*>(LockResource(loaded)) : nullptr;
}

HWND Preview(HWND dialog) {
    return GetDlgItem(dialog, IDC_SETTINGS_PREVIEW);
}

void RedrawPreview(HWND dialog) {
    HWND preview = Preview(dialog);
    InvalidateRect(preview, nullptr, FALSE);
    UpdateWindow(preview);
}

void ShowCurrentPage(HWND dialog, DialogState& state) {
    PageSet& pages = state.pages;
    const int index = TabCtrl_GetCurSel(pages.tabControl);
    if (pages.currentPage) {
        DestroyWindow(pages.currentPage);
        pages.currentPage = nullptr;
    }
    if (index < 0 || index >= kTabCount || !pages.templates[index] || !pages.procedures[index])
        return;
    pages.currentPage = CreateDialogIndirectParamA(state.module, pages.templates[index], dialog,
                                                   pages.procedures[index], 0);
}

// Makes the tabs and the page on show anew (the "Content" page follows the mode), keeping the tab.
void BuildPages(HWND dialog, DialogState& state) {
    int selected = 0;
    if (state.pages.tabControl) {
        selected = TabCtrl_GetCurSel(state.pages.tabControl);
        if (state.pages.currentPage)
            DestroyWindow(state.pages.currentPage);
    }
    state.pages = PageSet{};
    PageSet* pages = &state.pages;
    pages->tabControl = GetDlgItem(dialog, IDC_SETTINGS_TABS);

    TabCtrl_DeleteAllItems(pages->tabControl);
    const char* labels[kTabCount] = {"Content", "Format", "Position"};
    for (int i = 0; i < kTabCount; ++i) {
        TCITEMA item{};
        item.mask = TCIF_TEXT | TCIF_IMAGE;
        item.pszText = const_cast<char*>(labels[i]);
        item.iImage = -1;
        SendMessageA(pages->tabControl, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
    }

    // The "Content" tab follows the mode; a mode of neither kind has no content page.
    if (state.working.mode == kModeDateTime) {
        pages->templates[0] = PageTemplate(state.module, IDD_DATETIME_PAGE);
        pages->procedures[0] = DateTimePageProc;
    } else if (state.working.mode == kModeTimecode) {
        pages->templates[0] = PageTemplate(state.module, IDD_TIMECODE_PAGE);
        pages->procedures[0] = TimecodePageProc;
    }
    pages->templates[1] = PageTemplate(state.module, IDD_FORMAT_PAGE);
    pages->procedures[1] = FormatPageProc;
    pages->templates[2] = PageTemplate(state.module, IDD_POSITION_PAGE);
    pages->procedures[2] = PositionPageProc;

    RECT area{};
    GetClientRect(pages->tabControl, &area);
    MapWindowPoints(pages->tabControl, dialog, reinterpret_cast<POINT*>(&area), 2);
    TabCtrl_AdjustRect(pages->tabControl, FALSE, &area);
    area.left -= 2;
    pages->pageRect = area;

    TabCtrl_SetCurSel(pages->tabControl, selected < 0 ? 0 : selected);
    ShowCurrentPage(dialog, state);
}

// The preview becomes 360 pixels wide inside its edge and 270 pixels tall outside, and is drawn
// by the dialog (owner-drawn).
void SizePreview(HWND dialog) {
    HWND preview = Preview(dialog);
    RECT outer{};
    RECT inner{};
    GetWindowRect(preview, &outer);
    GetClientRect(preview, &inner);
    POINT topLeft{outer.left, outer.top};
    ScreenToClient(dialog, &topLeft);
    const int edges = (outer.right - outer.left) - (inner.right - inner.left);
    SetWindowPos(preview, nullptr, topLeft.x, topLeft.y, kPreviewClientWidth + edges,
                 kPreviewOuterHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    const LONG_PTR style = GetWindowLongPtrA(preview, GWL_STYLE);
    SetWindowLongPtrA(preview, GWL_STYLE,
                      (style & ~static_cast<LONG_PTR>(SS_TYPEMASK)) | SS_OWNERDRAW);
}

void OnInitDialog(HWND dialog, DialogState& state) {
    state.dialogReady = false;
    state.handCursor =
        static_cast<HCURSOR>(LoadImageA(state.module, MAKEINTRESOURCEA(IDR_HAND_CURSOR),
                                        IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    FilterSettings& working = state.working;
    if (working.dvSource) {
        // A record from a damaged project may hold an unterminated path.
        const FieldText<sizeof working.sourcePath> path(working.sourcePath);
        state.reader.reset(new (std::nothrow) DvAviReader(path.text));
    }

    SetControlNumber(dialog, IDC_SETTINGS_SHOWDURATION, static_cast<int32_t>(working.showduration));

    if (!(working.dvSource && state.reader && state.reader->isOpen &&
          state.reader->GetRecordingTime(static_cast<uint32_t>(working.startFrame), &state.moment)))
        state.moment = SampleMoment();

    HWND mode = GetDlgItem(dialog, IDC_SETTINGS_MODE);
    SendMessageA(mode, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Date and Time of shooting"));
    SendMessageA(mode, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Timecode"));
    SendMessageA(mode, CB_SETCURSEL, static_cast<WPARAM>(working.mode), 0);
    EnableWindow(mode, working.dvSource != 0);

    BuildPages(dialog, state);

    CheckDlgButton(dialog, IDC_SETTINGS_SAVEDEFAULT,
                   SettingsStore::ReadDword("sad", 1) != 0 ? BST_CHECKED : BST_UNCHECKED);
    SizePreview(dialog);
    state.dialogReady = true;
}

void OnPreviewClick(HWND dialog, DialogState& state) {
    FilterSettings& working = state.working;
    POINT cursor{};
    GetCursorPos(&cursor);
    RECT outer{};
    GetWindowRect(Preview(dialog), &outer);
    if (!(outer.left + 1 < cursor.x && cursor.x < outer.right - 1 && outer.top + 1 < cursor.y &&
          cursor.y < outer.bottom - 1))
        return;
    // The cursor's place in the client area as fractions of it; the inner right and bottom
    // edge pixels stay inside the frame.
    const double x =
        static_cast<double>(cursor.x - outer.left - 2) / (outer.right - outer.left - 4);
    const double y = static_cast<double>(cursor.y - outer.top - 2) / (outer.bottom - outer.top - 4);
    working.x = FractionInsideFrame(x, working.frameWidth);
    working.y = FractionInsideFrame(y, working.frameHeight);

    // The position page takes the new place in whole pixels through its own edits.
    const PageSet& pages = state.pages;
    const int tab = TabCtrl_GetCurSel(pages.tabControl);
    if (pages.currentPage && tab >= 0 && tab < kTabCount &&
        pages.procedures[tab] == PositionPageProc) {
        SetControlNumber(pages.currentPage, IDC_POSITION_X,
                         static_cast<int64_t>(PixelOf(working.x, working.frameWidth)));
        SetControlNumber(pages.currentPage, IDC_POSITION_Y,
                         static_cast<int64_t>(PixelOf(working.y, working.frameHeight)));
    }
    RedrawPreview(dialog);
}

void OnModeChange(HWND dialog, DialogState& state) {
    const LRESULT selected = SendDlgItemMessageA(dialog, IDC_SETTINGS_MODE, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR)
        return;
    state.working.mode = static_cast<int32_t>(selected);
    BuildPages(dialog, state);
    RedrawPreview(dialog);
}

void OnShowDurationChange(HWND dialog, DialogState& state) {
    if (!state.dialogReady)
        return;
    state.working.showduration =
        static_cast<uint32_t>(ControlNumber(dialog, IDC_SETTINGS_SHOWDURATION, kShowDurationChars));
}

void SaveDefaults(HWND dialog, const DialogState& state) {
    const bool save = IsDlgButtonChecked(dialog, IDC_SETTINGS_SAVEDEFAULT) == BST_CHECKED;
    SettingsStore::WriteDword("sad", save ? 1 : 0);
    if (!save)
        return;
    SaveAsDefault(state.working);
}

void OnOk(HWND dialog, DialogState& state) {
    ClampPictureIndexes(state.working);
    *state.edited = state.working;
    SaveDefaults(dialog, state);
    EndDialog(dialog, IDOK);
}

// The page windows are children of the dialog and go with it, after this; the state itself
// lives until the dialog box returns.
void OnDestroy(DialogState& state) {
    state.dialogReady = false;
    if (state.fontButtonFont) {
        DeleteObject(state.fontButtonFont);
        state.fontButtonFont = nullptr;
    }
    state.reader.reset();
}

INT_PTR OnCommand(HWND dialog, DialogState& state, WORD id, WORD code) {
    switch (id) {
    case IDOK:
        OnOk(dialog, state);
        return TRUE;
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    case IDC_SETTINGS_HELP:
        ShowHelpTopic(dialog, kHelpTopicSettings);
        return TRUE;
    case IDC_SETTINGS_ABOUT:
        ShowAboutBox(dialog);
        return TRUE;
    case IDC_SETTINGS_PREVIEW:
        if (code != STN_CLICKED)
            return FALSE;
        OnPreviewClick(dialog, state);
        return TRUE;
    case IDC_SETTINGS_MODE:
        if (code != CBN_SELCHANGE)
            return FALSE;
        OnModeChange(dialog, state);
        return TRUE;
    case IDC_SETTINGS_SHOWDURATION:
        if (code != EN_CHANGE)
            return FALSE;
        OnShowDurationChange(dialog, state);
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* state = reinterpret_cast<DialogState*>(lParam);
        SetWindowLongPtrA(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
        if (state)
            OnInitDialog(dialog, *state);
        return TRUE;
    }
    DialogState* state = DialogStateOf(dialog);
    if (!state)
        return FALSE;
    switch (message) {
    case WM_DESTROY:
        OnDestroy(*state);
        return TRUE;
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (wParam != IDC_SETTINGS_PREVIEW || !item)
            return FALSE;
        PaintPreview(*state, *item);
        return TRUE;
    }
    case WM_SETCURSOR:
        // The hand over the preview only: the static window class keeps its own cursor.
        if (reinterpret_cast<HWND>(wParam) != Preview(dialog) || !state->handCursor)
            return FALSE;
        SetCursor(state->handCursor);
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (!header || header->idFrom != IDC_SETTINGS_TABS ||
            header->hwndFrom != state->pages.tabControl ||
            header->code != static_cast<UINT>(TCN_SELCHANGE))
            return FALSE;
        ShowCurrentPage(dialog, *state);
        return TRUE;
    }
    case WM_COMMAND:
        return OnCommand(dialog, *state, LOWORD(wParam), HIWORD(wParam));
    default:
        return FALSE;
    }
}

} // namespace

void PlacePage(HWND page, const DialogState& state) {
    const RECT& r = state.pages.pageRect;
    SetWindowPos(page, HWND_TOP, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_SHOWWINDOW);
    const FieldText<sizeof state.working.title> title(state.working.title);
    SetDlgItemTextA(page, IDC_PAGE_TITLE, title.text);
    // The adjustment's six parts, each sign-extended from its width in the record.
    const uint32_t date = static_cast<uint32_t>(state.working.dateadjust);
    const uint32_t time = static_cast<uint32_t>(state.working.timeadjust);
    SetControlNumber(page, IDC_ADJUST_YEARS, static_cast<int16_t>(date >> 16));
    SetControlNumber(page, IDC_ADJUST_MONTHS, static_cast<int8_t>(date >> 8));
    SetControlNumber(page, IDC_ADJUST_DAYS, static_cast<int8_t>(date));
    SetControlNumber(page, IDC_ADJUST_HOURS, static_cast<int8_t>(time >> 16));
    SetControlNumber(page, IDC_ADJUST_MINUTES, static_cast<int8_t>(time >> 8));
    SetControlNumber(page, IDC_ADJUST_SECONDS, static_cast<int8_t>(time));
}

void RefreshPreview(HWND page) {
    RedrawPreview(GetParent(page));
}

INT_PTR RunSettingsDialog(HINSTANCE module, HWND owner, HostRecordHandle record,
                          FilterSettings& edited) {
    // The tab and up-down controls; the host may not have registered them.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
    DialogState state(module, record, edited);
    return DialogBoxParamA(module, MAKEINTRESOURCEA(IDD_SETTINGS), owner, SettingsDialogProc,
                           reinterpret_cast<LPARAM>(&state));
}

} // namespace camtag
