// The text stamped on a frame: one terminated ANSI string, lines separated by '\n'.
#pragma once

#include "settings/FilterSettings.h"
#include "text/TextRoutines.h"

#include <windows.h>

#include <cstddef>

namespace camtag {

class DvAviReader;

// Date and time mode: the user's text, then the adjusted time and date formatted with the
// chosen pictures. t is the recording time as read from the frame. A picture index beyond its
// list reads as the list's last slot (records are clamped when made and at OK; a damaged
// project's need not be). `fileName` tells what "%f" in the user's text becomes. Null settings
// give "".
void ComposeDateTimeText(const FilterSettings* settings, SYSTEMTIME t, FileNameToken fileName,
                         char* out, size_t outSize);

// Timecode mode: the user's text, then the Timeline, clip, source file and tape timecodes the
// settings ask for. sourceFrame is the frame number in the source file; reader may be null.
// `fileName` tells what "%f" in the user's text becomes.
void ComposeTimecodeText(const FilterSettings* settings, DvAviReader* reader, int sourceFrame,
                         FileNameToken fileName, char* out, size_t outSize);

// The text of the settings' mode for source frame `sourceFrame`, whose recording time is
// `recorded` (null when it has none): the date and time composer's text of it in date and time
// mode (nothing without one), the timecode composer's in timecode mode (`reader` may be null),
// nothing in any other mode. The frames and the settings preview compose through here.
void ComposeOverlayText(const FilterSettings& settings, const SYSTEMTIME* recorded,
                        DvAviReader* reader, int sourceFrame, FileNameToken fileName, char* out,
                        size_t outSize);

// A time picture with the minute-count tokens replaced for t: "%9" is the minutes since
// midnight as two digits up to 90, then "90+" and the excess; "%#9" the same without leading
// zeros. Output at most 50 characters (out holds at least 51 bytes to get all of them).
void ExpandMinuteTokens(const char* picture, const SYSTEMTIME& t, char* out, size_t outSize);

} // namespace camtag
