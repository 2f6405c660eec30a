#include "ui/DialogState.h"

#include "dv/DvAviReader.h"
#include "settings/FormatLists.h"

namespace camtag {

HostRecordHandle instanceHandle = nullptr;
FilterSettings* editedSettings = nullptr;
FilterSettings workingSettings = {};
SYSTEMTIME previewDateTime = {};
DvAviReader* previewReader = nullptr;
HCURSOR handCursor = nullptr;
HFONT fontButtonFont = nullptr;

SYSTEMTIME SampleMoment() { return PictureSampleMoment(); }

} // namespace camtag
