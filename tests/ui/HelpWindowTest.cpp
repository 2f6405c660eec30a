// The Help buttons: the settings dialog's and the picture list editor's open Camtag.chm beside the
// module in the system's HTML Help window. Under Wine the window comes up with the help file's
// title, but its page stays blank (Wine draws HTML only with its Gecko engine, which the test
// prefix does not have), so the tests check the window and its title, not the page.
#include "UiFixture.h"
#include "ui/ModuleFiles.h"

#include <memory>

namespace camtag::test {
namespace {

constexpr wchar_t kHelpWindowClass[] = L"HH Parent";
constexpr char kHelpTitle[] = "Camtag Help"; // the title compiled into Camtag.chm
constexpr size_t kHelpTopicLength = sizeof "\\Camtag.chm::/Camtag.htm" - 1;

struct HelpSearch {
    HWND found;
};

BOOL CALLBACK MatchHelpWindow(HWND window, LPARAM param) {
    WCHAR cls[32] = {};
    GetClassNameW(window, cls, 32);
    if (lstrcmpW(cls, kHelpWindowClass) != 0 || !IsWindowVisible(window))
        return TRUE;
    reinterpret_cast<HelpSearch*>(param)->found = window;
    return FALSE;
}

// The visible HTML Help window of this thread, or null.
HWND FindHelpWindow() {
    HelpSearch search{nullptr};
    EnumThreadWindows(GetCurrentThreadId(), MatchHelpWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Presses `button` of the window *owner, then sees whether a help window with the help file's
// title comes up within a second and a half, and closes it.
void PressHelp(DialogScript& script, HWND* owner, int button, bool* shown) {
    auto help = std::make_shared<HWND>(nullptr);
    auto ticksLeft = std::make_shared<int>(100);
    script.Then([=] { Click(*owner, button); })
        .Until([=] { return (*help = FindHelpWindow()) != nullptr || --*ticksLeft <= 0; })
        .Then([=] {
            *shown = *help != nullptr;
            if (*help) {
                EXPECT_EQ(WindowText(*help), kHelpTitle);
                PostMessageW(*help, WM_CLOSE, 0, 0);
            }
        });
    script.Until([] { return FindHelpWindow() == nullptr; });
}

using HelpButtonTest = UiTest;

TEST_F(HelpButtonTest, SettingsDialogAndPictureEditorOpenTheHelpFile) {
    NewInstance();
    HWND dialog = nullptr;
    HWND page = nullptr;
    HWND editor = nullptr;
    bool settingsHelp = false;
    bool editorHelp = false;
    DialogScript script;
    script.WaitFor(kSettingsCaption, &dialog);
    PressHelp(script, &dialog, 9, &settingsHelp);
    script.Until([&] { return (page = CurrentPage(dialog)) != nullptr; })
        .Then([&] { Click(page, 1030); })
        .WaitFor(L"Date Format", &editor);
    PressHelp(script, &editor, 1034, &editorHelp);
    script.Then([&] { Click(editor, IDCANCEL); })
        .WaitGone(L"Date Format")
        .Then([&] { Click(dialog, IDCANCEL); })
        .WaitGone(kSettingsCaption);
    ASSERT_EQ(RunDialog(script), 0);
    EXPECT_TRUE(settingsHelp) << "the settings dialog's Help showed no help window";
    EXPECT_TRUE(editorHelp) << "the picture editor's Help showed no help window";
}

// A copy of the module and the help file in a folder whose path has exactly `length`
// characters. The help path is the folder, "\Camtag.chm::/Camtag.htm" and its terminator in 260
// characters; a folder too long for it must show no help rather than a cut path, which would
// still name Camtag.chm (with another topic) and open it.
struct FolderCase {
    size_t length;
    bool helpShown;
};

class HelpFolderTest : public UiTest, public ::testing::WithParamInterface<FolderCase> {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        ASSERT_NE(GetTempPathA(sizeof temp, temp), 0u);
        std::string dir =
            std::string(temp) + "camtag-help-" + std::to_string(GetCurrentProcessId());
        const size_t length = GetParam().length;
        ASSERT_LT(dir.size() + 2, length);
        while (dir.size() < length) {
            const size_t room = length - dir.size();
            if (room == 1) {
                dir += 'x'; // lengthens the last folder name
                break;
            }
            dir += "\\" + std::string(std::min<size_t>(room - 1, 60), 'x');
        }
        for (size_t at = std::strlen(temp); at <= dir.size(); ++at) {
            if (at != dir.size() && dir[at] != '\\')
                continue;
            const std::string folder = dir.substr(0, at);
            ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr) ||
                        GetLastError() == ERROR_ALREADY_EXISTS)
                << folder;
            folders_.push_back(folder);
        }
        ASSERT_EQ(dir.size(), length);
        module_ = dir + "\\fl-Camtag.prm";
        help_ = dir + "\\Camtag.chm";
        ASSERT_LT(module_.size(), static_cast<size_t>(MAX_PATH))
            << "the module itself must load from there";
        std::string built = CAMTAG_MODULE_PATH;
        built = built.substr(0, built.find_last_of("\\/")) + "\\Camtag.chm";
        ASSERT_TRUE(CopyFileA(CAMTAG_MODULE_PATH, module_.c_str(), FALSE)) << module_;
        ASSERT_TRUE(CopyFileA(built.c_str(), help_.c_str(), FALSE)) << built;
        UiTest::SetUp();
    }
    void TearDown() override {
        UiTest::TearDown();
        DeleteFileA(module_.c_str());
        DeleteFileA(help_.c_str());
        for (auto folder = folders_.rbegin(); folder != folders_.rend(); ++folder)
            RemoveDirectoryA(folder->c_str());
    }
    std::string ModulePath() const override { return module_; }

private:
    std::string module_;
    std::string help_;
    std::vector<std::string> folders_;
};

TEST_P(HelpFolderTest, HelpOpensOnlyWhenTheWholeHelpPathFits) {
    char loaded[MAX_PATH] = {};
    GetModuleFileNameA(module(), loaded, sizeof loaded);
    ASSERT_EQ(std::string(loaded), ModulePath()) << "the copy is the module that runs";
    NewInstance();
    HWND dialog = nullptr;
    bool shown = false;
    DialogScript script;
    script.WaitFor(kSettingsCaption, &dialog);
    PressHelp(script, &dialog, 9, &shown);
    script.Then([&] { Click(dialog, IDCANCEL); }).WaitGone(kSettingsCaption);
    ASSERT_EQ(RunDialog(script), 0);
    EXPECT_EQ(shown, GetParam().helpShown) << "folder of " << GetParam().length << " characters";
}

INSTANTIATE_TEST_SUITE_P(
    FolderLengths, HelpFolderTest,
    ::testing::Values(FolderCase{80, true},
                      // the help path's 259 characters and terminator fill the buffer
                      FolderCase{MAX_PATH - 1 - kHelpTopicLength, true},
                      // one more: the topic would be cut to "/Camtag.ht"
                      FolderCase{MAX_PATH - kHelpTopicLength, false},
                      // the module's own path still fits with room to spare
                      FolderCase{MAX_PATH - 16, false}));

// The directory the help file and the module file are looked up in.
TEST(ModuleDirectory, DirectoryOfTheRunningModule) {
    char expected[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, expected, sizeof expected);
    ASSERT_GT(n, 0u);
    *strrchr(expected, '\\') = '\0';
    char dir[MAX_PATH];
    ASSERT_EQ(ModuleDirectory(dir, sizeof dir), 1);
    EXPECT_STREQ(dir, expected);
    EXPECT_NE(dir[strlen(dir) - 1], '\\');
    // A buffer too small for the whole name fails rather than giving a wrong directory.
    char small[8];
    EXPECT_EQ(ModuleDirectory(small, sizeof small), 0);
    EXPECT_STREQ(small, "");
    EXPECT_EQ(ModuleDirectory(small, 0), 0);
    EXPECT_EQ(ModuleDirectory(dir, n + 1), 1); // exactly fits
}

} // namespace
} // namespace camtag::test
