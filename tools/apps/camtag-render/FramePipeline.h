// The renderer's frame loop: frames come in on one handle, are stamped, and go out on another in
// the same order. Reading and writing run on their own threads, so that the pipes are kept
// moving while a frame is being stamped; the stamping step runs on the caller's thread (the
// thread of the host emulator). Each frame is read into, and written from, the memory of one
// of a few slots, with no copy in between.
#pragma once

#include "YuvFrames.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace camtag {

struct PipelineSlot {
    uint8_t* input;        // where a frame is read to
    const uint8_t* output; // where the stamped frame is written from
};

// Sizes of a frame on the way in and out, and what turns a stamped frame into what is written.
struct PipelineFrames {
    size_t inputBytes = 0;
    size_t outputBytes = 0;
    // Called on the reading thread after a frame was read into a slot, and on the stamping
    // thread right after a frame was stamped, while its pixels are still in the cache (a
    // frame later, on the writing thread, they had to come from memory again); either may be
    // empty.
    std::function<void(int32_t slot)> prepareInput;
    std::function<void(int32_t slot)> prepareOutput;
};

enum class PipelineStatus {
    kDone,         // every frame asked for, or every frame up to a clean end of the input
    kPartialFrame, // the input ended (or failed) inside a frame
    kStampFailed,  // the stamping step said no
    kOutputClosed, // a frame could not be written
    kBadBand,      // a band's header did not fit the frame
};

struct PipelineResult {
    PipelineStatus status = PipelineStatus::kDone;
    int64_t done = 0; // frames stamped and written out
};

// Runs at most `frames` frames through the slots (at least one). stamp(frame, slot) stamps frame
// number `frame` whose pixels are in slot `slot`; progress(done) is called on the caller's thread
// after each frame is stamped.
PipelineResult RunFramePipeline(HANDLE input, HANDLE output, const PipelineFrames& sizes,
                                int64_t frames, const std::vector<PipelineSlot>& slots,
                                const std::function<bool(int64_t frame, int32_t slot)>& stamp,
                                const std::function<void(int64_t done)>& progress);

class BandStamper;

// The frame loop of --bands (FrameBands.h): one frame at a time, since the front waits for each
// frame's answer before it sends the next. stamp(frame) runs the module on the stamper's host
// frames.
PipelineResult RunBandPipeline(HANDLE input, HANDLE output, const YuvLayout& frame,
                               BandStamper& stamper, int64_t frames,
                               const std::function<bool(int64_t frame)>& stamp,
                               const std::function<void(int64_t done)>& progress);

} // namespace camtag
