#include "ui/DialogState.h"

#include "dv/DvAviReader.h"
#include "settings/FormatLists.h"

namespace camtag {

DialogState::DialogState(HINSTANCE module, HostRecordHandle record, FilterSettings& edited)
    : module(module), record(record), edited(&edited), working(edited) {}

DialogState::~DialogState() {
    if (fontButtonFont)
        DeleteObject(fontButtonFont);
}

SYSTEMTIME SampleMoment() {
    return PictureSampleMoment();
}

} // namespace camtag
