// bench-tape OUT.avi [MINUTES]
// A PAL tape of MINUTES (default 60) as an OpenDML file of 1 GiB RIFF segments, written sparse:
// every frame carries its recording date, time and tape timecode, and nothing else (the DIF
// header's PAL flag and the pack bytes of sequence 6; the rest of each frame is a hole). Four
// recordings: at each quarter of the tape the clock jumps an hour ahead, while the timecode runs
// on. About 4 KiB on disk per frame; the recording date is 2004-07-15.
#include "SparseDvAvi.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace camtag;

namespace {

constexpr uint32_t kFps = 25;
constexpr size_t kSequence6 = 6 * 12000;
constexpr size_t kPackBytes = 480;

uint8_t Bcd(uint32_t v) { return static_cast<uint8_t>(((v / 10) << 4) | (v % 10)); }

void FillFrame(uint32_t frame, uint32_t frames, uint8_t* data) {
    data[3] = 0xBF; // 625/50
    uint8_t* s = data + kSequence6;
    std::memset(s, 0xFF, kPackBytes);
    const uint32_t quarter = frame / ((frames + 3) / 4);
    const uint32_t seconds = 10 * 3600 + quarter * 3600 + frame / kFps;
    const uint8_t timecode[5] = {0x13, Bcd(frame % kFps), Bcd(frame / kFps % 60), Bcd(frame / kFps / 60 % 60),
                                 Bcd(frame / kFps / 3600 % 24)};
    const uint8_t date[5] = {0x62, 0xFF, Bcd(15), Bcd(7), Bcd(4)};
    const uint8_t time[5] = {0x63, 0xFF, Bcd(seconds % 60), Bcd(seconds / 60 % 60), Bcd(seconds / 3600 % 24)};
    std::memcpy(s + 86, timecode, 5);
    std::memcpy(s + 458, date, 5);
    std::memcpy(s + 463, time, 5);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: bench-tape OUT.avi [MINUTES]\n");
        return 2;
    }
    const long minutes = argc == 3 ? std::strtol(argv[2], nullptr, 10) : 60;
    if (minutes <= 0 || minutes > 600) {
        std::fprintf(stderr, "bench-tape: MINUTES from 1 to 600\n");
        return 2;
    }
    SparseDvAviLayout layout;
    layout.totalFrames = static_cast<uint32_t>(minutes * 60 * kFps);
    layout.pal = true;
    layout.openDml = true;
    for (uint32_t f = 0; f < layout.totalFrames; ++f) layout.framesWithData.push_back(f);
    layout.writtenRanges = {{0, 4}, {static_cast<uint32_t>(kSequence6), static_cast<uint32_t>(kPackBytes)}};
    std::wstring path(MAX_PATH, L'\0');
    path.resize(static_cast<size_t>(std::max(0, MultiByteToWideChar(CP_ACP, 0, argv[1], -1, &path[0], MAX_PATH) - 1)));
    std::string error;
    const uint32_t frames = layout.totalFrames;
    if (!WriteSparseDvAvi(path, layout, [frames](uint32_t frame, uint8_t* data, size_t) { FillFrame(frame, frames, data); },
                          &error)) {
        std::fprintf(stderr, "bench-tape: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    return 0;
}
