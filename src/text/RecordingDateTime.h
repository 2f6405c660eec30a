// A camcorder's date and time as milliseconds since 1970-01-01 00:00:00 of the plain calendar,
// for shifting it by days and clock time. A camcorder clock belongs to no time zone, so the
// editing machine's zone and its summer time play no part: one hour is always one hour.
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
    static RecordingDateTime FromDuration(int32_t days, int32_t hours, int32_t minutes,
                                          int32_t seconds, int32_t milliseconds);
    // Calendar fields (month 1..12); value 0 when a field is out of range or the time is
    // outside 1970 to 3000.
    RecordingDateTime(int year, int month, int day, int hour, int minute, int second,
                      int millisecond);
    // wDayOfWeek is ignored; value 0 before 1900.
    explicit RecordingDateTime(const SYSTEMTIME& t);

    void Add(const RecordingDateTime& other) { value += other.value; }

    // Broken-down time (tm_isdst 0); false outside 1970 to 3000.
    bool ToBrokenDown(struct tm* out) const;
    // false leaves out unchanged.
    bool ToSystemTime(SYSTEMTIME* out) const;

    int64_t value = 0;
};

// The "timeadjust" (bytes: seconds, minutes, hours, unused) and "dateadjust" (bytes: days,
// months, then years as a signed 16-bit value) settings applied to t in place: days and clock
// on the time line, then months, then years on the calendar fields, the day kept within the
// month. Nothing happens, not even a conversion, when both are 0. Returns whether t was touched.
bool ApplyAdjustment(SYSTEMTIME* t, int32_t timeadjust, int32_t dateadjust);

} // namespace camtag
