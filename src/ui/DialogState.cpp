#include "ui/DialogState.h"

#include "dv/DvAviReader.h"
#include "settings/FormatLists.h"

namespace camtag {

HostRecordHandle instanceHandle = nullptr;
FilterSettings workingSettings = {};
SYSTEMTIME previewDateTime = {};
DvAviReader* previewReader = nullptr;
HCURSOR handCursor = nullptr;
HFONT fontButtonFont = nullptr;

SYSTEMTIME SampleMoment() { return PictureSampleMoment(); }

HostMemoryHandle WorkingSettingsHandle() {
    static char* pointer = nullptr;
    pointer = reinterpret_cast<char*>(&workingSettings);
    return &pointer;
}

} // namespace camtag
