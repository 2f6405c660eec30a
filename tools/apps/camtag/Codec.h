// The front's own decoding and encoding of 4:2:0 video (libavformat, libavcodec, libavfilter).
// A video render keeps its frames in this process: only the stamp's rows go to the renderer and
// back, and only the compressed stream goes to the ffmpeg that adds the sound and writes the
// file. Raw frames through pipes into other processes cost a tenth of a transcode's time.
#pragma once

#include "Bands.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct AVFrame;

namespace camtag::front {

struct FrameFree {
    void operator()(AVFrame* frame) const;
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;

// libav's last error lines since the last call (a failure's own words), "" for none.
std::string LibavWords();

// Decoded DV as 4:2:0, for both decoders: 4:1:1 chroma (NTSC's) comes to it field by field, as
// the fields were shot; 4:2:0 passes through unchanged.
constexpr const char* kDvTo420 = "scale=interl=1,format=yuv420p";

// A decoded 4:2:0 frame's planes, for the band exchange.
FramePlanes Planes(AVFrame* frame);

// Frames first..first+count-1 (count < 0: to the end) of a file's first video stream as 4:2:0
// (4:1:1 brought to it field by field, as the fields were shot; 4:2:0 unchanged), in decoding
// order: frame n is the n-th frame the file's index holds, as ffmpeg counts them. A thread of
// its own decodes a few frames ahead.
class FrameDecoder {
public:
    ~FrameDecoder() { Stop(); }
    // False with `error` (why, without the path) when the file is not DV in AVI or cannot be
    // opened for decoding.
    bool Start(const std::string& path, long long first, long long count, std::string* error);
    // The next frame, writable; empty at the end of the frames, or when decoding failed
    // (error() then says why).
    FramePtr Next();
    std::string error();
    const std::string& path() const { return path_; }
    // Stops the thread and drops what it decoded ahead.
    void Stop();

private:
    struct State;
    void Run(std::shared_ptr<State> state, long long first, long long count);

    std::string path_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<FramePtr> ready_;
    bool finished_ = false, stopping_ = false;
    std::string error_;
};

// Encodes frames through a filter and an encoder given in ffmpeg's words (Encoding.video: "-c:v
// libx264", "-pix_fmt yuv420p", the encoder's options) into a NUT stream written to `fd`, as
// ffmpeg would encode the same frames read from a pipe at `rate`.
class FrameEncoder {
public:
    FrameEncoder();
    ~FrameEncoder();
    bool Open(int fd, int width, int height, int rateNum, int rateDen, const std::string& filter,
              const std::vector<std::string>& settings, std::string* error);
    // One frame, left as it was; false with `error` when the encoding or the writing failed.
    bool Put(const AVFrame* frame, std::string* error);
    // The frames held back, then the stream's end.
    bool Finish(std::string* error);

private:
    bool Drain(bool ending, std::string* error);
    bool Write(bool ending, std::string* error);

    struct Contexts;
    std::unique_ptr<Contexts> c_;
    long long next_ = 0;
};

} // namespace camtag::front
