// The renderer's frames as bands of rows: a band stamps as the whole frame does in its rows, a
// stamp outside the band asks for the frame whole, and the band asked for next follows the stamp.
#include "FrameBands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace camtag {
namespace {

constexpr int32_t kSize = 16;

// Rows [from, to) of each plane of a 4:2:0 frame.
std::vector<uint8_t> Rows(const std::vector<uint8_t>& frame, int32_t from, int32_t to) {
    const long luma = kSize * kSize, half = kSize / 2;
    std::vector<uint8_t> out(frame.begin() + from * kSize, frame.begin() + to * kSize);
    for (long plane : {luma, luma + luma / 4})
        out.insert(out.end(), frame.begin() + plane + from / 2 * half,
                   frame.begin() + plane + to / 2 * half);
    return out;
}

TEST(FrameBands, BandsStampAsTheWholeFrameAndFollowTheStamp) {
    struct Case {
        const char* name;
        Band band;        // the rows given
        int32_t from, to; // the picture rows the fake module paints white (from == to: none)
        int32_t status;
        Band next;
    };
    const Case cases[] = {
        {"whole frame: the stamp's rows and a margin next", {0, 16}, 8, 10, kBandStamped, {6, 6}},
        {"a band holding the stamp", {6, 6}, 8, 10, kBandStamped, {6, 6}},
        {"nothing drawn: the band stays", {6, 6}, 0, 0, kBandStamped, {6, 6}},
        {"nothing drawn on a whole frame: the least band", {0, 16}, 0, 0, kBandStamped, {0, 2}},
        {"a stamp near the band's edge widens it", {6, 6}, 10, 12, kBandStamped, {6, 8}},
        {"drawn above the band: the frame whole", {6, 6}, 4, 6, kBandWantWhole, {0, 16}},
        {"drawn below it", {6, 6}, 12, 13, kBandWantWhole, {0, 16}},
        {"a stamp over most of the frame: whole frames", {0, 16}, 1, 13, kBandStamped, {0, 16}},
        {"the module failed", {6, 6}, -1, -1, -1, {0, 16}},
    };
    const YuvLayout layout{kSize, kSize};
    std::vector<uint8_t> frame(layout.Bytes());
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<uint8_t>(16 + (i * 37) % 200);
    for (const Case& c : cases) {
        std::vector<uint8_t> source(layout.HostBytes()), stamped(layout.HostBytes());
        auto paint = [&] {
            std::memcpy(stamped.data(), source.data(), stamped.size());
            for (int32_t y = std::max(c.from, 0); y < c.to; ++y)
                std::memset(&stamped[size_t(kSize - 1 - y) * kSize * 4], 255, kSize * 4);
            return c.from >= 0;
        };
        // The whole frame's way: every row into the host and the stamped ones back.
        YuvToHost(frame.data(), layout, source.data());
        paint();
        std::vector<uint8_t> whole = frame;
        StampedRowsToYuv(source.data(), stamped.data(), layout, whole.data());

        BandStamper stamper(layout, source.data(), stamped.data(), 2);
        std::vector<uint8_t> rows = Rows(frame, c.band.top, c.band.top + c.band.rows);
        // Stamped, the rows are the whole frame's; otherwise as they came.
        const std::vector<uint8_t> wanted =
            c.status == kBandStamped ? Rows(whole, c.band.top, c.band.top + c.band.rows) : rows;
        EXPECT_EQ(stamper.Stamp(c.band, rows.data(), paint), c.status) << c.name;
        EXPECT_EQ(rows, wanted) << c.name;
        EXPECT_EQ(stamper.next(), c.next) << c.name;
    }
}

} // namespace
} // namespace camtag
