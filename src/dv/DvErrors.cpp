#include "dv/DvErrors.h"

namespace camtag {

namespace {
DvErrorHook errorHook = nullptr;
}

const char* DvErrorMessage(int reason) {
    switch (reason) {
    case kDvErrorNotRiffAvi: return "This file is not RIFF AVI";
    case kDvErrorNotDv: return "This file not DV format";
    case kDvErrorHeader: return "AVI header read error";
    case kDvErrorStreamHeader: return "AVI stream header read error";
    case kDvErrorIndex: return "Index read error";
    case kDvErrorMemory: return "Insufficient memory for this operation";
    case kDvErrorFrameRead: return "Frame read error";
    case kDvErrorFramePosition: return "Frame position error";
    default: return "";
    }
}

void SetDvErrorHook(DvErrorHook hook) { errorHook = hook; }

void RaiseDvError(int reason) {
    if (errorHook)
        errorHook(reason);
}

} // namespace camtag
