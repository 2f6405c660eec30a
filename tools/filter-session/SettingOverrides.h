// Changes to a filter instance's settings given on a command line as NAME=VALUE, NAME being the
// registry value name of the field ("color", "drawshadow", "timecodestart", ...).
#pragma once

#include "settings/FilterSettings.h"

#include <string>

namespace camtag {

// Applies one NAME=VALUE to the record. Returns false, leaving the record unchanged, and says
// why in `error` when the name is unknown or the value malformed or out of range.
//
// Values: integers in decimal or 0x hex; colours as #RRGGBB or a COLORREF number (0x00BBGGRR);
// mode as date/timecode or 0/1; align as left/centre/center/right or 0-2; timecodestart as
// HH:MM:SS:FF; timeadjust as H:M:S and dateadjust as Y:M:D (signed parts); font as a face name,
// fontsize in points, bold and italic as 0/1.
bool ApplySettingOverride(FilterSettings& settings, const std::string& assignment, std::string* error);

// The names ApplySettingOverride knows, for usage texts.
const char* SettingOverrideNames();

} // namespace camtag
