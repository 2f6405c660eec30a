#include "NlsPictures.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace camtag::fuzz {

namespace {

const char* const kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};
const char* const kDayAbbreviations[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonthNames[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};
const char* const kMonthAbbreviations[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr char kDefaultDate[] = "M/d/yyyy";
constexpr char kDefaultTime[] = "h:mm:ss tt";
constexpr char kEra[] = "AD";

bool IsLeap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : days[month - 1];
}

// The date the system formats: it takes month 1 to 12 and the days each month can have (29 in
// February whatever the year: 29 February of a common year is 1 March), from 1601-01-01 to
// the last day a FILETIME reaches, 30828-09-14. The time of day is not looked at. False when
// the date is refused.
bool SystemDate(const SYSTEMTIME& t, int* year, int* month, int* day) {
    static const int longest[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 || t.wDay > longest[t.wMonth - 1] ||
        t.wYear < 1601)
        return false;
    if (t.wYear > 30828 || (t.wYear == 30828 && (t.wMonth > 9 || (t.wMonth == 9 && t.wDay > 14))))
        return false;
    *year = t.wYear;
    *month = t.wMonth;
    *day = t.wDay;
    if (*day > DaysInMonth(*year, *month)) {
        *month = 3;
        *day = 1;
    }
    return true;
}

// The weekday (0 Sunday) of a Gregorian date.
int Weekday(int year, int month, int day) {
    static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3)
        --year;
    return (year + year / 4 - year / 100 + year / 400 + offsets[month - 1] + day) % 7;
}

bool ValidTime(const SYSTEMTIME& t) {
    return t.wHour <= 23 && t.wMinute <= 59 && t.wSecond <= 59 && t.wMilliseconds <= 999;
}

// Length of the picture element at p: a quoted run up to its closing quote (a doubled quote
// inside stands for one quote), a run of one of the letters in `letters`, or one character.
size_t ElementLength(const char* p, const char* letters) {
    if (*p == '\'') {
        size_t i = 1;
        for (; p[i]; ++i) {
            if (p[i] != '\'')
                continue;
            if (p[i + 1] != '\'')
                return i + 1;
            ++i;
        }
        return i;
    }
    if (!strchr(letters, *p))
        return 1;
    size_t n = 1;
    while (p[n] == p[0])
        ++n;
    return n;
}

// The text of a quoted element: its characters without the quotes, '' as one quote.
void AppendQuoted(std::string& out, const char* p, size_t length) {
    for (size_t i = 1; i < length; ++i) {
        if (p[i] == '\'') {
            if (i + 1 < length && p[i + 1] == '\'') {
                out += '\'';
                ++i;
            }
            continue;
        }
        out += p[i];
    }
}

void AppendNumber(std::string& out, int value, bool twoDigits) {
    char text[16];
    snprintf(text, sizeof text, twoDigits ? "%02d" : "%d", value);
    out += text;
}

// Walks the picture (the default when null): quoted text is copied, each run of one of
// `letters` goes to `element` (text, letter, run length), anything else is copied. Then the text
// goes out as the Win32 calls deliver it.
template <typename Element>
int Format(const char* picture, const char* fallback, const char* letters, char* out, int size,
           DWORD* error, Element element) {
    std::string text;
    for (const char* p = picture ? picture : fallback; *p;) {
        const size_t n = ElementLength(p, letters);
        if (*p == '\'')
            AppendQuoted(text, p, n);
        else if (strchr(letters, *p))
            element(text, *p, n);
        else
            text += *p;
        p += n;
    }
    const int needed = static_cast<int>(text.size()) + 1;
    if (size == 0)
        return needed;
    if (needed > size) {
        memcpy(out, text.data(), static_cast<size_t>(size));
        *error = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    memcpy(out, text.c_str(), static_cast<size_t>(needed));
    return needed;
}

bool BadBuffer(const char* out, int size, DWORD* error) {
    if (size >= 0 && (out || size == 0))
        return false;
    *error = ERROR_INVALID_PARAMETER;
    return true;
}

} // namespace

int FormatDatePicture(const SYSTEMTIME& date, const char* picture, char* out, int size,
                      DWORD* error) {
    int year = 0, month = 0, day = 0;
    if (BadBuffer(out, size, error))
        return 0;
    if (!SystemDate(date, &year, &month, &day)) {
        *error = ERROR_INVALID_PARAMETER;
        return 0;
    }
    const int weekday = Weekday(year, month, day);
    return Format(picture, kDefaultDate, "dMyg", out, size, error,
                  [&](std::string& text, char letter, size_t n) {
                      switch (letter) {
                      case 'd':
                          if (n <= 2)
                              AppendNumber(text, day, n == 2);
                          else
                              text += n == 3 ? kDayAbbreviations[weekday] : kDayNames[weekday];
                          break;
                      case 'M':
                          if (n <= 2)
                              AppendNumber(text, month, n == 2);
                          else
                              text +=
                                  n == 3 ? kMonthAbbreviations[month - 1] : kMonthNames[month - 1];
                          break;
                      case 'y': // one or two letters: two digits
                          AppendNumber(text, n <= 2 ? year % 100 : year, n <= 2);
                          break;
                      default: // 'g': each letter gives the era
                          for (size_t i = 0; i < n; ++i)
                              text += kEra;
                          break;
                      }
                  });
}

int FormatTimePicture(const SYSTEMTIME& time, const char* picture, char* out, int size,
                      DWORD* error) {
    if (BadBuffer(out, size, error))
        return 0;
    if (!ValidTime(time)) {
        *error = ERROR_INVALID_PARAMETER;
        return 0;
    }
    const int hour = time.wHour;
    return Format(picture, kDefaultTime, "hHmst", out, size, error,
                  [&](std::string& text, char letter, size_t n) {
                      switch (letter) {
                      case 'h':
                          AppendNumber(text, hour % 12 == 0 ? 12 : hour % 12, n >= 2);
                          break;
                      case 'H':
                          AppendNumber(text, hour, n >= 2);
                          break;
                      case 'm':
                          AppendNumber(text, time.wMinute, n >= 2);
                          break;
                      case 's':
                          AppendNumber(text, time.wSecond, n >= 2);
                          break;
                      default: // 't': the first letter of the designator, or all of it
                          text += n == 1 ? (hour < 12 ? "A" : "P") : (hour < 12 ? "AM" : "PM");
                          break;
                      }
                  });
}

} // namespace camtag::fuzz
