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
// frame `inPoint` at the start of the timeline, frames of width x height, the project's rate
// scale / sampleSize.
FilterSettings ClipSettings(const char* sourcePathAnsi, int32_t inPoint, int32_t width,
                            int32_t height, uint32_t scale, int32_t sampleSize);

class StampText {
public:
    // The record (copied) and the timebase of the clip.
    StampText(const FilterSettings& settings, uint32_t scale, int32_t sampleSize);

    // The text stamped on frame `frameInClip` of the clip (source frame: the record's
    // startFrame + frameInClip), in UTF-8 with '\n' between lines; empty when nothing is stamped
    // (no valid recording date in date mode, past the show duration, nothing to show).
    // dated, when given, tells whether the frame holds a valid recording date and time.
    std::string Frame(DvAviReader& reader, uint32_t frameInClip, bool* dated = nullptr);

private:
    FilterSettings settings_;
    uint32_t scale_;
    int32_t sampleSize_;
};

// What date and time mode stamps for the recording time `when` with these settings, whatever
// their mode, in UTF-8 with '\n' between lines.
std::string DateTimeStampText(const FilterSettings& settings, const SYSTEMTIME& when);

// How far the stamp of `text` (UTF-8) would reach beyond a width x height frame, in pixels on
// each side (0 where it stays inside), drawn as the module draws it. False when that cannot be
// said (no font, an empty text); GDI+ must be started.
struct StampOverflow {
    double left = 0, top = 0, right = 0, bottom = 0;
    bool any() const { return left > 0.5 || top > 0.5 || right > 0.5 || bottom > 0.5; }
};
bool MeasureStampOverflow(const FilterSettings& settings, int32_t width, int32_t height,
                          const std::string& text, StampOverflow* out);

// What to change so that the stamp fits: "the stamp reaches 23 pixels below the frame: set y to
// 0.70 or less (now 0.75), or a smaller fontsize".
std::string StampOverflowAdvice(const FilterSettings& settings, int32_t width, int32_t height,
                                const StampOverflow& overflow);

} // namespace camtag
