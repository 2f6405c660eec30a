// One position of a video stream as a timecode label and as elapsed real time, at 25 frames per
// second (counted straight) or 29.97 (counted with the 30-frame drop-frame rule, or straight for
// a tape recorded without dropping), with three text styles: SMPTE (hh:mm:ss:ff), Time
// (hh:mm:ss.mmm) and Frames (a plain count).
#pragma once

#include <cstddef>
#include <cstdint>

namespace camtag {

enum TimecodeStyle { kTimecodeSmpte = 0, kTimecodeTime = 1, kTimecodeFrames = 2 };

#pragma pack(push, 1)
class TimecodeValue {
public:
    TimecodeValue() = default;

    // Above 27 fps: 29.97 (drop-frame, ';' when frames are shown); anything else: 25.
    // The position is not recomputed.
    void SetRate(double fps);
    // Any ratio; ignored when the denominator is 0.
    void SetRateRatio(int numerator, int denominator);
    // Labels at a fractional rate counted without dropping (30 a second, written with ':'), as a
    // non-drop-frame NTSC tape holds them; until the next SetRate or SetRateRatio. The position
    // is not recomputed.
    void SetNonDropFrame();
    // Position from a frame count.
    void SetFrames(int n);
    // Position from a packed label (byte 0 frames, 1 seconds, 2 minutes, 3 hours, signed);
    // returns the normalised packed label.
    int32_t SetFromPacked(int32_t packed);
    // 1 and the position set when the label is acceptable, else 0 and nothing changed.
    int SetTimecode(int h, int m, int s, int f);
    // Position from real time; returns the elapsed seconds of the frame reached.
    double SetSeconds(double x);
    // style: TimecodeStyle; an unknown style leaves the buffer empty. SMPTE shows the label,
    // Time the real elapsed time (so it never runs back at a dropped pair).
    void Format(char* buf, size_t size, int style) const;
    void FormatFrames(int n, char* buf, size_t size, int style);

    static int32_t Pack(int h, int m, int s, int f);

    double rate = 25.0;
    int32_t rateNumerator = 25;
    int32_t rateDenominator = 1;
    double elapsedSeconds = 0.0;
    int32_t frameCount = 0;
    char separator = ':';
    int32_t showFrames = 1;
    int32_t showHours = 1;
    int32_t hours = 0;
    int32_t minutes = 0;
    int32_t seconds = 0;
    int32_t frames = 0;
    int32_t milliseconds = 0;
    int32_t nonDropFrame = 0;
};
#pragma pack(pop)

static_assert(sizeof(TimecodeValue) == 61, "TimecodeValue is a packed record");

} // namespace camtag
