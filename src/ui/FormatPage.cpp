// The "Format" tab (template 123): font, text colour, transparency, alignment, and the outline,
// shadow and background box with their colours.
#include "resources/ResourceIds.h"
#include "ui/ControlText.h"
#include "ui/PageFields.h"
#include "ui/Pages.h"
#include "ui/UiGuards.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cstdio>
#include <initializer_list>

namespace camtag {

namespace {

constexpr int kTransparencyChars = 4;
constexpr DWORD kFontDialogFlags =
    CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_FORCEFONTEXIST | CF_TTONLY;
constexpr DWORD kColourDialogFlags = CC_RGBINIT | CC_FULLOPEN | CC_SHOWHELP;

// The colours the user keeps in the colour dialog: shared by every swatch of every settings
// dialog while the module is loaded.
COLORREF customColours[16] = {};

struct Swatch {
    int id;
    uint32_t FilterSettings::*colour;
};
constexpr Swatch kSwatches[] = {
    {IDC_FORMAT_TEXT_COLOR, &FilterSettings::color},
    {IDC_FORMAT_OUTLINE_COLOR, &FilterSettings::outlinecolor},
    {IDC_FORMAT_SHADOW_COLOR, &FilterSettings::colorshadow},
    {IDC_FORMAT_BACKGROUND_COLOR, &FilterSettings::colorbkground},
};

const Swatch* SwatchOf(int id) {
    for (const Swatch& s : kSwatches)
        if (s.id == id)
            return &s;
    return nullptr;
}

// The button shows the face, the size in points and the style, in an 8-point font of the face.
void ShowFontCaption(HWND page, DialogState& state) {
    if (state.fontButtonFont) {
        DeleteObject(state.fontButtonFont);
        state.fontButtonFont = nullptr;
    }
    WindowDc dc(page);
    const int dpi = GetDeviceCaps(dc.get(), LOGPIXELSY);
    LOGFONTA face = state.working.font;
    face.lfHeight = -MulDiv(8, dpi, 72);
    state.fontButtonFont = CreateFontIndirectA(&face);
    if (!state.fontButtonFont)
        return;
    const FieldText<sizeof face.lfFaceName> name(state.working.font.lfFaceName);
    // Room for the longest face name and any size: the caption is never cut.
    char caption[128];
    std::snprintf(caption, sizeof caption, "%s\n %d, %s%s", name.text,
                  -MulDiv(state.working.font.lfHeight, 72, dpi),
                  state.working.font.lfWeight == FW_BOLD ? "Bold" : "Normal",
                  state.working.font.lfItalic ? ", Italic" : "");
    SetDlgItemTextA(page, IDC_FORMAT_FONT, caption);
    SendDlgItemMessageA(page, IDC_FORMAT_FONT, WM_SETFONT,
                        reinterpret_cast<WPARAM>(state.fontButtonFont), TRUE);
}

void OnInitDialog(HWND page, DialogState& state) {
    state.pageReady = false;
    PlacePage(page, state);
    CheckDlgButton(page, IDC_FORMAT_OUTLINE,
                   state.working.drawoutline ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(page, IDC_FORMAT_SHADOW, state.working.drawshadow ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(page, IDC_FORMAT_BACKGROUND,
                   state.working.bkground ? BST_CHECKED : BST_UNCHECKED);
    ShowFontCaption(page, state);
    HWND align = GetDlgItem(page, IDC_FORMAT_ALIGN);
    for (const char* item : {"Left", "Center", "Right"})
        SendMessageA(align, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    const int32_t a = state.working.align;
    SendMessageA(align, CB_SETCURSEL, (a & 2) ? 2 : (a & 1) ? 1 : 0, 0);
    SendDlgItemMessageA(page, IDC_FORMAT_TRANSPARENCY_ARROWS, UDM_SETRANGE32, 0, 100);
    // As stored, typed values outside 0 to 100 included (shown as typed, never cut).
    SetControlNumber(page, IDC_FORMAT_TRANSPARENCY,
                     static_cast<int32_t>(state.working.transparency));
    for (const Swatch& s : kSwatches) {
        HWND swatch = GetDlgItem(page, s.id);
        SetWindowLongPtrA(swatch, GWL_STYLE, GetWindowLongPtrA(swatch, GWL_STYLE) | SS_OWNERDRAW);
    }
    state.pageReady = true;
}

void ChooseFontForOverlay(HWND page, DialogState& state) {
    LOGFONTA font = state.working.font; // the record's copy is not aligned for the dialog
    CHOOSEFONTA choice{};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = page;
    choice.lpLogFont = &font;
    choice.Flags = kFontDialogFlags;
    if (!ChooseFontA(&choice))
        return;
    state.working.font = font;
    ShowFontCaption(page, state);
    RefreshPreview(page);
}

void ChooseColourOf(HWND page, FilterSettings& working, const Swatch& swatch) {
    CHOOSECOLORA choice{};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = page;
    choice.rgbResult = working.*swatch.colour;
    choice.lpCustColors = customColours;
    choice.Flags = kColourDialogFlags;
    if (!ChooseColorA(&choice))
        return;
    working.*swatch.colour = choice.rgbResult;
    HWND control = GetDlgItem(page, swatch.id);
    InvalidateRect(control, nullptr, FALSE);
    UpdateWindow(control);
    RefreshPreview(page);
}

void DrawSwatch(const FilterSettings& working, const DRAWITEMSTRUCT& item) {
    const Swatch* swatch = SwatchOf(static_cast<int>(item.CtlID));
    if (!swatch)
        return;
    RECT frame = item.rcItem;
    DrawFrameControl(item.hDC, &frame, DFC_BUTTON, DFCS_BUTTONPUSH);
    RECT client{};
    GetClientRect(item.hwndItem, &client);
    const COLORREF colour = working.*swatch->colour;
    // Framed in the shadow colour of the dialog's face: a light colour would vanish on it.
    ScopedPen pen(CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW)));
    ScopedBrush brush(CreateSolidBrush(colour));
    ScopedSelect usePen(item.hDC, pen.get());
    ScopedSelect useBrush(item.hDC, brush.get());
    Rectangle(item.hDC, client.left, client.top, client.right, client.bottom);
}

INT_PTR OnCommand(HWND page, DialogState& state, WORD id, WORD code) {
    if (const Swatch* swatch = SwatchOf(id)) {
        if (code != STN_CLICKED)
            return FALSE;
        ChooseColourOf(page, state.working, *swatch);
        return TRUE;
    }
    switch (id) {
    case IDC_FORMAT_FONT:
        ChooseFontForOverlay(page, state);
        return TRUE;
    case IDC_FORMAT_ALIGN: {
        if (code != CBN_SELCHANGE)
            return FALSE;
        const LRESULT selected = SendDlgItemMessageA(page, id, CB_GETCURSEL, 0, 0);
        if (selected >= 0 && selected <= 2)
            state.working.align = static_cast<int32_t>(selected);
        RefreshPreview(page);
        return TRUE;
    }
    case IDC_FORMAT_OUTLINE:
    case IDC_FORMAT_SHADOW:
    case IDC_FORMAT_BACKGROUND: {
        if (code != BN_CLICKED)
            return FALSE;
        int32_t& field = id == IDC_FORMAT_OUTLINE  ? state.working.drawoutline
                         : id == IDC_FORMAT_SHADOW ? state.working.drawshadow
                                                   : state.working.bkground;
        field = Checked(page, id) ? 1 : 0;
        RefreshPreview(page);
        return TRUE;
    }
    case IDC_FORMAT_TRANSPARENCY:
        if (code != EN_CHANGE)
            return FALSE;
        if (state.pageReady) {
            state.working.transparency =
                static_cast<uint32_t>(ControlNumber(page, id, kTransparencyChars));
            RefreshPreview(page);
        }
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

INT_PTR CALLBACK FormatPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    DialogState* found = PageStateOf(page);
    if (!found)
        return FALSE;
    DialogState& state = *found;
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(page, state);
        return TRUE;
    case WM_COMMAND:
        return OnCommand(page, state, LOWORD(wParam), HIWORD(wParam));
    case WM_DRAWITEM:
        if (lParam)
            DrawSwatch(state.working, *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_SETCURSOR:
        // The hand over the colour swatches only; the static window class keeps its own cursor.
        if (!state.handCursor || !SwatchOf(GetDlgCtrlID(reinterpret_cast<HWND>(wParam))))
            return FALSE;
        SetCursor(state.handCursor);
        SetWindowLongPtrA(page, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_DESTROY:
        state.pageReady = false;
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace camtag
