// The fuzzing stand-in's date and time pictures against the real GetDateFormatA and
// GetTimeFormatA of the user's default locale (English, United States, in the test prefix).
#include "NlsPictures.h"
#include "unit_text/TextTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

namespace camtag::fuzz {
namespace {

SYSTEMTIME Make(int year, int month, int day, int hour, int minute, int second) {
    return test::MakeTime(year, month, day, hour, minute, second);
}

struct Outcome {
    int result;
    DWORD error; // only when result is 0
    std::string text;
};

using RealCall = int(WINAPI*)(LCID, DWORD, const SYSTEMTIME*, LPCSTR, LPSTR, int);
using StandIn = int (*)(const SYSTEMTIME&, const char*, char*, int, DWORD*);

Outcome Real(RealCall call, const SYSTEMTIME& t, const char* picture, int size) {
    char out[128];
    memset(out, 0, sizeof out);
    SetLastError(NO_ERROR);
    const int result = call(LOCALE_USER_DEFAULT, 0, &t, picture, size ? out : nullptr, size);
    return {result, result ? NO_ERROR : GetLastError(), result && size ? out : ""};
}

Outcome Ours(StandIn call, const SYSTEMTIME& t, const char* picture, int size) {
    char out[128];
    memset(out, 0, sizeof out);
    DWORD error = NO_ERROR;
    const int result = call(t, picture, size ? out : nullptr, size, &error);
    return {result, result ? NO_ERROR : error, result && size ? out : ""};
}

struct Case {
    const char* picture;
    SYSTEMTIME time;
    int size;
};

void ExpectSame(RealCall real, StandIn ours, const Case& c) {
    const Outcome want = Real(real, c.time, c.picture, c.size);
    const Outcome got = Ours(ours, c.time, c.picture, c.size);
    EXPECT_EQ(got.result, want.result)
        << "picture \"" << (c.picture ? c.picture : "(null)") << "\" size " << c.size;
    EXPECT_EQ(got.error, want.error) << "picture \"" << (c.picture ? c.picture : "(null)") << "\"";
    EXPECT_EQ(got.text, want.text) << "picture \"" << (c.picture ? c.picture : "(null)") << "\"";
}

const SYSTEMTIME kMorning = Make(2004, 7, 15, 9, 3, 5);
const SYSTEMTIME kEvening = Make(1999, 12, 31, 23, 59, 58);
const SYSTEMTIME kMidnight = Make(2000, 2, 29, 0, 0, 0);
const SYSTEMTIME kNoon = Make(2069, 1, 1, 12, 30, 0);

TEST(NlsPictures, DatePicturesAsTheSystemFormatsThem) {
    const Case cases[] = {
        {"dd.MM.yy", kMorning, 64},
        {"d/M/y", kMorning, 64},
        {"ddd dddd ddddd", kEvening, 64},
        {"MMM MMMM MMMMM", kMidnight, 64},
        {"yyy yyyy yyyyy", kNoon, 64},
        {"gg g 'g'g", kMorning, 64},
        {"'d''M''y' d", kMorning, 64},
        {"''", kMorning, 64},
        {"'''", kMorning, 64},
        {"a''b", kMorning, 64},
        {"'unclosed d", kMorning, 64},
        {"hh:mm tt HH x\xE9", kMorning, 64},
        {"", kMorning, 64},
        {nullptr, kMorning, 64},
        {"dddd", kEvening, 0},                          // the size it needs
        {"dddd", kEvening, 6},                          // one short
        {"dddd", kEvening, 7},                          // just enough
        {"d", Make(2001, 2, 31, 0, 0, 0), 64},          // no such day
        {"d", Make(2004, 4, 31, 0, 0, 0), 64},          // no such day
        {"yyyy-MM-dd", Make(2001, 2, 29, 0, 0, 0), 64}, // taken as 1 March
        {"yyyy-MM-dd", Make(1900, 2, 29, 0, 0, 0), 64},
        {"d", Make(2004, 13, 1, 0, 0, 0), 64}, // no such month
        {"d", Make(2004, 0, 1, 0, 0, 0), 64},
        {"d", Make(1600, 12, 31, 0, 0, 0), 64},    // before the calendar's range
        {"yyyy", Make(30828, 9, 14, 0, 0, 0), 64}, // the last day of a FILETIME
        {"yyyy", Make(30828, 9, 15, 0, 0, 0), 64},
        {"yyyy", Make(65535, 1, 1, 0, 0, 0), 64},
        {"d", Make(2004, 7, 15, 24, 0, 0), 64}, // the time of day is not looked at
    };
    for (const Case& c : cases)
        ExpectSame(GetDateFormatA, FormatDatePicture, c);
}

TEST(NlsPictures, TimePicturesAsTheSystemFormatsThem) {
    const Case cases[] = {
        {"HH':'mm':'ss", kMorning, 64},
        {"h hh H HH m mm s ss", kMorning, 64},
        {"hhh HHH mmm sss", kEvening, 64},
        {"t tt ttt", kMorning, 64},
        {"t tt h", kEvening, 64},
        {"h tt", kMidnight, 64},
        {"h tt", kNoon, 64},
        {"'h''m' H", kMorning, 64},
        {"90+%9 d M y g", kMorning, 64},
        {"", kMorning, 64},
        {nullptr, kEvening, 64},
        {"HH:mm", kEvening, 0},
        {"HH:mm", kEvening, 5},
        {"HH:mm", kEvening, 6},
        {"H", Make(2001, 2, 30, 10, 0, 0), 64}, // the date is not checked
        {"H", Make(2004, 7, 15, 24, 0, 0), 64},
        {"H", Make(2004, 7, 15, 10, 60, 0), 64},
        {"H", Make(2004, 7, 15, 10, 0, 60), 64},
    };
    for (const Case& c : cases)
        ExpectSame(GetTimeFormatA, FormatTimePicture, c);
}

} // namespace
} // namespace camtag::fuzz
