#include "dv/DvAviReader.h"
#include "host/ModuleState.h"
#include "support/TestSupport.h"
#include "text/OverlayText.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace camtag::test {
namespace {

constexpr int32_t Packed(int hours, int minutes, int seconds, int frames) {
    return static_cast<int32_t>((static_cast<uint32_t>(hours & 0xFF) << 24) |
                                ((minutes & 0xFF) << 16) | ((seconds & 0xFF) << 8) |
                                (frames & 0xFF));
}

class TimecodeTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved = hostVersion;
        hostVersion = 8;
        memset(&s, 0, sizeof s);
        s.lines = 2;
        s.flags = kFlagShowFrames | kFlagShowHours | kFlagShowPrefix;
        s.timecodemode = 15;
        s.projectRateNumerator = 25;
        s.projectRateDenominator = 1;
    }
    void TearDown() override { hostVersion = saved; }
    std::string Compose(int sourceFrame, DvAviReader* reader = nullptr) {
        char out[255];
        ComposeTimecodeText(&s, reader, sourceFrame, FileNameTokenFor(hostVersion), out,
                            sizeof out);
        return out;
    }
    static std::string Data(const char* name) { return test::DataPath(name); }

    FilterSettings s;
    int32_t saved = 0;
};

TEST_F(TimecodeTextTest, FourTimecodesWithPrefixesAndSeparators) {
    s.timecodestart = Packed(1, 0, 0, 0);
    s.startFrame = 1000;
    s.timelineOffset = 100;
    EXPECT_EQ(Compose(1010), "TL#01:00:04:10\nCL#01:00:00:10\nFL#00:00:40:10\nTP#00:00:00:00");
    s.lines = 1;
    EXPECT_EQ(Compose(1010), "TL#01:00:04:10  CL#01:00:00:10  FL#00:00:40:10  TP#00:00:00:00");
    s.flags = kFlagShowFrames | kFlagShowHours;
    EXPECT_EQ(Compose(1010), "01:00:04:10  01:00:00:10  00:00:40:10  00:00:00:00");
    // Without frames and hours: minutes and seconds only, the tape timecode too.
    s.flags = kFlagShowPrefix;
    EXPECT_EQ(Compose(1010), "TL#00:04  CL#00:00  FL#00:40  TP#00:00");
}

TEST_F(TimecodeTextTest, SeparatorsOnlyBetweenShownTimecodes) {
    strcpy(s.title, "Cam \\n");
    s.timecodemode = kTimecodeClip;
    EXPECT_EQ(Compose(30), "Cam \nCL#00:00:01:05");
    s.timecodemode = kTimecodeSourceFile | kTimecodeTape;
    EXPECT_EQ(Compose(30), "Cam \nFL#00:00:01:05\nTP#00:00:00:00");
    s.timecodemode = 0;
    EXPECT_EQ(Compose(30), "Cam \n");
}

TEST_F(TimecodeTextTest, StylesApplyToAllButTheTape) {
    s.timecodemode = 15 | (1 << 4); // Time
    s.timecodestart = Packed(1, 0, 0, 0);
    s.timelineOffset = 10;
    EXPECT_EQ(Compose(0), "TL#01:00:00.400\nCL#01:00:00.000\nFL#00:00:00.000\nTP#00:00:00:00");
    s.timecodemode = 15 | (2 << 4); // Frames
    EXPECT_EQ(Compose(5), "TL#90015\nCL#90005\nFL#5\nTP#00:00:00:00");
    s.timecodemode = 15 | (3 << 4); // no such style: only the prefixes and the tape
    EXPECT_EQ(Compose(5), "TL#\nCL#\nFL#\nTP#00:00:00:00");
}

TEST_F(TimecodeTextTest, DropFrameProjectRate) {
    s.projectRateNumerator = 2997;
    s.projectRateDenominator = 100;
    s.timecodemode = kTimecodeSourceFile;
    // The drop-frame separator stands between every field.
    EXPECT_EQ(Compose(1800), "FL#00;01;00;02");
    s.projectRateNumerator = 30000;
    s.projectRateDenominator = 1001;
    EXPECT_EQ(Compose(17982), "FL#00;10;00;00");
    // A record without a usable rate counts at 25 instead of dividing by zero.
    s.projectRateNumerator = 0;
    s.projectRateDenominator = 0;
    EXPECT_EQ(Compose(30), "FL#00:00:01:05");
    s.projectRateNumerator = 25;
    s.projectRateDenominator = 0;
    EXPECT_EQ(Compose(30), "FL#00:00:01:05");
    s.projectRateNumerator = 0xFFFFFFFFu;
    s.projectRateDenominator = 1;
    EXPECT_EQ(Compose(30), "FL#00:00:01:05");
}

TEST_F(TimecodeTextTest, TapeTimecodeFromTheSource) {
    DvAviReader pal;
    ASSERT_EQ(pal.Open(Data("pal-type2-idx1-ffmpeg.avi").c_str()), 1);
    s.dvSource = 1;
    s.timecodemode = kTimecodeSourceFile | kTimecodeTape;
    EXPECT_EQ(Compose(2, &pal), "FL#00:00:00:02\nTP#10:20:30:02");
    // A frame the reader cannot decode leaves the tape timecode at zero.
    EXPECT_EQ(Compose(4, &pal), "FL#00:00:00:04\nTP#00:00:00:00");
    std::string negative = Compose(-1, &pal);
    EXPECT_EQ(negative.substr(negative.size() - 15), "\nTP#00:00:00:00");

    DvAviReader ntsc;
    ASSERT_EQ(ntsc.Open(Data("ntsc-type2-idx1-ffmpeg-dropframe.avi").c_str()), 1);
    s.timecodemode = kTimecodeTape;
    EXPECT_EQ(Compose(1, &ntsc), "TP#00;00;59;29");
    EXPECT_EQ(Compose(2, &ntsc), "TP#00;01;00;02");
    s.flags = kFlagShowHours | kFlagShowPrefix; // no frames: the separator stays ';'
    EXPECT_EQ(Compose(2, &ntsc), "TP#00;01;00");
}

TEST_F(TimecodeTextTest, DvSourceWithoutOpenReaderGivesUserTextOnly) {
    strcpy(s.title, "Only me");
    s.dvSource = 1;
    EXPECT_EQ(Compose(3), "Only me");
    DvAviReader closed;
    EXPECT_EQ(Compose(3, &closed), "Only me");
    DvAviReader missing;
    EXPECT_EQ(missing.Open(Data("no-such-file.avi").c_str()), 0);
    EXPECT_EQ(Compose(3, &missing), "Only me");
}

TEST_F(TimecodeTextTest, CutAtOutputSize) {
    strcpy(s.title, "AB");
    char out[32];
    memset(out, 'Z', sizeof out);
    ComposeTimecodeText(&s, nullptr, 10, FileNameTokenFor(hostVersion), out, 0);
    EXPECT_EQ(out[0], 'Z');
    ComposeTimecodeText(&s, nullptr, 10, FileNameTokenFor(hostVersion), out, 1);
    EXPECT_EQ(out[0], '\0');
    EXPECT_EQ(out[1], 'Z');
    ComposeTimecodeText(&s, nullptr, 10, FileNameTokenFor(hostVersion), out, 5);
    EXPECT_STREQ(out, "ABTL");
    EXPECT_EQ(out[5], 'Z');
    ComposeTimecodeText(&s, nullptr, 10, FileNameTokenFor(hostVersion), out, 20);
    EXPECT_STREQ(out, "ABTL#00:00:00:10\nCL");
    EXPECT_EQ(out[20], 'Z');

    ComposeTimecodeText(&s, nullptr, 10, FileNameTokenFor(hostVersion), out, 5);
    EXPECT_STREQ(out, "ABTL");
    ComposeTimecodeText(static_cast<const FilterSettings*>(nullptr), nullptr, 10,
                        FileNameTokenFor(hostVersion), out, sizeof out);
    EXPECT_STREQ(out, "");
}

TEST_F(TimecodeTextTest, ExtremeFrameNumbersStayBounded) {
    s.startFrame = INT_MIN;
    s.timelineOffset = INT_MAX;
    s.timecodestart = Packed(127, 127, 127, 127);
    char out[64];
    memset(out, 'Z', sizeof out);
    ComposeTimecodeText(&s, nullptr, INT_MAX, FileNameTokenFor(hostVersion), out, 60);
    EXPECT_LT(strlen(out), 60u);
    EXPECT_EQ(out[60], 'Z');
}

} // namespace
} // namespace camtag::test
