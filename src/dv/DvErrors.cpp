#include "dv/DvErrors.h"

#include "dv/DvErrorTexts.h"
#include "resources/ResourceIds.h"

namespace camtag {

namespace {
DvErrorHook errorHook = nullptr;
}

// A reason number is also the number of its message in the module's string table.
static_assert(kDvErrorNotRiffAvi == IDS_NOT_RIFF_AVI && kDvErrorNotDv == IDS_NOT_DV &&
              kDvErrorHeader == IDS_AVI_HEADER_READ &&
              kDvErrorStreamHeader == IDS_STREAM_HEADER_READ && kDvErrorIndex == IDS_INDEX_READ &&
              kDvErrorMemory == IDS_OUT_OF_MEMORY && kDvErrorFrameRead == IDS_FRAME_READ &&
              kDvErrorFramePosition == IDS_FRAME_POSITION);

const char* DvErrorMessage(int reason) {
    switch (reason) {
    case kDvErrorNotRiffAvi:
        return CAMTAG_DV_TEXT_NOT_RIFF_AVI;
    case kDvErrorNotDv:
        return CAMTAG_DV_TEXT_NOT_DV;
    case kDvErrorHeader:
        return CAMTAG_DV_TEXT_HEADER;
    case kDvErrorStreamHeader:
        return CAMTAG_DV_TEXT_STREAM_HEADER;
    case kDvErrorIndex:
        return CAMTAG_DV_TEXT_INDEX;
    case kDvErrorMemory:
        return CAMTAG_DV_TEXT_MEMORY;
    case kDvErrorFrameRead:
        return CAMTAG_DV_TEXT_FRAME_READ;
    case kDvErrorFramePosition:
        return CAMTAG_DV_TEXT_FRAME_POSITION;
    default:
        return "";
    }
}

void SetDvErrorHook(DvErrorHook hook) {
    errorHook = hook;
}

void RaiseDvError(int reason) {
    if (errorHook)
        errorHook(reason);
}

} // namespace camtag
