// The "Content" tab in timecode mode (template 122): which timecodes, in which form, from which
// start value, with which parts and prefixes, and the user's text.
#include "resources/ResourceIds.h"
#include "ui/ControlText.h"
#include "ui/PageFields.h"
#include "ui/Pages.h"

namespace camtag {

namespace {

constexpr int32_t kFormMask = 0x30;
constexpr int kFormShift = 4;
constexpr int kStartChars = 3;

int32_t Form(const FilterSettings& working) {
    return (working.timecodemode & kFormMask) >> kFormShift;
}

// The form decides whether the frames and hours boxes apply (not to a frame count) and what
// the frames box is called (ticks in time style); their checks and bits stay as the user left them.
void ApplyForm(HWND page, const FilterSettings& working) {
    const int32_t form = Form(working);
    if (form == 3)
        return;
    SetDlgItemTextA(page, IDC_TIMECODE_SHOWFRAMES, form == 1 ? "Show ticks" : "Show frames");
    EnableWindow(GetDlgItem(page, IDC_TIMECODE_SHOWFRAMES), form != 2);
    EnableWindow(GetDlgItem(page, IDC_TIMECODE_HOURS), form != 2);
}

// The start value's caption names the timecode it is added to first: the Timeline's, else the
// clip's; with neither, the caption stays as it was.
void ApplyStartCaption(HWND page, const FilterSettings& working) {
    if (working.timecodemode & kTimecodeTimeline)
        SetDlgItemTextA(page, IDC_TIMECODE_START_CAPTION, "Initial value of timecode (Timeline)");
    else if (working.timecodemode & kTimecodeClip)
        SetDlgItemTextA(page, IDC_TIMECODE_START_CAPTION, "Initial value of timecode (clip)");
}

struct StartPart {
    int id;
    int shift;
};
constexpr StartPart kStartParts[] = {
    {IDC_TIMECODE_START_HOURS, 24},
    {IDC_TIMECODE_START_MINUTES, 16},
    {IDC_TIMECODE_START_SECONDS, 8},
    {IDC_TIMECODE_START_FRAMES, 0},
};

void OnInitDialog(HWND page, DialogState& state) {
    state.pageReady = false;
    PlacePage(page, state);
    const FieldText<sizeof state.working.title> title(state.working.title);
    SetDlgItemTextA(page, IDC_PAGE_TITLE, title.text);
    const int32_t mode = state.working.timecodemode;
    CheckDlgButton(page, IDC_TIMECODE_TIMELINE,
                   (mode & kTimecodeTimeline) ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(page, IDC_TIMECODE_CLIP, (mode & kTimecodeClip) ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(page, IDC_TIMECODE_FILE,
                   (mode & kTimecodeSourceFile) ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(page, IDC_TIMECODE_TAPE, (mode & kTimecodeTape) ? BST_CHECKED : BST_UNCHECKED);
    const int32_t form = Form(state.working);
    if (form < 3)
        CheckRadioButton(page, IDC_TIMECODE_SMPTE, IDC_TIMECODE_FRAMES, IDC_TIMECODE_SMPTE + form);
    ApplyForm(page, state.working);
    EnableWindow(GetDlgItem(page, IDC_TIMECODE_TAPE), state.working.dvSource != 0);
    const uint32_t start = static_cast<uint32_t>(state.working.timecodestart);
    for (const StartPart& part : kStartParts)
        SetControlNumber(page, part.id, static_cast<int8_t>(start >> part.shift));
    const int32_t flags = state.working.flags;
    CheckDlgButton(page, IDC_TIMECODE_PREFIX,
                   (flags & kFlagShowPrefix) ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(page, IDC_TIMECODE_SHOWFRAMES,
                   (flags & kFlagShowFrames) ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(page, IDC_TIMECODE_HOURS,
                   (flags & kFlagShowHours) ? BST_CHECKED : BST_UNCHECKED);
    ApplyStartCaption(page, state.working);
    state.pageReady = true;
}

void OnFormClicked(HWND page, FilterSettings& working) {
    for (int32_t form = 0; form < 3; ++form)
        if (Checked(page, IDC_TIMECODE_SMPTE + form)) {
            working.timecodemode = (working.timecodemode & ~kFormMask) | (form << kFormShift);
            break;
        }
    ApplyForm(page, working);
}

void StoreStartPart(HWND page, FilterSettings& working, int id) {
    for (const StartPart& part : kStartParts) {
        if (part.id != id)
            continue;
        const uint32_t value = static_cast<uint32_t>(ControlNumber(page, id, kStartChars)) & 0xFF;
        uint32_t start = static_cast<uint32_t>(working.timecodestart);
        start = (start & ~(0xFFu << part.shift)) | (value << part.shift);
        working.timecodestart = static_cast<int32_t>(start);
    }
}

INT_PTR OnCommand(HWND page, DialogState& state, WORD id, WORD code) {
    switch (id) {
    case IDC_TIMECODE_TIMELINE:
    case IDC_TIMECODE_CLIP:
    case IDC_TIMECODE_FILE:
    case IDC_TIMECODE_TAPE: {
        if (code != BN_CLICKED)
            return FALSE;
        const int32_t bit = id == IDC_TIMECODE_TIMELINE ? kTimecodeTimeline
                            : id == IDC_TIMECODE_CLIP   ? kTimecodeClip
                            : id == IDC_TIMECODE_FILE   ? kTimecodeSourceFile
                                                        : kTimecodeTape;
        SetBits(state.working.timecodemode, bit, Checked(page, id));
        if (bit == kTimecodeTimeline || bit == kTimecodeClip)
            ApplyStartCaption(page, state.working);
        break;
    }
    case IDC_TIMECODE_SMPTE:
    case IDC_TIMECODE_TIME:
    case IDC_TIMECODE_FRAMES:
        if (code != BN_CLICKED)
            return FALSE;
        OnFormClicked(page, state.working);
        break;
    case IDC_TIMECODE_PREFIX:
    case IDC_TIMECODE_SHOWFRAMES:
    case IDC_TIMECODE_HOURS: {
        if (code != BN_CLICKED)
            return FALSE;
        const int32_t bit = id == IDC_TIMECODE_PREFIX       ? kFlagShowPrefix
                            : id == IDC_TIMECODE_SHOWFRAMES ? kFlagShowFrames
                                                            : kFlagShowHours;
        SetBits(state.working.flags, bit, Checked(page, id));
        break;
    }
    case IDC_PAGE_TITLE:
        if (code != EN_CHANGE)
            return FALSE;
        if (!state.pageReady)
            return TRUE;
        StoreTitle(page, state.working);
        break;
    case IDC_TIMECODE_START_HOURS:
    case IDC_TIMECODE_START_MINUTES:
    case IDC_TIMECODE_START_SECONDS:
    case IDC_TIMECODE_START_FRAMES:
        if (code != EN_CHANGE)
            return FALSE;
        if (!state.pageReady)
            return TRUE;
        StoreStartPart(page, state.working, id);
        break;
    default:
        return FALSE;
    }
    RefreshPreview(page);
    return TRUE;
}

} // namespace

INT_PTR CALLBACK TimecodePageProc(HWND page, UINT message, WPARAM wParam, LPARAM) {
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
