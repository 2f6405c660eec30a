// Frames through a renderer a band at a time, from a pipe or from memory: the encoder gets each
// frame stamped in the band the renderer asked for, or whole when it asked for that; a reply the
// exchange cannot take ends it.
#include "Bands.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <thread>
#include <vector>

using namespace camtag::front;

namespace {

// The rows [top, top + rows) of each plane of the frame at `at`, inverted: this test's stamp.
void Invert(std::vector<uint8_t>& frames, size_t at, int width, int height, size_t top,
            size_t rows) {
    for (int plane = 0; plane < 3; ++plane) {
        const size_t w = plane ? width / 2 : width, shift = plane ? 1 : 0;
        for (size_t i = (top >> shift) * w; i < ((top + rows) >> shift) * w; ++i)
            frames[at + i] ^= 0xFF;
        at += w * (size_t(height) >> shift);
    }
}

} // namespace

TEST(Bands, TheStampedBandTakesItsPlace) {
    struct Case {
        const char* name;
        int width, height;
        std::vector<std::vector<int>> replies; // per frame: want it whole first, next band's rows
        size_t frames;                         // frames the exchange passes
    };
    const Case cases[] = {
        {"whole, then the band asked for", 8, 8, {{0, 2, 4}, {0, 2, 4}, {0, 0, 8}}, 3},
        {"drawn outside the band: again whole", 8, 8, {{0, 4, 2}, {1, 6, 2}, {0, 6, 2}}, 3},
        {"a band that does not fit ends it", 8, 8, {{0, 3, 2}}, 0},
        {"nor does one past the frame", 8, 8, {{0, 4, 6}}, 0},
        // Written in pieces that fill pages unevenly and cut at the band's edges, an NTSC frame
        // takes more pipe buffers than its pages: the front's pipe still holds it.
        {"NTSC frames cut in pieces", 720, 480, {{0, 400, 60}, {0, 400, 60}, {0, 400, 60}}, 3},
    };
    // Each case from a pipe, then from memory.
    for (size_t i = 0; i < 2 * std::size(cases); ++i) {
        const Case& c = cases[i % std::size(cases)];
        const bool inMemory = i >= std::size(cases);
        const size_t frameBytes = size_t(c.width) * c.height * 3 / 2, count = c.replies.size();
        int decoded[2], toRenderer[2], fromRenderer[2], hold[2];
        const int encoded = memfd_create("encoded", MFD_CLOEXEC); // the encoder: a file
        for (int* p : {decoded, toRenderer, fromRenderer, hold})
            ASSERT_EQ(pipe2(p, O_CLOEXEC), 0);
        ASSERT_TRUE(HoldsFrame(hold[1], frameBytes));
        std::vector<uint8_t> frames(count * frameBytes);
        for (size_t i = 0; i < frames.size(); ++i)
            frames[i] = static_cast<uint8_t>(i * 7 + i / frameBytes);
        // What the encoder must get: each frame stamped in the band asked for before it.
        std::vector<uint8_t> expected = frames;
        for (size_t n = 0, top = 0, rows = c.height; n < count; ++n) {
            const bool whole = c.replies[n][0];
            Invert(expected, n * frameBytes, c.width, c.height, whole ? 0 : top,
                   whole ? c.height : rows);
            top = c.replies[n][1], rows = c.replies[n][2];
        }
        std::thread decoder([&] {
            if (inMemory) {
                close(decoded[1]);
                return;
            }
            for (size_t at = 0; at < frames.size(); at += 3000)
                EXPECT_GT(
                    write(decoded[1], &frames[at], std::min<size_t>(3000, frames.size() - at)), 0);
            close(decoded[1]);
        });
        std::thread renderer([&] {
            FILE* in = fdopen(toRenderer[0], "rb");
            int32_t band[2];
            bool again = false; // the frame came again, whole
            for (size_t n = 0; n < count && fread(band, 4, 2, in) == 2;) {
                std::vector<uint8_t> rows(size_t(c.width) * band[1] * 3 / 2);
                ASSERT_EQ(fread(rows.data(), 1, rows.size(), in), rows.size());
                const std::vector<int>& r = c.replies[n];
                const int32_t answer[3] = {r[0] && !again, r[1], r[2]};
                EXPECT_EQ(write(fromRenderer[1], answer, sizeof answer), 12);
                again = answer[0] == 1;
                if (again)
                    continue;
                for (uint8_t& b : rows)
                    b ^= 0xFF;
                EXPECT_EQ(write(fromRenderer[1], rows.data(), rows.size()), ssize_t(rows.size()));
                ++n;
            }
            fclose(in); // the front then sees the renderer end, whatever failed here
            close(fromRenderer[1]);
        });
        BandRoute route{decoded[0], toRenderer[1], fromRenderer[0],
                        hold[1],    hold[0],       open("/dev/null", O_WRONLY | O_CLOEXEC),
                        c.width,    c.height,      0,
                        c.height};
        size_t passed = 0;
        if (inMemory) {
            // As the front's own decoder hands them: the next frame goes out before this one
            // is encoded.
            std::vector<uint8_t> held = frames;
            auto planes = [&](size_t n) {
                const size_t luma = size_t(c.width) * c.height;
                uint8_t* at = held.data() + n * frameBytes;
                return FramePlanes{{at, at + luma, at + luma * 5 / 4},
                                   {c.width, c.width / 2, c.width / 2},
                                   c.width,
                                   c.height};
            };
            camtag::Band band{0, c.height};
            std::vector<uint8_t> scratch;
            bool sent = SendBand(toRenderer[1], planes(0), band, scratch);
            for (; sent && passed < count; ++passed) {
                FramePlanes frame = planes(passed);
                if (!TakeBand(toRenderer[1], fromRenderer[0], frame, &band, scratch))
                    break;
                if (passed + 1 < count)
                    sent = SendBand(toRenderer[1], planes(passed + 1), band, scratch);
                EXPECT_EQ(write(encoded, frame.data[0], frameBytes), ssize_t(frameBytes));
            }
        } else {
            for (bool delivered = true; passed < count && delivered; ++passed)
                if (StampFrameInBands(route, encoded, &delivered) != frameBytes)
                    break;
        }
        close(toRenderer[1]);
        decoder.join();
        renderer.join();
        EXPECT_EQ(passed, c.frames) << c.name << (inMemory ? " (in memory)" : "");
        expected.resize(passed * frameBytes);
        std::vector<uint8_t> out(expected.size() + 1);
        EXPECT_EQ(pread(encoded, out.data(), out.size(), 0), ssize_t(expected.size())) << c.name;
        out.pop_back();
        EXPECT_EQ(out, expected) << c.name;
        for (int fd : {decoded[0], fromRenderer[0], hold[0], hold[1], encoded, route.discard})
            close(fd);
    }
}
