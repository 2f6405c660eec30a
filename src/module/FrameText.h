// The text stamped on one frame of a clip: nothing past the show duration, otherwise what the
// composer of the settings' mode makes of the frame. Execute, the tools and the tests compose a
// frame's text through here, so that they cannot disagree on which frames are stamped.
#pragma once

#include "settings/FilterSettings.h"
#include "text/TextRoutines.h"

#include <cstddef>
#include <cstdint>

namespace camtag {

class DvAviReader;

// True when frame `frameInClip` of a clip with the timebase scale / sampleSize comes after the
// last frame of the show duration: it passes unstamped. Never with no show duration or no
// usable timebase.
bool PastShowDuration(const FilterSettings& settings, uint32_t frameInClip, uint32_t scale,
                      int32_t sampleSize);

// The text of frame `frameInClip` of the clip, whose source frame is the settings' startFrame +
// frameInClip, into `text` (at most `capacity` characters and the terminator): the date and
// time of its recording in date mode ("" when the frame holds none), the timecodes in timecode
// mode. False, with `text` empty, for a frame past the show duration. `dated`, when given, tells
// whether the frame holds a valid recording date, read in either mode and past the duration too.
bool ComposeFrameText(const FilterSettings& settings, uint32_t frameInClip, uint32_t scale,
                      int32_t sampleSize, DvAviReader& reader, FileNameToken fileName, char* text,
                      size_t capacity, bool* dated = nullptr);

} // namespace camtag
