// A new instance's settings record made from the per-user defaults, and "Save as default".
#pragma once

#include "settings/FilterSettings.h"

#include <cstdint>

namespace camtag {

// Registry defaults of a record when a value is absent.
constexpr uint32_t kDefaultColor = 0x00E0E0E0;
constexpr double kDefaultX = 0.08;
constexpr double kDefaultY = 0.75;
constexpr uint32_t kDefaultTimecodeMode = 11;
constexpr uint32_t kDefaultFlags = 7;
constexpr int kDefaultFontPoints = 24;

// Fills settings with the defaults a new instance's record starts from, without the host's
// values (frame size, rates, timeline offset stay as they are).
void ReadDefaults(FilterSettings& settings);

// Writes the values a new record starts from (the dialog's "Save as default"). The title is
// written as typed, spaces included; a title of spaces only is written empty.
void SaveAsDefault(const FilterSettings& settings);

} // namespace camtag
