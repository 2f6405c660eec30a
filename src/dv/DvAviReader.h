// Reads DV frames straight out of a RIFF AVI file (AVI 1.0 with "idx1" or OpenDML with an
// "indx" super index; DV type-1 "iavs" or type-2 "vids" streams) and decodes the recording
// date, time and tape timecode that the camcorder wrote into each frame.
#pragma once

#include "dv/DvErrors.h"
#include "dv/SourceFile.h"

#include <windows.h>

#include <cstdint>

namespace camtag {

class TimecodeValue;

// The recording date and time of a frame, in the broken-down layout that mktime takes.
struct DvFrameInfo {
    int32_t second;
    int32_t minute;
    int32_t hour;
    int32_t day;
    int32_t month;   // 0..11
    int32_t year;    // years since 1900
    int32_t weekday; // -1: not computed
    int32_t dayOfYear;
    int32_t isDst;
};

// 1 when the day exists in local time between 1970 and 2222 (month 1..12, full year).
int IsValidRecordingDate(int day, int month, int year);
// 1 for a clock time 00:00:00..23:59:59.
int IsValidRecordingTime(int hour, int minute, int second);

constexpr int kDifSequenceSize = 12000;

class DvAviReader : public SourceFile {
public:
    DvAviReader();
    // Opens at once; the outcome is in isOpen.
    explicit DvAviReader(const char* path);
    ~DvAviReader() override;

    int Open(const char* path);
    void Close();

    // Absolute file position of the frame's DV data, or -1. Frame numbers at or above
    // frameCount (which never exceeds INT32_MAX, so a negative int converted to unsigned is
    // always out of range) fail.
    int64_t FramePosition(uint32_t frame);
    // The 12000 bytes of DIF sequence `sequence` of the frame, or null. Valid until the next
    // call or Close.
    const uint8_t* ReadSequence(uint32_t frame, int sequence);

    // Recording date and time of the frame (and, when asked, its tape timecode). 0 when the
    // frame cannot be read (info untouched) or holds no valid date and time (info zeroed; a
    // valid timecode is still delivered). hasTimecode, when given, tells whether the frame
    // holds a valid timecode pack: a frame without one leaves the timecode at zero, which is
    // also a label a tape can carry. The values come from DIF sequence 6; one that is missing
    // there is the one most copies in the frame's other sequences agree on. Without info only
    // the timecode is looked for.
    int DecodeFrame(uint32_t frame, DvFrameInfo* info, TimecodeValue* timecode = nullptr,
                    int* hasTimecode = nullptr);
    // The same as a SYSTEMTIME (weekday 0xFFFF, milliseconds 0); out untouched on failure.
    int GetRecordingTime(uint32_t frame, SYSTEMTIME* out, TimecodeValue* timecode = nullptr,
                         int* hasTimecode = nullptr);

    int isOpen;
    uint8_t mainHeader[56];
    uint8_t streamHeader[68];
    int dvType; // 0 none, 1 type-1 ("iavs"), 2 type-2 ("vids")
    uint8_t streamFormat[40];
    int indexKind; // 0 none, 1 table from "idx1", 2 OpenDML super index
    uint32_t frameCount;
    int isPal;     // 1 625/50, 0 525/60, -1 before the first successful open
    int lastError; // reason of the last failure (DvError), 0 if none

private:
    void Reset();
    int Parse();
    int ParseIdx1(uint32_t mainTotal);
    // Position of the first frame that has one (the first frame of the first readable standard
    // index of an OpenDML file), or -1.
    int64_t FirstPlacedFrame();
    int Fail(int reason);
    // Position and length of the frame's data; 0 when the frame has none.
    int LocateFrame(uint32_t frame, uint64_t* position, uint32_t* length);

    uint8_t* index;      // locked movable global memory
    uint32_t indexBytes; // bytes of index that hold data
    uint8_t sequence[kDifSequenceSize];
    int cachedFrame;
    int cachedSequence;
};

} // namespace camtag
