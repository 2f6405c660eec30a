// The module-wide lists of date and time pictures: slot 0 " " (no date or no time), slot 1 the
// built-in picture, slots 2 to 6 the user's own, kept in the registry as df02..df06 and
// tf02..tf06.
#pragma once

#include "settings/FilterSettings.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace camtag {

constexpr uint32_t kFormatSlots = 7;
constexpr uint32_t kFormatSlotSize = 30;
// Registry pictures are read into a smaller buffer so that they always fit a slot.
constexpr uint32_t kFormatReadSize = 29;

struct FormatList {
    char slots[kFormatSlots][kFormatSlotSize];
    uint32_t count; // slots in use, 2..7
};

// Hold the built-in pictures from the start, so a caller running before LoadFormatLists (or
// after a failed load) still finds a usable list.
extern FormatList dateFormats;
extern FormatList timeFormats;

// The longest picture a list keeps: what a slot holds and the registry gives back whole.
constexpr size_t kPictureMaxChars = 28;
// A picture's text on a date: at most 49 characters and the terminator.
constexpr int kFormattedChars = 50;

constexpr char kBuiltInDatePicture[] = "dd.MM.yy";
constexpr char kBuiltInTimePicture[] = "HH':'mm':'ss";

// The moment pictures are tried on and shown with: Tuesday, 7 May 2002, 09:03:07.
SYSTEMTIME PictureSampleMoment();
// The sample moment written with a picture (GetTimeFormatA for a time picture, else
// GetDateFormatA; the user's default locale) into out (kFormattedChars bytes): false, out
// empty, when the system rejects the picture or its text does not fit 49 characters. This is
// the test a picture passes before a list takes it.
bool FormatPictureSample(const char* picture, bool isTime, char (&out)[kFormattedChars]);

// Reads both lists from the registry (process start).
void LoadFormatLists();
// Replaces the stored pictures of both lists with the slots in use (the list editor's OK).
void SaveFormatLists();

// The usable slot count: the list's count, held within 1..7 whatever was stored in it.
uint32_t UsableCount(const FormatList& list);
// index lowered to the last usable slot when it is not below the count.
uint32_t ClampFormatIndex(const FormatList& list, uint32_t index);

// Pulls the settings' time and date picture indexes back into their lists.
void ClampPictureIndexes(FilterSettings& settings);

} // namespace camtag
