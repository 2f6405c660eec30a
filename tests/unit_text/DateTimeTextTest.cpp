#include "TextTestSupport.h"

#include "host/ModuleState.h"
#include "settings/FormatLists.h"
#include "text/OverlayText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace camtag::test {
namespace {

class DateTimeTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedDates = dateFormats;
        savedTimes = timeFormats;
        savedVersion = hostVersion;
        dateFormats = FormatList{{" ", "dd.MM.yy", "yyyy"}, 3};
        timeFormats = FormatList{{" ", "HH':'mm':'ss", "HH':'mm"}, 3};
        hostVersion = 8;
        memset(&s, 0, sizeof s);
        s.timeformat = 1;
        s.dateformat = 1;
        s.timeup = 1;
        s.lines = 2;
    }
    void TearDown() override {
        dateFormats = savedDates;
        timeFormats = savedTimes;
        hostVersion = savedVersion;
    }
    std::string Compose(SYSTEMTIME t = MakeTime(2004, 7, 15, 14, 23, 5)) {
        char out[255];
        ComposeDateTimeText(&s, t, FileNameTokenFor(hostVersion), out, sizeof out);
        return out;
    }
    void SetTitle(const char* text) { strncpy(s.title, text, sizeof s.title); }

    ScopedTimeZone utc{"UTC0"};
    FilterSettings s;
    FormatList savedDates, savedTimes;
    int32_t savedVersion = 0;
};

TEST_F(DateTimeTextTest, PartsOrderAndSeparators) {
    EXPECT_EQ(Compose(), "14:23:05\n15.07.04");
    s.timeup = 0;
    EXPECT_EQ(Compose(), "15.07.04\n14:23:05");
    s.timeup = 1;

    // The title's own "\n" gives the break before the first part.
    SetTitle("Trip\\n");
    EXPECT_EQ(Compose(), "Trip\n14:23:05\n15.07.04");

    // Single line: the first part follows the title directly, three spaces between parts.
    SetTitle("Trip ");
    s.lines = 1;
    EXPECT_EQ(Compose(), "Trip 14:23:05   15.07.04");

    // No time: only the date follows the title, without a separator.
    s.lines = 2;
    s.timeformat = 0;
    s.dateformat = 2;
    EXPECT_EQ(Compose(), "Trip 2004");
    s.timeup = 0;
    EXPECT_EQ(Compose(), "Trip 2004");
    s.dateformat = 0;
    EXPECT_EQ(Compose(), "Trip ");
}

TEST_F(DateTimeTextTest, IndexesArePulledBackAndStored) {
    timeFormats = FormatList{{" ", "HH", "mm", "'T'ss"}, 4};
    s.timeformat = 9;
    s.dateformat = 0xFFFFFFFFu;
    EXPECT_EQ(Compose(), "T05\n2004");
    ClampPictureIndexes(s);
    EXPECT_EQ(s.timeformat, 3u);
    EXPECT_EQ(s.dateformat, 2u);
    // A list whose count was damaged never indexes past its slots.
    timeFormats.count = 99;
    s.timeformat = 50;
    EXPECT_EQ(Compose(), "2004") << "empty slot 6: no time, the date alone";
    ClampPictureIndexes(s);
    EXPECT_EQ(s.timeformat, 6u);
}

TEST_F(DateTimeTextTest, AdjustmentAppliesToCopyOnly) {
    s.timeadjust = TimeAdjust(0, 0, 45);
    SYSTEMTIME t = MakeTime(2004, 12, 31, 23, 59, 30);
    EXPECT_EQ(Compose(t), "00:00:15\n01.01.05");
    EXPECT_EQ(Show(t), "2004-12-31 23:59:30.000");

    // 31 January + 1 month: the last day of February, not a date that cannot be shown.
    s.timeadjust = 0;
    s.dateadjust = DateAdjust(0, 1, 0);
    EXPECT_EQ(Compose(MakeTime(2004, 1, 31, 8, 0, 0)), "08:00:00\n29.02.04");
}

TEST_F(DateTimeTextTest, MinuteTokens) {
    struct Case {
        int hour, minute;
        const char* two;
        const char* plain;
    } cases[] = {{1, 35, "90+05", "90+5"}, {0, 7, "07", "7"},
                 {1, 30, "90", "90"},      {0, 0, "00", "0"},
                 {1, 31, "90+01", "90+1"}, {23, 59, "90+1349", "90+1349"}};
    for (const Case& c : cases) {
        SYSTEMTIME t = MakeTime(2004, 7, 15, c.hour, c.minute);
        char out[51];
        ExpandMinuteTokens("%9", t, out, sizeof out);
        EXPECT_STREQ(out, c.two) << c.hour << ":" << c.minute;
        ExpandMinuteTokens("%#9", t, out, sizeof out);
        EXPECT_STREQ(out, c.plain) << c.hour << ":" << c.minute;
    }
    SYSTEMTIME t = MakeTime(2004, 7, 15, 1, 35, 12);
    char out[51];
    ExpandMinuteTokens("%%9%x%#%#9':'ss%", t, out, sizeof out);
    EXPECT_STREQ(out, "%90+05%x%#90+5':'ss%");

    // Through the whole composition, with the tokens before a seconds field.
    timeFormats = FormatList{{" ", "%9':'ss"}, 2};
    s.dateformat = 0;
    EXPECT_EQ(Compose(MakeTime(2004, 7, 15, 1, 35, 12)), "90+05:12");
    // The adjusted time is what counts.
    s.timeadjust = TimeAdjust(0, -30, 0);
    EXPECT_EQ(Compose(MakeTime(2004, 7, 15, 1, 35, 12)), "65:12");
}

TEST_F(DateTimeTextTest, MinuteTokensStayWithinFiftyCharacters) {
    SYSTEMTIME t = MakeTime(2004, 7, 15, 1, 35);
    std::string many;
    for (int i = 0; i < 14; ++i)
        many += "%9";
    char out[80];
    memset(out, 'Z', sizeof out);
    ExpandMinuteTokens(many.c_str(), t, out, sizeof out);
    EXPECT_EQ(strlen(out), 50u);
    EXPECT_EQ(out[51], 'Z');
    char small[4];
    ExpandMinuteTokens("%9", t, small, sizeof small);
    EXPECT_STREQ(small, "90+");
    ExpandMinuteTokens("%9", t, small, 0); // nothing written
}

TEST_F(DateTimeTextTest, FileNameDependsOnHostVersion) {
    strcpy(s.sourcePath, "C:\\Video\\2004\\beach.avi");
    SetTitle("%f\\n");
    s.timeformat = 0;
    s.dateformat = 0;
    hostVersion = 8;
    EXPECT_EQ(Compose(), "beach.avi\n");
    hostVersion = 9;
    EXPECT_EQ(Compose(), "%f\n");
}

TEST_F(DateTimeTextTest, OutputIsCutAtItsSize) {
    SetTitle("Title");
    SYSTEMTIME t = MakeTime(2004, 7, 15, 14, 23, 5);
    char out[16];
    memset(out, 'Z', sizeof out);
    ComposeDateTimeText(&s, t, FileNameTokenFor(hostVersion), out, 0);
    EXPECT_EQ(out[0], 'Z');
    ComposeDateTimeText(&s, t, FileNameTokenFor(hostVersion), out, 1);
    EXPECT_EQ(out[0], '\0');
    EXPECT_EQ(out[1], 'Z');
    ComposeDateTimeText(&s, t, FileNameTokenFor(hostVersion), out, 5);
    EXPECT_STREQ(out, "Titl");
    EXPECT_EQ(out[5], 'Z');
    ComposeDateTimeText(&s, t, FileNameTokenFor(hostVersion), out, 10);
    EXPECT_STREQ(out, "Title14:2");
    ComposeDateTimeText(&s, t, FileNameTokenFor(hostVersion), out, 15);
    EXPECT_STREQ(out, "Title14:23:05\n");
    EXPECT_EQ(out[15], 'Z');

    // A missing record gives an empty text.
    ComposeDateTimeText(&s, t, FileNameTokenFor(hostVersion), out, 6);
    EXPECT_STREQ(out, "Title");
    ComposeDateTimeText(static_cast<const FilterSettings*>(nullptr), t,
                        FileNameTokenFor(hostVersion), out, sizeof out);
    EXPECT_STREQ(out, "");
    strcpy(out, "x");
    ComposeDateTimeText(static_cast<const FilterSettings*>(nullptr), t,
                        FileNameTokenFor(hostVersion), out, sizeof out);
    EXPECT_STREQ(out, "");
}

TEST_F(DateTimeTextTest, PicturesTheSystemRejects) {
    // A picture filled to its last byte has no terminator; it is read within its slot.
    memset(timeFormats.slots[2], 'H', kFormatSlotSize);
    s.timeformat = 2;
    s.dateformat = 0;
    std::string text = Compose();
    EXPECT_LE(text.size(), 49u);
    // Times and dates the system cannot format leave their part empty.
    s.timeformat = 1;
    s.dateformat = 1;
    SYSTEMTIME bad = MakeTime(2004, 2, 30, 25, 0, 0);
    EXPECT_EQ(Compose(bad), "");
    SetTitle("T");
    EXPECT_EQ(Compose(bad), "T");
}

} // namespace
} // namespace camtag::test
