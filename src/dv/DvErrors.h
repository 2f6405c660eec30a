// Reasons why reading a DV AVI file failed, with the user-facing message of each.
#pragma once

namespace camtag {

enum DvError {
    kDvErrorNone = 0,
    kDvErrorNotRiffAvi = 1,
    kDvErrorNotDv = 2,
    kDvErrorHeader = 3,
    kDvErrorStreamHeader = 4,
    kDvErrorIndex = 5,
    kDvErrorMemory = 6,
    kDvErrorFrameRead = 7,
    kDvErrorFramePosition = 9,
};

// The message for a reason number; an empty string for 0 or an unknown number.
const char* DvErrorMessage(int reason);

// Every failure's reason is handed to this hook (besides being kept in the reader's lastError).
// None by default; tests may set one.
using DvErrorHook = void (*)(int reason);
void SetDvErrorHook(DvErrorHook hook);
void RaiseDvError(int reason);

} // namespace camtag
