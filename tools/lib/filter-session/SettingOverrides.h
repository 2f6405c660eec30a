// Changes to a filter instance's settings given on a command line as NAME=VALUE, NAME being the
// registry value name of the field ("color", "drawshadow", "timecodestart", ...).
#pragma once

#include "settings/FilterSettings.h"

#include <windows.h>

#include <string>
#include <vector>

namespace camtag {

// One setting as users see it: its name, what it does, its value when the registry holds none,
// and the values it takes (the text an error quotes, and the README's settings table).
struct SettingInfo {
    const char* name;
    const char* meaning;
    const char* defaultValue;
    const char* values;
};
const std::vector<SettingInfo>& SettingTable();

// Applies one NAME=VALUE (UTF-8) to the record. Returns false, leaving the record unchanged, and
// says why in `error` when the name is unknown, the value malformed or out of range (the error
// states the values the setting takes: "title: at most 31 characters"), or a text holds a
// character the module's code page `codePage` cannot hold (the error names it).
//
// Values: integers in decimal or 0x hex; colours as #RRGGBB or a COLORREF number (0x00BBGGRR);
// mode as date/timecode or 0/1; align as left/centre/center/right or 0-2; timecodestart as
// HH:MM:SS:FF; timeadjust as H:M:S and dateadjust as Y:M:D (signed parts); font as a face name,
// fontsize in points, bold and italic as 0/1; title and font are converted to the code page.
bool ApplySettingOverride(FilterSettings& settings, const std::string& assignment,
                          std::string* error, UINT codePage = CP_ACP);

// The names ApplySettingOverride knows, for usage texts.
std::string SettingOverrideNames();

// UTF-8 text in a code page, for the module's ANSI fields and pictures. False with `error`
// naming the first character the code page cannot hold ("the character "ł" (U+0142) is not in
// the module's code page 1252"), or saying that the text is not UTF-8.
bool Utf8ToModuleCodePage(const std::string& utf8, UINT codePage, std::string* out,
                          std::string* error);

} // namespace camtag
