#include "support/RegistryFixture.h"

#include "settings/FormatLists.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace camtag::test {
namespace {

class FormatListsTest : public RegistryTest {
protected:
    void TearDown() override {
        RegistryTest::TearDown();
        LoadFormatLists(); // back to the built-in lists for the next test
    }
    static std::string Stored(const char* name) {
        char buffer[64];
        SettingsStore::ReadString(name, buffer, sizeof buffer, "<absent>");
        return buffer;
    }
};

TEST_F(FormatListsTest, EmptyRegistryGivesBlankAndBuiltInSlots) {
    LoadFormatLists();
    EXPECT_EQ(dateFormats.count, 2u);
    EXPECT_STREQ(dateFormats.slots[0], " ");
    EXPECT_STREQ(dateFormats.slots[1], "dd.MM.yy");
    EXPECT_EQ(timeFormats.count, 2u);
    EXPECT_STREQ(timeFormats.slots[0], " ");
    EXPECT_STREQ(timeFormats.slots[1], "HH':'mm':'ss");
    for (int s = 2; s < 7; ++s)
        EXPECT_EQ(dateFormats.slots[s][0], '\0');
}

TEST_F(FormatListsTest, GapsCloseUpAndSavingRenumbers) {
    SettingsStore::WriteString("df02", "");
    SettingsStore::WriteString("df03", "yyyy");
    SettingsStore::WriteString("df05", "MMMM");
    SettingsStore::WriteString("tf06", "HH");
    LoadFormatLists();
    ASSERT_EQ(dateFormats.count, 4u);
    EXPECT_STREQ(dateFormats.slots[2], "yyyy");
    EXPECT_STREQ(dateFormats.slots[3], "MMMM");
    ASSERT_EQ(timeFormats.count, 3u);
    EXPECT_STREQ(timeFormats.slots[2], "HH");

    SaveFormatLists();
    EXPECT_EQ(Stored("df02"), "yyyy");
    EXPECT_EQ(Stored("df03"), "MMMM");
    EXPECT_FALSE(ValueExists("df05"));
    EXPECT_EQ(Stored("tf02"), "HH");
    EXPECT_FALSE(ValueExists("tf06"));
    EXPECT_FALSE(ValueExists("df01")); // the built-in slot is never stored
}

TEST_F(FormatListsTest, FullListAndOverlongPictures) {
    const char* names[] = {"df02", "df03", "df04", "df05", "df06"};
    for (const char* n : names)
        SettingsStore::WriteString(n, n);
    // 28 characters still fit the 29-byte read; 29 do not and count as absent.
    SettingsStore::WriteString("tf02", std::string(28, 'H').c_str());
    SettingsStore::WriteString("tf03", std::string(29, 'm').c_str());
    LoadFormatLists();
    EXPECT_EQ(dateFormats.count, 7u);
    EXPECT_STREQ(dateFormats.slots[6], "df06");
    EXPECT_EQ(timeFormats.count, 3u);
    EXPECT_EQ(std::string(timeFormats.slots[2]), std::string(28, 'H'));
}

TEST_F(FormatListsTest, SavingABrokenListStaysInBounds) {
    LoadFormatLists();
    // A slot filled to its last byte and a count beyond the slots, as a faulty editor might
    // leave them: the save writes at most 29 characters and at most slots 2 to 6.
    dateFormats.count = 40;
    memset(dateFormats.slots[2], 'd', kFormatSlotSize);
    for (uint32_t s = 3; s < kFormatSlots; ++s)
        strcpy(dateFormats.slots[s], "x");
    SaveFormatLists();
    EXPECT_EQ(Stored("df02"), std::string(29, 'd'));
    EXPECT_EQ(Stored("df06"), "x");
    EXPECT_FALSE(ValueExists("df07"));
    EXPECT_EQ(UsableCount(dateFormats), 7u);
    EXPECT_EQ(ClampFormatIndex(dateFormats, 100), 6u);
    dateFormats.count = 0;
    EXPECT_EQ(ClampFormatIndex(dateFormats, 3), 0u);
}

TEST(FormatIndexClamp, LoweredOnlyWhenNotBelowCount) {
    FormatList list = {{" ", "a", "b"}, 3};
    EXPECT_EQ(ClampFormatIndex(list, 9), 2u);
    EXPECT_EQ(ClampFormatIndex(list, 2), 2u);
    EXPECT_EQ(ClampFormatIndex(list, 0), 0u);
    EXPECT_EQ(ClampFormatIndex(list, 0xFFFFFFFFu), 2u); // unsigned comparison
    list.count = 2;
    EXPECT_EQ(ClampFormatIndex(list, 1), 1u);
}

} // namespace
} // namespace camtag::test
