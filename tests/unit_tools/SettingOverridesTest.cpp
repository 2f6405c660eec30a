#include "SettingOverrides.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace camtag {
namespace {

class SettingOverridesTest : public ::testing::Test {
protected:
    SettingOverridesTest() {
        std::memset(&settings, 0, sizeof(settings));
        settings.lines = 2;
        std::strcpy(settings.font.lfFaceName, "Arial");
    }
    bool apply(const std::string& assignment) {
        return ApplySettingOverride(settings, assignment, &error);
    }

    FilterSettings settings;
    std::string error;
};

TEST_F(SettingOverridesTest, ColoursTakeHtmlNotationOrAColorref) {
    ASSERT_TRUE(apply("color=#FF8000"));
    EXPECT_EQ(settings.color, 0x000080FFu); // COLORREF is 0x00BBGGRR
    ASSERT_TRUE(apply("outlinecolor=0x00112233"));
    EXPECT_EQ(settings.outlinecolor, 0x00112233u);
    ASSERT_TRUE(apply("colorbkground=#000000"));
    EXPECT_EQ(settings.colorbkground, 0u);
    EXPECT_FALSE(apply("colorshadow=#FFF"));
    EXPECT_FALSE(apply("colorshadow=#GG0000"));
    EXPECT_FALSE(apply("colorshadow=0x1000000"));
}

TEST_F(SettingOverridesTest, PackedFieldsKeepTheStoredByteOrder) {
    // timecodestart: frames, seconds, minutes, hours
    ASSERT_TRUE(apply("timecodestart=01:02:03:04"));
    EXPECT_EQ(static_cast<uint32_t>(settings.timecodestart), 0x01020304u);
    // timeadjust: seconds, minutes, hours, reserved; negative parts as signed bytes
    ASSERT_TRUE(apply("timeadjust=-1:30:0"));
    EXPECT_EQ(static_cast<uint32_t>(settings.timeadjust), 0x00FF1E00u);
    // dateadjust: days, months, years as 16 bits
    ASSERT_TRUE(apply("dateadjust=-2:1:3"));
    EXPECT_EQ(static_cast<uint32_t>(settings.dateadjust), 0xFFFE0103u);
    // Leading zeros are decimal, as people write times ("09" is nine, not an octal error).
    ASSERT_TRUE(apply("timeadjust=0:08:010"));
    EXPECT_EQ(static_cast<uint32_t>(settings.timeadjust), 0x0000080Au);
    ASSERT_TRUE(apply("timecodestart=00:00:09:08"));
    EXPECT_EQ(static_cast<uint32_t>(settings.timecodestart), 0x00000908u);
    ASSERT_TRUE(apply("transparency=050"));
    EXPECT_EQ(settings.transparency, 50u);
    EXPECT_FALSE(apply("timecodestart=24:00:00:00"));
    EXPECT_FALSE(apply("timeadjust=1:2"));
    EXPECT_FALSE(apply("timeadjust=200:0:0"));
    EXPECT_FALSE(apply("dateadjust=1:200:0"));
}

TEST_F(SettingOverridesTest, NamedAndNumericChoices) {
    ASSERT_TRUE(apply("mode=timecode"));
    EXPECT_EQ(settings.mode, 1);
    ASSERT_TRUE(apply("mode=0"));
    EXPECT_EQ(settings.mode, 0);
    ASSERT_TRUE(apply("align=right"));
    EXPECT_EQ(settings.align, 2);
    ASSERT_TRUE(apply("align=centre"));
    EXPECT_EQ(settings.align, 1);
    ASSERT_TRUE(apply("x=0.5"));
    EXPECT_DOUBLE_EQ(settings.x, 0.5);
    ASSERT_TRUE(apply("drawshadow=0"));
    EXPECT_EQ(settings.drawshadow, 0);
    ASSERT_TRUE(apply("fontsize=36"));
    EXPECT_LT(settings.font.lfHeight, 0);
    ASSERT_TRUE(apply("bold=1"));
    EXPECT_EQ(settings.font.lfWeight, FW_BOLD);
}

TEST_F(SettingOverridesTest, TextMustFitItsFieldWithTheTerminator) {
    ASSERT_TRUE(apply("title=" + std::string(31, 'a')));
    EXPECT_EQ(std::string(settings.title), std::string(31, 'a'));
    EXPECT_FALSE(apply("title=" + std::string(32, 'b')));
    EXPECT_EQ(std::string(settings.title), std::string(31, 'a'));
    ASSERT_TRUE(apply("title="));
    EXPECT_EQ(settings.title[0], '\0');
    EXPECT_FALSE(apply("font="));
    EXPECT_FALSE(apply("font=" + std::string(32, 'f')));
    EXPECT_STREQ(settings.font.lfFaceName, "Arial");
}

TEST_F(SettingOverridesTest, RejectsWithoutTouchingTheRecord) {
    FilterSettings before = settings;
    EXPECT_FALSE(apply("lines=3"));
    EXPECT_NE(error.find("lines"), std::string::npos);
    EXPECT_FALSE(apply("transparency=101"));
    EXPECT_FALSE(apply("dateformat=7"));
    EXPECT_FALSE(apply("angle=12abc"));
    EXPECT_FALSE(apply("x=nan"));
    EXPECT_FALSE(apply("=1"));
    EXPECT_FALSE(apply("drawshadow"));
    EXPECT_FALSE(apply("colour=#FFFFFF"));
    EXPECT_NE(error.find("unknown setting"), std::string::npos);
    EXPECT_EQ(std::memcmp(&before, &settings, sizeof(settings)), 0);
}

} // namespace
} // namespace camtag
