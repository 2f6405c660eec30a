// Writes long PAL DV AVI files for benchmarks without writing their gigabytes: an OpenDML file
// (super index, one standard index per RIFF segment, "AVIX" extension segments) in which only
// the frames asked for carry data; every other frame is a hole of the sparse file. Readers that
// go through the index see a complete file of the given length.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace camtag {

constexpr uint32_t kPalDvFrameSize = 144000;

struct SparseDvAviLayout {
    uint32_t totalFrames = 0;
    uint32_t framesPerSegment = 7400; // about 1 GiB per RIFF segment, as capture tools write
    // Frames written out with the template frame's bytes (others stay holes).
    std::vector<uint32_t> framesWithData;
};

// The number of RIFF segments the layout gives.
uint32_t SparseDvAviSegments(const SparseDvAviLayout& layout);

// Writes the file; false with `error` set on any failure.
bool WriteSparseDvAvi(const std::wstring& path, const SparseDvAviLayout& layout,
                      const std::vector<uint8_t>& templateFrame, std::string* error);

} // namespace camtag
