#include "text/RecordingDateTime.h"

#include <cstring>

namespace camtag {

RecordingDateTime RecordingDateTime::FromDuration(int32_t days, int32_t hours, int32_t minutes,
                                                  int32_t seconds, int32_t milliseconds) {
    int64_t v = ((((int64_t)days * 24 + hours) * 60 + minutes) * 60 + seconds) * 1000 + milliseconds;
    return RecordingDateTime(v);
}

RecordingDateTime::RecordingDateTime(int year, int month, int day, int hour, int minute, int second,
                                     int millisecond, int isDst) {
    if (year < 1900 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 || millisecond > 999)
        return;
    struct tm tm;
    memset(&tm, 0, sizeof tm);
    tm.tm_sec = second;
    tm.tm_min = minute;
    tm.tm_hour = hour;
    tm.tm_mday = day;
    tm.tm_mon = month - 1;
    tm.tm_year = year - 1900;
    tm.tm_isdst = isDst;
    __time64_t seconds = _mktime64(&tm);
    if (seconds == -1)
        return;
    value = (int64_t)seconds * 1000 + millisecond;
}

RecordingDateTime::RecordingDateTime(const SYSTEMTIME& t, int isDst)
    : RecordingDateTime(t.wYear >= 1900 ? RecordingDateTime(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                                                            t.wSecond, t.wMilliseconds, isDst)
                                        : RecordingDateTime()) {}

bool RecordingDateTime::ToBrokenDown(struct tm* out) const {
    if (!out)
        return false;
    __time64_t seconds = value / 1000;
    return _localtime64_s(out, &seconds) == 0;
}

bool RecordingDateTime::ToSystemTime(SYSTEMTIME* out) const {
    struct tm tm;
    if (!out || !ToBrokenDown(&tm))
        return false;
    out->wYear = static_cast<WORD>(tm.tm_year + 1900);
    out->wMonth = static_cast<WORD>(tm.tm_mon + 1);
    out->wDayOfWeek = static_cast<WORD>(tm.tm_wday);
    out->wDay = static_cast<WORD>(tm.tm_mday);
    out->wHour = static_cast<WORD>(tm.tm_hour);
    out->wMinute = static_cast<WORD>(tm.tm_min);
    out->wSecond = static_cast<WORD>(tm.tm_sec);
    // Before 1970 the remainder is negative; the conversion above already refuses those.
    out->wMilliseconds = static_cast<WORD>(value % 1000);
    return true;
}

bool ApplyAdjustment(SYSTEMTIME* t, int32_t timeadjust, int32_t dateadjust) {
    if (!t || (timeadjust == 0 && dateadjust == 0))
        return false;
    uint32_t ta = static_cast<uint32_t>(timeadjust);
    uint32_t da = static_cast<uint32_t>(dateadjust);
    int seconds = static_cast<int8_t>(ta & 0xFF);
    int minutes = static_cast<int8_t>((ta >> 8) & 0xFF);
    int hours = static_cast<int8_t>((ta >> 16) & 0xFF);
    int days = static_cast<int8_t>(da & 0xFF);
    int months = static_cast<int8_t>((da >> 8) & 0xFF);
    int years = static_cast<int16_t>((da >> 16) & 0xFFFF);

    // A time that does not convert is shifted from 1970-01-01 00:00:00 UTC; if that result
    // does not convert back either, t keeps its value.
    RecordingDateTime when(*t, -1);
    when.Add(RecordingDateTime::FromDuration(days, hours, minutes, seconds, 0));
    when.ToSystemTime(t);

    // Months carry whole years; the day of the month stays, so 31 January + 1 is 31 February,
    // which the date formatting then refuses.
    int m = static_cast<int>(t->wMonth) + months - 1;
    int carry = m >= 0 ? m / 12 : -((11 - m) / 12);
    m -= carry * 12;
    t->wMonth = static_cast<WORD>(m + 1);
    t->wYear = static_cast<WORD>(static_cast<int>(t->wYear) + carry + years);
    return true;
}

} // namespace camtag
