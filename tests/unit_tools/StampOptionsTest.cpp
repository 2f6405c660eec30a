// --set, --time-format and --date-format as both tools take them: UTF-8 into the module's code
// page, the checks and their messages, and the run's private view of the settings key.
#include "StampOptions.h"

#include "SettingOverrides.h"
#include "settings/FormatLists.h"
#include "settings/SettingsDefaults.h"
#include "settings/SettingsStore.h"
#include "support/RegistryFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace camtag {
namespace {

constexpr UINT kWestern = 1252;

TEST(StampOptions, TextReachesTheModuleInItsCodePage) {
    struct Row {
        const char* utf8;
        UINT codePage;
        const char* converted; // null: refused
        const char* error;
    };
    const std::vector<Row> rows = {
        {"F\xC3\xAAte \xC3\xA0 No\xC3\xABl", kWestern, "F\xEAte \xE0 No\xEBl", ""},
        {"\xE2\x82\xAC 5", kWestern, "\x80 5", ""}, // the euro sign has a place in 1252
        {"\xC5\x81\xC3\xB3"
         "d\xC5\xBA",
         kWestern, nullptr,
         "the character \"\xC5\x81\" (U+0141) is not in the module's code page 1252"},
        {"\xC5\x81\xC3\xB3"
         "d\xC5\xBA",
         1250,
         "\xA3\xF3"
         "d\x9F",
         ""},
        {"a\xF0\x9F\x98\x80", kWestern, nullptr, "(U+1F600)"},
        {"\xFF\xFE", kWestern, nullptr, "is not UTF-8 text"},
        {"", kWestern, "", ""},
    };
    for (const Row& row : rows) {
        std::string out, error;
        const bool ok = Utf8ToModuleCodePage(row.utf8, row.codePage, &out, &error);
        EXPECT_EQ(ok, row.converted != nullptr) << row.utf8;
        if (row.converted)
            EXPECT_EQ(out, row.converted);
        else
            EXPECT_NE(error.find(row.error), std::string::npos) << error;
    }
}

struct Given {
    const char* option; // "time", "date" or "set"
    const char* value;
    const char* error; // "" when accepted
};

TEST(StampOptions, EveryBadValueIsRefusedWithWhatIsAllowed) {
    const std::vector<Given> rows = {
        {"time", "HH'h'mm", ""},
        {"time", "H:mm %9", ""},
        {"time", "bogus",
         "--time-format \"bogus\": \"b\" is not a time token (h, H, m, s, t); put words in single "
         "quotes"},
        {"time", "", "--time-format: a picture of 1 to 28 characters"},
        {"time", "HH'':mm", ""},
        {"date", "d 'de' MMMM yyyy", ""},
        {"date", "d de MMMM", "\"e\" is not a date token (d, M, y, g)"},
        {"date", "yyyy-MM-ddTHH", "\"T\" is not a date token"},
        {"date", "ddddddddddddddddddddddddddddd", "at most 28 characters (given: 29)"},
        {"date", "F\xC3\xAAte d", "\"F\" is not a date token"},
        {"date", "'F\xC3\xAAte' d", ""},
        {"date", "'\xC5\x81' d",
         "the character \"\xC5\x81\" (U+0141) is not in the module's code page 1252"},
        // 37 characters on the sample moment, 50 on a Wednesday in February: the module would
        // stamp no date then.
        {"date", "dddd dddd dddd dddd MMMMyy",
         "its text at 2002-02-13 is longer than 49 characters"},
        {"set", "title=Tape 3 ", ""},
        {"set", "title=F\xC3\xAAte \xC3\xA0 No\xC3\xABl", ""},
        {"set", "title=1234567890123456789012345678901", ""},
        {"set", "title=12345678901234567890123456789012",
         "title: at most 31 characters (given: 32)"},
        {"set",
         "title=\xC3\xA0\xC3\xA0\xC3\xA0\xC3\xA0\xC3\xA0\xC3\xA0\xC3\xA0\xC3\xA0\xC3\xA0\xC3\xA0"
         "\xC3\xA0\xC3\xA0\xC3\xA0\xC3\xA0\xC3\xA0\xC3\xA0\xC3\xA0\xC3\xA0\xC3\xA0\xC3\xA0"
         "\xC3\xA0\xC3\xA0\xC3\xA0\xC3\xA0\xC3\xA0\xC3\xA0\xC3\xA0\xC3\xA0\xC3\xA0\xC3\xA0\xC3\xA0",
         ""}, // 31 characters, 62 bytes of UTF-8
        {"set", "title=\xE2\x9C\x93", "title: the character \"\xE2\x9C\x93\" (U+2713)"},
        {"set", "transparency=101", "transparency: 0 to 100 (percent) (given: \"101\")"},
        {"set", "lines=3", "lines: 1 or 2 (given: \"3\")"},
        {"set", "x=nan", "x: a number from -1 to 2"},
        {"set", "font=", "font: a font name of 1 to 31 characters"},
        {"set", "colour=#FFFFFF", "unknown setting \"colour\""},
        {"set", "timecodestart=24:00:00:00",
         "timecodestart: HH:MM:SS:FF (hours 0 to 23, frames 0 to 29)"},
    };
    for (const Given& row : rows) {
        StampOptions options;
        std::string option = row.option;
        if (option == "time")
            options.timeGiven = true, options.timePicture = row.value;
        else if (option == "date")
            options.dateGiven = true, options.datePicture = row.value;
        else
            options.assignments.push_back(row.value);
        std::string error;
        const bool ok = CheckStampOptions(&options, kWestern, &error);
        if (!*row.error) {
            EXPECT_TRUE(ok) << row.option << " " << row.value << ": " << error;
        } else {
            EXPECT_FALSE(ok) << row.option << " " << row.value;
            EXPECT_NE(error.find(row.error), std::string::npos) << row.value << ": " << error;
        }
    }
}

TEST(StampOptions, PicturesAreSelectedThenSettingsApplyInOrder) {
    StampOptions options;
    options.timeGiven = options.dateGiven = true;
    options.timePicture = "HH'h'mm";
    options.datePicture = "d MMMM";
    options.assignments = {"title=F\xC3\xAAte", "dateformat=0", "color=#FF0000", "color=#00FF00"};
    std::string error;
    ASSERT_TRUE(CheckStampOptions(&options, kWestern, &error)) << error;
    FilterSettings settings{};
    settings.timeformat = settings.dateformat = 1;
    ApplyStampOptions(options, settings, kWestern);
    EXPECT_EQ(settings.timeformat, kRunPictureSlot);
    EXPECT_EQ(settings.dateformat, 0u) << "a later --set wins over the picture's slot";
    EXPECT_STREQ(settings.title, "F\xEAte");
    EXPECT_EQ(settings.color, 0x0000FF00u);
}

class SettingsViewTest : public test::RegistryTest {};

TEST_F(SettingsViewTest, TheRunReadsItsOwnPicturesAndTheUserKeyIsNeverWritten) {
    SettingsStore::WriteString("tf02", "HH");
    SettingsStore::WriteString("df03", "yyyy");
    SettingsStore::WriteDword("color", 0x123456);
    StampOptions options;
    options.timeGiven = options.dateGiven = true;
    options.timePicture = "mm'm'";
    options.datePicture = "d.M.";
    std::string error;
    ASSERT_TRUE(CheckStampOptions(&options, kWestern, &error)) << error;

    SettingsView view;
    ASSERT_TRUE(view.begin(options, &error)) << error;
    EXPECT_TRUE(view.active());
    LoadFormatLists();
    FilterSettings settings{};
    ReadDefaults(settings);
    view.end();
    EXPECT_FALSE(view.active());

    EXPECT_STREQ(timeFormats.slots[2], "mm'm'");
    EXPECT_EQ(timeFormats.count, 3u);
    EXPECT_STREQ(dateFormats.slots[2], "d.M.") << "df02 is the run's";
    EXPECT_STREQ(dateFormats.slots[3], "yyyy") << "the user's other pictures stay where they were";
    EXPECT_EQ(settings.color, 0x123456u) << "the user's defaults are read through the view";

    // The user's key is as it was, and the copy is gone.
    char stored[32];
    SettingsStore::ReadString("tf02", stored, sizeof stored, "");
    EXPECT_STREQ(stored, "HH");
    EXPECT_FALSE(test::ValueExists("df02"));
    HKEY user = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, &user), ERROR_SUCCESS);
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (RegEnumKeyExW(user, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        EXPECT_NE(std::wstring(name).rfind(L"Camtag-run-", 0), 0u)
            << "a run's copy was left behind";
    }
    RegCloseKey(user);
    LoadFormatLists();
    EXPECT_STREQ(timeFormats.slots[2], "HH");
}

TEST_F(SettingsViewTest, WithoutPicturesNothingChanges) {
    StampOptions options;
    options.assignments = {"title=x"};
    std::string error;
    ASSERT_TRUE(CheckStampOptions(&options, kWestern, &error));
    SettingsView view;
    ASSERT_TRUE(view.begin(options, &error));
    EXPECT_FALSE(view.active());
}

} // namespace
} // namespace camtag
