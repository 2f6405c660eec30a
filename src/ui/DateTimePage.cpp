// The "Content" tab in date and time mode (template 118): the user's text, the time and date
// pictures with their list editors, and the time adjustment.
#include "resources/ResourceIds.h"
#include "settings/FormatLists.h"
#include "text/TextRoutines.h"
#include "ui/ControlText.h"
#include "ui/FormatListEditor.h"
#include "ui/PageFields.h"
#include "ui/Pages.h"

namespace camtag {

namespace {

constexpr int kItemChars = 50;

// The list's pictures as they look on the dialog's moment (slot 0 is "<empty>"), with the stored
// index pulled back into the list and selected.
void FillList(HWND page, const SYSTEMTIME& moment, int comboId, const FormatList& list,
              uint32_t& index, bool times) {
    HWND combo = GetDlgItem(page, comboId);
    SendMessageA(combo, CB_RESETCONTENT, 0, 0);
    const uint32_t count = UsableCount(list);
    for (uint32_t slot = 0; slot < count; ++slot) {
        char item[kItemChars] = "<empty>";
        if (slot > 0) {
            const FieldText<kFormatSlotSize> picture(list.slots[slot]);
            const int written = times ? GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &moment,
                                                       picture.text, item, kItemChars)
                                      : GetDateFormatA(LOCALE_USER_DEFAULT, 0, &moment,
                                                       picture.text, item, kItemChars);
            // A picture the system cannot write shows as itself.
            if (written == 0)
                CopyBounded(item, sizeof item, picture.text);
        }
        SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    }
    if (index >= count - 1)
        index = count - 1;
    SendMessageA(combo, CB_SETCURSEL, index, 0);
}

void FillTimeList(HWND page, DialogState& state) {
    FillList(page, state.moment, IDC_DATETIME_TIMEFORMAT, timeFormats, state.working.timeformat,
             true);
}
void FillDateList(HWND page, DialogState& state) {
    FillList(page, state.moment, IDC_DATETIME_DATEFORMAT, dateFormats, state.working.dateformat,
             false);
}

void StoreSelection(HWND page, int comboId, uint32_t& index) {
    const LRESULT selected = SendDlgItemMessageA(page, comboId, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR)
        return;
    index = static_cast<uint32_t>(selected);
    RefreshPreview(page);
}

// One part of the adjustment: the leading number of its first characters, cut to the part's
// width in two's complement.
void StoreAdjustment(HWND page, DialogState& state, int id) {
    if (!state.pageReady)
        return;
    const int32_t value = ControlNumber(page, id, id == IDC_ADJUST_YEARS ? 5 : 3);
    uint32_t date = static_cast<uint32_t>(state.working.dateadjust);
    uint32_t time = static_cast<uint32_t>(state.working.timeadjust);
    auto put = [value](uint32_t& field, int shift, uint32_t mask) {
        field = (field & ~(mask << shift)) | ((static_cast<uint32_t>(value) & mask) << shift);
    };
    switch (id) {
    case IDC_ADJUST_YEARS:
        put(date, 16, 0xFFFF);
        break;
    case IDC_ADJUST_MONTHS:
        put(date, 8, 0xFF);
        break;
    case IDC_ADJUST_DAYS:
        put(date, 0, 0xFF);
        break;
    case IDC_ADJUST_HOURS:
        put(time, 16, 0xFF);
        break;
    case IDC_ADJUST_MINUTES:
        put(time, 8, 0xFF);
        break;
    case IDC_ADJUST_SECONDS:
        put(time, 0, 0xFF);
        break;
    default:
        return;
    }
    state.working.dateadjust = static_cast<int32_t>(date);
    state.working.timeadjust = static_cast<int32_t>(time);
    RefreshPreview(page);
}

INT_PTR OnCommand(HWND page, DialogState& state, WORD id, WORD code) {
    switch (id) {
    case IDC_DATETIME_DATEFORMAT:
        if (code != CBN_SELCHANGE)
            return FALSE;
        StoreSelection(page, id, state.working.dateformat);
        return TRUE;
    case IDC_DATETIME_TIMEFORMAT:
        if (code != CBN_SELCHANGE)
            return FALSE;
        StoreSelection(page, id, state.working.timeformat);
        return TRUE;
    case IDC_DATETIME_EDIT_TIMES:
        EditFormatList(page, IDC_DATETIME_EDIT_TIMES);
        FillTimeList(page, state);
        return TRUE;
    case IDC_DATETIME_EDIT_DATES:
        EditFormatList(page, IDC_DATETIME_EDIT_DATES);
        FillDateList(page, state);
        return TRUE;
    case IDC_PAGE_TITLE:
        if (code != EN_CHANGE)
            return FALSE;
        if (!state.pageReady)
            return TRUE;
        StoreTitle(page, state.working);
        RefreshPreview(page);
        return TRUE;
    case IDC_ADJUST_YEARS:
    case IDC_ADJUST_MONTHS:
    case IDC_ADJUST_DAYS:
    case IDC_ADJUST_HOURS:
    case IDC_ADJUST_MINUTES:
    case IDC_ADJUST_SECONDS:
        if (code != EN_CHANGE)
            return FALSE;
        StoreAdjustment(page, state, id);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

INT_PTR CALLBACK DateTimePageProc(HWND page, UINT message, WPARAM wParam, LPARAM) {
    DialogState* found = PageStateOf(page);
    if (!found)
        return FALSE;
    DialogState& state = *found;
    switch (message) {
    case WM_INITDIALOG:
        state.pageReady = false;
        PlacePage(page, state);
        FillDateList(page, state);
        FillTimeList(page, state);
        state.pageReady = true;
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
