// Writes long DV AVI files for benchmarks without writing their gigabytes: only the frames asked
// for carry data; every other chunk is a hole of the sparse file. Readers that go through the
// index see a complete file of the given length. Two shapes, as capture tools write them:
//  - OpenDML: super index, one standard index per RIFF segment, "AVIX" extension segments;
//  - AVI 1.0: one RIFF "AVI " with an idx1 after the movi list (the file stays below 4 GiB).
// Optionally an audio chunk "01wb" (48 kHz, 16-bit stereo) precedes every frame, and idx1 lists
// it; the standard indexes of an OpenDML file list the video only, which is all the module's
// reader looks at.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace camtag {

constexpr uint32_t kPalDvFrameSize = 144000;
constexpr uint32_t kNtscDvFrameSize = 120000;

struct SparseDvAviLayout {
    uint32_t totalFrames = 0;
    uint32_t framesPerSegment = 7400; // OpenDML: about 1 GiB per RIFF segment, as capture tools write
    bool pal = true;                  // false: NTSC, 29.97 frames per second
    bool openDml = true;              // false: AVI 1.0 with idx1 (framesPerSegment unused)
    bool interleavedAudio = false;
    // Frames written out (others stay holes).
    std::vector<uint32_t> framesWithData;
    // Of each data frame only these byte ranges (offset, length) are written, the rest staying
    // holes; empty: the whole frame with its chunk headers.
    std::vector<std::pair<uint32_t, uint32_t>> writtenRanges;
};

uint32_t SparseDvAviFrameSize(const SparseDvAviLayout& layout);

// The number of RIFF segments the layout gives.
uint32_t SparseDvAviSegments(const SparseDvAviLayout& layout);

// `count` frames spread evenly over a file of `totalFrames`, from the first to the last.
std::vector<uint32_t> SparseDvAviSpreadFrames(uint32_t totalFrames, uint32_t count);

// Gives the bytes of one frame listed in framesWithData: `data` holds SparseDvAviFrameSize
// zero bytes on entry.
using SparseDvFrameFill = std::function<void(uint32_t frame, uint8_t* data, size_t size)>;

// Writes the file; false with `error` set on any failure.
bool WriteSparseDvAvi(const std::wstring& path, const SparseDvAviLayout& layout, const SparseDvFrameFill& fill,
                      std::string* error);

// The same with every data frame a copy of `templateFrame` (of the layout's frame size).
bool WriteSparseDvAvi(const std::wstring& path, const SparseDvAviLayout& layout,
                      const std::vector<uint8_t>& templateFrame, std::string* error);

// The first frame of a PAL DV AVI file the module's reader opens, as such a template.
bool ReadPalTemplateFrame(const std::string& path, std::vector<uint8_t>* frame, std::string* error);

} // namespace camtag
