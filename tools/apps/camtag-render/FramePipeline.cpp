#include "FramePipeline.h"

#include "FrameBands.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <thread>

namespace camtag {

namespace {

// Reads exactly `size` bytes; 1 done, 0 clean end of input before the first byte, -1 error or a
// partial frame.
int ReadExact(HANDLE input, uint8_t* buffer, size_t size) {
    size_t done = 0;
    while (done < size) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 24));
        DWORD got = 0;
        if (!ReadFile(input, buffer + done, chunk, &got, nullptr) || got == 0) {
            DWORD error = GetLastError();
            bool ended = got == 0 && (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF ||
                                      error == ERROR_SUCCESS);
            return ended && done == 0 ? 0 : -1;
        }
        done += got;
    }
    return 1;
}

bool WriteExact(HANDLE output, const uint8_t* buffer, size_t size) {
    size_t done = 0;
    while (done < size) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 24));
        DWORD put = 0;
        if (!WriteFile(output, buffer + done, chunk, &put, nullptr) || put == 0)
            return false;
        done += put;
    }
    return true;
}

// A slot handed from one stage to the next. slot < 0 marks the end of the stream.
struct Item {
    int32_t slot;
    int64_t frame;
};

// A small blocking queue; closing it wakes every waiter, and a closed queue gives nothing more.
// Win32's slim lock and condition variable: under Wine they wait on futexes, where other locks
// would ask the Wine server at every hand-over.
class Queue {
public:
    void push(Item item) {
        AcquireSRWLockExclusive(&lock_);
        items_.push_back(item);
        ReleaseSRWLockExclusive(&lock_);
        WakeConditionVariable(&ready_);
    }
    // False when the queue was closed.
    bool pop(Item* item) {
        AcquireSRWLockExclusive(&lock_);
        while (!closed_ && items_.empty())
            SleepConditionVariableSRW(&ready_, &lock_, INFINITE, 0);
        const bool got = !closed_;
        if (got) {
            *item = items_.front();
            items_.pop_front();
        }
        ReleaseSRWLockExclusive(&lock_);
        return got;
    }
    void close() {
        AcquireSRWLockExclusive(&lock_);
        closed_ = true;
        ReleaseSRWLockExclusive(&lock_);
        WakeAllConditionVariable(&ready_);
    }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE ready_ = CONDITION_VARIABLE_INIT;
    std::deque<Item> items_;
    bool closed_ = false;
};

constexpr Item kEnd{-1, 0};

} // namespace

PipelineResult RunFramePipeline(HANDLE input, HANDLE output, const PipelineFrames& sizes,
                                int64_t frames, const std::vector<PipelineSlot>& slots,
                                const std::function<bool(int64_t, int32_t)>& stamp,
                                const std::function<void(int64_t)>& progress) {
    PipelineResult result;
    if (slots.empty() || frames <= 0)
        return result;
    Queue free, filled, stamped;
    for (size_t i = 0; i < slots.size(); ++i)
        free.push({static_cast<int32_t>(i), 0});
    bool partial = false;
    bool outputClosed = false;
    int64_t written = 0;

    std::thread reader([&] {
        for (int64_t frame = 0; frame < frames; ++frame) {
            Item item;
            if (!free.pop(&item))
                return;
            const int got = ReadExact(input, slots[item.slot].input, sizes.inputBytes);
            if (got <= 0) {
                partial = got < 0;
                break;
            }
            if (sizes.prepareInput)
                sizes.prepareInput(item.slot);
            item.frame = frame;
            filled.push(item);
        }
        filled.push(kEnd);
    });
    std::thread writer([&] {
        Item item;
        while (stamped.pop(&item) && item.slot >= 0) {
            if (!WriteExact(output, slots[item.slot].output, sizes.outputBytes)) {
                outputClosed = true;
                // Nothing more can go out: stop the stamping and the reading.
                filled.close();
                free.close();
                return;
            }
            ++written;
            free.push(item);
        }
    });

    Item item;
    int64_t stampedFrames = 0;
    while (filled.pop(&item) && item.slot >= 0) {
        if (!stamp(item.frame, item.slot)) {
            result.status = PipelineStatus::kStampFailed;
            // The frames before still go out; no more are read.
            free.close();
            break;
        }
        if (sizes.prepareOutput)
            sizes.prepareOutput(item.slot);
        stamped.push(item);
        progress(++stampedFrames);
    }
    stamped.push(kEnd);
    reader.join();
    writer.join();
    result.done = written;

    if (outputClosed) {
        result.status = PipelineStatus::kOutputClosed;
    } else if (result.status == PipelineStatus::kDone && partial) {
        result.status = PipelineStatus::kPartialFrame;
    }
    return result;
}

PipelineResult RunBandPipeline(HANDLE input, HANDLE output, const YuvLayout& frame,
                               BandStamper& stamper, int64_t frames,
                               const std::function<bool(int64_t)>& stamp,
                               const std::function<void(int64_t)>& progress) {
    PipelineResult result;
    // The answer's header, then the rows: one write for both.
    std::vector<uint8_t> buffer(12 + frame.Bytes());
    uint8_t* rows = buffer.data() + 12;
    for (int64_t n = 0; n < frames; ++n) {
        int32_t status = kBandWantWhole;
        for (bool again = false; status == kBandWantWhole; again = true) {
            int32_t header[2];
            const int got = ReadExact(input, reinterpret_cast<uint8_t*>(header), sizeof header);
            if (got == 0 && !again)
                return result; // a clean end between frames
            const Band band{header[0], header[1]};
            if (got <= 0 || !BandFits(band, frame.height)) {
                result.status = got <= 0 ? PipelineStatus::kPartialFrame : PipelineStatus::kBadBand;
                return result;
            }
            if (ReadExact(input, rows, BandBytes(frame.width, band)) <= 0) {
                result.status = PipelineStatus::kPartialFrame;
                return result;
            }
            status = stamper.Stamp(band, rows, [&] { return stamp(n); });
            if (status < 0) {
                result.status = PipelineStatus::kStampFailed;
                return result;
            }
            const Band next = stamper.next();
            const int32_t answer[3] = {status, next.top, next.rows};
            std::memcpy(buffer.data(), answer, sizeof answer);
            if (!WriteExact(output, buffer.data(),
                            12 + (status == kBandStamped ? BandBytes(frame.width, band) : 0))) {
                result.status = PipelineStatus::kOutputClosed;
                return result;
            }
        }
        result.done = n + 1;
        progress(result.done);
    }
    return result;
}

} // namespace camtag
