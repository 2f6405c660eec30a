#include "ui/SettingsDialog.h"

#include "dv/DvAviReader.h"
#include "host/ModuleState.h"
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

constexpr int kTabCount = 3;
constexpr int kPreviewClientWidth = kPreviewFrameWidth;
constexpr int kPreviewOuterHeight = 270;
constexpr int kShowDurationChars = 8;
constexpr INT_PTR kResultOk = 1;
constexpr INT_PTR kResultCancel = 2;

// Set once the dialog has started: the show duration the dialog writes into its edit is never
// read back (a value of 9 or more digits, read back by its first 8 characters, would be cut).
bool dialogReady = false;

// The tab pages: the record kept in the settings dialog's user data while it is open.
struct PageSet {
    HWND tabControl;
    HWND currentPage;
    RECT pageRect; // where pages go, in the settings dialog's client coordinates
    const DLGTEMPLATE* templates[kTabCount];
    DLGPROC procedures[kTabCount];
};

PageSet* PagesOf(HWND dialog) { return reinterpret_cast<PageSet*>(GetWindowLongPtrA(dialog, GWLP_USERDATA)); }

// One of the module's page templates; they stay loaded for the life of the module. Null when
// the module has no such template.
const DLGTEMPLATE* PageTemplate(int id) {
    HRSRC found = FindResourceA(moduleInstance, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5)); // RT_DIALOG
    HGLOBAL loaded = found ? LoadResource(moduleInstance, found) : nullptr;
    return loaded ? static_cast<const DLGTEMPLATE*>(LockResource(loaded)) : nullptr;
}

HWND Preview(HWND dialog) { return GetDlgItem(dialog, IDC_SETTINGS_PREVIEW); }

void RedrawPreview(HWND dialog) {
    HWND preview = Preview(dialog);
    InvalidateRect(preview, nullptr, FALSE);
    UpdateWindow(preview);
}

void ShowCurrentPage(HWND dialog) {
    PageSet* pages = PagesOf(dialog);
    if (!pages) return;
    const int index = TabCtrl_GetCurSel(pages->tabControl);
    if (pages->currentPage) {
        DestroyWindow(pages->currentPage);
        pages->currentPage = nullptr;
    }
    if (index < 0 || index >= kTabCount || !pages->templates[index] || !pages->procedures[index]) return;
    pages->currentPage =
        CreateDialogIndirectParamA(moduleInstance, pages->templates[index], dialog, pages->procedures[index], 0);
}

void BuildPages(HWND dialog) {
    int selected = 0;
    if (PageSet* old = PagesOf(dialog)) {
        selected = TabCtrl_GetCurSel(old->tabControl);
        if (old->currentPage) DestroyWindow(old->currentPage);
        SetWindowLongPtrA(dialog, GWLP_USERDATA, 0);
        delete old;
    }
    auto* pages = new (std::nothrow) PageSet{};
    if (!pages) return;
    SetWindowLongPtrA(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pages));
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
    if (workingSettings.mode == kModeDateTime) {
        pages->templates[0] = PageTemplate(IDD_DATETIME_PAGE);
        pages->procedures[0] = DateTimePageProc;
    } else if (workingSettings.mode == kModeTimecode) {
        pages->templates[0] = PageTemplate(IDD_TIMECODE_PAGE);
        pages->procedures[0] = TimecodePageProc;
    }
    pages->templates[1] = PageTemplate(IDD_FORMAT_PAGE);
    pages->procedures[1] = FormatPageProc;
    pages->templates[2] = PageTemplate(IDD_POSITION_PAGE);
    pages->procedures[2] = PositionPageProc;

    RECT area{};
    GetClientRect(pages->tabControl, &area);
    MapWindowPoints(pages->tabControl, dialog, reinterpret_cast<POINT*>(&area), 2);
    TabCtrl_AdjustRect(pages->tabControl, FALSE, &area);
    area.left -= 2;
    pages->pageRect = area;

    TabCtrl_SetCurSel(pages->tabControl, selected < 0 ? 0 : selected);
    ShowCurrentPage(dialog);
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
    SetWindowPos(preview, nullptr, topLeft.x, topLeft.y, kPreviewClientWidth + edges, kPreviewOuterHeight,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    const LONG_PTR style = GetWindowLongPtrA(preview, GWL_STYLE);
    SetWindowLongPtrA(preview, GWL_STYLE, (style & ~static_cast<LONG_PTR>(SS_TYPEMASK)) | SS_OWNERDRAW);
}

void CloseReader() {
    delete previewReader;
    previewReader = nullptr;
}

void OnInitDialog(HWND dialog) {
    dialogReady = false;
    SetWindowLongPtrA(dialog, GWLP_USERDATA, 0);
    handCursor = static_cast<HCURSOR>(LoadImageA(moduleInstance, MAKEINTRESOURCEA(IDR_HAND_CURSOR), IMAGE_CURSOR, 0,
                                                 0, LR_DEFAULTSIZE | LR_SHARED));
    if (editedSettings) workingSettings = *editedSettings;

    CloseReader();
    if (workingSettings.dvSource) {
        // A record from a damaged project may hold an unterminated path.
        const FieldText<sizeof workingSettings.sourcePath> path(workingSettings.sourcePath);
        previewReader = new (std::nothrow) DvAviReader(path.text);
    }

    SetControlNumber(dialog, IDC_SETTINGS_SHOWDURATION, static_cast<int32_t>(workingSettings.showduration));

    if (!(workingSettings.dvSource && previewReader && previewReader->isOpen &&
          previewReader->GetRecordingTime(static_cast<uint32_t>(workingSettings.startFrame), &previewDateTime)))
        previewDateTime = SampleMoment();

    HWND mode = GetDlgItem(dialog, IDC_SETTINGS_MODE);
    SendMessageA(mode, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Date and Time of shooting"));
    SendMessageA(mode, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Timecode"));
    SendMessageA(mode, CB_SETCURSEL, static_cast<WPARAM>(workingSettings.mode), 0);
    EnableWindow(mode, workingSettings.dvSource != 0);

    BuildPages(dialog);

    CheckDlgButton(dialog, IDC_SETTINGS_SAVEDEFAULT,
                   SettingsStore::ReadDword("sad", 1) != 0 ? BST_CHECKED : BST_UNCHECKED);
    fontButtonFont = nullptr;
    SizePreview(dialog);
    dialogReady = true;
}

void OnPreviewClick(HWND dialog) {
    if (!instanceHandle) return;
    POINT cursor{};
    GetCursorPos(&cursor);
    RECT outer{};
    GetWindowRect(Preview(dialog), &outer);
    if (!(outer.left + 1 < cursor.x && cursor.x < outer.right - 1 && outer.top + 1 < cursor.y &&
          cursor.y < outer.bottom - 1))
        return;
    // The cursor's place in the client area as fractions of it; the inner right and bottom
    // edge pixels stay inside the frame.
    const double x = static_cast<double>(cursor.x - outer.left - 2) / (outer.right - outer.left - 4);
    const double y = static_cast<double>(cursor.y - outer.top - 2) / (outer.bottom - outer.top - 4);
    workingSettings.x = FractionInsideFrame(x, workingSettings.frameWidth);
    workingSettings.y = FractionInsideFrame(y, workingSettings.frameHeight);

    // The position page takes the new place in whole pixels through its own edits.
    PageSet* pages = PagesOf(dialog);
    const int tab = pages ? TabCtrl_GetCurSel(pages->tabControl) : -1;
    if (pages && pages->currentPage && tab >= 0 && tab < kTabCount && pages->procedures[tab] == PositionPageProc) {
        SetControlNumber(pages->currentPage, IDC_POSITION_X,
                         static_cast<int64_t>(PixelOf(workingSettings.x, workingSettings.frameWidth)));
        SetControlNumber(pages->currentPage, IDC_POSITION_Y,
                         static_cast<int64_t>(PixelOf(workingSettings.y, workingSettings.frameHeight)));
    }
    RedrawPreview(dialog);
}

void OnModeChange(HWND dialog) {
    if (!instanceHandle) return;
    const LRESULT selected = SendDlgItemMessageA(dialog, IDC_SETTINGS_MODE, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR) return;
    workingSettings.mode = static_cast<int32_t>(selected);
    BuildPages(dialog);
    RedrawPreview(dialog);
}

void OnShowDurationChange(HWND dialog) {
    if (!dialogReady) return;
    workingSettings.showduration =
        static_cast<uint32_t>(ControlNumber(dialog, IDC_SETTINGS_SHOWDURATION, kShowDurationChars));
}

void SaveDefaults(HWND dialog) {
    if (!instanceHandle) return;
    const bool save = IsDlgButtonChecked(dialog, IDC_SETTINGS_SAVEDEFAULT) == BST_CHECKED;
    SettingsStore::WriteDword("sad", save ? 1 : 0);
    if (!save) return;
    SaveAsDefault(workingSettings);
}

void OnOk(HWND dialog) {
    if (editedSettings) {
        ClampPictureIndexes(workingSettings);
        *editedSettings = workingSettings;
    }
    SaveDefaults(dialog);
    EndDialog(dialog, kResultOk);
}

void OnDestroy(HWND dialog) {
    dialogReady = false;
    if (fontButtonFont) {
        DeleteObject(fontButtonFont);
        fontButtonFont = nullptr;
    }
    // The page windows are children of the dialog and go with it.
    delete PagesOf(dialog);
    SetWindowLongPtrA(dialog, GWLP_USERDATA, 0);
    CloseReader();
}

INT_PTR OnCommand(HWND dialog, WORD id, WORD code) {
    switch (id) {
    case IDOK:
        OnOk(dialog);
        return TRUE;
    case IDCANCEL:
        EndDialog(dialog, kResultCancel);
        return TRUE;
    case IDC_SETTINGS_HELP:
        ShowHelpTopic(dialog, kHelpTopicSettings);
        return TRUE;
    case IDC_SETTINGS_ABOUT:
        ShowAboutBox(dialog);
        return TRUE;
    case IDC_SETTINGS_PREVIEW:
        if (code != STN_CLICKED) return FALSE;
        OnPreviewClick(dialog);
        return TRUE;
    case IDC_SETTINGS_MODE:
        if (code != CBN_SELCHANGE) return FALSE;
        OnModeChange(dialog);
        return TRUE;
    case IDC_SETTINGS_SHOWDURATION:
        if (code != EN_CHANGE) return FALSE;
        OnShowDurationChange(dialog);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

void PlacePage(HWND page) {
    PageSet* pages = PagesOf(GetParent(page));
    if (pages) {
        const RECT& r = pages->pageRect;
        SetWindowPos(page, HWND_TOP, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_SHOWWINDOW);
    }
    const FieldText<sizeof workingSettings.title> title(workingSettings.title);
    SetDlgItemTextA(page, IDC_PAGE_TITLE, title.text);
    // The adjustment's six parts, each sign-extended from its width in the record.
    const uint32_t date = static_cast<uint32_t>(workingSettings.dateadjust);
    const uint32_t time = static_cast<uint32_t>(workingSettings.timeadjust);
    SetControlNumber(page, IDC_ADJUST_YEARS, static_cast<int16_t>(date >> 16));
    SetControlNumber(page, IDC_ADJUST_MONTHS, static_cast<int8_t>(date >> 8));
    SetControlNumber(page, IDC_ADJUST_DAYS, static_cast<int8_t>(date));
    SetControlNumber(page, IDC_ADJUST_HOURS, static_cast<int8_t>(time >> 16));
    SetControlNumber(page, IDC_ADJUST_MINUTES, static_cast<int8_t>(time >> 8));
    SetControlNumber(page, IDC_ADJUST_SECONDS, static_cast<int8_t>(time));
}

void RefreshPreview(HWND page) { RedrawPreview(GetParent(page)); }

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
    {
        const auto* args = reinterpret_cast<const SettingsDialogArgs*>(lParam);
        instanceHandle = args ? args->record : nullptr;
        editedSettings = args ? args->edited : nullptr;
    }
        OnInitDialog(dialog);
        return TRUE;
    case WM_DESTROY:
        OnDestroy(dialog);
        return TRUE;
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (wParam != IDC_SETTINGS_PREVIEW || !item) return FALSE;
        PaintPreview(*item);
        return TRUE;
    }
    case WM_SETCURSOR:
        // The hand over the preview only: the static window class keeps its own cursor.
        if (reinterpret_cast<HWND>(wParam) != Preview(dialog) || !handCursor) return FALSE;
        SetCursor(handCursor);
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        PageSet* pages = PagesOf(dialog);
        if (!header || header->idFrom != IDC_SETTINGS_TABS || !pages || header->hwndFrom != pages->tabControl ||
            header->code != static_cast<UINT>(TCN_SELCHANGE))
            return FALSE;
        ShowCurrentPage(dialog);
        return TRUE;
    }
    case WM_COMMAND:
        return OnCommand(dialog, LOWORD(wParam), HIWORD(wParam));
    default:
        return FALSE;
    }
}

INT_PTR RunSettingsDialog(HINSTANCE module, HWND owner, HostRecordHandle record, FilterSettings& edited) {
    // The tab and up-down controls; the host may not have registered them.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
    SettingsDialogArgs args{record, &edited};
    return DialogBoxParamA(module, MAKEINTRESOURCEA(IDD_SETTINGS), owner, SettingsDialogProc,
                           reinterpret_cast<LPARAM>(&args));
}

} // namespace camtag
