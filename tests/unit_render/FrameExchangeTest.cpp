// The memory bitmap and the exchange between host frames, the pixel buffer and the bitmap.
#include <gtest/gtest.h>

#include <vector>

#include "RenderTestSupport.h"
#include "render/FrameExchange.h"
#include "render/MemBm.h"

namespace camtag {
namespace {

constexpr uint32_t kUnset = 0xDEADBEEF;

FrameGeometry Geometry(int32_t width, int32_t height, int32_t rowBytes, int32_t factor = 1,
                       int32_t parity = 0) {
    FrameGeometry g;
    const FrameDesc desc{width, height, rowBytes, 32};
    EXPECT_EQ(PrepareFrameGeometry(desc, desc, factor, parity, &g), FrameAction::kDraw);
    return g;
}

// A frame whose pixel (x, r) holds r << 16 | x, with the bytes past each row's pixels marked.
std::vector<uint8_t> NumberedFrame(int32_t width, int32_t height, int32_t rowBytes) {
    std::vector<uint8_t> frame(static_cast<size_t>(rowBytes) * height, 0xAB);
    for (int32_t r = 0; r < height; ++r) {
        auto* row = reinterpret_cast<uint32_t*>(frame.data() + static_cast<size_t>(r) * rowBytes);
        for (int32_t x = 0; x < width; ++x) {
            row[x] = static_cast<uint32_t>(r) << 16 | static_cast<uint32_t>(x);
        }
    }
    return frame;
}

TEST(FrameGeometry, PalFrameGivesItsBitmapHeaderAndBufferSize) {
    const FrameGeometry g = Geometry(720, 576, 2880);
    EXPECT_EQ(PixelBufferBytes(g), 577u * 721u * 4u);
    const BITMAPINFOHEADER h = MakeBitmapHeader(g);
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 720);
    EXPECT_EQ(h.biHeight, 576);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, 32);
    EXPECT_EQ(h.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(h.biSizeImage, 0u);

    const FrameGeometry field = Geometry(720, 288, 2880, 2, 0);
    EXPECT_EQ(BitmapHeight(field), 576);
    EXPECT_EQ(MakeBitmapHeader(field).biHeight, 576);
    EXPECT_EQ(PixelBufferBytes(field), 577u * 721u * 4u);
}

TEST(FrameGeometry, FramesBeyondTheHostArithmeticArePassedThroughOrLeft) {
    FrameGeometry g;
    const auto check = [&](FrameDesc d) { return PrepareFrameGeometry(d, d, 1, 0, &g); };
    // Drawable limits: rows just below 32768 bytes.
    EXPECT_EQ(check({8191, 100, 32764, 32}), FrameAction::kDraw);
    // Copyable, but not in 16 bits or not 32 bits per pixel.
    EXPECT_EQ(check({8192, 10, 32768, 32}), FrameAction::kPassThrough);
    EXPECT_EQ(check({100, 10, 32768, 32}), FrameAction::kPassThrough);
    EXPECT_EQ(check({100, 40000, 400, 32}), FrameAction::kPassThrough);
    EXPECT_EQ(g.height, 40000);
    EXPECT_TRUE(FrameGeometryCopyable(g));
    EXPECT_FALSE(FrameGeometryValid(g));
    EXPECT_EQ(PixelBufferBytes(g), 0u);
    EXPECT_EQ(check({100, 10, 400, 24}), FrameAction::kPassThrough);
    // Not even a row copy is safe.
    EXPECT_EQ(check({0, 10, 400, 32}), FrameAction::kLeave);
    EXPECT_EQ(check({100, 0, 400, 32}), FrameAction::kLeave);
    EXPECT_EQ(check({-5, 10, 400, 32}), FrameAction::kLeave);
    EXPECT_EQ(check({100, -1, 400, 32}), FrameAction::kLeave);
    EXPECT_EQ(check({100, 10, 399, 32}), FrameAction::kLeave);
    EXPECT_EQ(check({100, 10, -400, 32}), FrameAction::kLeave);
    EXPECT_FALSE(FrameGeometryCopyable(g));
    // A source smaller than the destination.
    EXPECT_EQ(PrepareFrameGeometry({100, 10, 400, 32}, {100, 9, 400, 32}, 1, 0, &g),
              FrameAction::kLeave);
    EXPECT_EQ(PrepareFrameGeometry({100, 10, 400, 32}, {100, 10, 396, 32}, 1, 0, &g),
              FrameAction::kLeave);
    // Field values other than the host's.
    EXPECT_EQ(PrepareFrameGeometry({100, 10, 400, 32}, {100, 10, 400, 32}, 3, 0, &g),
              FrameAction::kPassThrough);
    EXPECT_EQ(PrepareFrameGeometry({100, 10, 400, 32}, {100, 10, 400, 32}, 2, 2, &g),
              FrameAction::kPassThrough);
}

TEST(FrameExchange, InvalidGeometryCopiesNothingIntoOrOutOfTheBuffer) {
    FrameGeometry g;
    const FrameDesc wide{100, 4, 32768, 32};
    ASSERT_EQ(PrepareFrameGeometry(wide, wide, 1, 0, &g), FrameAction::kPassThrough);
    std::vector<uint8_t> source = NumberedFrame(100, 4, 32768);
    std::vector<uint8_t> destination(source.size(), 0);
    std::vector<uint32_t> buffer(16, kUnset);
    FillBuffer(source.data(), g, buffer.data());
    StoreBuffer(buffer.data(), g, destination.data());
    EXPECT_EQ(buffer, std::vector<uint32_t>(16, kUnset));
    EXPECT_EQ(destination, std::vector<uint8_t>(source.size(), 0));

    PassThrough(source.data(), destination.data(), g);
    for (int r = 0; r < 4; ++r) {
        const size_t row = static_cast<size_t>(r) * 32768;
        EXPECT_TRUE(std::equal(source.begin() + row, source.begin() + row + 400,
                               destination.begin() + row));
        EXPECT_EQ(destination[row + 400], 0) << "bytes past the row are not copied";
    }

    FrameGeometry none;
    std::vector<uint8_t> untouched(destination.size(), 7);
    PassThrough(source.data(), untouched.data(), none);
    EXPECT_EQ(untouched, std::vector<uint8_t>(destination.size(), 7));
}

TEST(FrameExchange, StrideBeyondTheRowStepsByWholePixels) {
    // 10 bytes of padding: the row step is 46 bytes rounded down to 44.
    const FrameGeometry g = Geometry(9, 3, 46);
    EXPECT_EQ(g.stride, 44);
    const std::vector<uint8_t> source = NumberedFrame(9, 3, 44);
    std::vector<uint32_t> buffer(PixelBufferBytes(g) / 4, kUnset);
    FillBuffer(source.data(), g, buffer.data());
    for (int r = 0; r < 3; ++r) {
        for (int x = 0; x < 9; ++x) {
            EXPECT_EQ(buffer[static_cast<size_t>(r) * 9 + x], static_cast<uint32_t>(r << 16 | x));
        }
    }
    EXPECT_EQ(buffer[27], kUnset) << "the surplus stays untouched";

    std::vector<uint8_t> destination(44 * 3, 0x55);
    StoreBuffer(buffer.data(), g, destination.data());
    for (int r = 0; r < 3; ++r) {
        const auto* row = reinterpret_cast<const uint32_t*>(destination.data() + r * 44);
        EXPECT_EQ(row[8], static_cast<uint32_t>(r << 16 | 8));
        EXPECT_EQ(row[9], 0x55555555u) << "padding past the pixels is left alone";
    }
}

TEST(FrameExchange, SourceIsWalkedWithItsOwnRowStep) {
    FrameGeometry g;
    ASSERT_EQ(PrepareFrameGeometry({4, 2, 16, 32}, {6, 3, 32, 32}, 1, 0, &g), FrameAction::kDraw);
    const std::vector<uint8_t> source = NumberedFrame(6, 3, 32);
    std::vector<uint8_t> destination(32, 0);
    PassThrough(source.data(), destination.data(), g);
    const auto* out = reinterpret_cast<const uint32_t*>(destination.data());
    EXPECT_EQ(out[3], 3u);
    EXPECT_EQ(out[4], 1u << 16);
}

struct FieldCase {
    int32_t parity;
    int32_t firstFieldRow;
};

class FieldRows : public ::testing::TestWithParam<FieldCase> {};

TEST_P(FieldRows, FieldLandsOnEveryOtherBufferRowAndComesBackFromThere) {
    const FieldCase c = GetParam();
    const FrameGeometry g = Geometry(5, 3, 20, 2, c.parity);
    const std::vector<uint8_t> source = NumberedFrame(5, 3, 20);
    std::vector<uint32_t> buffer(PixelBufferBytes(g) / 4, kUnset);
    FillBuffer(source.data(), g, buffer.data());
    for (int b = 0; b < 6; ++b) {
        const bool fieldRow = (b - c.firstFieldRow) % 2 == 0 && b >= c.firstFieldRow;
        const uint32_t expected =
            fieldRow ? static_cast<uint32_t>(((b - c.firstFieldRow) / 2) << 16 | 2) : kUnset;
        EXPECT_EQ(buffer[static_cast<size_t>(b) * 5 + 2], expected) << "buffer row " << b;
    }

    // Store reads the same rows back; the other field's rows never reach the frame.
    for (int b = 0; b < 6; ++b) {
        for (int x = 0; x < 5; ++x) {
            buffer[static_cast<size_t>(b) * 5 + x] = static_cast<uint32_t>(0x100 + b);
        }
    }
    std::vector<uint8_t> destination(60, 0);
    StoreBuffer(buffer.data(), g, destination.data());
    const auto* out = reinterpret_cast<const uint32_t*>(destination.data());
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(out[r * 5 + 4], static_cast<uint32_t>(0x100 + c.firstFieldRow + 2 * r));
    }
}

INSTANTIATE_TEST_SUITE_P(Parity, FieldRows, ::testing::Values(FieldCase{0, 1}, FieldCase{1, 0}));

TEST(FrameExchange, FrameGoesThroughTheBitmapBottomRowFirstAndBack) {
    const FrameGeometry g = Geometry(7, 5, 28);
    std::vector<uint8_t> source = NumberedFrame(7, 5, 28);
    std::vector<uint32_t> buffer(PixelBufferBytes(g) / 4);
    CMemBm bm;
    ASSERT_TRUE(bm.Create(nullptr, g.width, BitmapHeight(g), 1, 32, nullptr));
    ASSERT_TRUE(FillBitmap(source.data(), g, buffer.data(), bm));
    // Frame row 0 is the picture's bottom row; row 4 its top.
    // Pixel (x, r) holds red r and blue x.
    EXPECT_EQ(GetPixel(bm.dc(), 3, 4), RGB(0, 0, 3));
    EXPECT_EQ(GetPixel(bm.dc(), 3, 0), RGB(4, 0, 3));

    SetPixel(bm.dc(), 0, 0, RGB(0x11, 0x22, 0x33));
    std::vector<uint8_t> destination(source.size(), 0);
    ASSERT_TRUE(StoreBitmap(bm, g, buffer.data(), destination.data()));
    const auto* out = reinterpret_cast<const uint32_t*>(destination.data());
    const auto* in = reinterpret_cast<const uint32_t*>(source.data());
    for (int i = 0; i < 35; ++i) {
        const uint32_t expected = i == 4 * 7 ? 0x112233u : in[i];
        EXPECT_EQ(out[i] & 0xFFFFFF, expected) << "pixel " << i;
    }
}

TEST(FrameExchange, BitmapOfAnotherSizeIsRefusedAndTheBufferStillStored) {
    const FrameGeometry g = Geometry(4, 4, 16);
    std::vector<uint8_t> source = NumberedFrame(4, 4, 16);
    std::vector<uint32_t> buffer(PixelBufferBytes(g) / 4);
    CMemBm other;
    ASSERT_TRUE(other.Create(nullptr, 4, 3, 1, 32, nullptr));
    EXPECT_FALSE(FillBitmap(source.data(), g, buffer.data(), other));
    std::vector<uint8_t> destination(source.size(), 0);
    EXPECT_FALSE(StoreBitmap(other, g, buffer.data(), destination.data()));
    EXPECT_EQ(destination, source);
}

TEST(MemBm, ReleaseIsHarmlessWhenNothingOrAlreadyReleased) {
    CMemBm never;
    never.Release();
    never.Release();
    EXPECT_FALSE(never.created());

    CMemBm bm;
    ASSERT_TRUE(bm.Create(nullptr, 8, 8, 1, 32, nullptr));
    const HDC dc = bm.dc();
    const HBITMAP bitmap = bm.bitmap();
    bm.Release();
    EXPECT_EQ(GetObjectType(dc), 0u) << "device context deleted";
    EXPECT_EQ(GetObjectType(bitmap), 0u) << "bitmap deleted";
    EXPECT_FALSE(bm.created());
    EXPECT_EQ(bm.dc(), nullptr);
    EXPECT_EQ(bm.width(), 0);
    bm.Release();
    EXPECT_FALSE(bm.Blit(GetDC(nullptr), 0, 0, SRCCOPY));
}

TEST(MemBm, CreateTwiceKeepsTheFirstBitmap) {
    CMemBm bm;
    ASSERT_TRUE(bm.Create(nullptr, 8, 6, 1, 32, nullptr));
    const HBITMAP first = bm.bitmap();
    EXPECT_TRUE(bm.Create(nullptr, 20, 20, 1, 32, nullptr));
    EXPECT_EQ(bm.bitmap(), first);
    EXPECT_EQ(bm.width(), 8);
    EXPECT_EQ(bm.height(), 6);
    EXPECT_EQ(bm.planes(), 1);
    EXPECT_EQ(bm.bitCount(), 32);

    CMemBm bad;
    EXPECT_FALSE(bad.Create(nullptr, 0, 6, 1, 32, nullptr));
    EXPECT_FALSE(bad.created());
}

TEST(MemBm, DrawBlitsAtItsOwnSizeAndStretchesOtherwise) {
    const uint32_t red = 0x00FF0000;
    std::vector<uint32_t> bits(4 * 2, red);
    CMemBm source;
    ASSERT_TRUE(source.Create(nullptr, 4, 2, 1, 32, bits.data()));
    CMemBm target;
    ASSERT_TRUE(target.Create(nullptr, 16, 16, 1, 32, nullptr));
    PatBlt(target.dc(), 0, 0, 16, 16, WHITENESS);
    SetStretchBltMode(target.dc(), BLACKONWHITE);

    ASSERT_TRUE(source.Draw(target.dc(), 1, 1, 4, 2, SRCCOPY, COLORONCOLOR));
    EXPECT_EQ(GetStretchBltMode(target.dc()), BLACKONWHITE);
    EXPECT_EQ(GetPixel(target.dc(), 4, 2), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(target.dc(), 5, 2), RGB(255, 255, 255));

    ASSERT_TRUE(source.Draw(target.dc(), 0, 8, 16, 8, SRCCOPY, COLORONCOLOR));
    EXPECT_EQ(GetStretchBltMode(target.dc()), BLACKONWHITE) << "previous stretch mode restored";
    EXPECT_EQ(GetPixel(target.dc(), 15, 15), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(target.dc(), 15, 7), RGB(255, 255, 255));
}

} // namespace
} // namespace camtag
