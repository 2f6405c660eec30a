// bench-tape OUT.avi [MINUTES]
// A PAL tape of MINUTES (default 60) as an OpenDML file of 1 GiB RIFF segments, written sparse:
// every frame carries its recording date, time and tape timecode, and nothing else (the DIF
// header's PAL flag and the pack bytes of sequence 6; the rest of each frame is a hole). Four
// recordings: at each quarter of the tape the clock jumps an hour ahead, while the timecode runs
// on. About 4 KiB on disk per frame; the recording date is 2004-07-15.
#include "DvAviWriter.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace camtag::test;

namespace {

constexpr int kFps = 25;
constexpr size_t kSequence6 = 6 * kDifSequence;
constexpr size_t kPackBytes = 480;

void FillFrame(uint32_t frame, uint32_t frames, uint8_t* data) {
    data[3] = 0xBF; // 625/50
    uint8_t* s = data + kSequence6;
    std::memset(s, 0xFF, kPackBytes);
    const int f = static_cast<int>(frame);
    const int quarter = f / static_cast<int>((frames + 3) / 4);
    const int seconds = 10 * 3600 + quarter * 3600 + f / kFps;
    PutPack(s, SsybPack(0), 0x13, Bcd(f % kFps), Bcd(f / kFps % 60), Bcd(f / kFps / 60 % 60),
            Bcd(f / kFps / 3600 % 24));
    PutPack(s, kVauxDatePack, 0x62, 0xFF, Bcd(15), Bcd(7), Bcd(4));
    PutPack(s, kVauxTimePack, 0x63, 0xFF, Bcd(seconds % 60), Bcd(seconds / 60 % 60),
            Bcd(seconds / 3600 % 24));
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
    DvAviLayout layout = CaptureLayout(static_cast<uint32_t>(minutes * 60 * kFps));
    for (uint32_t f = 0; f < layout.frames; ++f)
        layout.framesWithData.push_back(f);
    layout.writtenRanges = {{0, 4},
                            {static_cast<uint32_t>(kSequence6), static_cast<uint32_t>(kPackBytes)}};
    std::wstring path(MAX_PATH, L'\0');
    path.resize(static_cast<size_t>(
        std::max(0, MultiByteToWideChar(CP_ACP, 0, argv[1], -1, &path[0], MAX_PATH) - 1)));
    std::string error;
    const uint32_t frames = layout.frames;
    layout.fill = [frames](uint32_t frame, uint8_t* data, size_t) {
        FillFrame(frame, frames, data);
    };
    if (!WriteSparseDvAvi(path, layout, &error)) {
        std::fprintf(stderr, "bench-tape: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    return 0;
}
