#include "RenderTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

#include "render/OverlayRenderer.h"
#include "support/StampDrawing.h"

namespace gp = Gdiplus::DllExports;

namespace camtag::test {

namespace {

// GDI+ runs once per test process, as in the module.
class GdiplusEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        Gdiplus::GdiplusStartupInput input{};
        input.GdiplusVersion = 1;
        ASSERT_EQ(Gdiplus::GdiplusStartup(&token_, &input, nullptr), Gdiplus::Ok);
    }
    void TearDown() override { Gdiplus::GdiplusShutdown(token_); }

private:
    ULONG_PTR token_ = 0;
};

[[maybe_unused]] ::testing::Environment* const gdiplusEnvironment =
    ::testing::AddGlobalTestEnvironment(new GdiplusEnvironment);

BITMAPINFOHEADER TopDownHeader(int width, int height) {
    BITMAPINFOHEADER h{};
    h.biSize = sizeof h;
    h.biWidth = width;
    h.biHeight = -height;
    h.biPlanes = 1;
    h.biBitCount = 32;
    h.biCompression = BI_RGB;
    return h;
}

LOGFONTA ArialOf(float emSize) {
    return TestFont(-static_cast<LONG>(emSize));
}

} // namespace

FilterSettings PlainSettings() {
    FilterSettings s{};
    s.color = 0x00FFFFFF;
    return s;
}

Canvas::Canvas(int width, int height, uint32_t background)
    : width_(width), height_(height), background_(background) {
    EXPECT_TRUE(bm_.Create(nullptr, width, height, 1, 32, nullptr));
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, background);
    BITMAPINFOHEADER h = TopDownHeader(width, height);
    EXPECT_EQ(SetDIBits(bm_.dc(), bm_.bitmap(), 0, height, pixels.data(),
                        reinterpret_cast<BITMAPINFO*>(&h), DIB_RGB_COLORS),
              height);
}

void Canvas::Draw(const FilterSettings& settings, float emSize, float originX, float originY,
                  const wchar_t* text) {
    ASSERT_TRUE(DrawStamp(bm_, settings, StampPlacement{ArialOf(emSize), originX, originY}, text));
}

std::vector<uint32_t> Canvas::Pixels() const {
    std::vector<uint32_t> pixels(static_cast<size_t>(width_) * height_);
    BITMAPINFOHEADER h = TopDownHeader(width_, height_);
    GdiFlush();
    EXPECT_EQ(GetDIBits(bm_.dc(), bm_.bitmap(), 0, height_, pixels.data(),
                        reinterpret_cast<BITMAPINFO*>(&h), DIB_RGB_COLORS),
              height_);
    for (uint32_t& p : pixels) {
        p &= 0x00FFFFFF;
    }
    return pixels;
}

Box Canvas::Find(const std::function<bool(uint32_t)>& keep) const {
    const std::vector<uint32_t> pixels = Pixels();
    Box box;
    box.left = width_;
    box.top = height_;
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            if (keep(pixels[static_cast<size_t>(y) * width_ + x])) {
                box.left = std::min(box.left, x);
                box.right = std::max(box.right, x);
                box.top = std::min(box.top, y);
                box.bottom = std::max(box.bottom, y);
            }
        }
    }
    if (box.empty()) {
        return Box{};
    }
    return box;
}

Box Canvas::Changed() const {
    const uint32_t bg = background_;
    return Find([bg](uint32_t p) { return p != bg; });
}

float LineHeightOf(const char* face, float emSize) {
    HDC dc = CreateCompatibleDC(nullptr);
    LOGFONTA lf = TestFont(-static_cast<LONG>(emSize), face);
    Gdiplus::GpFont* font = nullptr;
    Gdiplus::GpFontFamily* family = nullptr;
    UINT16 em = 0, spacing = 0;
    gp::GdipCreateFontFromLogfontA(dc, &lf, &font);
    gp::GdipGetFamily(font, &family);
    gp::GdipGetEmHeight(family, 0, &em);
    gp::GdipGetLineSpacing(family, 0, &spacing);
    gp::GdipDeleteFontFamily(family);
    gp::GdipDeleteFont(font);
    DeleteDC(dc);
    return em ? emSize * spacing / em : 0.0f;
}

} // namespace camtag::test
