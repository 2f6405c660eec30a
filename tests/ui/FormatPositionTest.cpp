// The "Format" and "Position" tabs with the system's real font and colour dialogs, driven as a
// user would.
#include "UiFixture.h"

namespace camtag::test {
namespace {

// Common dialog controls (the system's dlgs.h and colordlg.h numbers).
constexpr int kFontFace = 0x470;
constexpr int kFontStyle = 0x471;
constexpr int kFontSize = 0x472;
constexpr int kColourRed = 706;
constexpr int kColourGreen = 707;
constexpr int kColourBlue = 708;
constexpr int kColourAddCustom = 712;
constexpr int kColourCustomGrid = 721;

bool Enabled(HWND window, int id) {
    return IsWindowEnabled(GetDlgItem(window, id)) != FALSE;
}

// A click of the mouse on a control, as the user makes it.
void ClickOn(HWND control) {
    PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    PostMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
}

// Picks an item of a common dialog's combo box by its text, telling the dialog as a choice does.
void PickByText(HWND dialog, int id, const char* text) {
    HWND combo = GetDlgItem(dialog, id);
    const LRESULT index = SendMessageA(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(text));
    ASSERT_NE(index, CB_ERR) << text;
    SendMessageA(combo, CB_SETCURSEL, index, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
}

size_t CountColour(const std::vector<uint32_t>& pixels, COLORREF colour) {
    size_t n = 0;
    for (uint32_t p : pixels)
        n += p == colour;
    return n;
}

using FormatPageTest = UiTest;

TEST_F(FormatPageTest, ChecksAlignmentAndTransparencyReachTheRecord) {
    NewInstance();
    FilterSettings* s = host.settings();
    s->align = 3;                  // both bits: bit 1 wins
    s->transparency = 0xFFFFFFFBu; // -5, as once typed
    s->drawoutline = 1;
    s->drawshadow = 0;
    s->bkground = 0;
    OnPage(1, [&](DialogScript& script, HWND&, HWND& page) {
        script
            .Then([&] {
                EXPECT_EQ(SendDlgItemMessageA(page, 1023, CB_GETCURSEL, 0, 0), 2);
                EXPECT_EQ(ControlText(page, 1049), "-5") << "shown as typed, never cut";
                Click(page, 1028);
                Click(page, 1031);
                Click(page, 1059);
                PickItem(page, 1023, 1);
                SetText(page, 1049, "99");
            })
            // The arrows keep to 0..100: up from 99 to 100, and there it stays.
            .Then([&] { PressKey(GetDlgItem(page, 1049), VK_UP); })
            .Until([] { return true; })
            .Then([&] { EXPECT_EQ(ControlText(page, 1049), "100"); })
            .Then([&] { PressKey(GetDlgItem(page, 1049), VK_UP); })
            .Until([] { return true; })
            .Then([&] { EXPECT_EQ(ControlText(page, 1049), "100"); })
            .Then([&] { SetText(page, 1049, "250"); });
    });
    s = host.settings();
    EXPECT_EQ(s->drawoutline, 0);
    EXPECT_EQ(s->drawshadow, 1);
    EXPECT_EQ(s->bkground, 1);
    EXPECT_EQ(s->align, 1);
    EXPECT_EQ(s->transparency, 250u) << "typed values are kept, as the arrows are the only limit";
}

TEST_F(FormatPageTest, TheFontButtonNamesFaceSizeAndStyle) {
    NewInstance();
    struct Case {
        const char* face;
        LONG height;
        LONG weight;
        BYTE italic;
        const char* caption;
    };
    // 96 dots per inch: 32 logical units are 24 points.
    const Case cases[] = {
        {"Arial", -32, 400, 0, "Arial\n 24, Normal"},
        {"Arial", -32, 600, 0, "Arial\n 24, Normal"},
        {"Arial", -32, 700, 1, "Arial\n 24, Bold, Italic"},
        {"Arial", 32, 400, 0, "Arial\n -24, Normal"},
        {"A face name of thirty-one chars", -133332, 700, 1,
         "A face name of thirty-one chars\n 99999, Bold, Italic"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        FilterSettings* s = host.settings();
        std::memset(s->font.lfFaceName, 0, sizeof s->font.lfFaceName);
        std::strcpy(s->font.lfFaceName, c.face);
        s->font.lfHeight = c.height;
        s->font.lfWeight = c.weight;
        s->font.lfItalic = c.italic;
        OnPage(
            1,
            [&](DialogScript& script, HWND&, HWND& page) {
                script.Then([&] { EXPECT_EQ(ControlText(page, 1015), c.caption); });
            },
            IDCANCEL);
    }
}

TEST_F(FormatPageTest, TheHandShowsOverTheSwatchesOnly) {
    NewInstance();
    const HCURSOR hand = static_cast<HCURSOR>(LoadImageA(
        module(), MAKEINTRESOURCEA(111), IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    ASSERT_NE(hand, nullptr);
    OnPage(
        1,
        [&](DialogScript& script, HWND&, HWND& page) {
            script.Then([&] {
                for (int id : {1003, 1004, 1005, 1006}) {
                    SetCursor(nullptr);
                    SendMessageW(page, WM_SETCURSOR, reinterpret_cast<WPARAM>(GetDlgItem(page, id)),
                                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
                    EXPECT_EQ(GetCursor(), hand) << id;
                }
                SetCursor(nullptr);
                SendMessageW(page, WM_SETCURSOR, reinterpret_cast<WPARAM>(GetDlgItem(page, 1015)),
                             MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
                EXPECT_NE(GetCursor(), hand) << "the font button";
            });
        },
        IDCANCEL);
}

TEST_F(FormatPageTest, FontDialogChoiceOrCancel) {
    NewInstance();
    const LOGFONTA before = host.settings()->font;
    HWND font = nullptr;
    // Cancel changes nothing.
    OnPage(1, [&](DialogScript& script, HWND&, HWND& page) {
        script.Then([&] { Click(page, 1015); })
            .WaitFor(L"Font", &font)
            .Then([&] { PickByText(font, kFontFace, "Liberation Serif"); })
            .Then([&] { Click(font, IDCANCEL); })
            .WaitGone(L"Font");
    });
    EXPECT_EQ(std::memcmp(&before, &host.settings()->font, sizeof before), 0);

    OnPage(1, [&](DialogScript& script, HWND&, HWND& page) {
        script.Then([&] { Click(page, 1015); })
            .WaitFor(L"Font", &font)
            .Then([&] {
                PickByText(font, kFontFace, "Liberation Serif");
                PickByText(font, kFontStyle, "Bold");
                PickByText(font, kFontSize, "36");
            })
            .Then([&] { Click(font, IDOK); })
            .WaitGone(L"Font")
            .Then([&] { EXPECT_EQ(ControlText(page, 1015), "Liberation Serif\n 36, Bold"); });
    });
    const LOGFONTA& f = host.settings()->font;
    EXPECT_STREQ(f.lfFaceName, "Liberation Serif");
    EXPECT_EQ(f.lfWeight, 700);
    EXPECT_EQ(f.lfHeight, -48) << "36 points at 96 dots per inch";
}

TEST_F(FormatPageTest, ColoursChosenAsCustomAreOfferedAgainAndTheSwatchShowsTheChoice) {
    NewInstance();
    const uint32_t shadow = host.settings()->colorshadow;
    const COLORREF green = RGB(10, 200, 30);
    HWND colour = nullptr;
    size_t swatchGreen = 0;
    size_t offeredGreen = 0;
    OnPage(1, [&](DialogScript& script, HWND&, HWND& page) {
        script.Then([&] { ClickOn(GetDlgItem(page, 1005)); })
            .WaitFor(L"Color", &colour)
            .Then([&] {
                SetText(colour, kColourRed, "10");
                SetText(colour, kColourGreen, "200");
                SetText(colour, kColourBlue, "30");
            })
            .Then([&] { Click(colour, kColourAddCustom); })
            .Then([&] { Click(colour, IDOK); })
            .WaitGone(L"Color")
            .Until([] { return true; })
            .Then([&] { swatchGreen = CountColour(ScreenPixels(GetDlgItem(page, 1005)), green); })
            // The next colour dialog offers the custom colour.
            .Then([&] { ClickOn(GetDlgItem(page, 1006)); })
            .WaitFor(L"Color", &colour)
            .Until([] { return true; })
            .Then([&] {
                offeredGreen =
                    CountColour(ScreenPixels(GetDlgItem(colour, kColourCustomGrid)), green);
            })
            .Then([&] { Click(colour, IDCANCEL); })
            .WaitGone(L"Color");
    });
    EXPECT_EQ(host.settings()->colorbkground, green);
    EXPECT_EQ(host.settings()->colorshadow, shadow) << "a cancelled choice changes nothing";
    EXPECT_GT(swatchGreen, 50u) << "the background swatch shows its new colour";
    EXPECT_GT(offeredGreen, 20u) << "the custom colour is offered again";
}

// A swatch keeps a visible frame in the dialog's own face colour, the lightest it meets.
TEST_F(FormatPageTest, ASwatchOfTheFaceColourKeepsItsFrame) {
    NewInstance();
    const COLORREF face = GetSysColor(COLOR_3DFACE);
    host.settings()->color = face;
    WindowPicture shown;
    OnPage(
        1,
        [&](DialogScript& script, HWND&, HWND& page) {
            script.Until([] { return true; }).Then([&] {
                shown = PictureOf(GetDlgItem(page, 1003));
            });
        },
        IDCANCEL);
    const uint32_t faceRgb =
        RGB(GetBValue(face), GetGValue(face), GetRValue(face)); // as 0x00RRGGBB
    const int w = shown.width, h = shown.height;
    ASSERT_GT(w * h, 0);
    size_t onFace = 0;
    for (int x = 0; x < w; ++x)
        onFace += (shown.pixels[x] == faceRgb) + (shown.pixels[(h - 1) * w + x] == faceRgb);
    for (int y = 0; y < h; ++y)
        onFace += (shown.pixels[y * w] == faceRgb) + (shown.pixels[y * w + w - 1] == faceRgb);
    EXPECT_EQ(onFace, 0u) << "the swatch's edge vanishes on the face";
    EXPECT_EQ(shown.pixels[(h / 2) * w + w / 2], faceRgb);
}

using PositionPageTest = UiTest;

TEST_F(PositionPageTest, PositionsAreWholePixelsOfTheFrame) {
    NewInstance();
    ASSERT_EQ(host.settings()->frameWidth, 720);
    host.settings()->x = 1.0; // a click on the preview's last column once stored this
    host.settings()->y = 0.5;
    OnPage(2, [&](DialogScript& script, HWND&, HWND& page) {
        script
            .Then([&] {
                EXPECT_EQ(ControlText(page, 1008), "719") << "the last pixel, never 720";
                EXPECT_EQ(ControlText(page, 1012), "288");
                SetText(page, 1008, "719");
                SetText(page, 1008, "720"); // refused: the previous place comes back
                EXPECT_EQ(ControlText(page, 1008), "719");
                SetText(page, 1012, ""); // empty is 0
            })
            .Then([&] { EXPECT_EQ(ControlText(page, 1012), ""); });
    });
    EXPECT_DOUBLE_EQ(host.settings()->x, 719.0 / 720.0);
    EXPECT_DOUBLE_EQ(host.settings()->y, 0.0);

    // A frame of more than a thousand pixels: the arrows write plain numbers the page reads whole.
    host.settings()->frameWidth = 1920;
    host.settings()->x = 999.0 / 1920.0;
    OnPage(2, [&](DialogScript& script, HWND&, HWND& page) {
        script.Then([&] { EXPECT_EQ(ControlText(page, 1008), "999"); })
            .Then([&] { PressKey(GetDlgItem(page, 1008), VK_UP); })
            .Until([] { return true; })
            .Then([&] { EXPECT_EQ(ControlText(page, 1008), "1000"); });
    });
    EXPECT_DOUBLE_EQ(host.settings()->x, 1000.0 / 1920.0);

    // A frame wider than four digits: the position is shown and taken whole.
    host.settings()->frameWidth = 12000;
    host.settings()->x = 0.9;
    OnPage(2, [&](DialogScript& script, HWND&, HWND& page) {
        script.Then([&] { EXPECT_EQ(ControlText(page, 1008), "10800"); }).Then([&] {
            SetText(page, 1008, "10801");
        });
    });
    EXPECT_DOUBLE_EQ(host.settings()->x, 10801.0 / 12000.0);
}

// A stored place left of the frame, brought inside by the Position page, shows in the preview at
// once.
TEST_F(PositionPageTest, APlaceBroughtIntoTheFrameShowsInThePreview) {
    NewInstance();
    host.settings()->x = -0.5;
    std::vector<uint32_t> before;
    std::vector<uint32_t> after;
    HWND dialog = nullptr;
    DialogScript script;
    script.WaitFor(kSettingsCaption, &dialog)
        .Until([] { return true; })
        .Then([&] {
            before = PictureOf(GetDlgItem(dialog, 1000)).pixels;
            PickTab(dialog, 1052, 2);
        })
        .Then([&] { after = PictureOf(GetDlgItem(dialog, 1000)).pixels; })
        .Then([&] { Click(dialog, IDOK); })
        .WaitGone(kSettingsCaption);
    ASSERT_EQ(RunDialog(script), 0);
    EXPECT_DOUBLE_EQ(host.settings()->x, 0.0);
    EXPECT_GT(DifferingPixels(before, after), 200u) << "the preview still shows the text outside";
}

TEST_F(PositionPageTest, AngleLineOrderAndSingleLine) {
    NewInstance();
    FilterSettings* s = host.settings();
    s->lines = 3; // neither: no check mark
    s->timeup = 0;
    s->mode = 1;
    OnPage(2, [&](DialogScript& script, HWND&, HWND& page) {
        script
            .Then([&] {
                EXPECT_FALSE(Enabled(page, 1017)) << "the line order is greyed in timecode mode";
                EXPECT_TRUE(IsDlgButtonChecked(page, 1018));
                EXPECT_TRUE(Enabled(page, 1038));
                EXPECT_FALSE(IsDlgButtonChecked(page, 1038));
                Click(page, 1038); // the first click: single line
                SetText(page, 1010, "200");
                EXPECT_EQ(ControlText(page, 1010), "180");
                SetText(page, 1010, "-179");
            })
            .Then([&] { PressKey(GetDlgItem(page, 1010), VK_DOWN); })
            .Until([] { return true; })
            .Then([&] { EXPECT_EQ(ControlText(page, 1010), "-180"); })
            .Then([&] { PressKey(GetDlgItem(page, 1010), VK_DOWN); })
            .Until([] { return true; })
            .Then([&] { EXPECT_EQ(ControlText(page, 1010), "-180") << "the arrows stop at -180"; })
            .Then([&] { SetText(page, 1010, "200"); });
    });
    EXPECT_EQ(host.settings()->angle, 180);
    EXPECT_EQ(host.settings()->lines, 1);
    EXPECT_EQ(host.settings()->timeup, 0);
}

TEST_F(PositionPageTest, AClickIntoThePreviewMovesTheNumbers) {
    NewInstance();
    OnPage(2, [&](DialogScript& script, HWND& dialog, HWND& page) {
        script.Then([&] {
            HWND preview = GetDlgItem(dialog, 1000);
            RECT outer{};
            GetWindowRect(preview, &outer);
            // Client pixel (90, 133) of 360 x 266: a quarter across, half down.
            SetCursorPos(outer.left + 2 + 90, outer.top + 2 + 133);
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(1000, STN_CLICKED),
                         reinterpret_cast<LPARAM>(preview));
            EXPECT_EQ(ControlText(page, 1008), "180");
            EXPECT_EQ(ControlText(page, 1012), "288");
        });
    });
    EXPECT_DOUBLE_EQ(host.settings()->x, 0.25);
    EXPECT_DOUBLE_EQ(host.settings()->y, 0.5);
}

// A font, colour, angle and position chosen in the dialog show in the next rendered frame.
TEST_F(PositionPageTest, TheNextFrameShowsTheChosenLook) {
    NewInstance();
    HWND font = nullptr;
    HWND colour = nullptr;
    HWND dialog = nullptr;
    DialogScript script;
    script.WaitFor(kSettingsCaption, &dialog)
        .Then([&] { PickTab(dialog, 1052, 1); })
        .Then([&] { Click(CurrentPage(dialog), 1015); })
        .WaitFor(L"Font", &font)
        .Then([&] {
            PickByText(font, kFontFace, "Liberation Serif");
            PickByText(font, kFontSize, "28");
        })
        .Then([&] { Click(font, IDOK); })
        .WaitGone(L"Font")
        .Then([&] { ClickOn(GetDlgItem(CurrentPage(dialog), 1003)); })
        .WaitFor(L"Color", &colour)
        .Then([&] {
            SetText(colour, kColourRed, "255");
            SetText(colour, kColourGreen, "200");
            SetText(colour, kColourBlue, "0");
        })
        .Then([&] { Click(colour, IDOK); })
        .WaitGone(L"Color")
        .Then([&] { PickTab(dialog, 1052, 2); })
        .Then([&] {
            HWND page = CurrentPage(dialog);
            SetText(page, 1008, "100");
            SetText(page, 1012, "300");
            SetText(page, 1010, "15");
        })
        .Then([&] { Click(dialog, IDOK); })
        .WaitGone(kSettingsCaption);
    ASSERT_EQ(RunDialog(script), 0);
    const FilterSettings& s = *host.settings();
    ASSERT_STREQ(s.font.lfFaceName, "Liberation Serif");
    ASSERT_EQ(s.color, static_cast<uint32_t>(RGB(255, 200, 0)));
    ASSERT_EQ(s.angle, 15);
    ASSERT_DOUBLE_EQ(s.x, 100.0 / 720.0);
    const std::vector<uint32_t> got = RenderedFrame(0);
    EXPECT_EQ(DifferingPixels(got, ExpectedRenderedFrame("14:23:05\n15.07.04")), 0u);
    EXPECT_GT(DifferingPixels(got, ExpectedRenderedFrame("")), 200u) << "nothing drawn";
}

} // namespace
} // namespace camtag::test
