#include "text/RecordingDateTime.h"

#include <cstring>

namespace camtag {

namespace {

// 3000-12-31 23:59:59, the last second the runtime's 64-bit time conversions handle; the
// same range is kept so that the stamps of the years they covered do not change.
constexpr int64_t kLastSecond = 32535215999LL;

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar (month 1..12), counted
// in 400-year cycles that start on 1 March so that the leap day ends a cycle's year.
int64_t DaysFromCivil(int64_t year, int month, int day) {
    year -= month <= 2;
    const int64_t era = FloorDiv(year, 400);
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(int64_t days, int64_t* year, int* month, int* day) {
    days += 719468;
    const int64_t era = FloorDiv(days, 146097);
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    *day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    *month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    *year = yearOfEra + era * 400 + (*month <= 2);
}

bool IsLeapYear(int64_t year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int64_t year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// 0 = Sunday, as SYSTEMTIME counts; 1970-01-01 was a Thursday.
int Weekday(int64_t days) {
    return static_cast<int>(days - FloorDiv(days + 4, 7) * 7 + 4);
}

} // namespace

RecordingDateTime RecordingDateTime::FromDuration(int32_t days, int32_t hours, int32_t minutes,
                                                  int32_t seconds, int32_t milliseconds) {
    int64_t v =
        ((((int64_t)days * 24 + hours) * 60 + minutes) * 60 + seconds) * 1000 + milliseconds;
    return RecordingDateTime(v);
}

RecordingDateTime::RecordingDateTime(int year, int month, int day, int hour, int minute, int second,
                                     int millisecond) {
    if (year < 1900 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
        millisecond > 999)
        return;
    // A day past the month's end (31 April) runs on into the next month.
    const int64_t days = DaysFromCivil(year, month, 1) + day - 1;
    const int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second;
    if (seconds < 0 || seconds > kLastSecond)
        return;
    value = seconds * 1000 + millisecond;
}

RecordingDateTime::RecordingDateTime(const SYSTEMTIME& t)
    : RecordingDateTime(t.wYear >= 1900 ? RecordingDateTime(t.wYear, t.wMonth, t.wDay, t.wHour,
                                                            t.wMinute, t.wSecond, t.wMilliseconds)
                                        : RecordingDateTime()) {}

bool RecordingDateTime::ToBrokenDown(struct tm* out) const {
    const int64_t seconds = value / 1000;
    if (!out || seconds < 0 || seconds > kLastSecond)
        return false;
    const int64_t days = FloorDiv(seconds, 86400);
    const int64_t clock = seconds - days * 86400;
    int64_t year;
    int month, day;
    CivilFromDays(days, &year, &month, &day);
    memset(out, 0, sizeof *out);
    out->tm_sec = static_cast<int>(clock % 60);
    out->tm_min = static_cast<int>(clock / 60 % 60);
    out->tm_hour = static_cast<int>(clock / 3600);
    out->tm_mday = day;
    out->tm_mon = month - 1;
    out->tm_year = static_cast<int>(year - 1900);
    out->tm_wday = Weekday(days);
    out->tm_yday = static_cast<int>(days - DaysFromCivil(year, 1, 1));
    return true;
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

    // A time that does not convert is shifted from 1970-01-01 00:00:00; if that result does
    // not convert back either, t keeps its value.
    RecordingDateTime when(*t);
    when.Add(RecordingDateTime::FromDuration(days, hours, minutes, seconds, 0));
    when.ToSystemTime(t);

    // Months carry whole years; the day stays, but not past the end of the month it lands in
    // (31 January + 1 month is the last day of February), and the weekday follows the date.
    int m = static_cast<int>(t->wMonth) + months - 1;
    int carry = m >= 0 ? m / 12 : -((11 - m) / 12);
    m -= carry * 12;
    t->wMonth = static_cast<WORD>(m + 1);
    t->wYear = static_cast<WORD>(static_cast<int>(t->wYear) + carry + years);
    const int lastDay = DaysInMonth(t->wYear, t->wMonth);
    if (t->wDay > lastDay)
        t->wDay = static_cast<WORD>(lastDay);
    t->wDayOfWeek = static_cast<WORD>(Weekday(DaysFromCivil(t->wYear, t->wMonth, t->wDay)));
    return true;
}

} // namespace camtag
