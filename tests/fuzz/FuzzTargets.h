// The bodies of the fuzzing harnesses. The native libFuzzer build (with the POSIX stand-in for
// the few Win32 calls) runs them on generated inputs; the Windows test build replays the saved
// regression inputs through the very same bodies.
#pragma once

#include "settings/FilterSettings.h"
#include "settings/FormatLists.h"

#include <cstddef>
#include <cstdint>

namespace camtag::fuzz {

// The input is a whole file: opened as a DV AVI file, its frames are walked (count, positions,
// DIF sequences 0, 6 and 11, recording date, time and timecode of each).
void RunAviFile(const uint8_t* data, size_t size);
// The input is DIF sequence 6 of the one frame of a small DV AVI file (12000 bytes, the rest
// zero), then one byte: bit 0 set for a PAL frame. Its packs are decoded.
void RunDifSequence(const uint8_t* data, size_t size);
// The input is an OverlayTextInput (shorter inputs are filled up with zeros); the overlay
// text of both modes is composed from it.
void RunOverlayText(const uint8_t* data, size_t size);

#pragma pack(push, 1)
struct OverlayTextInput {
    FilterSettings settings;
    uint8_t timeCount; // the picture lists' counts and slots
    uint8_t dateCount;
    char timeSlots[kFormatSlots][kFormatSlotSize];
    char dateSlots[kFormatSlots][kFormatSlotSize];
    int8_t hostVersion;
    int32_t sourceFrame;
    uint8_t capacity;   // the text buffer holds capacity + 1 bytes
    uint8_t dateChoice; // one of a few fixed recording dates
};
#pragma pack(pop)

// --- The platform's part (FuzzPlatformPosix.cpp, FuzzPlatformWindows.cpp) ---

// The bytes as a file the reader opens by name; the name is valid until UnstageFile.
const char* StageFile(const uint8_t* data, size_t size);
void UnstageFile();
// A real DV AVI fixture (PAL, tape timecode 10:20:30:00 at frame 0), for the timecode text.
const char* FixtureFile();
// Called before and after each input: true when the process holds no more files or movable
// memory blocks than at the last Mark.
void MarkResources();
bool ResourcesBackToMark();
// A broken expectation: natively a crash that libFuzzer keeps as a finding, in the Windows
// replay a test failure.
void ReportFinding(const char* what);

} // namespace camtag::fuzz
