// What the renderer needs to know about a source before it places it on the host's timeline,
// learned through the module's own DV reader so that a file the module cannot read is refused
// up front with the reader's reason.
#pragma once

#include <cstdint>
#include <string>

namespace camtag {

struct SourceInfo {
    std::wstring fullPath;
    uint32_t frames = 0;
    uint32_t scale = 0;     // timebase of the TV system: 25/1 or 30000/1001
    int32_t sampleSize = 0;
    int32_t width = 0;      // DV frame size of the TV system
    int32_t height = 0;
};

// false with `error` set when the file is missing or not a DV AVI the reader accepts.
bool ProbeSource(const std::wstring& path, SourceInfo* info, std::string* error);

} // namespace camtag
