// Recording date, time and tape timecode out of hand-built DIF sequences.
#include "DvAviWriter.h"
#include "dv/DvAviReader.h"
#include "support/TestSupport.h"
#include "timecode/TimecodeValue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

using namespace camtag;
using namespace camtag::test;

namespace {

using SequenceMaker = std::function<void(uint8_t* seq)>;

// One AVI file whose frame i carries sequence 6 as made by makers[i].
class PackFile {
public:
    PackFile(bool pal, std::vector<SequenceMaker> makers) : file("dm") {
        DvAviLayout l;
        l.pal = pal;
        l.frames = static_cast<uint32_t>(makers.size());
        l.fill = [&](uint32_t frame, uint8_t* data, size_t) {
            data[3] = pal ? 0xBF : 0x3F;
            uint8_t* seq = data + 6 * kDifSequence;
            ClearPacks(seq);
            makers[frame](seq);
        };
        EXPECT_TRUE(file.Write(BuildDvAvi(l).bytes));
        reader.Open(file.Path());
        EXPECT_EQ(reader.isOpen, 1);
    }
    TempFile file;
    DvAviReader reader;
};

void VauxDate(uint8_t* s, int d, int m, int y) {
    PutDatePack(s, kVauxDatePack, d, m, y);
}
void VauxTime(uint8_t* s, int h, int m, int sec) {
    PutTimePack(s, kVauxTimePack, h, m, sec);
}

TEST(DvPacks, VauxCopiesWinOverSubcodeCopies) {
    PackFile f(true, {[](uint8_t* s) {
                   VauxDate(s, 1, 2, 2003);
                   VauxTime(s, 4, 5, 6);
                   PutDatePack(s, SsybPack(0), 9, 9, 2009);
                   PutTimePack(s, SsybPack(1), 9, 9, 9);
               }});
    DvFrameInfo info;
    ASSERT_EQ(f.reader.DecodeFrame(0, &info), 1);
    EXPECT_EQ(info.day, 1);
    EXPECT_EQ(info.month, 1);
    EXPECT_EQ(info.year, 103);
    EXPECT_EQ(info.hour, 4);
    EXPECT_EQ(info.minute, 5);
    EXPECT_EQ(info.second, 6);
    EXPECT_EQ(info.weekday, -1);
    EXPECT_EQ(info.dayOfYear, -1);
    EXPECT_EQ(info.isDst, -1);
}

TEST(DvPacks, TheLowestSubcodeCopyWinsWhenVauxIsEmpty) {
    PackFile f(true, {[](uint8_t* s) {
                          PutTimePack(s, SsybPack(1), 7, 8, 9);
                          PutDatePack(s, SsybPack(3), 3, 4, 2005);
                          PutTimePack(s, SsybPack(4), 10, 11, 12);
                          PutDatePack(s, SsybPack(5), 6, 7, 2008);
                      },
                      [](uint8_t* s) {
                          // An invalid first copy is passed over for a later valid one.
                          PutDatePack(s, SsybPack(0), 30, 2, 2004);
                          PutDatePack(s, SsybPack(2), 29, 2, 2004);
                          PutTimePack(s, SsybPack(3), 24, 0, 0);
                          PutTimePack(s, SsybPack(4), 23, 59, 59);
                      }});
    DvFrameInfo info;
    ASSERT_EQ(f.reader.DecodeFrame(0, &info), 1);
    EXPECT_EQ(info.year + 1900, 2005);
    EXPECT_EQ(info.month + 1, 4);
    EXPECT_EQ(info.day, 3);
    EXPECT_EQ(info.hour, 7);
    EXPECT_EQ(info.minute, 8);
    EXPECT_EQ(info.second, 9);
    ASSERT_EQ(f.reader.DecodeFrame(1, &info), 1);
    EXPECT_EQ(info.day, 29);
    EXPECT_EQ(info.hour, 23);
}

TEST(DvPacks, DateFieldsAndCenturyRule) {
    struct Case {
        uint8_t day, month, year; // raw pack bytes
        int valid, fullYear, monthField, dayField;
    };
    const Case cases[] = {
        {0x15, 0x06, 0x69, 1, 2069, 5, 15},
        {0x15, 0x06, 0x70, 1, 1970, 5, 15},
        {0x15, 0x06, 0x99, 1, 1999, 5, 15},
        {0x31, 0x12, 0x04, 1, 2004, 11, 31},
        {0x29, 0x02, 0x03, 0, 0, 0, 0},
        {0x29, 0x02, 0x04, 1, 2004, 1, 29},
        {0x31, 0x04, 0x05, 0, 0, 0, 0},
        {0x00, 0x01, 0x05, 0, 0, 0, 0},
        {0x01, 0x13, 0x05, 0, 0, 0, 0},
        {0xFF, 0xFF, 0xFF, 0, 0, 0, 0},
        // Reserved high bits set by camcorders are masked away.
        {0xD5, 0xE6, 0x07, 1, 2007, 5, 15},
    };
    std::vector<SequenceMaker> makers;
    for (const Case& c : cases)
        makers.push_back([c](uint8_t* s) {
            PutPack(s, kVauxDatePack, 0x62, 0xFF, c.day, c.month, c.year);
            VauxTime(s, 1, 2, 3);
        });
    PackFile f(true, makers);
    for (size_t i = 0; i < makers.size(); ++i) {
        SCOPED_TRACE(i);
        DvFrameInfo info;
        memset(&info, 0x33, sizeof info);
        EXPECT_EQ(f.reader.DecodeFrame(static_cast<uint32_t>(i), &info), cases[i].valid);
        if (cases[i].valid) {
            EXPECT_EQ(info.year + 1900, cases[i].fullYear);
            EXPECT_EQ(info.month, cases[i].monthField);
            EXPECT_EQ(info.day, cases[i].dayField);
        } else {
            DvFrameInfo zero;
            memset(&zero, 0, sizeof zero);
            EXPECT_EQ(memcmp(&info, &zero, sizeof info), 0) << "no valid date: an all-zero record";
        }
    }
}

TEST(DvPacks, ValidDateWithoutValidTimeGivesAZeroRecord) {
    PackFile f(true, {[](uint8_t* s) {
                          VauxDate(s, 1, 1, 2001);
                          PutTimePack(s, kVauxTimePack, 0, 60, 0);
                      },
                      [](uint8_t* s) { VauxDate(s, 1, 1, 2001); }});
    for (uint32_t i = 0; i < 2; ++i) {
        DvFrameInfo info;
        memset(&info, 0x33, sizeof info);
        SYSTEMTIME st;
        memset(&st, 0x44, sizeof st);
        EXPECT_EQ(f.reader.DecodeFrame(i, &info), 0);
        EXPECT_EQ(info.year, 0);
        EXPECT_EQ(info.day, 0);
        EXPECT_EQ(info.isDst, 0);
        EXPECT_EQ(f.reader.GetRecordingTime(i, &st), 0);
        EXPECT_EQ(st.wYear, 0x4444);
    }
}

TEST(DvPacks, TimecodeLimitsFollowTheTvSystem) {
    auto frames = [](int tcFrames, bool second) {
        return [tcFrames, second](uint8_t* s) {
            VauxDate(s, 1, 1, 2001);
            VauxTime(s, 1, 1, 1);
            // Without the drop-frame flag: a refused pack must not leave its kind of count behind.
            PutPack(s, SsybPack(1), 0x13, Bcd(tcFrames), Bcd(3), Bcd(2), Bcd(1));
            if (second)
                PutTimecodePack(s, SsybPack(4), 4, 5, 6, 7);
        };
    };
    PackFile pal(true, {frames(25, false), frames(24, true)});
    TimecodeValue tc;
    DvFrameInfo info;
    ASSERT_EQ(pal.reader.DecodeFrame(0, &info, &tc), 1);
    EXPECT_EQ(tc.rate, 25.0);
    EXPECT_EQ(tc.separator, ':');
    // 01:02:03:25 is accepted (frames up to the rate) and carries into the next second.
    EXPECT_EQ(tc.hours, 1);
    EXPECT_EQ(tc.minutes, 2);
    EXPECT_EQ(tc.seconds, 4);
    EXPECT_EQ(tc.frames, 0);
    ASSERT_EQ(pal.reader.DecodeFrame(1, &info, &tc), 1);
    EXPECT_EQ(tc.frames, 24) << "the first accepted timecode wins";

    PackFile ntsc(false, {frames(30, true), frames(30, false)});
    int found = -1;
    ASSERT_EQ(ntsc.reader.DecodeFrame(0, &info, &tc, &found), 1);
    EXPECT_EQ(found, 1);
    EXPECT_NEAR(tc.rate, 29.97, 1e-9);
    EXPECT_EQ(tc.separator, ';');
    EXPECT_EQ(tc.hours, 4) << "frames 30 at 29.97 is rejected, the later pack is taken";
    EXPECT_EQ(tc.minutes, 5);
    EXPECT_EQ(tc.seconds, 6);
    EXPECT_EQ(tc.frames, 7);
    tc.SetFrames(12345);
    ASSERT_EQ(ntsc.reader.DecodeFrame(1, &info, &tc, &found), 1);
    EXPECT_EQ(tc.frameCount, 0) << "no acceptable pack: zero at the source's rate";
    EXPECT_EQ(found, 0) << "and said so: 00:00:00;00 is a label a tape can carry too";
}

TEST(DvPacks, TimecodeIsDeliveredWithoutDateAndDecodingIsTheSameWithoutIt) {
    PackFile f(false, {[](uint8_t* s) { PutTimecodePack(s, SsybPack(5), 0, 10, 0, 0); },
                       [](uint8_t* s) {
                           PutTimecodePack(s, SsybPack(0), 0, 0, 1, 2);
                           PutDatePack(s, SsybPack(1), 2, 3, 2004);
                           PutTimePack(s, SsybPack(2), 5, 6, 7);
                       }});
    TimecodeValue tc;
    DvFrameInfo info;
    EXPECT_EQ(f.reader.DecodeFrame(0, &info, &tc), 0);
    EXPECT_EQ(tc.minutes, 10) << "00:10:00;00 exists in drop-frame counting";
    EXPECT_EQ(tc.frames, 0);
    EXPECT_EQ(tc.frameCount, 17982);

    DvFrameInfo with, without;
    ASSERT_EQ(f.reader.DecodeFrame(1, &with, &tc), 1);
    ASSERT_EQ(f.reader.DecodeFrame(1, &without), 1);
    EXPECT_EQ(memcmp(&with, &without, sizeof with), 0);
    EXPECT_EQ(tc.seconds, 1);
    EXPECT_EQ(tc.frames, 2);
}

TEST(DvDropouts, AValueLostInSequence6IsTheOneMostOtherSequencesHold) {
    using Damage = std::function<void(uint8_t * frame)>;
    const Damage vaux = [](uint8_t* f) { memset(f + 6 * kDifSequence + kVauxDatePack, 0xFF, 10); };
    const Damage subcode = [](uint8_t* f) { memset(f + 6 * kDifSequence + SsybPack(0), 0xFF, 48); };
    const Damage both = [](uint8_t* f) { ClearPacks(f + 6 * kDifSequence); };
    // Sequences below `to` but 6 hold other values.
    auto others = [](int to, Damage then) -> Damage {
        return [=](uint8_t* f) {
            const DvStamp other{2001, 6, 15, 3, 34, 56, 1, 2, 9, 4};
            for (int n = 0; n < to; ++n)
                StampDifSequence(f + n * kDifSequence, n, n == 6 ? DvStamp() : other);
            then(f);
        };
    };
    struct Case {
        const char* what;
        bool pal;
        Damage damage;
        bool found;
        size_t frameBytes = 0;
    };
    const Case cases[] = {
        {"PAL, VAUX of sequence 6 lost", true, vaux, true},
        {"PAL, its subcode lost", true, subcode, true},
        {"PAL, both lost", true, both, true},
        {"NTSC, VAUX of sequence 6 lost", false, vaux, true},
        {"NTSC, its subcode lost", false, subcode, true},
        {"NTSC, both lost", false, both, true},
        {"4 of 11 sequences differ: the most win, not the first read", true, others(4, both), true},
        {"an intact sequence 6 is read alone", true, others(12, [](uint8_t*) {}), true},
        {"the frame's chunk ends after sequence 6", true, both, true, 7 * kDifSequence},
        {"blank in every sequence", false, [](uint8_t* f) { memset(f, 0xFF, 10 * kDifSequence); },
         false},
    };
    for (const Case& c : cases) {
        DvAviLayout l;
        l.pal = c.pal, l.frameBytes = c.frameBytes;
        l.fill = [&](uint32_t, uint8_t* data, size_t size) {
            data[3] = c.pal ? 0xBF : 0x3F;
            for (int n = 0; n < (c.pal ? 12 : 10) && (n + 1) * kDifSequence <= size; ++n)
                StampDifSequence(data + n * kDifSequence, n, DvStamp());
            c.damage(data);
        };
        TempFile file("dd");
        ASSERT_TRUE(file.Write(BuildDvAvi(l).bytes));
        DvAviReader reader(file.Path());
        DvFrameInfo info;
        TimecodeValue tc;
        int found = -1;
        EXPECT_EQ(reader.DecodeFrame(0, &info, &tc, &found) + 10 * found, c.found ? 11 : 0)
            << c.what;
        EXPECT_EQ(reader.lastError, 0)
            << c.what; // a sequence the frame lacks is no failure of the frame
        const DvStamp s =
            c.found ? DvStamp() : DvStamp{1900, 1, 0, 0, 0, 0, 0, 0, 0, 0}; // else all zero
        EXPECT_EQ(
            std::vector<int>({info.year + 1900, info.month + 1, info.day, info.hour, info.minute,
                              info.second, tc.hours, tc.minutes, tc.seconds, tc.frames}),
            std::vector<int>({s.year, s.month, s.day, s.hour, s.minute, s.second, s.tcHours,
                              s.tcMinutes, s.tcSeconds, s.tcFrames}))
            << c.what;
    }
}

TEST(DvChecks, DateAndTimeLimits) {
    EXPECT_EQ(IsValidRecordingDate(1, 1, 1970), 1);
    EXPECT_EQ(IsValidRecordingDate(31, 12, 2222), 1);
    EXPECT_EQ(IsValidRecordingDate(1, 1, 2223), 0);
    EXPECT_EQ(IsValidRecordingDate(31, 12, 1969), 0);
    EXPECT_EQ(IsValidRecordingDate(31, 4, 2004), 0);
    EXPECT_EQ(IsValidRecordingDate(30, 2, 2004), 0);
    EXPECT_EQ(IsValidRecordingDate(29, 2, 2000), 1);
    EXPECT_EQ(IsValidRecordingDate(29, 2, 2100), 0);
    EXPECT_EQ(IsValidRecordingDate(0, 1, 2004), 0);
    EXPECT_EQ(IsValidRecordingDate(1, 0, 2004), 0);
    EXPECT_EQ(IsValidRecordingDate(45, 15, 2165), 0);
    EXPECT_EQ(IsValidRecordingTime(23, 59, 59), 1);
    EXPECT_EQ(IsValidRecordingTime(0, 0, 0), 1);
    EXPECT_EQ(IsValidRecordingTime(24, 0, 0), 0);
    EXPECT_EQ(IsValidRecordingTime(0, 60, 0), 0);
    EXPECT_EQ(IsValidRecordingTime(0, 0, 60), 0);
    EXPECT_EQ(IsValidRecordingTime(-1, 0, 0), 0);
}

} // namespace
