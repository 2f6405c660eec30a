// bench-dv [FOLDER] [ITERATIONS]
// Generates long DV AVI files as sparse files (headers, indexes and a few sample frames carrying
// their packs are written, the rest is holes) and measures what the filter does for every rendered
// frame: construct a reader, open the file, decode one frame (date, time, tape timecode),
// destroy the reader. Prints the median and 90th percentile per file.
#include "DvAviWriter.h"
#include "dv/DvAviReader.h"
#include "timecode/TimecodeValue.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace camtag;
using namespace camtag::test;

namespace {

constexpr uint32_t kSamples = 64;

// A sample frame: the DIF header's PAL/NTSC flag, and in sequence 6 a recording date, time and
// timecode pack (only the bytes the reader looks at).
void FillFrame(uint32_t frame, bool pal, uint8_t* data) {
    data[3] = pal ? 0xBF : 0x3F;
    uint8_t* s = data + 6 * kDifSequence;
    memset(s, 0xFF, 480);
    const int fps = pal ? 25 : 30;
    const int f = static_cast<int>(frame);
    PutPack(s, SsybPack(0), 0x13, Bcd(f % fps), Bcd(f / fps % 60), Bcd(f / fps / 60 % 60),
            Bcd(f / fps / 3600 % 24));
    PutPack(s, kVauxDatePack, 0x62, 0xFF, Bcd(15), Bcd(7), Bcd(4));
    PutPack(s, kVauxTimePack, 0x63, 0xFF, Bcd(5), Bcd(23), Bcd(14));
}

// Writes the file with data in the sample frames; false on a failure.
bool Generate(const std::string& path, DvAviLayout layout, const std::vector<uint32_t>& samples) {
    layout.framesWithData = samples;
    const bool pal = layout.pal;
    layout.fill = [pal](uint32_t frame, uint8_t* data, size_t) { FillFrame(frame, pal, data); };
    std::wstring widePath(MAX_PATH, L'\0');
    widePath.resize(static_cast<size_t>(
        std::max(0, MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &widePath[0], MAX_PATH) - 1)));
    std::string error = "the path is too long";
    if (!widePath.empty() && WriteSparseDvAvi(widePath, layout, &error))
        return true;
    fprintf(stderr, "bench-dv: cannot write %s: %s\n", path.c_str(), error.c_str());
    return false;
}

DvAviLayout Layout(bool pal, bool openDml, uint32_t frames) {
    DvAviLayout layout = CaptureLayout(frames, openDml);
    layout.pal = pal;
    layout.framesPerSegment = 7000;
    layout.audioChunks = true;
    return layout;
}

double Ms(LARGE_INTEGER a, LARGE_INTEGER b, LARGE_INTEGER f) {
    return static_cast<double>(b.QuadPart - a.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

// Median and 90th percentile of open + decode of sample frames.
bool Measure(const std::string& path, const std::vector<uint32_t>& samples, int iterations,
             double* median, double* p90) {
    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);
    std::vector<double> times;
    times.reserve(static_cast<size_t>(iterations));
    uint32_t seed = 12345;
    for (int i = 0; i < iterations + 50; ++i) {
        seed = seed * 1103515245u + 12345u;
        const uint32_t frame = samples[(seed >> 16) % samples.size()];
        LARGE_INTEGER a, b;
        QueryPerformanceCounter(&a);
        int ok;
        {
            DvAviReader reader(path.c_str());
            DvFrameInfo info;
            TimecodeValue tc;
            ok = reader.isOpen && reader.DecodeFrame(frame, &info, &tc);
        }
        QueryPerformanceCounter(&b);
        if (!ok) {
            fprintf(stderr, "bench-dv: %s: frame %u did not decode\n", path.c_str(), frame);
            return false;
        }
        if (i >= 50) // the first runs warm the file cache
            times.push_back(Ms(a, b, freq));
    }
    std::sort(times.begin(), times.end());
    *median = times[times.size() / 2];
    *p90 = times[times.size() * 9 / 10];
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::string folder;
    if (argc > 1) {
        folder = argv[1];
    } else {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        folder = temp;
    }
    if (!folder.empty() && folder.back() != '\\' && folder.back() != '/')
        folder += '\\';
    const int iterations = argc > 2 ? atoi(argv[2]) : 2000;
    if (iterations < 10) {
        fprintf(stderr, "usage: bench-dv [FOLDER] [ITERATIONS>=10]\n");
        return 2;
    }

    struct Case {
        const char* name;
        const char* file;
        DvAviLayout layout;
    };
    const Case cases[] = {
        {"AVI 1.0, 30000 frames NTSC, idx1 with audio entries", "bench-avi1-30000.avi",
         Layout(false, false, 30000)},
        {"AVI 1.0, 300 frames NTSC (ten seconds)", "bench-avi1-300.avi", Layout(false, false, 300)},
        {"OpenDML, 90000 frames PAL (one hour), 13 RIFF segments", "bench-odml-90000.avi",
         Layout(true, true, 90000)},
        {"OpenDML, 250 frames PAL (ten seconds)", "bench-odml-250.avi", Layout(true, true, 250)},
    };
    double medians[4] = {0, 0, 0, 0};
    int status = 0;
    for (int i = 0; i < 4; ++i) {
        const std::string path = folder + cases[i].file;
        const std::vector<uint32_t> samples = SpreadFrames(cases[i].layout.frames, kSamples);
        if (!Generate(path, cases[i].layout, samples)) {
            status = 1;
            continue;
        }
        double median = 0, p90 = 0;
        if (Measure(path, samples, iterations, &median, &p90)) {
            printf("%-58s median %.3f ms  p90 %.3f ms\n", cases[i].name, median, p90);
            medians[i] = median;
        } else {
            status = 1;
        }
        DeleteFileA(path.c_str());
    }
    if (medians[3] > 0)
        printf("one hour / ten seconds (OpenDML): %.2f\n", medians[2] / medians[3]);
    if (medians[1] > 0)
        printf("30000 / 300 frames (AVI 1.0): %.2f\n", medians[0] / medians[1]);
    return status;
}
