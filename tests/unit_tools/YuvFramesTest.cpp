// The renderer's 4:2:0 frames: BT.601 studio-range colours into the host's bottom-up BGRA, and
// only the stamped rows back, the rest of the planes untouched.
#include "YuvFrames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace camtag {
namespace {

// A frame whose every pixel has the same Y, U and V.
std::vector<uint8_t> Flat(const YuvLayout& layout, uint8_t y, uint8_t u, uint8_t v) {
    std::vector<uint8_t> frame(layout.Bytes(), y);
    std::fill(frame.begin() + static_cast<long>(layout.LumaBytes()),
              frame.begin() + static_cast<long>(layout.LumaBytes() + layout.ChromaBytes()), u);
    std::fill(frame.begin() + static_cast<long>(layout.LumaBytes() + layout.ChromaBytes()),
              frame.end(), v);
    return frame;
}

TEST(YuvFrames, StudioRangeColoursBecomeFullRangeBgra) {
    struct Case {
        const char* name;
        uint8_t y, u, v;
        int r, g, b;
    };
    const Case cases[] = {
        {"black", 16, 128, 128, 0, 0, 0},       {"white", 235, 128, 128, 255, 255, 255},
        {"grey", 126, 128, 128, 128, 128, 128}, {"red", 81, 90, 240, 255, 0, 0},
        {"green", 145, 54, 34, 0, 255, 0},      {"blue", 41, 240, 110, 0, 0, 255},
        {"below black", 0, 128, 128, 0, 0, 0},  {"above white", 255, 128, 128, 255, 255, 255},
    };
    const YuvLayout layout{18, 2}; // sixteen pixels the fast way, two the plain way
    for (const Case& c : cases) {
        std::vector<uint8_t> host(layout.HostBytes());
        YuvToHost(Flat(layout, c.y, c.u, c.v).data(), layout, host.data());
        for (size_t p = 0; p < host.size(); p += 4) {
            EXPECT_NEAR(host[p + 2], c.r, 2) << c.name;
            EXPECT_NEAR(host[p + 1], c.g, 2) << c.name;
            EXPECT_NEAR(host[p + 0], c.b, 2) << c.name;
            EXPECT_EQ(host[p + 3], 255) << c.name;
        }
    }
    // Both ways give the same pixel for every luma and a spread of chroma values.
    for (int y = 0; y < 256; ++y) {
        for (int c = 0; c < 256; c += 17) {
            std::vector<uint8_t> host(layout.HostBytes());
            YuvToHost(Flat(layout, uint8_t(y), uint8_t(c), uint8_t(255 - c)).data(), layout,
                      host.data());
            for (size_t p = 4; p < host.size(); p += 4)
                ASSERT_EQ(std::memcmp(&host[p], &host[0], 4), 0)
                    << "Y " << y << " chroma " << c << " pixel " << p / 4;
        }
    }
}

TEST(YuvFrames, TopRowBecomesTheHostsLastAndChromaCoversTwoByTwo) {
    const YuvLayout layout{4, 4};
    std::vector<uint8_t> frame = Flat(layout, 16, 128, 128);
    frame[1] = 235;                                             // luma of (1, 0): white
    frame[layout.LumaBytes() + layout.ChromaBytes() + 3] = 240; // V of block (1, 1): reddish
    std::vector<uint8_t> host(layout.HostBytes());
    YuvToHost(frame.data(), layout, host.data());
    auto pixel = [&](int x, int hostRow) {
        return &host[(static_cast<size_t>(hostRow) * 4 + x) * 4];
    };
    EXPECT_GE(pixel(1, 3)[0], 250) << "picture row 0 is the host's last row";
    EXPECT_EQ(pixel(1, 0)[0], 0);
    for (int x = 0; x < 4; ++x) {
        for (int row = 0; row < 4; ++row) {
            const bool reddish = x >= 2 && row <= 1; // picture rows 2 and 3
            const bool white = x == 1 && row == 3;
            EXPECT_EQ(pixel(x, row)[2] > 100, reddish || white) << x << "," << row;
        }
    }
}

TEST(YuvFrames, OnlyStampedRowsComeBackAndTheRestIsUntouched) {
    const YuvLayout layout{16, 8};
    std::vector<uint8_t> frame(layout.Bytes());
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<uint8_t>(16 + (i * 37) % 200);
    std::vector<uint8_t> source(layout.HostBytes());
    YuvToHost(frame.data(), layout, source.data());

    std::vector<uint8_t> planes = frame;
    EXPECT_EQ(StampedRowsToYuv(source.data(), source.data(), layout, planes.data()), 0);
    EXPECT_EQ(planes, frame) << "nothing stamped, nothing converted";

    // Picture row 5 (host row 2) stamped white: its luma and the chroma of rows 4 and 5 change.
    std::vector<uint8_t> stamped = source;
    for (int x = 0; x < 16; ++x) {
        uint8_t* p = &stamped[(2 * 16 + static_cast<size_t>(x)) * 4];
        p[0] = p[1] = p[2] = 255;
    }
    // Picture row 0 (host row 7) stamped white at pixels 4 and 5 only: the rest of the row and
    // the other chroma samples of its pair keep the decoder's values.
    for (int x = 4; x < 6; ++x) {
        uint8_t* p = &stamped[(7 * 16 + static_cast<size_t>(x)) * 4];
        p[0] = p[1] = p[2] = 255;
    }
    EXPECT_EQ(StampedRowsToYuv(source.data(), stamped.data(), layout, planes.data()), 2);
    for (int row = 0; row < 8; ++row) {
        for (int x = 0; x < 16; ++x) {
            const size_t at = static_cast<size_t>(row) * 16 + x;
            if (row == 5 || (row == 0 && (x == 4 || x == 5))) {
                EXPECT_EQ(planes[at], 235) << "white's luma";
            } else {
                EXPECT_EQ(planes[at], frame[at]) << "row " << row;
            }
        }
    }
    for (size_t plane = 0; plane < 2; ++plane) {
        const size_t base = layout.LumaBytes() + plane * layout.ChromaBytes();
        for (int pair = 0; pair < 4; ++pair) {
            for (int x = 0; x < 8; ++x) {
                const size_t at = base + static_cast<size_t>(pair) * 8 + x;
                if (pair == 0 && x == 2) {
                    EXPECT_NE(planes[at], frame[at]) << "the block of pixels 4 and 5";
                } else if (pair != 2) {
                    EXPECT_EQ(planes[at], frame[at]) << "pair " << pair << " sample " << x;
                } else {
                    // Half white, half the old colour: halfway to neutral.
                    EXPECT_LE(std::abs(planes[at] - 128), std::abs(frame[at] - 128) / 2 + 2)
                        << "pair " << pair;
                }
            }
        }
    }
}

} // namespace
} // namespace camtag
