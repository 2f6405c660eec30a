// Timecode labels at 25 and 29.97 frames per second, and their three text styles.
#include "timecode/TimecodeValue.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

using namespace camtag;

namespace {

std::string Text(const TimecodeValue& v, int style = kTimecodeSmpte) {
    char buf[64];
    v.Format(buf, sizeof buf, style);
    return buf;
}

TimecodeValue Ntsc() {
    TimecodeValue v;
    v.SetRateRatio(2997, 100);
    return v;
}

TEST(TimecodeValue, StartsAtZeroAt25Fps) {
    TimecodeValue v;
    EXPECT_EQ(v.rate, 25.0);
    EXPECT_EQ(v.rateNumerator, 25);
    EXPECT_EQ(v.rateDenominator, 1);
    EXPECT_EQ(Text(v), "00:00:00:00");
    EXPECT_EQ(Text(v, kTimecodeTime), "00:00:00.000");
    EXPECT_EQ(Text(v, kTimecodeFrames), "0");
}

TEST(TimecodeValue, StraightCountingAt25WrapsAfter24Hours) {
    TimecodeValue v;
    v.SetFrames(90000);
    EXPECT_EQ(Text(v), "01:00:00:00");
    v.SetFrames(2159999);
    EXPECT_EQ(Text(v), "23:59:59:24");
    EXPECT_EQ(Text(v, kTimecodeTime), "23:59:59.960");
    v.SetFrames(2160000);
    EXPECT_EQ(Text(v), "00:00:00:00");
    EXPECT_EQ(Text(v, kTimecodeFrames), "2160000");
    // Positions before zero wrap into the previous day instead of printing negative fields.
    v.SetFrames(-1);
    EXPECT_EQ(Text(v), "23:59:59:24");
    EXPECT_EQ(Text(v, kTimecodeFrames), "-1");
}

TEST(TimecodeValue, DropFrameCountingAt2997) {
    TimecodeValue v = Ntsc();
    v.SetFrames(1799);
    EXPECT_EQ(Text(v), "00;00;59;29");
    // The Time form is real time throughout: ahead of the label before each dropped pair.
    EXPECT_EQ(Text(v, kTimecodeTime), "00;01;00.027");
    v.SetFrames(1800);
    EXPECT_EQ(Text(v), "00;01;00;02");
    EXPECT_NEAR(v.elapsedSeconds, 1800.0 * 100 / 2997, 1e-9);
    EXPECT_EQ(v.milliseconds, 60);
    v.SetFrames(17982);
    EXPECT_EQ(Text(v), "00;10;00;00");
    v.SetFrames(1860);
    EXPECT_EQ(Text(v, kTimecodeTime), "00;01;02.062");
    v.SetFrames(19781); // the last frame of the minute after a tenth minute
    EXPECT_EQ(Text(v) + " " + Text(v, kTimecodeTime), "00;10;59;29 00;11;00.027");
    v.SetFrames(107892); // one hour of drop-frame labels
    EXPECT_EQ(Text(v), "01;00;00;00");
}

TEST(TimecodeValue, PackedLabelsRoundTripAtBothRates) {
    TimecodeValue pal;
    for (int n : {0, 1, 24, 25, 1499, 1500, 89999, 90000, 2159999}) {
        pal.SetFrames(n);
        const int32_t packed = TimecodeValue::Pack(pal.hours, pal.minutes, pal.seconds, pal.frames);
        TimecodeValue back;
        EXPECT_EQ(back.SetFromPacked(packed), packed);
        EXPECT_EQ(back.frameCount, n);
    }
    // Every real drop-frame label, including the first frames of each tenth minute, comes back.
    TimecodeValue ntsc = Ntsc();
    for (int n = 0; n < 2 * 17982 + 40; ++n) {
        ntsc.SetFrames(n);
        TimecodeValue back = Ntsc();
        back.SetFromPacked(
            TimecodeValue::Pack(ntsc.hours, ntsc.minutes, ntsc.seconds, ntsc.frames));
        ASSERT_EQ(back.frameCount, n) << Text(ntsc);
    }
}

TEST(TimecodeValue, SetFromPackedNormalisesCarries) {
    TimecodeValue v;
    EXPECT_EQ(v.SetFromPacked(TimecodeValue::Pack(0, 0, 90, 0)), TimecodeValue::Pack(0, 1, 30, 0));
    EXPECT_EQ(Text(v), "00:01:30:00");
    EXPECT_EQ(v.SetFromPacked(TimecodeValue::Pack(0, 59, 59, 50)), TimecodeValue::Pack(1, 0, 1, 0));
    // Every label that drop-frame counting skips (;00 and ;01 of minutes 1 to 9) stands for the
    // next frame that exists, ;02 of the same minute; never for the frame before it.
    for (int minute = 1; minute <= 9; ++minute) {
        for (int frame : {0, 1}) {
            TimecodeValue n = Ntsc();
            n.SetFromPacked(TimecodeValue::Pack(0, minute, 0, frame));
            const int expected = minute * 1798 + 2; // the frame labelled ;02 in that minute
            EXPECT_EQ(n.frameCount, expected) << minute << ";" << frame;
            char text[16];
            std::snprintf(text, sizeof text, "00;%02d;00;02", minute);
            EXPECT_EQ(Text(n), text);
        }
    }
    // A rate of 0 refuses the label and changes nothing.
    TimecodeValue zero;
    zero.SetRateRatio(0, 1);
    zero.SetFrames(0);
    EXPECT_EQ(zero.SetFromPacked(TimecodeValue::Pack(1, 2, 3, 4)), 0);
    EXPECT_EQ(zero.frameCount, 0);
}

TEST(TimecodeValue, WholeRatesCountStartLabelsAtTheirOwnRate) {
    struct Case {
        int numerator;
        int denominator;
        int frames; // of the label 01:00:00:00
    };
    for (Case c : {Case{24, 1, 86400}, Case{25, 1, 90000}, Case{30, 1, 108000}, Case{50, 1, 180000},
                   Case{60, 1, 216000}, Case{60, 2, 108000}, Case{2997, 100, 107892}}) {
        TimecodeValue v;
        v.SetRateRatio(c.numerator, c.denominator);
        const int32_t label = TimecodeValue::Pack(1, 0, 0, 0);
        EXPECT_EQ(v.SetFromPacked(label), label) << c.numerator << "/" << c.denominator;
        EXPECT_EQ(v.frameCount, c.frames) << c.numerator << "/" << c.denominator;
    }
}

TEST(TimecodeValue, SetTimecodeChecksTheLabel) {
    TimecodeValue v;
    EXPECT_EQ(v.SetTimecode(24, 0, 0, 0), 1);
    EXPECT_EQ(Text(v), "00:00:00:00");
    EXPECT_EQ(v.SetTimecode(1, 2, 3, 4), 1);
    EXPECT_EQ(v.SetTimecode(100, 0, 0, 0), 0);
    EXPECT_EQ(v.SetTimecode(0, 60, 0, 0), 0);
    EXPECT_EQ(v.SetTimecode(0, 0, 60, 0), 0);
    EXPECT_EQ(v.SetTimecode(0, 0, 0, 26), 0);
    EXPECT_EQ(v.SetTimecode(-1, 0, 0, 0), 0);
    EXPECT_EQ(Text(v), "01:02:03:04") << "a refused label changes nothing";
    EXPECT_EQ(v.SetTimecode(0, 0, 0, 25), 1);
    TimecodeValue n = Ntsc();
    EXPECT_EQ(n.SetTimecode(0, 0, 0, 30), 0);
    EXPECT_EQ(n.SetTimecode(0, 0, 0, 29), 1);
}

TEST(TimecodeValue, RatesAndSeparators) {
    TimecodeValue v;
    v.SetRate(29.97);
    EXPECT_EQ(v.rateNumerator, 2997);
    EXPECT_EQ(v.separator, ';');
    v.showFrames = 0;
    v.SetRate(30.0);
    EXPECT_EQ(v.separator, ':');
    v.SetRate(0.0);
    EXPECT_EQ(v.rate, 25.0);
    EXPECT_EQ(v.separator, ':');
    v.SetRateRatio(2997, 100);
    EXPECT_EQ(v.separator, ';') << "a ratio decides by its denominator alone";
    v.SetRateRatio(30, 1);
    EXPECT_EQ(v.separator, ':');
    v.SetRateRatio(12, 0);
    EXPECT_EQ(v.rate, 30.0) << "denominator 0 keeps the rate";
    EXPECT_EQ(v.rateNumerator, 30);
}

TEST(TimecodeValue, TextStylesAndBounds) {
    TimecodeValue v;
    v.SetTimecode(1, 2, 3, 4);
    v.showHours = 0;
    v.showFrames = 0;
    EXPECT_EQ(Text(v), "02:03");
    EXPECT_EQ(Text(v, kTimecodeTime), "02:03");
    v.showHours = 1;
    v.showFrames = 1;
    EXPECT_EQ(Text(v, kTimecodeTime), "01:02:03.160");
    EXPECT_EQ(Text(v, 7), "");
    char small[6];
    memset(small, 'x', sizeof small);
    v.Format(small, sizeof small, kTimecodeSmpte);
    EXPECT_STREQ(small, "01:02");
    v.Format(small, sizeof small, kTimecodeFrames);
    EXPECT_STREQ(small, "93079");
    char untouched[4] = "abc";
    v.Format(untouched, 0, kTimecodeSmpte);
    EXPECT_STREQ(untouched, "abc");
    v.Format(nullptr, 10, kTimecodeSmpte); // a null buffer is left alone: the call must not fault
    char out[32];
    v.FormatFrames(50, out, sizeof out, kTimecodeSmpte);
    EXPECT_STREQ(out, "00:00:02:00");
    EXPECT_EQ(v.frameCount, 50);
}

TEST(TimecodeValue, SecondsAndMillisecondsStayInRange) {
    TimecodeValue v;
    EXPECT_DOUBLE_EQ(v.SetSeconds(2.5), 2.48) << "62.5 frames are cut to 62";
    EXPECT_EQ(v.frameCount, 62);
    TimecodeValue n = Ntsc();
    // A real time just below the next second must not print ".1000".
    for (int i = 0; i < 3000; ++i) {
        n.SetFrames(i);
        ASSERT_GE(n.milliseconds, 0);
        ASSERT_LE(n.milliseconds, 999);
    }
    n.SetSeconds(1e300);
    EXPECT_EQ(n.frameCount, INT_MAX);
    // Odd ratios from a host neither divide by zero nor overflow, and the label stays a label.
    TimecodeValue odd;
    const auto labelInRange = [&odd] {
        return odd.hours >= 0 && odd.hours < 24 && odd.minutes >= 0 && odd.minutes < 60 &&
               odd.seconds >= 0 && odd.seconds < 60 && odd.frames >= 0 && odd.frames < 1000000;
    };
    odd.SetRateRatio(INT_MIN, -1);
    odd.SetFrames(INT_MAX);
    EXPECT_TRUE(labelInRange());
    odd.SetRateRatio(1, 1000);
    odd.SetFrames(12345);
    EXPECT_TRUE(labelInRange());
    odd.SetFromPacked(TimecodeValue::Pack(1, 1, 1, 1));
    EXPECT_TRUE(labelInRange());
    odd.SetRateRatio(-25, 1);
    odd.SetFrames(100);
    EXPECT_EQ(odd.hours, 0);
}

} // namespace
