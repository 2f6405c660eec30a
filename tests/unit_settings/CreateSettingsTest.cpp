#include "support/RegistryFixture.h"
#include "support/StampDrawing.h"

#include "HostEmulator.h"
#include "settings/FormatLists.h"
#include "module/InstanceRecord.h"
#include "settings/SettingsDefaults.h"

#include <gtest/gtest.h>

#include <cstring>

namespace camtag::test {
namespace {

class CreateSettingsTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        LoadFormatLists();
        host.setTotal(100);
        host.setSetting(kHostFrameWidth, 720);
        host.setSetting(kHostFrameHeight, 576);
        host.setSetting(kHostRateNumerator, 25);
        host.setSetting(kHostRateDenominator, 1);
        host.setOffsetSeed(-7, 2);
    }
    void TearDown() override {
        RegistryTest::TearDown();
        LoadFormatLists();
    }
    FilterSettings& Create() {
        EXPECT_EQ(CreateSettings(host.handle()), 0);
        EXPECT_NE(host.settings(), nullptr);
        return *host.settings();
    }
    // A second filter instance made from the same registry.
    FilterSettings& CreateAgain() {
        host.clearSettings();
        return Create();
    }
    HostEmulator host;
};

TEST_F(CreateSettingsTest, EmptyRegistryGivesTheDefaults) {
    const FilterSettings& s = Create();
    EXPECT_EQ(s.changeCount, 0);
    EXPECT_EQ(s.color, 0x00E0E0E0u);
    EXPECT_EQ(s.transparency, 0u);
    EXPECT_EQ(s.drawoutline, 1);
    EXPECT_EQ(s.drawshadow, 1);
    EXPECT_EQ(s.bkground, 0);
    EXPECT_EQ(s.outlinecolor, 0u);
    EXPECT_EQ(s.colorshadow, 0u);
    EXPECT_EQ(s.colorbkground, 0u);
    EXPECT_EQ(s.x, 0.08);
    EXPECT_EQ(s.y, 0.75);
    LOGFONTA font = s.font;
    EXPECT_STREQ(font.lfFaceName, "Arial");
    EXPECT_EQ(font.lfHeight, -MulDiv(24, DotsPerInch(), 72));
    EXPECT_EQ(font.lfWeight, 400);
    EXPECT_EQ(font.lfCharSet, DEFAULT_CHARSET);
    EXPECT_EQ(font.lfItalic, 0);
    EXPECT_EQ(s.lines, 2);
    EXPECT_EQ(s.timeup, 1);
    EXPECT_EQ(s.timeformat, 1u);
    EXPECT_EQ(s.dateformat, 1u);
    EXPECT_EQ(s.timecodemode, 11);
    EXPECT_EQ(s.timecodestart, 0);
    EXPECT_EQ(s.flags, 7);
    EXPECT_EQ(s.title[0], '\0');
    EXPECT_EQ(s.angle, 0);
    EXPECT_EQ(s.showduration, 0u);
    EXPECT_EQ(s.mode, 0);
    EXPECT_EQ(s.align, 0);
    EXPECT_EQ(s.timeadjust, 0);
    EXPECT_EQ(s.dateadjust, 0);
    EXPECT_EQ(s.dvSource, 0);
    EXPECT_EQ(s.sourcePath[0], '\0');
    EXPECT_EQ(s.startFrame, 0);
    // From the host.
    EXPECT_EQ(s.timelineOffset, -3); // -7 / 2, truncated toward zero
    EXPECT_EQ(s.frameLeft, 0);
    EXPECT_EQ(s.frameTop, 0);
    EXPECT_EQ(s.frameWidth, 720);
    EXPECT_EQ(s.frameHeight, 576);
    EXPECT_EQ(s.projectRateNumerator, 25u);
    EXPECT_EQ(s.projectRateDenominator, 1u);
    EXPECT_EQ(s.referenceHeight, 576u);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&s);
    for (size_t i = 498; i < 506; ++i)
        EXPECT_EQ(bytes[i], 0) << i;
    EXPECT_EQ(s.reserved442, 0u);
}

TEST_F(CreateSettingsTest, StoredValuesAreClamped) {
    SettingsStore::WriteDword("lines", 0);
    EXPECT_EQ(Create().lines, 2);
    SettingsStore::WriteDword("lines", 3);
    EXPECT_EQ(CreateAgain().lines, 2);
    SettingsStore::WriteDword("lines", 1);
    EXPECT_EQ(CreateAgain().lines, 1);

    // Pictures: 9 with three time pictures is pulled back to slot 2; 1 with two stays.
    SettingsStore::WriteString("tf02", "HH");
    LoadFormatLists();
    SettingsStore::WriteDword("timeformat", 9);
    SettingsStore::WriteDword("dateformat", 1);
    FilterSettings& s = CreateAgain();
    EXPECT_EQ(s.timeformat, 2u);
    EXPECT_EQ(s.dateformat, 1u);
    SettingsStore::WriteDword("dateformat", 0x80000000u); // unsigned comparison
    EXPECT_EQ(CreateAgain().dateformat, 1u);
}

TEST_F(CreateSettingsTest, MalformedBinaryValuesFallBackToDefaults) {
    uint8_t shortFont[20] = {1, 2, 3};
    PutRaw("font", REG_BINARY, shortFont, sizeof shortFont);
    float shortX = 0.5f;
    PutRaw("x", REG_BINARY, &shortX, sizeof shortX);
    double nan;
    uint64_t nanBits = 0x7FF8000000000001ull;
    memcpy(&nan, &nanBits, sizeof nan);
    PutRaw("y", REG_BINARY, &nan, sizeof nan);
    const FilterSettings& s = Create();
    LOGFONTA font = s.font;
    EXPECT_STREQ(font.lfFaceName, "Arial");
    EXPECT_EQ(s.x, 0.08);
    EXPECT_EQ(s.y, 0.75);

    // A stored font whose face name fills all 32 bytes comes back terminated.
    LOGFONTA wide = {};
    wide.lfHeight = -20;
    memset(wide.lfFaceName, 'F', sizeof wide.lfFaceName);
    PutRaw("font", REG_BINARY, &wide, sizeof wide);
    font = CreateAgain().font;
    EXPECT_EQ(font.lfHeight, -20);
    EXPECT_EQ(strlen(font.lfFaceName), 31u);
}

TEST_F(CreateSettingsTest, SaveAsDefaultComesBackInANewInstance) {
    FilterSettings saved = Create();
    saved.mode = 1;
    saved.color = 0x00123456;
    saved.align = 2;
    saved.outlinecolor = 0x00010203;
    saved.drawoutline = 0;
    saved.drawshadow = 0;
    saved.colorshadow = 0x00040506;
    saved.transparency = 40;
    saved.x = 0.5;
    saved.y = 0.125;
    saved.timeup = 0;
    saved.lines = 1;
    saved.bkground = 1;
    saved.colorbkground = 0x00070809;
    saved.timecodemode = 0x1F;
    saved.timecodestart = 0x01020304;
    memset(saved.title, 'T', sizeof saved.title); // no terminator: 31 characters go out
    saved.angle = -15;
    saved.showduration = 12;
    saved.flags = 3;
    saved.timeadjust = 0x00FF0102;
    saved.dateadjust = static_cast<int32_t>(0xFFFF0203u);
    LOGFONTA font = saved.font;
    font.lfHeight = -40;
    font.lfItalic = 1;
    strcpy(font.lfFaceName, "Liberation Serif");
    saved.font = font;
    saved.sourcePath[0] = 'C'; // never a default
    saved.frameWidth = 1;
    SaveAsDefault(saved);

    const FilterSettings& s = CreateAgain();
    EXPECT_EQ(s.mode, 1);
    EXPECT_EQ(s.color, 0x00123456u);
    EXPECT_EQ(s.align, 2);
    EXPECT_EQ(s.outlinecolor, 0x00010203u);
    EXPECT_EQ(s.drawoutline, 0);
    EXPECT_EQ(s.drawshadow, 0);
    EXPECT_EQ(s.colorshadow, 0x00040506u);
    EXPECT_EQ(s.transparency, 40u); // read back from "transparency"
    EXPECT_EQ(s.x, 0.5);
    EXPECT_EQ(s.y, 0.125);
    EXPECT_EQ(s.timeup, 0);
    EXPECT_EQ(s.lines, 1);
    EXPECT_EQ(s.bkground, 1);
    EXPECT_EQ(s.colorbkground, 0x00070809u);
    EXPECT_EQ(s.timecodemode, 0x1F);
    EXPECT_EQ(s.timecodestart, 0x01020304);
    EXPECT_EQ(std::string(s.title), std::string(31, 'T'));
    EXPECT_EQ(s.angle, -15);
    EXPECT_EQ(s.showduration, 12u);
    EXPECT_EQ(s.flags, 3);
    EXPECT_EQ(s.timeadjust, 0x00FF0102);
    EXPECT_EQ(s.dateadjust, static_cast<int32_t>(0xFFFF0203u));
    LOGFONTA back = s.font;
    EXPECT_EQ(back.lfHeight, -40);
    EXPECT_EQ(back.lfItalic, 1);
    EXPECT_STREQ(back.lfFaceName, "Liberation Serif");
    EXPECT_EQ(s.sourcePath[0], '\0');
    EXPECT_EQ(s.frameWidth, 720);
    EXPECT_FALSE(ValueExists("transp"));
    EXPECT_FALSE(ValueExists("sad")); // the dialog's own value
}

TEST_F(CreateSettingsTest, ASavedTitleKeepsItsSpaces) {
    // A trailing space is what parts "Tape 7" from the time in the next clip's stamp.
    const char* const titles[][2] = {{"Tape 7 ", "Tape 7 "}, {"  word  ", "  word  "}, {"   ", ""}};
    for (const auto& title : titles) {
        strcpy(Create().title, title[0]);
        SaveAsDefault(Create());
        EXPECT_STREQ(CreateAgain().title, title[1]) << '"' << title[0] << '"';
    }
}

TEST_F(CreateSettingsTest, TransparencyFromEitherName) {
    SettingsStore::WriteDword("transp", 25); // a registry from before "transparency"
    EXPECT_EQ(Create().transparency, 25u);
    SettingsStore::WriteDword("transparency", 60);
    EXPECT_EQ(CreateAgain().transparency, 60u);
}

TEST_F(CreateSettingsTest, ExistingHandleIsKept) {
    FilterSettings& first = Create();
    first.color = 1;
    HostMemoryHandle handle = host.record().settings;
    SettingsStore::WriteDword("color", 2);
    EXPECT_EQ(CreateSettings(host.handle()), 0);
    EXPECT_EQ(host.record().settings, handle);
    EXPECT_EQ(host.settings()->color, 1u);
}

TEST_F(CreateSettingsTest, ZeroDenominatorSeedsOffsetZero) {
    host.setOffsetSeed(50, 0);
    EXPECT_EQ(Create().timelineOffset, 0);
    // The quotient that does not fit 32 bits wraps instead of trapping.
    host.setOffsetSeed(INT32_MIN, -1);
    EXPECT_EQ(CreateAgain().timelineOffset, INT32_MIN);
}

TEST_F(CreateSettingsTest, FailuresLeaveNoHandle) {
    host.setTotal(0);
    EXPECT_EQ(CreateSettings(host.handle()), -100);
    EXPECT_EQ(host.record().settings, nullptr);
    host.setTotal(1);

    host.failAllocations(true);
    EXPECT_EQ(CreateSettings(host.handle()), -100);
    EXPECT_EQ(host.record().settings, nullptr);
    host.failAllocations(false);

    EXPECT_EQ(CreateSettings(nullptr), -100);
    HostFilterRecord* none = nullptr;
    EXPECT_EQ(CreateSettings(&none), -100);

    HostSuites& suites = host.suites();
    HostUtilityTable* utility = suites.utility;
    suites.utility = nullptr;
    EXPECT_EQ(CreateSettings(host.handle()), -100);
    suites.utility = utility;

    HostMemoryTable* memory = suites.memory;
    suites.memory = nullptr;
    EXPECT_EQ(CreateSettings(host.handle()), -100);
    suites.memory = memory;

    HostSuites* all = host.record().suites;
    host.record().suites = nullptr;
    EXPECT_EQ(CreateSettings(host.handle()), -100);
    host.record().suites = all;
    EXPECT_EQ(host.record().settings, nullptr);
    EXPECT_EQ(host.handleCount(), 0u); // nothing asked for on the failed paths

    EXPECT_EQ(CreateSettings(host.handle()), 0);
}

} // namespace
} // namespace camtag::test
