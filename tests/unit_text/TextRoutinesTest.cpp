#include "host/ModuleState.h"
#include "text/TextRoutines.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace camtag::test {
namespace {

class UserTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved = hostVersion;
        hostVersion = 8;
    }
    void TearDown() override { hostVersion = saved; }
    std::string Expand(const char* title, const char* path = "C:\\clips\\beach.avi",
                       size_t size = 256) {
        char out[256];
        ExpandUserText(title, path, FileNameTokenFor(hostVersion), out, size);
        return out;
    }
    int32_t saved = 0;
};

TEST_F(UserTextTest, EscapesAndFileName) {
    EXPECT_EQ(Expand(""), "");
    EXPECT_EQ(Expand("a\\nb\\n"), "a\nb\n");
    EXPECT_EQ(Expand("a\\tb\\\\n"), "a\\tb\\\n"); // only backslash-n is an escape
    EXPECT_EQ(Expand("%f"), "beach.avi");
    EXPECT_EQ(Expand("[%f|%f] %F %"), "[beach.avi|beach.avi] %F %");
    EXPECT_EQ(Expand("%f", "beach.avi"), "beach.avi"); // no backslash: the whole path
    EXPECT_EQ(Expand("%f", "C:\\dir\\"), "");
    EXPECT_EQ(Expand("x%f", nullptr), "x");
    hostVersion = 9;
    EXPECT_EQ(Expand("%f\\n"), "%f\n");
    hostVersion = 0; // before any setup call
    EXPECT_EQ(Expand("%f"), "beach.avi");
    char out[4] = {'Z', 'Z', 'Z', 'Z'};
    ExpandUserText(nullptr, "", FileNameTokenFor(hostVersion), out, sizeof out);
    EXPECT_STREQ(out, "");
}

TEST_F(UserTextTest, TitleFieldIsReadWithinItsBytes) {
    // 31 characters of escapes: 15 line breaks and an 'x'.
    char title[32];
    std::string escapes;
    for (int i = 0; i < 15; ++i)
        escapes += "\\n";
    escapes += "x";
    memcpy(title, escapes.c_str(), 32);
    EXPECT_EQ(Expand(title), std::string(15, '\n') + "x");

    // A full field without terminator: the 32nd byte is never read, so a backslash in the
    // 31st place stays a backslash.
    memset(title, 'a', sizeof title);
    title[30] = '\\';
    title[31] = 'n';
    EXPECT_EQ(Expand(title), std::string(30, 'a') + "\\");
    // The escape ending exactly at the 31st character still counts.
    title[29] = '\\';
    title[30] = 'n';
    title[31] = 'q';
    EXPECT_EQ(Expand(title), std::string(29, 'a') + "\n");

    // 15 file names in a title: the output size holds, not the title's.
    std::string many;
    for (int i = 0; i < 15; ++i)
        many += "%f";
    memcpy(title, many.c_str(), 31);
    title[31] = '\0';
    std::string path = "C:\\" + std::string(250, 'p');
    char out[300];
    memset(out, 'Z', sizeof out);
    ExpandUserText(title, path.c_str(), FileNameTokenFor(hostVersion), out, 254);
    EXPECT_EQ(strlen(out), 253u);
    EXPECT_EQ(out[254], 'Z');
}

TEST_F(UserTextTest, CutAtOutputSize) {
    char out[8];
    memset(out, 'Z', sizeof out);
    ExpandUserText("abcdef", "", FileNameTokenFor(hostVersion), out, 0);
    EXPECT_EQ(out[0], 'Z');
    ExpandUserText("abcdef", "", FileNameTokenFor(hostVersion), out, 1);
    EXPECT_EQ(out[0], '\0');
    EXPECT_EQ(out[1], 'Z');
    ExpandUserText("%f-%f", "C:\\ab.avi", FileNameTokenFor(hostVersion), out, 5);
    EXPECT_STREQ(out, "ab.a");
    EXPECT_EQ(out[5], 'Z');
    ExpandUserText("a\\nbcdef", "", FileNameTokenFor(hostVersion), out, 5);
    EXPECT_STREQ(out, "a\nbc");
    hostVersion = 9;
    ExpandUserText("abcdef", "", FileNameTokenFor(hostVersion), out, 5);
    EXPECT_STREQ(out, "abcd");
}

TEST(BoundedCopies, AppendCutsAndTerminates) {
    char out[6] = "ab";
    AppendBounded(out, sizeof out, "cdefgh");
    EXPECT_STREQ(out, "abcde");
    AppendBounded(out, sizeof out, "x");
    EXPECT_STREQ(out, "abcde");
    char full[4] = {'q', 'q', 'q', 'q'}; // unterminated: taken as full, and terminated
    AppendBounded(full, sizeof full, "x");
    EXPECT_EQ(full[3], '\0');
    CopyBounded(out, 3, "hello");
    EXPECT_STREQ(out, "he");
}

TEST(TrimSpaces, TrailingThenLeading) {
    char a[] = "  two words  ";
    TrimSpaces(a);
    EXPECT_STREQ(a, "two words");
    char b[] = "     ";
    TrimSpaces(b);
    EXPECT_STREQ(b, "");
    char c[] = "";
    TrimSpaces(c);
    EXPECT_STREQ(c, "");
    char d[] = "\tkeep\t ";
    TrimSpaces(d);
    EXPECT_STREQ(d, "\tkeep\t");
    TrimSpaces(nullptr); // a null text is left alone: the call must not fault
}

TEST(Utf8ToCodePage, CyrillicAndAccents) {
    const char* cyrillic = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"; // "Привет"
    char out[16];
    Utf8ToCodePage(cyrillic, out, sizeof out, 1251);
    EXPECT_STREQ(out, "\xCF\xF0\xE8\xE2\xE5\xF2");
    const char* accents = "caf\xC3\xA9 na\xC3\xAFve"; // "café naïve"
    Utf8ToCodePage(accents, out, sizeof out, 1252);
    EXPECT_STREQ(out, "caf\xE9 na\xEFve");
    // Letters the code page lacks become its default character.
    Utf8ToCodePage(cyrillic, out, sizeof out, 1252);
    EXPECT_STREQ(out, "??????");
    Utf8ToCodePage("", out, sizeof out, 1252);
    EXPECT_STREQ(out, "");
}

TEST(Utf8ToCodePage, CutToSizeAndZeroFilled) {
    const char* cyrillic = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";
    char out[8];
    memset(out, 'Z', sizeof out);
    Utf8ToCodePage(cyrillic, out, 5, 1251);
    EXPECT_EQ(std::string(out, 5), std::string("\xCF\xF0\xE8\xE2", 4) + '\0');
    EXPECT_EQ(out[5], 'Z');
    memset(out, 'Z', sizeof out);
    Utf8ToCodePage("ab", out, 6, 1252);
    EXPECT_EQ(std::string(out, 6), std::string("ab\0\0\0\0", 6)); // the whole size zero-filled
    Utf8ToCodePage("ab", out, 1, 1252);
    EXPECT_EQ(out[0], '\0');
    out[0] = 'Z';
    Utf8ToCodePage("ab", out, 0, 1252);
    EXPECT_EQ(out[0], 'Z');
    // A double-byte code page is cut between characters, never inside one.
    const char* japanese = "\xE6\x97\xA5\xE6\x9C\xAC"; // two characters, 2 bytes each in 932
    memset(out, 'Z', sizeof out);
    Utf8ToCodePage(japanese, out, 4, 932);
    EXPECT_EQ(strlen(out), 2u);
    EXPECT_EQ(std::string(out), "\x93\xFA");
    // Malformed UTF-8 does not stop the conversion.
    Utf8ToCodePage("a\xFF"
                   "b",
                   out, sizeof out, 1252);
    EXPECT_EQ(out[0], 'a');
    EXPECT_EQ(out[2], 'b');
}

} // namespace
} // namespace camtag::test
