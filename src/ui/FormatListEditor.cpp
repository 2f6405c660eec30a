#include "ui/FormatListEditor.h"

#include "host/ModuleState.h"
#include "resources/ResourceIds.h"
#include "settings/FormatLists.h"
#include "text/TextRoutines.h"
#include "ui/ControlText.h"
#include "ui/HelpFile.h"

#include <cstring>

namespace camtag {

namespace {

constexpr char kInvalidPicture[] = "Invalid format. See help.";

// The editor is modal: one working state for the module.
FormatList working = {};
bool editingTimes = false;

// The sample moment written with a picture, as the editor shows it beside the list: false when the
// system rejects the picture or its result does not fit 49 characters.
bool FormatSample(const char* picture, char (&out)[kFormattedChars]) {
    return FormatPictureSample(picture, editingTimes, out);
}

// The picture typed into the edit, whole; false when it is longer than a list keeps.
bool TypedPicture(HWND editor, char (&picture)[kFormatSlotSize + 1]) {
    char text[256];
    ControlText(editor, IDC_FORMATS_PICTURE, text, sizeof text, static_cast<int>(sizeof text) - 1);
    if (std::strlen(text) > kPictureMaxChars)
        return false;
    CopyBounded(picture, sizeof picture, text);
    return true;
}

void ShowExample(HWND editor) {
    char picture[kFormatSlotSize + 1];
    char example[kFormattedChars] = {};
    if (TypedPicture(editor, picture))
        FormatSample(picture, example);
    SetDlgItemTextA(editor, IDC_FORMATS_EXAMPLE, example);
}

// A picture for a slot, or null after telling the user why it cannot be taken.
bool AcceptedPicture(HWND editor, char (&picture)[kFormatSlotSize + 1]) {
    char formatted[kFormattedChars];
    if (TypedPicture(editor, picture) && FormatSample(picture, formatted))
        return true;
    MessageBoxA(editor, kInvalidPicture, "Error!", MB_ICONERROR);
    return false;
}

void SetButtons(HWND editor) {
    EnableWindow(GetDlgItem(editor, IDC_FORMATS_ADD), working.count < kFormatSlots);
    EnableWindow(GetDlgItem(editor, IDC_FORMATS_UPDATE), working.count > 2);
    EnableWindow(GetDlgItem(editor, IDC_FORMATS_REMOVE), working.count > 2);
}

HWND List(HWND editor) {
    return GetDlgItem(editor, IDC_FORMATS_LIST);
}

void LoadSelected(HWND editor) {
    HWND list = List(editor);
    const LRESULT selected = SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (SendMessageA(list, LB_GETCOUNT, 0, 0) <= 0 || selected == LB_ERR)
        return;
    char text[kFormatSlotSize + 1] = {};
    if (SendMessageA(list, LB_GETTEXTLEN, selected, 0) < static_cast<LRESULT>(sizeof text))
        SendMessageA(list, LB_GETTEXT, selected, reinterpret_cast<LPARAM>(text));
    SetDlgItemTextA(editor, IDC_FORMATS_PICTURE, text);
    ShowExample(editor);
}

void Fill(HWND editor) {
    HWND list = List(editor);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    for (uint32_t slot = 2; slot < working.count; ++slot) {
        const FieldText<kFormatSlotSize> picture(working.slots[slot]);
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(picture.text));
    }
    if (working.count > 2) {
        SendMessageA(list, LB_SETCURSEL, 0, 0);
        LoadSelected(editor);
    }
}

void OnInitDialog(HWND editor, LPARAM which) {
    editingTimes = which == IDC_DATETIME_EDIT_TIMES;
    working = editingTimes ? timeFormats : dateFormats;
    working.count = UsableCount(working);
    SetWindowTextA(editor, editingTimes ? "Time Format" : "Date Format");
    SetDlgItemTextA(editor, IDC_FORMATS_EXAMPLE, "");
    Fill(editor);
    SetButtons(editor);
}

void OnAdd(HWND editor) {
    if (working.count >= kFormatSlots)
        return;
    char picture[kFormatSlotSize + 1];
    if (!AcceptedPicture(editor, picture))
        return;
    const LRESULT items = SendMessageA(List(editor), LB_GETCOUNT, 0, 0);
    const uint32_t slot = static_cast<uint32_t>(items) + 2;
    if (items < 0 || slot >= kFormatSlots)
        return;
    std::memset(working.slots[slot], 0, kFormatSlotSize);
    std::memcpy(working.slots[slot], picture, std::strlen(picture));
    const LRESULT added =
        SendMessageA(List(editor), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(picture));
    SendMessageA(List(editor), LB_SETCURSEL, added, 0);
    ++working.count;
    SetButtons(editor);
}

void OnUpdate(HWND editor) {
    const LRESULT selected = SendMessageA(List(editor), LB_GETCURSEL, 0, 0);
    if (working.count <= 2 || selected == LB_ERR)
        return;
    char picture[kFormatSlotSize + 1];
    if (!AcceptedPicture(editor, picture))
        return;
    const uint32_t slot = static_cast<uint32_t>(selected) + 2;
    if (slot >= working.count)
        return;
    std::memset(working.slots[slot], 0, kFormatSlotSize);
    std::memcpy(working.slots[slot], picture, std::strlen(picture));
    SendMessageA(List(editor), LB_DELETESTRING, selected, 0);
    SendMessageA(List(editor), LB_INSERTSTRING, selected, reinterpret_cast<LPARAM>(picture));
    SendMessageA(List(editor), LB_SETCURSEL, selected, 0);
}

void OnRemove(HWND editor) {
    const LRESULT selected = SendMessageA(List(editor), LB_GETCURSEL, 0, 0);
    if (working.count <= 2 || selected == LB_ERR)
        return;
    const uint32_t slot = static_cast<uint32_t>(selected) + 2;
    if (slot >= working.count)
        return;
    SendMessageA(List(editor), LB_DELETESTRING, selected, 0);
    // Later pictures move up a slot: records that chose one of them now name the one before.
    for (uint32_t i = slot; i + 1 < working.count; ++i)
        std::memcpy(working.slots[i], working.slots[i + 1], kFormatSlotSize);
    std::memset(working.slots[working.count - 1], 0, kFormatSlotSize);
    --working.count;
    if (working.count > 2) {
        const LRESULT items = SendMessageA(List(editor), LB_GETCOUNT, 0, 0);
        SendMessageA(List(editor), LB_SETCURSEL, selected < items ? selected : items - 1, 0);
        LoadSelected(editor);
    }
    SetButtons(editor);
}

void OnOk(HWND editor) {
    (editingTimes ? timeFormats : dateFormats) = working;
    SaveFormatLists();
    EndDialog(editor, 1);
}

} // namespace

INT_PTR CALLBACK FormatListEditorProc(HWND editor, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(editor, lParam);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_FORMATS_PICTURE:
            if (HIWORD(wParam) != EN_CHANGE)
                return FALSE;
            ShowExample(editor);
            return TRUE;
        case IDC_FORMATS_LIST:
            if (HIWORD(wParam) != LBN_SELCHANGE)
                return FALSE;
            LoadSelected(editor);
            return TRUE;
        case IDC_FORMATS_ADD:
            OnAdd(editor);
            return TRUE;
        case IDC_FORMATS_UPDATE:
            OnUpdate(editor);
            return TRUE;
        case IDC_FORMATS_REMOVE:
            OnRemove(editor);
            return TRUE;
        case IDC_FORMATS_HELP:
            ShowHelpTopic(editor, kHelpTopicFormats);
            return TRUE;
        case IDOK:
            OnOk(editor);
            return TRUE;
        case IDCANCEL:
            EndDialog(editor, 2);
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}

INT_PTR EditFormatList(HWND owner, int which) {
    return DialogBoxParamA(moduleInstance, MAKEINTRESOURCEA(IDD_FORMAT_LIST), owner,
                           FormatListEditorProc, which);
}

} // namespace camtag
