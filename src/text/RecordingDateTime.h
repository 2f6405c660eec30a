// An instant as milliseconds since 1970-01-01 00:00:00 UTC, for shifting recording times by
// days and clock time on the real time line. Calendar fields go in and come out as local time.
#pragma once

#include <windows.h>

#include <cstdint>
#include <ctime>

namespace camtag {

class RecordingDateTime {
public:
    RecordingDateTime() = default;
    explicit RecordingDateTime(int64_t raw) : value(raw) {}
    // A duration, for Add.
    static RecordingDateTime FromDuration(int32_t days, int32_t hours, int32_t minutes, int32_t seconds,
                                          int32_t milliseconds);
    // Local calendar fields (month 1..12); value 0 when a field is out of range or the time
    // cannot be represented. isDst as for mktime: -1 lets the conversion decide.
    RecordingDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond,
                      int isDst);
    // wDayOfWeek is ignored; value 0 before 1900.
    RecordingDateTime(const SYSTEMTIME& t, int isDst);

    void Add(const RecordingDateTime& other) { value += other.value; }

    // Local broken-down time; false when the instant is outside what the runtime converts.
    bool ToBrokenDown(struct tm* out) const;
    // false leaves out unchanged.
    bool ToSystemTime(SYSTEMTIME* out) const;

    int64_t value = 0;
};

// The "timeadjust" (bytes: seconds, minutes, hours, unused) and "dateadjust" (bytes: days,
// months, then years as a signed 16-bit value) settings applied to t in place: days and clock
// on the time line, then months, then years on the calendar fields. Nothing happens, not even a
// conversion, when both are 0. Returns whether t was touched.
bool ApplyAdjustment(SYSTEMTIME* t, int32_t timeadjust, int32_t dateadjust);

} // namespace camtag
