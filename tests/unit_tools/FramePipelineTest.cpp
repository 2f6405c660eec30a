// The renderer's frame loop over real pipes: every frame comes out once, stamped, in order, and
// every way the loop can end says what happened.
#include "FramePipeline.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <thread>
#include <vector>

namespace camtag {
namespace {

constexpr size_t kFrameBytes = 3000; // several reads and writes per frame through small pipes
constexpr size_t kOutBytes = kFrameBytes / 2;

std::vector<uint8_t> Frame(int64_t number) {
    std::vector<uint8_t> frame(kFrameBytes);
    for (size_t i = 0; i < kFrameBytes; ++i)
        frame[i] = static_cast<uint8_t>(number * 7 + i);
    return frame;
}

bool WriteAll(HANDLE pipe, const uint8_t* data, size_t size) {
    while (size > 0) {
        DWORD put = 0;
        if (!WriteFile(pipe, data, static_cast<DWORD>(size), &put, nullptr) || put == 0)
            return false;
        data += put;
        size -= put;
    }
    return true;
}

struct Case {
    const char* what;
    int64_t frames;      // frames asked for
    int64_t fed;         // whole frames on the input
    size_t tail;         // bytes of one more frame after them
    int64_t failAt;      // the stamping step fails on this frame (-1: never)
    int64_t readerTakes; // frames the output's reader takes before it closes (-1: all)
    PipelineStatus status;
    int64_t done; // frames written (when the output closes: at least these)
};

TEST(FramePipeline, FramesComeOutStampedInOrderAndEveryEndIsReported) {
    const Case cases[] = {
        {"all frames", 9, 9, 0, -1, -1, PipelineStatus::kDone, 9},
        {"fewer asked than fed", 4, 9, 0, -1, -1, PipelineStatus::kDone, 4},
        {"input ends early", 9, 5, 0, -1, -1, PipelineStatus::kDone, 5},
        {"input ends inside a frame", 9, 5, 100, -1, -1, PipelineStatus::kPartialFrame, 5},
        {"no input at all", 9, 0, 0, -1, -1, PipelineStatus::kDone, 0},
        {"the stamping fails", 9, 9, 0, 3, -1, PipelineStatus::kStampFailed, 3},
        {"the output closes", 9, 9, 0, -1, 4, PipelineStatus::kOutputClosed, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HANDLE inRead, inWrite, outRead, outWrite;
        ASSERT_TRUE(CreatePipe(&inRead, &inWrite, nullptr, 1024));
        ASSERT_TRUE(CreatePipe(&outRead, &outWrite, nullptr, 1024));

        std::thread feeder([&] {
            for (int64_t f = 0; f < c.fed; ++f) {
                const std::vector<uint8_t> frame = Frame(f);
                if (!WriteAll(inWrite, frame.data(), frame.size()))
                    break;
            }
            if (c.tail)
                WriteAll(inWrite, Frame(c.fed).data(), c.tail);
            CloseHandle(inWrite);
        });
        std::vector<uint8_t> received;
        std::thread drain([&] {
            std::vector<uint8_t> chunk(700);
            DWORD got = 0;
            while (
                (c.readerTakes < 0 ||
                 received.size() < static_cast<size_t>(c.readerTakes) * kOutBytes) &&
                ReadFile(outRead, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr) &&
                got > 0) {
                received.insert(received.end(), chunk.begin(), chunk.begin() + got);
            }
            CloseHandle(outRead);
        });

        // Three slots with separate input and output memory, as the host's frames are; what goes
        // out is every other byte of the stamped frame, picked after the stamping.
        std::vector<std::vector<uint8_t>> in(3, std::vector<uint8_t>(kFrameBytes));
        std::vector<std::vector<uint8_t>> stampedPixels(3, std::vector<uint8_t>(kFrameBytes));
        std::vector<std::vector<uint8_t>> out(3, std::vector<uint8_t>(kOutBytes));
        std::vector<PipelineSlot> slots;
        for (int i = 0; i < 3; ++i)
            slots.push_back({in[i].data(), out[i].data()});
        std::vector<int64_t> stampedFrames;
        std::vector<int64_t> reported;
        PipelineFrames sizes;
        sizes.inputBytes = kFrameBytes;
        sizes.outputBytes = kOutBytes;
        sizes.prepareOutput = [&](int32_t slot) {
            for (size_t i = 0; i < kOutBytes; ++i)
                out[slot][i] = stampedPixels[slot][2 * i];
        };
        const PipelineResult result = RunFramePipeline(
            inRead, outWrite, sizes, c.frames, slots,
            [&](int64_t frame, int32_t slot) {
                stampedFrames.push_back(frame);
                if (frame == c.failAt)
                    return false;
                for (size_t i = 0; i < kFrameBytes; ++i)
                    stampedPixels[slot][i] = static_cast<uint8_t>(in[slot][i] ^ 0x5A);
                return true;
            },
            [&](int64_t done) { reported.push_back(done); });
        // Closing our ends lets a feeder or a drain that the loop left waiting see the end.
        CloseHandle(outWrite);
        CloseHandle(inRead);
        feeder.join();
        drain.join();

        EXPECT_EQ(result.status, c.status);
        if (c.status == PipelineStatus::kOutputClosed) {
            // Frames the pipe took in before the reader closed count as written: at least those
            // read, never all.
            EXPECT_GE(result.done, c.done);
            EXPECT_LT(result.done, c.fed);
        } else {
            EXPECT_EQ(result.done, c.done);
        }
        for (size_t i = 0; i < stampedFrames.size(); ++i)
            EXPECT_EQ(stampedFrames[i], static_cast<int64_t>(i));
        for (size_t i = 0; i < reported.size(); ++i)
            EXPECT_EQ(reported[i], static_cast<int64_t>(i) + 1);
        // What came out: the frames done, whole, each stamped, in order.
        ASSERT_GE(received.size(), static_cast<size_t>(c.done) * kOutBytes);
        if (c.status != PipelineStatus::kOutputClosed) {
            EXPECT_EQ(received.size(), static_cast<size_t>(c.done) * kOutBytes);
        }
        for (int64_t f = 0; f < c.done; ++f) {
            const std::vector<uint8_t> frame = Frame(f);
            for (size_t i = 0; i < kOutBytes; ++i)
                ASSERT_EQ(received[static_cast<size_t>(f) * kOutBytes + i], frame[2 * i] ^ 0x5A)
                    << "frame " << f;
        }
    }
}

} // namespace
} // namespace camtag
