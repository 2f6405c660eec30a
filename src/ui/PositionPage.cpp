// The "Position" tab (template 124): where the text stands (X and Y in whole pixels of the
// frame; the record keeps fractions, so a place survives a change of frame size), the order of
// the time and date lines, the single line, and the angle.
#include "resources/ResourceIds.h"
#include "ui/ControlText.h"
#include "ui/PageFields.h"
#include "ui/Pages.h"

#include <commctrl.h>

#include <cmath>

namespace camtag {

namespace {

// Enough for any 32-bit number: a position is read whole, never as its first digits.
constexpr int kPositionChars = 11;
constexpr int kAngleChars = 4;
constexpr int32_t kMaxAngle = 180;

struct Axis {
    int edit;
    int arrows;
    double FilterSettings::*fraction;
    int32_t FilterSettings::*size;
    int32_t FilterSettings::*minimum;
};
constexpr Axis kAxes[] = {
    {IDC_POSITION_X, IDC_POSITION_X_ARROWS, &FilterSettings::x, &FilterSettings::frameWidth,
     &FilterSettings::frameLeft},
    {IDC_POSITION_Y, IDC_POSITION_Y_ARROWS, &FilterSettings::y, &FilterSettings::frameHeight,
     &FilterSettings::frameTop},
};

// The whole pixel the stored fraction names, held to a pixel the page accepts; a fraction
// outside (a click on the preview's last pixel gives 1) is stored as that pixel, so that the
// page never shows a position it would refuse.
int32_t CurrentPixel(FilterSettings& working, const Axis& axis) {
    const int32_t size = working.*axis.size;
    const int32_t minimum = working.*axis.minimum;
    const double exact = PixelOf(working.*axis.fraction, size);
    int64_t pixel =
        exact == exact && exact > -1e12 && exact < 1e12 ? static_cast<int64_t>(exact) : minimum;
    if (pixel < minimum)
        pixel = minimum;
    if (pixel > int64_t{size} - 1)
        pixel = int64_t{size} - 1;
    if (pixel != exact)
        working.*axis.fraction = static_cast<double>(pixel) / size;
    return static_cast<int32_t>(pixel);
}

// Whether the page can show a position at all: a frame of at least one pixel beyond the minimum.
bool Placeable(const FilterSettings& working, const Axis& axis) {
    return working.*axis.size > working.*axis.minimum && working.*axis.size > 0;
}

void OnPositionChange(HWND page, DialogState& state, const Axis& axis) {
    if (!state.pageReady || !Placeable(state.working, axis))
        return;
    const int32_t number = ControlNumber(page, axis.edit, kPositionChars);
    if (number >= state.working.*axis.minimum && number < state.working.*axis.size) {
        state.working.*axis.fraction = static_cast<double>(number) / state.working.*axis.size;
        RefreshPreview(page);
        return;
    }
    // Refused: the current place goes back into the edit (its change is taken in as typed).
    SetControlNumber(page, axis.edit, CurrentPixel(state.working, axis));
}

void OnAngleChange(HWND page, DialogState& state) {
    if (!state.pageReady)
        return;
    const int32_t typed = ControlNumber(page, IDC_POSITION_ANGLE, kAngleChars);
    const int32_t angle = typed > kMaxAngle ? kMaxAngle : typed < -kMaxAngle ? -kMaxAngle : typed;
    state.working.angle = angle;
    if (angle != typed)
        SetControlNumber(page, IDC_POSITION_ANGLE, angle);
    RefreshPreview(page);
}

void OnInitDialog(HWND page, DialogState& state) {
    state.pageReady = false;
    PlacePage(page, state);
    bool moved = false;
    for (const Axis& axis : kAxes) {
        SendDlgItemMessageA(page, axis.arrows, UDM_SETRANGE32, 0, state.working.*axis.size - 1);
        if (!Placeable(state.working, axis))
            continue;
        const double stored = state.working.*axis.fraction;
        SetControlNumber(page, axis.edit, CurrentPixel(state.working, axis));
        moved = moved || stored != state.working.*axis.fraction;
    }
    SendDlgItemMessageA(page, IDC_POSITION_ANGLE_ARROWS, UDM_SETRANGE32, -kMaxAngle, kMaxAngle);
    SetControlNumber(page, IDC_POSITION_ANGLE, state.working.angle);
    // A stored place outside the frame was brought inside: the preview shows the new one.
    if (moved)
        RefreshPreview(page);
    CheckRadioButton(page, IDC_POSITION_TIME_UP, IDC_POSITION_DATE_UP,
                     state.working.timeup ? IDC_POSITION_TIME_UP : IDC_POSITION_DATE_UP);
    CheckDlgButton(page, IDC_POSITION_SINGLE_LINE,
                   state.working.lines == 1 ? BST_CHECKED : BST_UNCHECKED);
    // The line order is a date and time matter.
    if (state.working.mode != kModeDateTime) {
        EnableWindow(GetDlgItem(page, IDC_POSITION_TIME_UP), FALSE);
        EnableWindow(GetDlgItem(page, IDC_POSITION_DATE_UP), FALSE);
    }
    state.pageReady = true;
}

INT_PTR OnCommand(HWND page, DialogState& state, WORD id, WORD code) {
    for (const Axis& axis : kAxes)
        if (axis.edit == id) {
            if (code != EN_CHANGE)
                return FALSE;
            OnPositionChange(page, state, axis);
            return TRUE;
        }
    switch (id) {
    case IDC_POSITION_ANGLE:
        if (code != EN_CHANGE)
            return FALSE;
        OnAngleChange(page, state);
        return TRUE;
    case IDC_POSITION_TIME_UP:
    case IDC_POSITION_DATE_UP:
        if (code != BN_CLICKED)
            return FALSE;
        state.working.timeup = Checked(page, IDC_POSITION_TIME_UP) ? 1 : 0;
        RefreshPreview(page);
        return TRUE;
    case IDC_POSITION_SINGLE_LINE:
        if (code != BN_CLICKED)
            return FALSE;
        state.working.lines = Checked(page, id) ? 1 : 2;
        RefreshPreview(page);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

INT_PTR CALLBACK PositionPageProc(HWND page, UINT message, WPARAM wParam, LPARAM) {
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
    case WM_DESTROY:
        state.pageReady = false;
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace camtag
