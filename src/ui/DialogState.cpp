#include "ui/DialogState.h"

#include "dv/DvAviReader.h"

namespace camtag {

HostRecordHandle instanceHandle = nullptr;
FilterSettings workingSettings = {};
SYSTEMTIME previewDateTime = {};
DvAviReader* previewReader = nullptr;
HCURSOR handCursor = nullptr;
HFONT fontButtonFont = nullptr;

SYSTEMTIME SampleMoment() {
    SYSTEMTIME t{};
    t.wYear = 2002;
    t.wMonth = 5;
    t.wDayOfWeek = 2; // 7 May 2002 was a Tuesday
    t.wDay = 7;
    t.wHour = 9;
    t.wMinute = 3;
    t.wSecond = 7;
    return t;
}

HostMemoryHandle WorkingSettingsHandle() {
    static char* pointer = nullptr;
    pointer = reinterpret_cast<char*>(&workingSettings);
    return &pointer;
}

} // namespace camtag
