// The overlay renderer, checked on the pixels it leaves in a memory bitmap.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>

#include "RenderTestSupport.h"
#include "render/FrameExchange.h"
#include "render/OverlayRenderer.h"

namespace gp = Gdiplus::DllExports;

namespace camtag {
namespace {

using test::Box;
using test::Canvas;
using test::PlainSettings;

constexpr uint32_t kGrey = 0x00808080;

// The most frequent colour other than the background: the glyph interior of a plain fill.
uint32_t MostFrequentChange(const Canvas& canvas) {
    std::map<uint32_t, int> counts;
    for (uint32_t p : canvas.Pixels()) {
        if (p != canvas.background()) {
            ++counts[p];
        }
    }
    uint32_t best = canvas.background();
    int bestCount = 0;
    for (const auto& [p, n] : counts) {
        if (n > bestCount) {
            best = p;
            bestCount = n;
        }
    }
    return best;
}

TEST(OverlayValues, AlphaAndShadowOffsetFollowTheSettings) {
    EXPECT_EQ(OverlayRenderer::Alpha(0), 255);
    EXPECT_EQ(OverlayRenderer::Alpha(50), 127);
    EXPECT_EQ(OverlayRenderer::Alpha(100), 0);
    EXPECT_EQ(OverlayRenderer::Alpha(101), 254) << "low 8 bits of -2";
    EXPECT_FLOAT_EQ(OverlayRenderer::ShadowOffset(30.0f), 3.0f);
    EXPECT_FLOAT_EQ(OverlayRenderer::ShadowOffset(50.0f), 5.0f);
    EXPECT_FLOAT_EQ(OverlayRenderer::ShadowOffset(200.0f), 5.0f);
    EXPECT_EQ(OverlayRenderer::ToArgb(0x00332211, 0x80), 0x80112233u);
    // 24 points at 96 dpi on the reference height, and the same for a field of half the rows.
    EXPECT_EQ(ScaledFontHeight(-32, 576, 576, 96), 43);
    EXPECT_EQ(ScaledFontHeight(-32, 288 * 2, 576, 96), 43);
    EXPECT_EQ(ScaledFontHeight(-32, 1080, 576, 96), 80);
    EXPECT_EQ(ScaledFontHeight(-32, 576, 0, 96), 43);
}

TEST(OverlayTransparency, OpaqueHalfAndInvisible) {
    FilterSettings s = PlainSettings();
    s.color = 0x000000FF; // red

    Canvas opaque(200, 80, kGrey);
    opaque.Draw(s, 40, 10, 10, L"HIH");
    EXPECT_EQ(MostFrequentChange(opaque), 0x00FF0000u);

    s.transparency = 50; // alpha 127 over grey 128
    Canvas half(200, 80, kGrey);
    half.Draw(s, 40, 10, 10, L"HIH");
    const uint32_t blended = MostFrequentChange(half);
    EXPECT_NEAR(test::Red(blended), 128 + (255 - 128) * 127 / 255, 1);
    EXPECT_NEAR(test::Green(blended), 128 - 128 * 127 / 255, 1);

    // Every layer on, nothing changes.
    s.transparency = 100;
    s.drawoutline = s.drawshadow = s.bkground = 1;
    s.colorbkground = 0x00FF0000;
    Canvas invisible(200, 80, kGrey);
    invisible.Draw(s, 40, 10, 10, L"HIH\nHIH");
    EXPECT_TRUE(invisible.Changed().empty());
}

struct ShadowCase {
    float emSize;
    int offset;
};

class ShadowOffset : public ::testing::TestWithParam<ShadowCase> {};

TEST_P(ShadowOffset, ShadowLiesRightAndBelowByTheOffset) {
    const ShadowCase c = GetParam();
    FilterSettings s = PlainSettings();
    s.drawshadow = 1; // black at alpha 127
    Canvas canvas(300, 200, kGrey);
    canvas.Draw(s, c.emSize, 20, 20, L"IH");
    const Box text = canvas.Find([](uint32_t p) { return test::Red(p) > 0x80; });
    const Box shadow = canvas.Find([](uint32_t p) { return test::Red(p) < 0x80; });
    ASSERT_FALSE(text.empty());
    ASSERT_FALSE(shadow.empty());
    EXPECT_NEAR(shadow.right - text.right, c.offset, 1);
    EXPECT_NEAR(shadow.bottom - text.bottom, c.offset, 1);
    EXPECT_NEAR(shadow.left - text.left, c.offset, 1);
    EXPECT_NEAR(shadow.top - text.top, c.offset, 1);
}

INSTANTIATE_TEST_SUITE_P(FontSizes, ShadowOffset,
                         ::testing::Values(ShadowCase{30.0f, 3}, ShadowCase{20.0f, 2},
                                           ShadowCase{80.0f, 5}));

TEST(OverlayShadow, ShadowDoesNotDarkenTheGlyphs) {
    FilterSettings s = PlainSettings();
    s.transparency = 50;
    Canvas plain(300, 120, kGrey);
    plain.Draw(s, 60, 10, 10, L"HOW");
    s.drawshadow = 1;
    Canvas shadowed(300, 120, kGrey);
    shadowed.Draw(s, 60, 10, 10, L"HOW");

    const uint32_t interior = MostFrequentChange(plain);
    const std::vector<uint32_t> a = plain.Pixels();
    const std::vector<uint32_t> b = shadowed.Pixels();
    int interiorPixels = 0;
    int darkened = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] == interior) {
            ++interiorPixels;
            darkened += b[i] != a[i];
        }
    }
    EXPECT_GT(interiorPixels, 200);
    EXPECT_EQ(darkened, 0);
    EXPECT_NE(a, b) << "the shadow is drawn somewhere";
}

// Text and box in one colour: every pixel drawn is exactly that colour when the box holds the
// whole text, and the changed area is the box.
bool AllChangedAre(const Canvas& canvas, uint32_t colour) {
    for (uint32_t p : canvas.Pixels()) {
        if (p != canvas.background() && p != colour) {
            return false;
        }
    }
    return true;
}

TEST(OverlayBox, BoxHoldsTheTextAndGrowsForOutlineAndShadow) {
    FilterSettings s = PlainSettings();
    s.bkground = 1;
    s.color = s.colorbkground = 0x00FF0000; // blue
    Canvas plain(200, 100, kGrey);
    plain.Draw(s, 20, 30, 30, L"HxH");
    EXPECT_TRUE(AllChangedAre(plain, 0x000000FF));
    const Box box = plain.Changed();
    ASSERT_FALSE(box.empty());

    s.drawoutline = 1;
    s.drawshadow = 1; // 20 units: offset 2, the box grows by 3
    Canvas both(200, 100, kGrey);
    both.Draw(s, 20, 30, 30, L"HxH");
    const Box grown = both.Changed();
    EXPECT_EQ(grown.left, box.left - 1);
    EXPECT_EQ(grown.top, box.top - 1);
    EXPECT_EQ(grown.right, box.right + 1 + 3);
    EXPECT_EQ(grown.bottom, box.bottom + 1 + 3);
}

TEST(OverlayBox, EmptyTextDrawsNoBox) {
    FilterSettings s = PlainSettings();
    s.bkground = s.drawoutline = s.drawshadow = 1;
    Canvas canvas(50, 50, kGrey);
    canvas.Draw(s, 20, 10, 10, L"");
    EXPECT_TRUE(canvas.Changed().empty());
}

TEST(OverlayRotation, NinetyDegreesRunsDownFromTheOriginAndTheBoxEnclosesIt) {
    FilterSettings s = PlainSettings();
    s.angle = 90;
    Canvas canvas(300, 300, kGrey);
    canvas.Draw(s, 30, 150, 50, L"HHHHH");
    const Box text = canvas.Changed();
    ASSERT_FALSE(text.empty());
    // Clockwise: the line's top edge lies along x = 150, the text runs down from y = 50.
    EXPECT_LE(text.right, 151);
    EXPECT_GE(text.left, 150 - 36);
    EXPECT_GE(text.top, 49);
    EXPECT_LE(text.top, 50 + 10);
    EXPECT_GT(text.height(), 3 * text.width());

    s.bkground = 1;
    s.color = s.colorbkground = 0x00FF0000;
    Canvas boxed(300, 300, kGrey);
    boxed.Draw(s, 30, 150, 50, L"HHHHH");
    EXPECT_TRUE(AllChangedAre(boxed, 0x000000FF)) << "the box encloses the turned text";
    const Box box = boxed.Changed();
    EXPECT_LE(box.left, text.left);
    EXPECT_GE(box.right, text.right);
    EXPECT_LE(box.top, text.top);
    EXPECT_GE(box.bottom, text.bottom);
}

TEST(OverlayRotation, MinusNinetyRunsUpFromTheOrigin) {
    FilterSettings s = PlainSettings();
    s.angle = -90;
    Canvas canvas(300, 300, kGrey);
    canvas.Draw(s, 30, 150, 250, L"HHHHH");
    const Box text = canvas.Changed();
    EXPECT_GE(text.left, 149);
    EXPECT_LE(text.bottom, 251);
    EXPECT_GT(text.height(), 3 * text.width());
}

class OverlayAlign : public ::testing::TestWithParam<int32_t> {};

TEST_P(OverlayAlign, LinesStartAtAreCentredOnOrEndAtTheOrigin) {
    FilterSettings s = PlainSettings();
    s.align = GetParam();
    Canvas canvas(400, 80, kGrey);
    canvas.Draw(s, 30, 200, 10, L"HHHH");
    const Box text = canvas.Changed();
    ASSERT_FALSE(text.empty());
    const int padding = 30 / 4; // GDI+ keeps a little room before and after a line
    switch (s.align) {
    case 0:
        EXPECT_GE(text.left, 200);
        EXPECT_LE(text.left, 200 + padding);
        break;
    case 1:
        EXPECT_NEAR((text.left + text.right) / 2.0, 200.0, 2.0);
        break;
    default:
        EXPECT_LE(text.right, 200);
        EXPECT_GE(text.right, 200 - padding);
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(NearCentreFar, OverlayAlign, ::testing::Values(0, 1, 2));

// Rows with any change, grouped into runs of consecutive rows.
std::vector<Box> LineBoxes(const Canvas& canvas) {
    const std::vector<uint32_t> pixels = canvas.Pixels();
    std::vector<Box> lines;
    bool inLine = false;
    for (int y = 0; y < canvas.height(); ++y) {
        Box row;
        row.left = canvas.width();
        for (int x = 0; x < canvas.width(); ++x) {
            if (pixels[static_cast<size_t>(y) * canvas.width() + x] != canvas.background()) {
                row.left = std::min(row.left, x);
                row.right = std::max(row.right, x);
            }
        }
        if (row.right < 0) {
            inLine = false;
            continue;
        }
        if (!inLine) {
            lines.push_back(Box{row.left, y, row.right, y});
            inLine = true;
        }
        Box& line = lines.back();
        line.left = std::min(line.left, row.left);
        line.right = std::max(line.right, row.right);
        line.bottom = y;
    }
    return lines;
}

TEST(OverlayLines, TwoCentredLinesOneLineHeightApart) {
    FilterSettings s = PlainSettings();
    s.align = 1;
    Canvas canvas(400, 150, kGrey);
    canvas.Draw(s, 30, 200, 20, L"HH\nHHHHHH");
    const std::vector<Box> lines = LineBoxes(canvas);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_GT(lines[1].width(), 2 * lines[0].width());
    for (const Box& line : lines) {
        EXPECT_NEAR((line.left + line.right) / 2.0, 200.0, 2.0);
    }
    EXPECT_GE(lines[0].top, 20);
    EXPECT_LE(lines[0].top, 20 + 30 / 3);
    EXPECT_NEAR(lines[1].top - lines[0].top, test::LineHeightOf("Arial", 30), 1.0);
}

TEST(OverlayLines, WholeTextUpTo255UnitsIsDrawn) {
    // 200 spaces, then a second line: only visible when the text is not cut at 128 units.
    std::wstring text(200, L' ');
    text += L"\nHH";
    FilterSettings s = PlainSettings();
    Canvas canvas(200, 100, kGrey);
    canvas.Draw(s, 20, 10, 10, text.c_str());
    const Box drawn = canvas.Changed();
    ASSERT_FALSE(drawn.empty());
    EXPECT_GE(drawn.top, 10 + 20);

    // Beyond 255 units without a terminator the text is cut.
    std::wstring longText(300, L'\n');
    longText[299] = L'H';
    Canvas cut(50, 50, kGrey);
    cut.Draw(s, 20, 10, 10, longText.c_str());
    EXPECT_TRUE(cut.Changed().empty());
}

// The execute path's whole drawing, a thousand times: no GDI or GDI+ object may survive.
TEST(OverlayResources, NothingSurvivesAThousandFrames) {
    const FrameDesc desc{320, 240, 320 * 4, 32};
    FrameGeometry g;
    ASSERT_EQ(PrepareFrameGeometry(desc, desc, 2, 1, &g), FrameAction::kDraw);
    std::vector<uint32_t> frame(320 * 240, 0x00404040);
    std::vector<uint32_t> buffer(PixelBufferBytes(g) / 4);
    FilterSettings s = PlainSettings();
    s.drawoutline = s.drawshadow = s.bkground = 1;
    s.transparency = 30;
    s.angle = 15;
    s.align = 1;
    const LOGFONTA lf = test::TestFont(-24);

    int survivors = 0;
    for (int i = 0; i < 1000; ++i) {
        CMemBm bm;
        ASSERT_TRUE(bm.Create(nullptr, g.width, BitmapHeight(g), 1, 32, nullptr));
        ASSERT_TRUE(FillBitmap(frame.data(), g, buffer.data(), bm));
        Gdiplus::GpGraphics* graphics = nullptr;
        Gdiplus::GpFont* font = nullptr;
        ASSERT_EQ(gp::GdipCreateFromHDC(bm.dc(), &graphics), Gdiplus::Ok);
        ASSERT_EQ(gp::GdipCreateFontFromLogfontA(bm.dc(), &lf, &font), Gdiplus::Ok);
        const OverlayParams params{&s, graphics, font, 160.0f, 300.0f, L"12:34:56\n08.12.2026"};
        OverlayRenderer::DrawOverlay(params);
        EXPECT_EQ(OverlayObjectsAlive(), 0);
        gp::GdipDeleteFont(font);
        gp::GdipDeleteGraphics(graphics);
        ASSERT_TRUE(StoreBitmap(bm, g, buffer.data(), frame.data()));
        const HDC dc = bm.dc();
        const HBITMAP bitmap = bm.bitmap();
        bm.Release();
        survivors += GetObjectType(dc) != 0;
        survivors += GetObjectType(bitmap) != 0;
    }
    EXPECT_EQ(survivors, 0);
    EXPECT_EQ(OverlayObjectsAlive(), 0);
}

} // namespace
} // namespace camtag
