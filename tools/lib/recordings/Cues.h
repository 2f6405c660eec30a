// Subtitle cues of the stamped text: one cue per run of frames that show the same text, timed
// from the frame rate exactly (no rounding drifts over an hour), written as SRT or WebVTT.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace camtag {

struct Cue {
    uint64_t first = 0; // frames from the start of the subtitled stretch
    uint64_t end = 0;   // the frame after the run
    std::string text;   // UTF-8, lines separated by '\n'
};

// The time of frame n from the first, in whole milliseconds, rounded down: n x sampleSize /
// scale seconds. A cue starting there is on screen from that frame on and not a frame earlier
// (frames are at least 1 ms apart).
int64_t FrameMilliseconds(uint64_t n, uint32_t scale, uint32_t sampleSize);

class CueBuilder {
public:
    // The next frame's text (UTF-8, '\n' between lines); empty: nothing shows on this frame.
    void Add(const std::string& text);
    // The cues so far, the run still open included.
    std::vector<Cue> Cues() const;
    uint64_t Frames() const { return frames_; }

private:
    std::vector<Cue> done_;
    Cue open_;
    bool isOpen_ = false;
    uint64_t frames_ = 0;
};

std::string SrtText(const std::vector<Cue>& cues, uint32_t scale, uint32_t sampleSize);
std::string VttText(const std::vector<Cue>& cues, uint32_t scale, uint32_t sampleSize);

} // namespace camtag
