// The settings dialog, its preview and the About box, driven as a user would.
#include "UiFixture.h"

#include "settings/SettingsStore.h"

#include <set>

namespace camtag::test {
namespace {

// Names of the values under the settings key.
std::set<std::string> StoredValueNames() {
    std::set<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    for (DWORD i = 0;; ++i) {
        char name[64];
        DWORD size = sizeof name;
        if (RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.insert(name);
    }
    RegCloseKey(key);
    return names;
}

// The texts of a dialog's labels that do not fit their controls: a text exactly as wide as its
// control already shows cut.
std::vector<std::string> CutLabels(HWND dialog) {
    std::vector<std::string> cut;
    for (HWND label = GetWindow(dialog, GW_CHILD); label; label = GetWindow(label, GW_HWNDNEXT)) {
        char cls[16] = {};
        GetClassNameA(label, cls, sizeof cls);
        const std::string text = WindowText(label);
        if (lstrcmpiA(cls, "Static") != 0 || text.empty())
            continue;
        HDC dc = GetDC(label);
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(label, WM_GETFONT, 0, 0)));
        SIZE size{};
        GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
        ReleaseDC(label, dc);
        RECT client{};
        GetClientRect(label, &client);
        if (size.cx >= client.right)
            cut.push_back(text);
    }
    return cut;
}

using SettingsDialogTest = UiTest;

TEST_F(SettingsDialogTest, ShowDurationTakesTheLeadingNumberAndOkRaisesTheChangeCountOnce) {
    struct Case {
        const char* typed;
        uint32_t stored;
    };
    const Case cases[] = {
        {"0", 0},   {"12abc", 12},           {"abc", 0}, {"-5", 0xFFFFFFFBu},
        {"  7", 7}, {"123456789", 12345678},
    };
    NewInstance();
    host.settings()->showduration = 30;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        const FilterSettings before = *host.settings();
        HWND dialog = nullptr;
        DialogScript script;
        script.WaitFor(kSettingsCaption, &dialog)
            .Then([&] {
                EXPECT_EQ(ControlText(dialog, 1064),
                          std::to_string(static_cast<int32_t>(before.showduration)));
            })
            .Then([&] { SetText(dialog, 1064, c.typed); })
            .Then([&] { Click(dialog, IDOK); })
            .WaitGone(kSettingsCaption);
        ASSERT_EQ(RunDialog(script), 0);
        FilterSettings expected = before;
        expected.showduration = c.stored;
        if (c.stored != before.showduration)
            expected.changeCount = static_cast<uint16_t>(before.changeCount + 1);
        EXPECT_EQ(std::memcmp(&expected, host.settings(), sizeof expected), 0)
            << "showduration " << host.settings()->showduration << ", changeCount "
            << host.settings()->changeCount;
    }
}

TEST_F(SettingsDialogTest, CancelLeavesTheRecordByteForByte) {
    NewInstance();
    FilterSettings* s = host.settings();
    s->changeCount = 65535;
    s->mode = 0;
    const FilterSettings before = *s;
    HWND dialog = nullptr;
    DialogScript script;
    // Edits on every page and of the dialog's own controls.
    script.WaitFor(kSettingsCaption, &dialog)
        .Then([&] {
            SetText(CurrentPage(dialog), 1062, "typed");
            SetText(CurrentPage(dialog), 1071, "-3");
            PickTab(dialog, 1052, 1);
        })
        .Then([&] { Click(CurrentPage(dialog), 1028); })
        .Then([&] {
            SetText(CurrentPage(dialog), 1049, "40");
            PickTab(dialog, 1052, 2);
        })
        .Then([&] {
            SetText(CurrentPage(dialog), 1008, "100");
            SetText(CurrentPage(dialog), 1010, "45");
            SetText(dialog, 1064, "99");
        })
        .Then([&] { PickItem(dialog, 1048, 1); })
        .Then([&] { CheckDlgButton(dialog, 1024, BST_UNCHECKED); })
        .Then([&] { Click(dialog, IDCANCEL); })
        .WaitGone(kSettingsCaption);
    ASSERT_EQ(RunDialog(script), 0);
    EXPECT_EQ(std::memcmp(&before, host.settings(), sizeof before), 0);
    EXPECT_TRUE(StoredValueNames().empty()) << "Cancel wrote to the registry";

    // OK with a change: the counter wraps from 65535 to 0.
    DialogScript again;
    again.WaitFor(kSettingsCaption, &dialog)
        .Then([&] { SetText(dialog, 1064, "99"); })
        .Then([&] { Click(dialog, IDOK); })
        .WaitGone(kSettingsCaption);
    ASSERT_EQ(RunDialog(again), 0);
    EXPECT_EQ(host.settings()->changeCount, 0);
    EXPECT_EQ(host.settings()->showduration, 99u);
}

TEST_F(SettingsDialogTest, SaveAsDefaultWritesTheDefaultsOrOnlyItsOwnState) {
    NewInstance();
    std::strcpy(host.settings()->title, "  word  ");
    host.settings()->transparency = 40;
    host.settings()->angle = -15;

    // Unchecked: only "sad" = 0, and the next dialog starts unchecked.
    HWND dialog = nullptr;
    DialogScript off;
    off.WaitFor(kSettingsCaption, &dialog)
        .Then([&] {
            EXPECT_EQ(IsDlgButtonChecked(dialog, 1024), BST_CHECKED)
                << "checked while the registry is empty";
        })
        .Then([&] { Click(dialog, 1024); })
        .Then([&] { Click(dialog, IDOK); })
        .WaitGone(kSettingsCaption);
    ASSERT_EQ(RunDialog(off), 0);
    EXPECT_EQ(StoredValueNames(), std::set<std::string>{"sad"});
    EXPECT_EQ(SettingsStore::ReadDword("sad", 7), 0u);

    DialogScript on;
    on.WaitFor(kSettingsCaption, &dialog)
        .Then([&] { EXPECT_EQ(IsDlgButtonChecked(dialog, 1024), BST_UNCHECKED); })
        .Then([&] { Click(dialog, 1024); })
        .Then([&] { Click(dialog, IDOK); })
        .WaitGone(kSettingsCaption);
    ASSERT_EQ(RunDialog(on), 0);
    const std::set<std::string> all = {"sad",
                                       "mode",
                                       "font",
                                       "color",
                                       "align",
                                       "outlinecolor",
                                       "drawoutline",
                                       "drawshadow",
                                       "colorshadow",
                                       "x",
                                       "y",
                                       "timeformat",
                                       "dateformat",
                                       "timeup",
                                       "lines",
                                       "transparency",
                                       "bkground",
                                       "colorbkground",
                                       "timecodemode",
                                       "timecodestart",
                                       "title",
                                       "angle",
                                       "showduration",
                                       "flags",
                                       "timeadjust",
                                       "dateadjust"};
    EXPECT_EQ(StoredValueNames(), all);
    EXPECT_EQ(SettingsStore::ReadDword("sad", 7), 1u);
    EXPECT_EQ(SettingsStore::ReadDword("transparency", 7), 40u);
    EXPECT_EQ(static_cast<int32_t>(SettingsStore::ReadDword("angle", 7)), -15);
    char title[32];
    SettingsStore::ReadString("title", title, sizeof title, "?");
    EXPECT_STREQ(title, "  word  ")
        << "the defaults get the title as typed: its spaces part it from the stamp";
    EXPECT_STREQ(host.settings()->title, "  word  ") << "the record keeps it as typed";
}

TEST_F(SettingsDialogTest, ModeSelectorFollowsTheSourceAndAModeChangeKeepsTheTab) {
    NewInstance();
    HWND formatPage = nullptr;
    ASSERT_EQ(host.settings()->dvSource, 1);
    ASSERT_EQ(host.settings()->mode, 0);
    HWND dialog = nullptr;
    DialogScript script;
    script.WaitFor(kSettingsCaption, &dialog)
        .Then([&] {
            EXPECT_EQ(CutLabels(dialog), std::vector<std::string>{});
            HWND mode = GetDlgItem(dialog, 1048);
            EXPECT_TRUE(IsWindowEnabled(mode));
            EXPECT_EQ(SendMessageA(mode, CB_GETCURSEL, 0, 0), 0);
            EXPECT_EQ(SendMessageA(mode, CB_GETCOUNT, 0, 0), 2);
            char item[64] = {};
            SendMessageA(mode, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(item));
            EXPECT_STREQ(item, "Timecode");
            HWND tabs = GetDlgItem(dialog, 1052);
            EXPECT_EQ(TabCtrl_GetItemCount(tabs), 3);
            EXPECT_EQ(TabCtrl_GetCurSel(tabs), 0);
        })
        .Then([&] { PickTab(dialog, 1052, 1); })
        .Then([&] {
            EXPECT_EQ(TabCtrl_GetCurSel(GetDlgItem(dialog, 1052)), 1);
            formatPage = CurrentPage(dialog);
            EXPECT_NE(GetDlgItem(formatPage, 1015), nullptr) << "the Format page";
        })
        .Then([&] { PickItem(dialog, 1048, 1); })
        .Then([&] {
            EXPECT_EQ(TabCtrl_GetCurSel(GetDlgItem(dialog, 1052)), 1) << "the Format tab stays";
            HWND page = CurrentPage(dialog);
            EXPECT_NE(page, formatPage) << "made anew";
            EXPECT_NE(GetDlgItem(page, 1015), nullptr);
        })
        .Then([&] { PickTab(dialog, 1052, 0); })
        .Then([&] {
            EXPECT_NE(GetDlgItem(CurrentPage(dialog), 1053), nullptr) << "the timecode page";
        })
        .Then([&] { Click(dialog, IDOK); })
        .WaitGone(kSettingsCaption);
    ASSERT_EQ(RunDialog(script), 0);
    EXPECT_EQ(host.settings()->mode, 1);

    // A source that is not DV: no choice of mode.
    host.settings()->dvSource = 0;
    host.settings()->mode = 7; // a mode of neither kind: nothing selected
    host.clearTimeline();
    host.addFilteredClip(0, 100, DataPath("missing.avi").c_str(), 0);
    DialogScript none;
    none.WaitFor(kSettingsCaption, &dialog)
        .Then([&] {
            HWND mode = GetDlgItem(dialog, 1048);
            EXPECT_FALSE(IsWindowEnabled(mode));
            EXPECT_EQ(SendMessageA(mode, CB_GETCURSEL, 0, 0), CB_ERR);
        })
        .Then([&] { Click(dialog, IDCANCEL); })
        .WaitGone(kSettingsCaption);
    ASSERT_EQ(RunDialog(none), 0);
}

TEST_F(SettingsDialogTest, PreviewClicksPlaceTheTextAtTheClickedPixel) {
    NewInstance();
    const double x0 = host.settings()->x;
    const double y0 = host.settings()->y;
    // Offsets from the preview's outer top-left corner; the 2-pixel edge leaves a 360 x 266 client.
    struct Case {
        const char* what;
        int dx, dy;
        bool moves;
        double x, y;
    };
    const Case cases[] = {
        {"outer edge pixel", 0, 50, false, 0, 0},
        {"inner edge pixel", 1, 50, false, 0, 0},
        {"client's top-left pixel", 2, 2, true, 0.0, 0.0},
        {"client's middle", 2 + 180, 2 + 133, true, 0.5, 0.5},
        {"outermost right pixel", 363, 50, false, 0, 0},
        {"outermost bottom pixel", 50, 269, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host.settings()->x = x0;
        host.settings()->y = y0;
        HWND dialog = nullptr;
        DialogScript script;
        script.WaitFor(kSettingsCaption, &dialog)
            .Then([&] {
                HWND preview = GetDlgItem(dialog, 1000);
                RECT outer{};
                GetWindowRect(preview, &outer);
                ASSERT_EQ(outer.right - outer.left, 364);
                ASSERT_EQ(outer.bottom - outer.top, 270);
                SetCursorPos(outer.left + c.dx, outer.top + c.dy);
                SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(1000, STN_CLICKED),
                             reinterpret_cast<LPARAM>(preview));
            })
            .Then([&] { Click(dialog, IDOK); })
            .WaitGone(kSettingsCaption);
        ASSERT_EQ(RunDialog(script), 0);
        EXPECT_DOUBLE_EQ(host.settings()->x, c.moves ? c.x : x0);
        EXPECT_DOUBLE_EQ(host.settings()->y, c.moves ? c.y : y0);
    }

    // The inner bottom-right pixel: fractions just below 1 whose pixels stay inside the frame.
    HWND dialog = nullptr;
    DialogScript corner;
    corner.WaitFor(kSettingsCaption, &dialog)
        .Then([&] {
            HWND preview = GetDlgItem(dialog, 1000);
            RECT outer{};
            GetWindowRect(preview, &outer);
            SetCursorPos(outer.right - 2, outer.bottom - 2);
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(1000, STN_CLICKED),
                         reinterpret_cast<LPARAM>(preview));
        })
        .Then([&] { Click(dialog, IDOK); })
        .WaitGone(kSettingsCaption);
    ASSERT_EQ(RunDialog(corner), 0);
    const FilterSettings& s = *host.settings();
    EXPECT_LT(s.x, 1.0);
    EXPECT_GT(s.x, 0.999);
    EXPECT_LT(s.x * s.frameWidth, s.frameWidth);
    EXPECT_EQ(static_cast<int>(s.x * s.frameWidth), s.frameWidth - 1);
    EXPECT_LT(s.y, 1.0);
    EXPECT_EQ(static_cast<int>(s.y * s.frameHeight), s.frameHeight - 1);
}

// Whether the About box was told of Esc: the dialog manager turns the key into its Cancel command.
WNDPROC aboutProcedure = nullptr;
bool aboutCancelled = false;
LRESULT CALLBACK WatchAbout(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL)
        aboutCancelled = true;
    return CallWindowProcA(aboutProcedure, window, message, wParam, lParam);
}

TEST_F(SettingsDialogTest, AboutShowsTheVersionAndOnlyOkClosesIt) {
    NewInstance();
    HWND dialog = nullptr;
    HWND about = nullptr;
    aboutCancelled = false;
    DialogScript script;
    script.WaitFor(kSettingsCaption, &dialog)
        .Then([&] { Click(dialog, 20); })
        .WaitFor(kAboutCaption, &about)
        .Then([&] {
            EXPECT_EQ(ControlText(about, 1027), "Camtag Video Filter Version 3.11.1.67");
            EXPECT_EQ(GetWindowLongW(about, GWL_STYLE) & WS_SYSMENU, 0) << "no close box";
            EXPECT_EQ(CutLabels(about), std::vector<std::string>{});
            aboutProcedure = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrA(about, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatchAbout)));
            PressKey(GetDlgItem(about, IDOK), VK_ESCAPE);
        })
        .Until([&] { return aboutCancelled; })
        .Then([&] {
            EXPECT_NE(FindThreadDialog(kAboutCaption), nullptr) << "Esc closed the About box";
        })
        .Then([&] { Click(about, IDOK); })
        .WaitGone(kAboutCaption)
        .Then([&] { Click(dialog, IDCANCEL); })
        .WaitGone(kSettingsCaption);
    ASSERT_EQ(RunDialog(script), 0);
}

// The preview: the host's frame at 360 pixels wide, the overlay the frames get, stretched to the
// control, and the two dotted guide frames.
TEST_F(SettingsDialogTest, PreviewShowsTheHostFrameWithTheOverlayAndTheGuides) {
    NewInstance();
    FilterSettings* s = host.settings();
    s->drawoutline = s->drawshadow = s->bkground = 1;
    s->colorbkground = 0x00203040;
    s->x = 0.1;
    s->y = 0.6;
    const std::vector<uint32_t> shown = PreviewOfNewDialog();
    ASSERT_EQ(shown.size(), static_cast<size_t>(kPreviewWidth * kPreviewHeight));
    EXPECT_GE(host.sourceFrameRequests(), 1);

    // The guides: every pixel on them is the pen's blue or the background's white, and about
    // half of them are blue.
    std::vector<bool> onGuide(shown.size(), false);
    auto guide = [&](int left, int top, int right, int bottom) {
        size_t blue = 0;
        size_t total = 0;
        auto visit = [&](int x, int y) {
            const size_t i = static_cast<size_t>(y) * kPreviewWidth + x;
            if (onGuide[i])
                return;
            onGuide[i] = true;
            ++total;
            blue += shown[i] == 0x0000FF;
            EXPECT_TRUE(shown[i] == 0x0000FF || shown[i] == 0xFFFFFF)
                << x << "," << y << ": " << std::hex << shown[i];
        };
        for (int x = left; x <= right; ++x)
            visit(x, top), visit(x, bottom);
        for (int y = top; y <= bottom; ++y)
            visit(left, y), visit(right, y);
        EXPECT_GT(blue, total / 4);
        EXPECT_LT(blue, total * 3 / 4);
    };
    guide(18, 13, 342, 252);
    guide(36, 26, 324, 239);

    // The frames' own stamp on a frame of the preview's size: the preview shows what execute
    // draws, so a fault of the preview's font scaling or placement shows here.
    ASSERT_EQ(host.settings()->referenceHeight,
              static_cast<uint32_t>(host.settings()->frameHeight));
    const std::vector<uint32_t> expected = ExecutedPreview();
    const std::vector<uint32_t> plain = ExpectedPreview(*host.settings(), nullptr);
    size_t differing = 0;
    int left = kPreviewWidth, top = kPreviewHeight, bottom = -1;
    for (size_t i = 0; i < shown.size(); ++i) {
        if (onGuide[i])
            continue;
        differing += (shown[i] & 0xFFFFFF) != (expected[i] & 0xFFFFFF);
        if (shown[i] == plain[i])
            continue;
        const int x = static_cast<int>(i % kPreviewWidth), y = static_cast<int>(i / kPreviewWidth);
        left = std::min(left, x), top = std::min(top, y), bottom = std::max(bottom, y);
    }
    EXPECT_EQ(differing, 0u);
    // Known without the renderer: the stamp starts at the anchor (0.1 x 360, 0.6 x 266), and
    // its two lines are about two cells of the default font tall: 43-pixel cells on a 576-row
    // frame, so half that on the preview's 288 rows, stretched to the control's 266.
    EXPECT_NEAR(left, 36, 4);
    EXPECT_NEAR(top, 160, 4);
    EXPECT_NEAR(bottom - top, 2 * 43.0 / 2 * kPreviewHeight / 288, 6);
    // Bottom row first in the host's frame: the preview's top row is the ramp's last row.
    EXPECT_EQ(shown[5], plain[5]);
    EXPECT_EQ((shown[5] >> 8) & 0xFF, 0xFEu);
    EXPECT_EQ((shown[static_cast<size_t>(kPreviewHeight - 1) * kPreviewWidth + 5] >> 8) & 0xFF, 0u);
}

// The whole composed text reaches the preview, however long (as it reaches the frames).
TEST_F(SettingsDialogTest, PreviewDrawsTheWholeText) {
    NewInstance();
    FilterSettings* s = host.settings();
    std::strcpy(s->title, "%f%f\\n%f%f\\n%f%f\\n%f%f\\n"); // eight file names
    s->font.lfHeight = -14;
    s->x = 0.0;
    s->y = 0.0;
    const std::vector<uint32_t> shown = PreviewOfNewDialog();
    std::string text;
    for (int line = 0; line < 4; ++line)
        text += "pal-type2-idx1-ffmpeg.avipal-type2-idx1-ffmpeg.avi\n";
    text += "14:23:05\n15.07.04";
    ASSERT_GT(text.size(), 200u);
    const std::vector<uint32_t> whole = ExpectedPreview(*host.settings(), text.c_str());
    const std::vector<uint32_t> cut =
        ExpectedPreview(*host.settings(), text.substr(0, 127).c_str());
    size_t differing = 0;
    size_t fromCut = 0;
    // Below the outer guide's top and left of the inner guide's right edge.
    for (size_t y = 27; y < 238; ++y)
        for (size_t x = 37; x < 323; ++x) {
            const size_t i = y * kPreviewWidth + x;
            differing += shown[i] != whole[i];
            fromCut += shown[i] != cut[i];
        }
    EXPECT_EQ(differing, 0u);
    EXPECT_GT(fromCut, 20u) << "the lines after the 127th character are drawn too";
}

class NoRecordingTimeTest : public UiTest {
protected:
    void PrepareRegistry() override { SettingsStore::WriteString("df02", "dddd d MMMM yyyy"); }
};

// A clip whose frame holds no recording time (blank tape): the preview shows the sample moment,
// Tuesday 7 May 2002, 09:03:07.
TEST_F(NoRecordingTimeTest, PreviewShowsTheSampleMoment) {
    const std::string blank = DataPath("ntsc-type2-idx1-ffmpeg-blank-tape.avi");
    NewInstance(0, blank.c_str());
    ASSERT_EQ(host.settings()->dvSource, 1);
    ASSERT_EQ(host.settings()->mode, 0);
    host.settings()->dateformat = 2;
    const std::vector<uint32_t> shown = PreviewOfNewDialog();
    const std::vector<uint32_t> expected =
        ExpectedPreview(*host.settings(), "09:03:07\nTuesday 7 May 2002");
    const std::vector<uint32_t> other =
        ExpectedPreview(*host.settings(), "09:03:07\nSaturday 7 May 2002");
    size_t differing = 0;
    size_t fromOther = 0;
    // The text lies in the lower half, below the inner guide's top and above its bottom.
    for (size_t y = 140; y < 238; ++y)
        for (size_t x = 37; x < 323; ++x) {
            const size_t i = y * kPreviewWidth + x;
            differing += shown[i] != expected[i];
            fromOther += shown[i] != other[i];
        }
    EXPECT_EQ(differing, 0u);
    EXPECT_GT(fromOther, 20u);
}

} // namespace
} // namespace camtag::test

namespace camtag::test {
namespace {

// Run on a display of 16 bits per pixel (tests/ui/run-on-16-bit-screen.sh): the preview shows
// only its message, centred at a fifth of its height, and no picture.
using ScreenOf16Bits = UiTest;

TEST_F(ScreenOf16Bits, PreviewAsksForAColourDepthOf32Bits) {
    HDC screen = GetDC(nullptr);
    const int depth = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
    ASSERT_EQ(depth, 16) << "this test needs a 16-bit display";
    NewInstance();
    const std::vector<uint32_t> shown = PreviewOfNewDialog();
    ASSERT_EQ(shown.size(), static_cast<size_t>(kPreviewWidth * kPreviewHeight));
    // Black text on the untouched white background, around (180, 53), and nothing else.
    size_t black = 0;
    size_t other = 0;
    int left = kPreviewWidth;
    int right = 0;
    for (int y = 0; y < kPreviewHeight; ++y)
        for (int x = 0; x < kPreviewWidth; ++x) {
            const uint32_t p = shown[static_cast<size_t>(y) * kPreviewWidth + x];
            if (p == 0xFFFFFF)
                continue;
            if (y < 45 || y > 75)
                ++other;
            black += p == 0;
            left = std::min(left, x);
            right = std::max(right, x);
        }
    EXPECT_GT(black, 100u);
    EXPECT_EQ(other, 0u) << "something besides the message was drawn";
    EXPECT_NEAR((left + right) / 2.0, 180.0, 3.0) << "the message is centred";
    EXPECT_EQ(host.sourceFrameRequests(), 0) << "no frame asked for";
}

} // namespace
} // namespace camtag::test
