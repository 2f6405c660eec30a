// The front's own decoding and encoding of 4:2:0 video (libavformat, libavcodec, libavfilter).
// A video render keeps its frames in this process: only the stamp's rows go to the renderer and
// back, and only the compressed stream goes to the ffmpeg that adds the sound and writes the
// file. Raw frames through pipes into other processes cost a tenth of a transcode's time.
#pragma once

#include "Bands.h"

#include <cstddef>
#include <memory>
#include <string>
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
    virtual ~FrameDecoder() = default;
    // False with `error` (why, without the path) when the file is not DV in AVI or cannot be
    // opened for decoding.
    virtual bool Start(const std::string& path, long long first, long long count,
                       std::string* error) = 0;
    // The next frame, writable; empty at the end of the frames, or when decoding failed
    // (error() then says why).
    virtual FramePtr Next() = 0;
    virtual std::string error() = 0;
    virtual const std::string& path() const = 0;
    // Stops the thread and drops what it decoded ahead.
    virtual void Stop() = 0;
};

// Encodes frames through a filter and an encoder given in ffmpeg's words (Encoding.video: "-c:v
// libx264", "-pix_fmt yuv420p", the encoder's options) into a NUT stream written to `fd`, as
// ffmpeg would encode the same frames read from a pipe at `rate`.
class FrameEncoder {
public:
    virtual ~FrameEncoder() = default;
    virtual bool Open(int fd, int width, int height, int rateNum, int rateDen,
                      const std::string& filter, const std::vector<std::string>& settings,
                      std::string* error) = 0;
    // One frame, left as it was; false with `error` when the encoding or the writing failed.
    virtual bool Put(const AVFrame* frame, std::string* error) = 0;
    // The frames held back, then the stream's end.
    virtual bool Finish(std::string* error) = 0;
};

// ffmpeg's libraries take a tenth of a second to load, which a program linked with them pays
// before its first line, ahead of Wine's start. They live in camtag-codec.so beside the program
// instead, loaded when first asked for (the spare decoder asks on a thread of its own).
// False with `error` when it cannot be loaded; the decoders and encoders below are empty then.
bool LoadCodec(std::string* error);
std::unique_ptr<FrameDecoder> NewFrameDecoder();
std::unique_ptr<FrameEncoder> NewFrameEncoder();

// What camtag-codec.so gives the program. A library from another build, whose table or classes
// may differ, gives nothing: kCodecInterface changes with them.
constexpr int kCodecInterface = 1;
struct CodecLibrary {
    FrameDecoder* (*newDecoder)();
    FrameEncoder* (*newEncoder)();
    void (*freeFrame)(AVFrame* frame);
    FramePlanes (*planes)(AVFrame* frame);
    std::string (*words)();
};

} // namespace camtag::front

// camtag-codec.so's one entry: its table when `interface` and `tableSize` are its own, else null.
// It asks `pendingSignal` whether a blocked write should give up.
extern "C" const camtag::front::CodecLibrary* camtag_codec(int interface, size_t tableSize,
                                                           int (*pendingSignal)());
