// A look kept in a file carries the pictures its record selects, so that another machine's
// picture lists cannot change it; a bare record from earlier versions still loads.
#include "SettingsFile.h"

#include "settings/FormatLists.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

namespace camtag {
namespace {

TEST(LookFile, CarriesThePicturesItsIndexesSelect) {
    test::TempFile file("lk");
    FilterSettings record{};
    record.timeformat = 3;
    record.dateformat = 1; // the built-in picture needs none
    std::strcpy(record.title, "Tape 7 ");
    const FormatList savedTimes = timeFormats;
    std::strcpy(timeFormats.slots[3], "HH'h'mm");
    timeFormats.count = 4;
    std::string error;
    ASSERT_TRUE(SaveLookFile(file.WidePath(), record, &error)) << error;
    timeFormats = savedTimes;

    Look look;
    ASSERT_TRUE(ReadLookFile(file.WidePath(), &look, &error)) << error;
    EXPECT_EQ(std::memcmp(&look.record, &record, sizeof record), 0);
    EXPECT_EQ(look.timePicture, "HH'h'mm");
    EXPECT_EQ(look.datePicture, "");
    // The look's picture becomes the run's, unless the command line gave one.
    StampOptions options;
    TakeLookPictures(look, &options);
    EXPECT_EQ(options.timePictureAnsi, "HH'h'mm");
    StampOptions given;
    given.timeGiven = true;
    given.timePictureAnsi = "mm";
    TakeLookPictures(look, &given);
    EXPECT_EQ(given.timePictureAnsi, "mm");
}

TEST(LookFile, BareRecordsLoadAndOtherFilesDoNot) {
    test::TempFile file("lk");
    struct Row {
        size_t size;
        bool reads;
    };
    for (const Row& row : {Row{sizeof(FilterSettings), true}, Row{3, false},
                           Row{sizeof(FilterSettings) + 72, false}}) {
        std::ofstream(file.Path(), std::ios::binary) << std::string(row.size, '\x01');
        Look look;
        std::string error;
        EXPECT_EQ(ReadLookFile(file.WidePath(), &look, &error), row.reads) << row.size;
        if (row.reads)
            EXPECT_EQ(look.record.timeformat, 0x01010101u);
        else
            EXPECT_NE(error.find("not a look"), std::string::npos) << error;
    }
}

} // namespace
} // namespace camtag
