#include "TextTestSupport.h"

#include "text/RecordingDateTime.h"

#include <gtest/gtest.h>

namespace camtag::test {
namespace {

// Every test here runs with UTC0 unless it sets another zone itself.
class RecordingDateTimeTest : public ::testing::Test {
protected:
    ScopedTimeZone utc{"UTC0"};
};

TEST_F(RecordingDateTimeTest, CalendarFieldsInAndOut) {
    RecordingDateTime t(2004, 7, 15, 14, 23, 5, 250);
    EXPECT_EQ(t.value, 1089901385250LL);
    SYSTEMTIME st = MakeTime(1, 1, 1);
    ASSERT_TRUE(t.ToSystemTime(&st));
    EXPECT_EQ(Show(st), "2004-07-15 14:23:05.250");
    EXPECT_EQ(st.wDayOfWeek, 4); // a Thursday

    EXPECT_EQ(RecordingDateTime::FromDuration(1, 2, 3, 4, 5).value,
              ((((1LL * 24 + 2) * 60 + 3) * 60 + 4) * 1000 + 5));
    EXPECT_EQ(RecordingDateTime::FromDuration(-1, 0, 0, 0, 0).value, -86400000LL);
    // No 32-bit overflow in the duration.
    EXPECT_EQ(RecordingDateTime::FromDuration(127, 127, 127, 127, 0).value,
              ((((127LL * 24 + 127) * 60 + 127) * 60) + 127) * 1000);
}

TEST_F(RecordingDateTimeTest, OutOfRangeFieldsGiveZero) {
    EXPECT_EQ(RecordingDateTime(1899, 12, 31, 0, 0, 0, 0).value, 0);
    EXPECT_EQ(RecordingDateTime(2004, 0, 1, 0, 0, 0, 0).value, 0);
    EXPECT_EQ(RecordingDateTime(2004, 13, 1, 0, 0, 0, 0).value, 0);
    EXPECT_EQ(RecordingDateTime(2004, 1, 0, 0, 0, 0, 0).value, 0);
    EXPECT_EQ(RecordingDateTime(2004, 1, 32, 0, 0, 0, 0).value, 0);
    EXPECT_EQ(RecordingDateTime(2004, 1, 1, 24, 0, 0, 0).value, 0);
    EXPECT_EQ(RecordingDateTime(2004, 1, 1, 0, 60, 0, 0).value, 0);
    EXPECT_EQ(RecordingDateTime(2004, 1, 1, 0, 0, 60, 0).value, 0);
    EXPECT_EQ(RecordingDateTime(2004, 1, 1, 0, 0, 0, 1000).value, 0);
    EXPECT_EQ(RecordingDateTime(1950, 1, 1, 0, 0, 0, 0).value, 0); // before 1970
    EXPECT_EQ(RecordingDateTime(3001, 1, 1, 0, 0, 0, 0).value, 0); // after 3000
    EXPECT_EQ(RecordingDateTime(MakeTime(1800, 1, 1)).value, 0);
    // 31 April is carried into May by the conversion, not refused.
    SYSTEMTIME st;
    ASSERT_TRUE(RecordingDateTime(2004, 4, 31, 0, 0, 0, 0).ToSystemTime(&st));
    EXPECT_EQ(Show(st), "2004-05-01 00:00:00.000");
}

TEST_F(RecordingDateTimeTest, FailedConversionLeavesTargetAlone) {
    SYSTEMTIME st = MakeTime(2004, 7, 15, 1, 2, 3);
    EXPECT_FALSE(RecordingDateTime(-5000).ToSystemTime(&st));
    EXPECT_EQ(Show(st), "2004-07-15 01:02:03.000");
    EXPECT_FALSE(RecordingDateTime(0).ToSystemTime(nullptr));
}

struct AdjustCase {
    SYSTEMTIME in;
    int years, months, days, hours, minutes, seconds;
    const char* expected;
};

TEST_F(RecordingDateTimeTest, AdjustmentExamples) {
    const AdjustCase cases[] = {
        {MakeTime(2004, 12, 31, 23, 59, 30), 0, 0, 0, 0, 0, 45, "2005-01-01 00:00:15.000"},
        {MakeTime(2004, 3, 1, 10, 0, 0), 0, 0, -1, 0, 0, 0, "2004-02-29 10:00:00.000"},
        {MakeTime(2004, 11, 15), 0, 2, 0, 0, 0, 0, "2005-01-15 00:00:00.000"},
        {MakeTime(2004, 11, 15), 0, 1, 0, 0, 0, 0, "2004-12-15 00:00:00.000"},
        {MakeTime(2004, 11, 15), 0, -11, 0, 0, 0, 0, "2003-12-15 00:00:00.000"},
        {MakeTime(2004, 1, 2, 0, 30), 0, 0, 0, -25, 0, 0, "2003-12-31 23:30:00.000"},
        // Days and clock first, then months, then years.
        {MakeTime(2003, 2, 28), 1, 0, 1, 0, 0, 0, "2004-03-01 00:00:00.000"},
        // Months carrying whole years both ways.
        {MakeTime(2004, 12, 10), 0, 12, 0, 0, 0, 0,
         "2005-12-10 00:00:00.000"}, // 24 -> December next year
        {MakeTime(2004, 1, 10), 0, -1, 0, 0, 0, 0,
         "2003-12-10 00:00:00.000"}, // 0 -> December before
        {MakeTime(2004, 1, 10), 0, -2, 0, 0, 0, 0,
         "2003-11-10 00:00:00.000"}, // -1 -> November before
        {MakeTime(2004, 1, 10), 0, -12, 0, 0, 0, 0, "2003-01-10 00:00:00.000"},
        {MakeTime(2004, 1, 10), 0, -13, 0, 0, 0, 0, "2002-12-10 00:00:00.000"},
        {MakeTime(2004, 6, 10), 0, 127, 0, 0, 0, 0, "2015-01-10 00:00:00.000"},
        {MakeTime(2004, 6, 10), 0, -128, 0, 0, 0, 0, "1993-10-10 00:00:00.000"},
        // 31 January + 1 month: the last day of February.
        {MakeTime(2004, 1, 31), 0, 1, 0, 0, 0, 0, "2004-02-29 00:00:00.000"},
        {MakeTime(2004, 7, 15), -3, 0, 0, 0, 0, 0, "2001-07-15 00:00:00.000"},
        {MakeTime(2004, 7, 15), 996, 0, 0, 0, 0, 0, "3000-07-15 00:00:00.000"},
        {MakeTime(2004, 7, 15, 12), 0, 0, 127, 127, 127, 127, "2004-11-24 21:09:07.000"},
        // The second zone's summer time under Wine: 02:00-03:00 skipped on 4 April 2004 and on
        // 13 March 2011, 01:00-02:00 repeated on 31 October 2004.
        {MakeTime(2004, 4, 4, 2, 30), 0, 0, 0, 0, 0, 1, "2004-04-04 02:30:01.000"},
        {MakeTime(2011, 3, 13, 1, 59, 59), 0, 0, 0, 0, 0, 1, "2011-03-13 02:00:00.000"},
        {MakeTime(2004, 10, 31, 1, 30), 0, 0, 0, 1, 0, 0, "2004-10-31 02:30:00.000"},
        // Month ends and leap days: the day stays within the month.
        {MakeTime(2004, 3, 27), 0, 1, 4, 0, 0, 0, "2004-04-30 00:00:00.000"},
        {MakeTime(2004, 12, 31), 0, -1, 0, 0, 0, 0, "2004-11-30 00:00:00.000"},
        {MakeTime(2004, 2, 29), 1, 0, 0, 0, 0, 0, "2005-02-28 00:00:00.000"},
        {MakeTime(2004, 2, 29), 96, 0, 0, 0, 0, 0, "2100-02-28 00:00:00.000"},
    };
    // The same in every zone: a camcorder's clock belongs to none.
    for (const char* zone : {"UTC0", "CET-1CEST"}) {
        ScopedTimeZone tz(zone);
        for (const AdjustCase& c : cases) {
            SYSTEMTIME t = c.in;
            EXPECT_TRUE(ApplyAdjustment(&t, TimeAdjust(c.hours, c.minutes, c.seconds),
                                        DateAdjust(c.years, c.months, c.days)));
            EXPECT_EQ(Show(t), c.expected)
                << zone << " " << Show(c.in) << " Y" << c.years << " M" << c.months << " D"
                << c.days << " h" << c.hours << " m" << c.minutes << " s" << c.seconds;
        }
    }
    SYSTEMTIME t = MakeTime(2004, 1, 31);
    ApplyAdjustment(&t, 0, DateAdjust(0, 1, 0));
    EXPECT_EQ(t.wDayOfWeek, 0) << "the weekday follows the date: 29 February 2004 was a Sunday";
}

TEST_F(RecordingDateTimeTest, ZeroAdjustmentDoesNotConvert) {
    SYSTEMTIME t = MakeTime(2004, 7, 15, 14, 23, 5);
    t.wDayOfWeek = 77;
    EXPECT_FALSE(ApplyAdjustment(&t, 0, 0));
    EXPECT_EQ(t.wDayOfWeek, 77);
    // Only the unused byte of timeadjust set: converted with a zero shift.
    EXPECT_TRUE(ApplyAdjustment(&t, 0x01000000, 0));
    EXPECT_EQ(Show(t), "2004-07-15 14:23:05.000");
    EXPECT_EQ(t.wDayOfWeek, 4);
}

TEST_F(RecordingDateTimeTest, UnconvertibleTimeShiftsFrom1970) {
    SYSTEMTIME t = MakeTime(1800, 5, 5, 5, 5, 5);
    EXPECT_TRUE(ApplyAdjustment(&t, TimeAdjust(1, 0, 0), 0));
    EXPECT_EQ(Show(t), "1970-01-01 01:00:00.000");
    // A negative shift from there cannot convert back: only the months and years apply.
    t = MakeTime(1800, 5, 5, 5, 5, 5);
    EXPECT_TRUE(ApplyAdjustment(&t, TimeAdjust(-1, 0, 0), DateAdjust(1, 1, 0)));
    EXPECT_EQ(Show(t), "1801-06-05 05:05:05.000");
}

// Wine's runtime, like Microsoft's, takes a TZ variable's summer time on the US dates: in 2004
// from the first Sunday of April, 02:00 -> 03:00, to the last Sunday of October. A camcorder's
// clock knows nothing of it.
TEST_F(RecordingDateTimeTest, ShiftsAcrossSummerTimeAreCalendarTime) {
    ScopedTimeZone cet("CET-1CEST");
    SYSTEMTIME t = MakeTime(2004, 4, 4, 1, 30);
    ASSERT_TRUE(ApplyAdjustment(&t, TimeAdjust(1, 0, 0), 0));
    EXPECT_EQ(Show(t), "2004-04-04 02:30:00.000");

    t = MakeTime(2004, 4, 3, 12, 0);
    ASSERT_TRUE(ApplyAdjustment(&t, 0, DateAdjust(0, 0, 1)));
    EXPECT_EQ(Show(t), "2004-04-04 12:00:00.000");

    t = MakeTime(2004, 4, 4, 3, 30);
    ASSERT_TRUE(ApplyAdjustment(&t, TimeAdjust(-1, 0, 0), 0));
    EXPECT_EQ(Show(t), "2004-04-04 02:30:00.000");

    // Calendar months carry no hour with them.
    t = MakeTime(2004, 3, 20, 12, 0);
    ASSERT_TRUE(ApplyAdjustment(&t, 0, DateAdjust(0, 1, 0)));
    EXPECT_EQ(Show(t), "2004-04-20 12:00:00.000");

    // Calendar fields in and out, the zone not applied either way.
    RecordingDateTime summer(2004, 7, 15, 14, 23, 5, 0);
    EXPECT_EQ(summer.value, 1089901385000LL);
    SYSTEMTIME back;
    ASSERT_TRUE(summer.ToSystemTime(&back));
    EXPECT_EQ(Show(back), "2004-07-15 14:23:05.000");
}

} // namespace
} // namespace camtag::test
