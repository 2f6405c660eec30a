#include "support/RegistryFixture.h"

#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <cstring>

namespace camtag::test {
namespace {

using StoreTest = RegistryTest;

TEST_F(StoreTest, DwordRoundTripAndDefaults) {
    EXPECT_EQ(SettingsStore::ReadDword("mode", 77u), 77u); // no key at all
    SettingsStore::WriteDword("mode", 0xFFFFFFF0u);
    EXPECT_EQ(SettingsStore::ReadDword("mode", 77u), 0xFFFFFFF0u);
    EXPECT_EQ(SettingsStore::ReadDword("other", 5u), 5u); // key there, value missing
    SettingsStore::DeleteValue("mode");
    EXPECT_EQ(SettingsStore::ReadDword("mode", 9u), 9u);
    // Deleting a value that is not there leaves the others alone.
    SettingsStore::WriteDword("mode", 4u);
    SettingsStore::DeleteValue("never-there");
    EXPECT_EQ(SettingsStore::ReadDword("mode", 9u), 4u);
}

TEST_F(StoreTest, DwordOfWrongSizeGivesDefault) {
    uint16_t shortValue = 0x1234;
    PutRaw("lines", REG_BINARY, &shortValue, sizeof shortValue);
    EXPECT_EQ(SettingsStore::ReadDword("lines", 2u), 2u);
    uint8_t longValue[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    PutRaw("lines", REG_BINARY, longValue, sizeof longValue);
    EXPECT_EQ(SettingsStore::ReadDword("lines", 2u), 2u);
    // The stored type is not checked: four bytes of any type are a DWORD.
    uint8_t four[4] = {1, 0, 0, 0};
    PutRaw("lines", REG_BINARY, four, sizeof four);
    EXPECT_EQ(SettingsStore::ReadDword("lines", 2u), 1u);
}

TEST_F(StoreTest, StringsAreBoundedAndTerminated) {
    char buffer[8];
    memset(buffer, 'x', sizeof buffer);
    SettingsStore::ReadString("title", buffer, sizeof buffer, "dflt");
    EXPECT_STREQ(buffer, "dflt");

    SettingsStore::WriteString("title", "1234567"); // 8 bytes with the terminator: fits
    SettingsStore::ReadString("title", buffer, sizeof buffer, "dflt");
    EXPECT_STREQ(buffer, "1234567");

    SettingsStore::WriteString("title", "12345678"); // one byte too many
    memset(buffer, 'x', sizeof buffer);
    SettingsStore::ReadString("title", buffer, sizeof buffer, "dflt");
    EXPECT_STREQ(buffer, "dflt");

    // A default longer than the buffer is cut, not overrun.
    char guarded[12];
    memset(guarded, 'G', sizeof guarded);
    SettingsStore::ReadString("absent", guarded, 4, "abcdefgh");
    EXPECT_STREQ(guarded, "abc");
    EXPECT_EQ(guarded[4], 'G');

    char one[1] = {'x'};
    SettingsStore::ReadString("title", one, sizeof one, "dflt");
    EXPECT_EQ(one[0], '\0');
}

TEST_F(StoreTest, UnterminatedStoredTextIsTerminated) {
    const char raw[3] = {'a', 'b', 'c'};
    PutRaw("title", REG_BINARY, raw, sizeof raw);
    char buffer[8];
    memset(buffer, 'x', sizeof buffer);
    SettingsStore::ReadString("title", buffer, sizeof buffer, "dflt");
    EXPECT_STREQ(buffer, "abc");
    // Filling the buffer exactly without a terminator counts as too long.
    const char full[4] = {'w', 'x', 'y', 'z'};
    PutRaw("title", REG_BINARY, full, sizeof full);
    char small[4];
    SettingsStore::ReadString("title", small, sizeof small, "d");
    EXPECT_STREQ(small, "d");
}

TEST_F(StoreTest, BinaryReportsSizeAndRefusesLongerValues) {
    double x = 0.25;
    SettingsStore::WriteBinary("x", &x, sizeof x);
    double back = 0;
    DWORD size = sizeof back;
    EXPECT_EQ(SettingsStore::ReadBinary("x", &back, &size), 1);
    EXPECT_EQ(size, sizeof back);
    EXPECT_EQ(back, 0.25);

    uint8_t small[4] = {9, 9, 9, 9};
    size = sizeof small;
    EXPECT_EQ(SettingsStore::ReadBinary("x", small, &size), 0);
    size = sizeof back;
    EXPECT_EQ(SettingsStore::ReadBinary("absent", &back, &size), 0);
}

} // namespace
} // namespace camtag::test
