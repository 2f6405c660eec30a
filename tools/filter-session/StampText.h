// The text the filter stamps on each frame of a DV source, composed by the module's own text
// code from the same settings record: what a subtitle of the stamp shows.
#pragma once

#include "settings/FilterSettings.h"

#include <cstdint>
#include <string>

namespace camtag {

class DvAviReader;

// A new instance's record for a clip of a DV source as the renderer places it: the registry
// defaults (of HKEY_CURRENT_USER as it stands, see SettingsView), the clip starting at source
// frame `inPoint` at the start of the timeline, the project's rate scale / sampleSize.
FilterSettings ClipSettings(const char* sourcePathAnsi, int32_t inPoint, uint32_t scale, int32_t sampleSize);

class StampText {
public:
    // The record (copied) and the timebase of the clip.
    StampText(const FilterSettings& settings, uint32_t scale, int32_t sampleSize);

    // The text stamped on frame `frameInClip` of the clip (source frame: the record's
    // startFrame + frameInClip), in UTF-8 with '\n' between lines; empty when nothing is stamped
    // (no valid recording date in date mode, past the show duration, nothing to show).
    std::string Frame(DvAviReader& reader, uint32_t frameInClip);

private:
    FilterSettings settings_;
    uint64_t lastShown_ = UINT64_MAX;
};

} // namespace camtag
