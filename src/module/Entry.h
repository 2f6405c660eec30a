// The module's entry and the two selectors that do the work. xFilter dispatches; setup keeps the
// settings record and runs the settings dialog; execute stamps one frame.
#pragma once

#include "host/HostInterface.h"
#include "settings/FilterSettings.h"

#include <cstdint>

extern "C" int16_t xFilter(int16_t selector, camtag::HostRecordHandle record);

namespace camtag {

// The module's answer to kSelectorQueryFlags.
constexpr int16_t kQueryFlagsAnswer = 0x4000;

// Interface versions above this one describe the clip in a way the locator cannot read.
constexpr int32_t kLastKnownHostVersion = 8;

constexpr char kErrorReattach[] = "Camtag error. Try reattach filter.";
constexpr char kErrorAviAccess[] = "Camtag error. AVI access fail.";

int16_t RunSetup(HostRecordHandle record);
int16_t RunExecute(HostRecordHandle record);

// The once-per-process warning for hosts newer than the locator understands.
void ShowNewHostWarningOnce();

} // namespace camtag
