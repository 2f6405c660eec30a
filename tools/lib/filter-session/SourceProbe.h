// What the tools need to know about a source before they place it on the host's timeline or
// read its frames, learned through the module's own DV reader, so that a file the module cannot
// read is refused up front with the reader's reason.
#pragma once

#include <cstdint>
#include <string>

namespace camtag {

struct SourceInfo {
    std::wstring fullPath;
    std::string ansiPath; // the same in the module's code page, as the module opens it
    bool pal = false;
    uint32_t frames = 0;
    uint32_t scale = 0; // timebase of the TV system: 25/1 or 30000/1001
    int32_t sampleSize = 0;
    int32_t width = 0; // DV frame size of the TV system
    int32_t height = 0;
};

// false with `error` set when the file is missing or not a DV AVI the reader accepts;
// `refused`, when given, tells the second case: the file is there, but the module cannot read
// it (a DV stream in another container might still be remuxed into one it can).
bool ProbeSource(const std::wstring& path, SourceInfo* info, std::string* error,
                 bool* refused = nullptr);

} // namespace camtag
