// The examples of the help topic on date and time pictures are what a stamp shows: every row of
// its example tables goes through the overlay text composer (minute tokens, adjustment, the
// system's GetTimeFormat and GetDateFormat) and must give the text the page promises.
#include "host/ModuleState.h"
#include "settings/FormatLists.h"
#include "text/OverlayText.h"
#include "unit_text/TextTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace camtag::test {
namespace {

std::string HelpTopic(const char* name) {
    std::string path = std::string(CAMTAG_HELP_SOURCE) + "/" + name;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string Unescape(std::string text) {
    static const std::pair<const char*, const char*> entities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&amp;", "&"}};
    for (const auto& [entity, character] : entities)
        for (size_t at; (at = text.find(entity)) != std::string::npos;)
            text.replace(at, std::strlen(entity), character);
    return text;
}

std::map<std::string, std::string> DataAttributes(const std::string& tag) {
    static const std::regex attribute("data-([a-z]+)=\"([^\"]*)\"");
    std::map<std::string, std::string> found;
    for (std::sregex_iterator it(tag.begin(), tag.end(), attribute), end; it != end; ++it)
        found[(*it)[1]] = Unescape((*it)[2]);
    return found;
}

// The <code> text of each cell of a row; "" for a cell without one.
std::vector<std::string> CellCodes(const std::string& row) {
    static const std::regex cell("<td[^>]*>([\\s\\S]*?)</td>");
    static const std::regex code("<code>([\\s\\S]*?)</code>");
    std::vector<std::string> codes;
    for (std::sregex_iterator it(row.begin(), row.end(), cell), end; it != end; ++it) {
        const std::string content = (*it)[1];
        std::smatch match;
        codes.push_back(std::regex_search(content, match, code) ? Unescape(match[1]) : "");
    }
    return codes;
}

struct Example {
    std::string timePicture; // empty: no time
    std::string datePicture; // empty: no date
    std::string expected;
    std::map<std::string, std::string> row; // data-at, data-date, data-adjust
};

// The rows of the page's example tables: "check" tables give one picture and its result per
// row, "adjust" tables a time and a date result per adjustment with the table's two pictures.
std::vector<Example> ExamplesOf(const std::string& page) {
    static const std::regex table("<table class=\"(check|adjust)\"([^>]*)>([\\s\\S]*?)</table>");
    static const std::regex rowPattern("<tr([^>]*)>([\\s\\S]*?)</tr>");
    std::vector<Example> examples;
    for (std::sregex_iterator t(page.begin(), page.end(), table), end; t != end; ++t) {
        const std::string kind = (*t)[1];
        const auto tableData = DataAttributes((*t)[2]);
        const std::string body = (*t)[3];
        for (std::sregex_iterator r(body.begin(), body.end(), rowPattern); r != end; ++r) {
            const std::vector<std::string> codes = CellCodes((*r)[2]);
            if (codes.empty())
                continue; // the heading
            Example e;
            e.row = DataAttributes((*r)[1]);
            if (kind == "check") {
                EXPECT_GE(codes.size(), 2u) << (*r)[0];
                if (codes.size() < 2)
                    continue;
                (tableData.at("list") == "time" ? e.timePicture : e.datePicture) = codes[0];
                e.expected = codes[1];
            } else {
                EXPECT_EQ(codes.size(), 3u) << (*r)[0];
                if (codes.size() != 3)
                    continue;
                e.timePicture = tableData.at("time");
                e.datePicture = tableData.at("date");
                e.expected = codes[1] + "   " + codes[2]; // one line: three spaces between
            }
            examples.push_back(e);
        }
    }
    return examples;
}

class HelpExamplesTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedDates = dateFormats;
        savedTimes = timeFormats;
        savedVersion = hostVersion;
        hostVersion = 8;
    }
    void TearDown() override {
        dateFormats = savedDates;
        timeFormats = savedTimes;
        hostVersion = savedVersion;
    }

    // The stamp's text for an example: the sample moment, Tuesday, 7 May 2002, 09:03:07, unless
    // the row names another date or time; the row's adjustment; time before date on one line.
    static std::string Stamp(const Example& e) {
        SYSTEMTIME t = MakeTime(2002, 5, 7, 9, 3, 7);
        int year, month, day, hour, minute, second;
        if (e.row.count("date") &&
            sscanf(e.row.at("date").c_str(), "%d-%d-%d", &year, &month, &day) == 3)
            t = MakeTime(year, month, day, t.wHour, t.wMinute, t.wSecond);
        if (e.row.count("at") &&
            sscanf(e.row.at("at").c_str(), "%d:%d:%d", &hour, &minute, &second) == 3)
            t = MakeTime(t.wYear, t.wMonth, t.wDay, hour, minute, second);
        FilterSettings s;
        std::memset(&s, 0, sizeof s);
        s.timeup = 1;
        s.lines = 1;
        int adjust[6] = {};
        if (e.row.count("adjust")) {
            EXPECT_EQ(sscanf(e.row.at("adjust").c_str(), "%d %d %d %d %d %d", &adjust[0],
                             &adjust[1], &adjust[2], &adjust[3], &adjust[4], &adjust[5]),
                      6);
        }
        s.dateadjust = DateAdjust(adjust[0], adjust[1], adjust[2]);
        s.timeadjust = TimeAdjust(adjust[3], adjust[4], adjust[5]);
        dateFormats = FormatList{{" ", ""}, 2};
        timeFormats = FormatList{{" ", ""}, 2};
        std::strncpy(dateFormats.slots[1], e.datePicture.c_str(), kFormatSlotSize - 1);
        std::strncpy(timeFormats.slots[1], e.timePicture.c_str(), kFormatSlotSize - 1);
        s.dateformat = e.datePicture.empty() ? 0 : 1;
        s.timeformat = e.timePicture.empty() ? 0 : 1;
        char out[255];
        ComposeDateTimeText(&s, t, FileNameTokenFor(hostVersion), out, sizeof out);
        return out;
    }

    FormatList savedDates{};
    FormatList savedTimes{};
    int32_t savedVersion = 0;
};

TEST_F(HelpExamplesTest, EveryExampleOfThePicturePageIsWhatTheStampShows) {
    const std::vector<Example> examples = ExamplesOf(HelpTopic("Format.htm"));
    // The page's tables: date and time letters, whole pictures, quoting, the minute count, the
    // adjustment. Far fewer rows means the tables were not found.
    ASSERT_GE(examples.size(), 50u);
    for (const Example& e : examples) {
        // Pictures of the page must fit the list editor's 28 characters.
        EXPECT_LE(e.timePicture.size(), 28u) << e.timePicture;
        EXPECT_LE(e.datePicture.size(), 28u) << e.datePicture;
        EXPECT_EQ(Stamp(e), e.expected)
            << "time picture [" << e.timePicture << "] date picture [" << e.datePicture << "] "
            << (e.row.count("at") ? "at " + e.row.at("at") : "")
            << (e.row.count("adjust") ? " adjusted " + e.row.at("adjust") : "");
    }
}

} // namespace
} // namespace camtag::test
