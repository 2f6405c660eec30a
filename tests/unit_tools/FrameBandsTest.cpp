// The renderer's frames as bands of rows: a band stamps as the whole frame does in its rows, a
// stamp outside the band asks for the frame whole, and the band asked for next follows the stamp.
#include "FrameBands.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace camtag {
namespace {

constexpr int32_t kSize = 16;

// Rows [from, to) of each plane of a 4:2:0 frame of size x size.
std::vector<uint8_t> Rows(const std::vector<uint8_t>& frame, int32_t from, int32_t to,
                          long size = kSize) {
    const long luma = size * size, half = size / 2;
    std::vector<uint8_t> out(frame.begin() + from * size, frame.begin() + to * size);
    for (long plane : {luma, luma + luma / 4})
        out.insert(out.end(), frame.begin() + plane + from / 2 * half,
                   frame.begin() + plane + to / 2 * half);
    return out;
}

// Paints picture rows [from, to) white in a host frame of size x size, the bottom row first.
bool Paint(uint8_t* host, int32_t size, int32_t from, int32_t to) {
    for (int32_t y = std::max(from, 0); y < to; ++y)
        std::memset(host + size_t(size - 1 - y) * size * 4, 255, size_t(size) * 4);
    return from >= 0;
}

// The whole frame's way: every row into the host, rows [from, to) painted, those back.
std::vector<uint8_t> StampedWhole(const std::vector<uint8_t>& frame, int32_t size, int32_t from,
                                  int32_t to) {
    const YuvLayout layout{size, size};
    std::vector<uint8_t> source(layout.HostBytes());
    YuvToHost(frame.data(), layout, source.data());
    std::vector<uint8_t> stamped = source, whole = frame;
    Paint(stamped.data(), size, from, to);
    StampedRowsToYuv(source.data(), stamped.data(), layout, whole.data());
    return whole;
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
        std::vector<uint8_t> host(layout.HostBytes());
        const std::vector<uint8_t> whole = StampedWhole(frame, kSize, c.from, c.to);
        BandStamper stamper(layout, host.data(), 2);
        std::vector<uint8_t> rows = Rows(frame, c.band.top, c.band.top + c.band.rows);
        // Stamped, the rows are the whole frame's; otherwise as they came.
        const std::vector<uint8_t> wanted =
            c.status == kBandStamped ? Rows(whole, c.band.top, c.band.top + c.band.rows) : rows;
        auto paint = [&] { return Paint(host.data(), kSize, c.from, c.to); };
        EXPECT_EQ(stamper.Stamp(c.band, rows.data(), paint), c.status) << c.name;
        EXPECT_EQ(rows, wanted) << c.name;
        EXPECT_EQ(stamper.next(), c.next) << c.name;
    }
}

// One frame stamped in place after another, in memory that tells which pages were written (the
// renderer's; plain memory is the table above's): what a frame left in the host's rows never shows
// in the next, a stamp outside the band is seen in a page of its own and in one the band shares,
// and every band comes out as the whole frame's way gives it.
TEST(FrameBands, FramesInSequenceKeepNothingOfTheFrameBefore) {
    struct Step {
        int32_t from, to; // the picture rows painted
        int32_t status;
    };
    const Step steps[] = {
        {32, 36, kBandStamped},   // whole: the band becomes rows 30 to 38
        {32, 36, kBandStamped},   // the band, the same stamp
        {0, 0, kBandStamped},     // nothing drawn: last frame's stamp must not come back
        {29, 30, kBandWantWhole}, // drawn just over the band, in a page the band shares
        {32, 36, kBandStamped},   // whole
        {38, 40, kBandWantWhole}, // drawn just under the band, in the page it shares there
        {32, 36, kBandStamped},   // whole
        {0, 1, kBandWantWhole},   // the frame's top row, after its last whole page
        {32, 36, kBandStamped},   // whole
        {4, 6, kBandWantWhole},   // drawn in a page of its own over the band
        {4, 6, kBandStamped},     // whole: the band moves up, to rows 2 to 8
        {40, 42, kBandWantWhole}, // drawn under it, where the last band was
    };
    constexpr int32_t kBig = 64; // 16 KiB in the host: pages wholly outside any band
    const YuvLayout layout{kBig, kBig};
    const size_t offset = 256; // the host's pixels start after its guard, not on a page
    auto* watched = static_cast<uint8_t*>(VirtualAlloc(nullptr, layout.HostBytes() + offset,
                                                       MEM_RESERVE | MEM_COMMIT | MEM_WRITE_WATCH,
                                                       PAGE_READWRITE));
    ASSERT_NE(watched, nullptr);
    uint8_t* host = watched + offset;
    BandStamper stamper(layout, host, 2);
    // A precondition: the memory is taken as watched, so the steps test its pages.
    ASSERT_TRUE(stamper.Watched());
    for (size_t i = 0; i < sizeof steps / sizeof steps[0]; ++i) {
        const Step& c = steps[i];
        std::vector<uint8_t> frame(layout.Bytes());
        for (size_t k = 0; k < frame.size(); ++k)
            frame[k] = static_cast<uint8_t>(16 + (k * 37 + i * 11) % 200);
        const Band band = stamper.next();
        std::vector<uint8_t> rows = Rows(frame, band.top, band.top + band.rows, kBig);
        const std::vector<uint8_t> wanted = c.status == kBandStamped
                                                ? Rows(StampedWhole(frame, kBig, c.from, c.to),
                                                       band.top, band.top + band.rows, kBig)
                                                : rows;
        auto paint = [&] { return Paint(host, kBig, c.from, c.to); };
        EXPECT_EQ(stamper.Stamp(band, rows.data(), paint), c.status) << "frame " << i;
        EXPECT_EQ(rows, wanted) << "frame " << i;
    }
    VirtualFree(watched, 0, MEM_RELEASE);
}

} // namespace
} // namespace camtag
