// Where one recording ends and the next begins, from what each frame says.
#include "Recordings.h"

#include "timecode/TimecodeValue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace camtag {
namespace {

struct Moment {
    int year, month, day, hour, minute, second;
};

// A frame recorded at `when` (or undated), with tape timecode h:m:s:f (or none).
struct Frame {
    bool dated;
    Moment when;
    bool hasTimecode;
    int h, m, s, f;
    bool nonDropFrame = false;
};

Frame At(Moment when, int h, int m, int s, int f) {
    return {true, when, true, h, m, s, f};
}
Frame AtNoTimecode(Moment when) {
    return {true, when, false, 0, 0, 0, 0};
}
Frame Blank() {
    return {false, {}, false, 0, 0, 0, 0};
}
Frame BlankWithTimecode(int h, int m, int s, int f) {
    return {false, {}, true, h, m, s, f};
}
Frame AtNonDropFrame(Moment when, int h, int m, int s, int f) {
    return {true, when, true, h, m, s, f, true};
}

std::vector<FrameFacts> Facts(const std::vector<Frame>& frames, bool pal) {
    std::vector<FrameFacts> out;
    for (const Frame& in : frames) {
        FrameFacts facts;
        facts.dated = in.dated;
        facts.when.wYear = static_cast<WORD>(in.when.year);
        facts.when.wMonth = static_cast<WORD>(in.when.month);
        facts.when.wDay = static_cast<WORD>(in.when.day);
        facts.when.wHour = static_cast<WORD>(in.when.hour);
        facts.when.wMinute = static_cast<WORD>(in.when.minute);
        facts.when.wSecond = static_cast<WORD>(in.when.second);
        facts.hasTimecode = in.hasTimecode;
        // The count as the reader gives it: through the timecode's own rules (drop-frame at 29.97).
        TimecodeValue tc;
        tc.SetRate(pal ? 25.0 : 29.97);
        if (in.nonDropFrame)
            tc.SetNonDropFrame();
        if (in.hasTimecode)
            tc.SetTimecode(in.h, in.m, in.s, in.f);
        facts.timecodeCount = tc.frameCount;
        facts.nonDropFrame = tc.nonDropFrame != 0;
        std::snprintf(facts.timecode, sizeof facts.timecode, "%02d:%02d:%02d%c%02d", tc.hours,
                      tc.minutes, tc.seconds, tc.separator, tc.frames);
        out.push_back(facts);
    }
    return out;
}

std::vector<uint32_t> Starts(const std::vector<Frame>& frames, bool pal) {
    std::vector<uint32_t> starts;
    const uint32_t scale = pal ? 25 : 30000, sampleSize = pal ? 1 : 1001;
    for (const Recording& r : FindRecordings(Facts(frames, pal), 0, scale, sampleSize, pal))
        starts.push_back(r.first);
    return starts;
}

const Moment k10 = {2024, 7, 8, 10, 0, 0};
const Moment k10s1 = {2024, 7, 8, 10, 0, 1};
const Moment k10s2 = {2024, 7, 8, 10, 0, 2};
const Moment k10s3 = {2024, 7, 8, 10, 0, 3};
const Moment k9s59 = {2024, 7, 8, 9, 59, 59};

struct Case {
    const char* what;
    bool pal;
    std::vector<Frame> frames;
    std::vector<uint32_t> starts;
};

TEST(Recordings, BreaksWhereTimeDateOrTimecodeSaySo) {
    const std::vector<Case> cases = {
        {"the clock ticks on, the timecode counts on",
         true,
         {At(k10, 1, 0, 0, 23), At(k10, 1, 0, 0, 24), At(k10s1, 1, 0, 1, 0), At(k10s1, 1, 0, 1, 1)},
         {0}},
        {"the clock goes back a second",
         true,
         {At(k10s1, 1, 0, 0, 0), At(k10, 1, 0, 0, 1)},
         {0, 1}},
        {"the clock jumps 2 s (a dropped stretch, still the recording)",
         true,
         {At(k10, 1, 0, 0, 0), At(k10s2, 1, 0, 0, 1)},
         {0}},
        {"the clock jumps 3 s", true, {At(k10, 1, 0, 0, 0), At(k10s3, 1, 0, 0, 1)}, {0, 1}},
        {"blank tape between two recordings",
         true,
         {At(k10, 1, 0, 0, 0), Blank(), Blank(), At(k10, 1, 0, 0, 1)},
         {0, 1, 3}},
        {"the timecode jumps while the clock runs on",
         true,
         {At(k10, 1, 0, 0, 0), At(k10, 1, 0, 0, 1), At(k10, 2, 0, 0, 0)},
         {0, 2}},
        {"the timecode starts again at zero",
         true,
         {At(k10, 0, 5, 0, 0), At(k10, 0, 0, 0, 0)},
         {0, 1}},
        {"frames without timecode leave the clock to decide",
         true,
         {AtNoTimecode(k10), At(k10, 5, 0, 0, 0), AtNoTimecode(k10s1), AtNoTimecode(k9s59)},
         {0, 3}},
        {"blank tape with a running timecode is one stretch",
         true,
         {BlankWithTimecode(0, 0, 0, 0), BlankWithTimecode(0, 0, 0, 1),
          BlankWithTimecode(0, 0, 0, 3)},
         {0, 2}},
        {"the timecode passes midnight", true, {At(k10, 23, 59, 59, 24), At(k10, 0, 0, 0, 0)}, {0}},
        {"drop-frame: ;29 is followed by ;02 of the next minute",
         false,
         {At(k10, 0, 0, 59, 28), At(k10, 0, 0, 59, 29), At(k10, 0, 1, 0, 2), At(k10, 0, 1, 0, 3)},
         {0}},
        {"drop-frame: ;00 of a tenth minute exists",
         false,
         {At(k10, 0, 9, 59, 29), At(k10, 0, 10, 0, 0)},
         {0}},
        {"drop-frame: the timecode passes midnight",
         false,
         {At(k10, 23, 59, 59, 29), At(k10, 0, 0, 0, 0)},
         {0}},
        {"drop-frame: a skipped label is a break",
         false,
         {At(k10, 0, 0, 59, 28), At(k10, 0, 1, 0, 2)},
         {0, 1}},
        {"non-drop-frame: :29 is followed by :00 of the next minute",
         false,
         {AtNonDropFrame(k10, 0, 0, 59, 29), AtNonDropFrame(k10, 0, 1, 0, 0),
          AtNonDropFrame(k10, 0, 1, 0, 1)},
         {0}},
        {"non-drop-frame: the timecode passes midnight",
         false,
         {AtNonDropFrame(k10, 23, 59, 59, 29), AtNonDropFrame(k10, 0, 0, 0, 0)},
         {0}},
        {"the timecode changes kind",
         false,
         {At(k10, 0, 1, 0, 2), AtNonDropFrame(k10, 0, 1, 0, 1)},
         {0, 1}},
        {"the recording passes midnight and new year",
         true,
         {At({2024, 12, 31, 23, 59, 59}, 3, 0, 0, 24), At({2025, 1, 1, 0, 0, 0}, 3, 0, 1, 0)},
         {0}},
        {"the same time on another day",
         true,
         {At({2024, 7, 8, 10, 0, 0}, 3, 0, 0, 0), At({2024, 7, 9, 10, 0, 0}, 3, 0, 0, 1)},
         {0, 1}},
        {"a dropout of 5 frames inside a recording",
         true,
         {At(k10, 1, 0, 0, 0), Blank(), Blank(), Blank(), Blank(), Blank(), At(k10, 1, 0, 0, 6)},
         {0}},
        {"6 frames without a date are more than a dropout",
         true,
         {At(k10, 1, 0, 0, 0), Blank(), Blank(), Blank(), Blank(), Blank(), Blank(),
          At(k10, 1, 0, 0, 7)},
         {0, 1, 7}},
        {"a dropout's timecode that does not follow on",
         true,
         {At(k10, 1, 0, 0, 0), BlankWithTimecode(2, 0, 0, 1), At(k10s1, 1, 0, 0, 2)},
         {0, 1, 2}},
        {"the clock jumps across a dropout",
         true,
         {At(k10, 1, 0, 0, 0), Blank(), At(k10s3, 1, 0, 0, 2)},
         {0, 1, 2}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Starts(c.frames, c.pal), c.starts) << c.what;
}

TEST(Recordings, EachRecordingSaysWhereAndWhenItRuns) {
    const std::vector<Frame> frames = {At(k10, 1, 0, 0, 0), At(k10s1, 1, 0, 0, 1), Blank(), Blank(),
                                       AtNoTimecode(k9s59), At(k10, 0, 0, 7, 3)};
    const std::vector<Recording> r = FindRecordings(Facts(frames, true), 100, 25, 1, true);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].first, 100u);
    EXPECT_EQ(r[0].last, 101u);
    EXPECT_TRUE(r[0].dated);
    EXPECT_EQ(DateTimeText(r[0].start), "2024-07-08 10:00:00");
    EXPECT_EQ(DateTimeText(r[0].end), "2024-07-08 10:00:01");
    EXPECT_EQ(r[0].startTimecode, "01:00:00:00");
    EXPECT_EQ(r[1].first, 102u);
    EXPECT_EQ(r[1].last, 103u);
    EXPECT_FALSE(r[1].dated);
    EXPECT_EQ(r[1].startTimecode, "") << "no timecode in the first frame";
    EXPECT_EQ(r[2].first, 104u);
    EXPECT_EQ(r[2].last, 105u);
    EXPECT_EQ(DateTimeText(r[2].start), "2024-07-08 09:59:59");
    EXPECT_EQ(r[2].startTimecode, "");
}

TEST(Recordings, NothingForNoFrames) {
    EXPECT_TRUE(FindRecordings({}, 0, 25, 1, true).empty());
}

} // namespace
} // namespace camtag
