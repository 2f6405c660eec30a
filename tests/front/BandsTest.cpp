// Frames through a renderer a band at a time: what reaches the encoder is the decoder's frame
// with the band the renderer gave back in its place, or the renderer's whole frame when it asked
// for it; a reply the exchange cannot take ends it.
#include "Bands.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <thread>
#include <vector>

using namespace camtag::front;

namespace {

struct Reply {
    bool wantWhole; // ask for the frame whole before stamping it
    int next[2];    // the band asked for next
};

bool ReadAll(int fd, void* p, size_t n) {
    for (char* c = static_cast<char*>(p); n > 0;) {
        const ssize_t got = read(fd, c, n);
        if (got <= 0)
            return false;
        c += got;
        n -= static_cast<size_t>(got);
    }
    return true;
}

// The rows [top, top + rows) of each plane, inverted: the stamp of this fake renderer.
void Invert(std::vector<uint8_t>& frame, size_t at, int width, int height, int top, int rows) {
    size_t offset = at;
    for (int plane = 0; plane < 3; ++plane) {
        const int w = plane ? width / 2 : width, h = plane ? height / 2 : height;
        const int t = plane ? top / 2 : top, r = plane ? rows / 2 : rows;
        for (size_t i = offset + size_t(t) * w; i < offset + size_t(t + r) * w; ++i)
            frame[i] ^= 0xFF;
        offset += size_t(w) * h;
    }
}

} // namespace

TEST(Bands, TheStampedBandTakesItsPlace) {
    struct Case {
        const char* name;
        int width, height;
        std::vector<Reply> replies;             // one per frame
        std::vector<std::vector<int>> received; // the bands the renderer is sent, in order
        size_t frames;                          // frames the exchange passes whole
    };
    const Case cases[] = {
        {"whole, then the band asked for",
         8,
         8,
         {{false, {2, 4}}, {false, {2, 4}}, {false, {0, 8}}},
         {{0, 8}, {2, 4}, {2, 4}},
         3},
        {"drawn outside the band: the frame again, whole",
         8,
         8,
         {{false, {4, 2}}, {true, {6, 2}}, {false, {6, 2}}},
         {{0, 8}, {4, 2}, {0, 8}, {6, 2}},
         3},
        {"a band that does not fit ends it", 8, 8, {{false, {3, 2}}}, {{0, 8}}, 0},
        {"nor does one past the frame", 8, 8, {{false, {4, 6}}}, {{0, 8}}, 0},
        // An NTSC frame, written in pieces that fill pages unevenly and cut at the band's
        // edges, takes more pipe buffers than its pages: the front's pipe still holds it.
        {"NTSC frames cut in pieces",
         720,
         480,
         {{false, {400, 60}}, {false, {400, 60}}, {false, {400, 60}}},
         {{0, 480}, {400, 60}, {400, 60}},
         3},
    };
    for (const Case& c : cases) {
        const size_t kFrameBytes = size_t(c.width) * c.height * 3 / 2;
        int decoded[2], toRenderer[2], fromRenderer[2], hold[2], encoded[2];
        for (int* p : {decoded, toRenderer, fromRenderer, hold, encoded})
            ASSERT_EQ(pipe2(p, O_CLOEXEC), 0);
        ASSERT_TRUE(HoldsFrame(hold[1], kFrameBytes));
        const size_t count = c.replies.size();
        std::vector<uint8_t> frames(count * kFrameBytes);
        for (size_t i = 0; i < frames.size(); ++i)
            frames[i] = static_cast<uint8_t>(i * 7 + i / kFrameBytes);
        std::thread decoder([&] {
            for (size_t at = 0; at < frames.size(); at += 3000)
                EXPECT_GT(
                    write(decoded[1], &frames[at], std::min<size_t>(3000, frames.size() - at)), 0);
            close(decoded[1]);
        });
        std::vector<std::vector<int>> received;
        std::vector<uint8_t> expected = frames;
        std::thread renderer([&] {
            for (size_t n = 0; n < count; ++n) {
                for (bool again = false;; again = true) {
                    int32_t band[2];
                    if (!ReadAll(toRenderer[0], band, sizeof band))
                        return;
                    received.push_back({band[0], band[1]});
                    std::vector<uint8_t> rows(size_t(c.width) * band[1] * 3 / 2);
                    ASSERT_TRUE(ReadAll(toRenderer[0], rows.data(), rows.size()));
                    const Reply& r = c.replies[n];
                    if (r.wantWhole && !again) {
                        const int32_t answer[3] = {1, 0, c.height};
                        ASSERT_EQ(write(fromRenderer[1], answer, sizeof answer), 12);
                        continue;
                    }
                    Invert(expected, n * kFrameBytes, c.width, c.height, band[0], band[1]);
                    for (uint8_t& b : rows)
                        b ^= 0xFF;
                    const int32_t answer[3] = {0, r.next[0], r.next[1]};
                    ASSERT_EQ(write(fromRenderer[1], answer, sizeof answer), 12);
                    ASSERT_EQ(write(fromRenderer[1], rows.data(), rows.size()),
                              ssize_t(rows.size()));
                    break;
                }
            }
        });
        std::vector<uint8_t> out;
        std::thread encoder([&] {
            uint8_t buffer[4096];
            for (ssize_t got; (got = read(encoded[0], buffer, sizeof buffer)) > 0;)
                out.insert(out.end(), buffer, buffer + got);
        });
        BandRoute route;
        route.decoded = decoded[0];
        route.toRenderer = toRenderer[1];
        route.fromRenderer = fromRenderer[0];
        route.hold = hold[1];
        route.held = hold[0];
        route.discard = open("/dev/null", O_WRONLY | O_CLOEXEC);
        route.width = c.width;
        route.height = route.rows = c.height;
        size_t passed = 0;
        for (bool delivered = true; passed < count; ++passed) {
            if (StampFrameInBands(route, encoded[1], &delivered) != kFrameBytes)
                break;
            EXPECT_TRUE(delivered) << c.name;
        }
        for (int fd : {encoded[1], toRenderer[1], fromRenderer[1]})
            close(fd);
        decoder.join();
        renderer.join();
        encoder.join();
        EXPECT_EQ(passed, c.frames) << c.name;
        EXPECT_EQ(received, c.received) << c.name;
        expected.resize(passed * kFrameBytes);
        EXPECT_EQ(out, expected) << c.name;
        for (int fd : {decoded[0], toRenderer[0], fromRenderer[0], hold[0], hold[1], encoded[0],
                       route.discard})
            close(fd);
    }
}
