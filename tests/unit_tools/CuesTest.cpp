// Subtitle cues of the stamped text: runs of equal text, frame-exact times, the two formats.
#include "Cues.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace camtag {
namespace {

TEST(Cues, FrameTimesAreExactAndRoundedDown) {
    struct Row {
        uint64_t frame;
        uint32_t scale, sampleSize;
        int64_t ms;
    };
    const std::vector<Row> rows = {
        {0, 25, 1, 0},
        {1, 25, 1, 40},
        {90000, 25, 1, 3600000}, // an hour of PAL
        {1, 30000, 1001, 33},    // 33.37
        {2, 30000, 1001, 66},    // 66.73: never later than the frame
        {3, 30000, 1001, 100},   // 100.1
        {30, 30000, 1001, 1001},
        {107892, 30000, 1001, 3599996},         // 3599996.4: an hour of NTSC, without drift
        {2147483647, 30000, 1001, 71654371021}, // the largest frame number
    };
    for (const Row& r : rows)
        EXPECT_EQ(FrameMilliseconds(r.frame, r.scale, r.sampleSize), r.ms)
            << r.frame << " at " << r.scale << "/" << r.sampleSize;
}

TEST(Cues, OneCuePerRunOfEqualText) {
    CueBuilder builder;
    for (const char* text : {"A", "A", "", "B", "B", "B", "A", "", ""})
        builder.Add(text);
    const std::vector<Cue> cues = builder.Cues();
    ASSERT_EQ(cues.size(), 3u);
    EXPECT_EQ(cues[0].first, 0u);
    EXPECT_EQ(cues[0].end, 2u);
    EXPECT_EQ(cues[0].text, "A");
    EXPECT_EQ(cues[1].first, 3u);
    EXPECT_EQ(cues[1].end, 6u);
    EXPECT_EQ(cues[2].first, 6u);
    EXPECT_EQ(cues[2].end, 7u);
    EXPECT_EQ(builder.Frames(), 9u);
}

TEST(Cues, SrtAndWebVtt) {
    const std::vector<Cue> cues = {
        {0, 30, "19:55:58\n08.07.24"}, {30, 31, "a <b> & c\n\nd\n"}, {40, 41, "\n"}};
    EXPECT_EQ(SrtText(cues, 30000, 1001), "1\n00:00:00,000 --> 00:00:01,001\n19:55:58\n08.07.24\n\n"
                                          "2\n00:00:01,001 --> 00:00:01,034\na <b> & c\nd\n\n");
    EXPECT_EQ(VttText(cues, 25, 1),
              "WEBVTT\n\n00:00:00.000 --> 00:00:01.200\n19:55:58\n08.07.24\n\n"
              "00:00:01.200 --> 00:00:01.240\na &lt;b&gt; &amp; c\nd\n\n")
        << "no empty line inside a cue, no cue without text, markup escaped";
    EXPECT_EQ(SrtText({{0, 1, "x"}}, 25, 1).substr(0, 2), "1\n");
    // Beyond 99 hours the hours just grow.
    EXPECT_NE(SrtText({{9000000, 9000001, "x"}}, 25, 1).find("100:00:00,000 --> 100:00:00,040"),
              std::string::npos);
}

} // namespace
} // namespace camtag
