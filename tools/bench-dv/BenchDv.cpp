// bench-dv [FOLDER] [ITERATIONS]
// Generates long DV AVI files as sparse files (headers, indexes and the packs of a few sample
// frames are written, the rest is holes) and measures what the filter does for every rendered
// frame: construct a reader, open the file, decode one frame (date, time, tape timecode),
// destroy the reader. Prints the median and 90th percentile per file.
#include "dv/DvAviReader.h"
#include "text/TimecodeValue.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace camtag;

namespace {

constexpr uint32_t kSamples = 64;
constexpr size_t kSequence = 12000;

struct Bytes {
    std::vector<uint8_t> v;
    void Tag(const char* t) {
        for (int i = 0; i < 4; ++i)
            v.push_back(static_cast<uint8_t>(t[i]));
    }
    void U16(uint16_t x) {
        v.push_back(static_cast<uint8_t>(x));
        v.push_back(static_cast<uint8_t>(x >> 8));
    }
    void U32(uint32_t x) {
        U16(static_cast<uint16_t>(x));
        U16(static_cast<uint16_t>(x >> 16));
    }
    void U64(uint64_t x) {
        U32(static_cast<uint32_t>(x));
        U32(static_cast<uint32_t>(x >> 32));
    }
    void Zeros(size_t n) { v.resize(v.size() + n, 0); }
    size_t Begin(const char* tag) {
        Tag(tag);
        U32(0);
        return v.size() - 4;
    }
    void End(size_t at) { Patch(at, static_cast<uint32_t>(v.size() - at - 4)); }
    void Patch(size_t at, uint32_t x) {
        for (int i = 0; i < 4; ++i)
            v[at + i] = static_cast<uint8_t>(x >> (8 * i));
    }
};

class SparseFile {
public:
    explicit SparseFile(const std::string& path) {
        h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    ~SparseFile() {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
    bool Ok() const { return h != INVALID_HANDLE_VALUE && ok; }
    void At(uint64_t pos, const void* data, size_t n) {
        LARGE_INTEGER p;
        p.QuadPart = static_cast<LONGLONG>(pos);
        DWORD written = 0;
        ok = ok && SetFilePointerEx(h, p, nullptr, FILE_BEGIN) &&
             WriteFile(h, data, static_cast<DWORD>(n), &written, nullptr) && written == n;
    }
    void At(uint64_t pos, const Bytes& b) { At(pos, b.v.data(), b.v.size()); }
    void End(uint64_t size) {
        LARGE_INTEGER p;
        p.QuadPart = static_cast<LONGLONG>(size);
        ok = ok && SetFilePointerEx(h, p, nullptr, FILE_BEGIN) && SetEndOfFile(h);
    }

private:
    HANDLE h;
    bool ok = true;
};

uint8_t Bcd(int v) { return static_cast<uint8_t>(((v / 10) << 4) | (v % 10)); }

// Sequence 6 start with a recording date, time and timecode pack (only the bytes read).
std::vector<uint8_t> PackBytes(uint32_t frame, bool pal) {
    std::vector<uint8_t> s(480, 0xFF);
    const int fps = pal ? 25 : 30;
    uint8_t* tc = &s[86];
    tc[0] = 0x13;
    tc[1] = Bcd(static_cast<int>(frame % fps));
    tc[2] = Bcd(static_cast<int>(frame / fps % 60));
    tc[3] = Bcd(static_cast<int>(frame / fps / 60 % 60));
    tc[4] = Bcd(static_cast<int>(frame / fps / 3600 % 24));
    const uint8_t date[5] = {0x62, 0xFF, Bcd(15), Bcd(7), Bcd(4)};
    const uint8_t time[5] = {0x63, 0xFF, Bcd(5), Bcd(23), Bcd(14)};
    memcpy(&s[458], date, 5);
    memcpy(&s[463], time, 5);
    return s;
}

struct Layout {
    bool pal;
    bool openDml;
    uint32_t frames;
    uint32_t perSegment; // OpenDML frames per RIFF segment
};

void StreamLists(Bytes& h, const Layout& l, uint32_t segments, size_t* indxEntries) {
    const uint32_t frameBytes = l.pal ? 144000 : 120000;
    size_t strl = h.Begin("LIST");
    h.Tag("strl");
    size_t strh = h.Begin("strh");
    h.Tag("vids");
    h.Tag("dvsd");
    h.Zeros(12);
    h.U32(l.pal ? 1 : 1001);
    h.U32(l.pal ? 25 : 30000);
    h.U32(0);
    h.U32(l.openDml ? std::min(l.frames, l.perSegment) : l.frames);
    h.U32(frameBytes);
    h.U32(0xFFFFFFFF);
    h.U32(0);
    h.Zeros(8);
    h.End(strh);
    size_t strf = h.Begin("strf");
    h.U32(40);
    h.U32(720);
    h.U32(l.pal ? 576 : 480);
    h.U16(1);
    h.U16(24);
    h.Tag("dvsd");
    h.U32(frameBytes);
    h.Zeros(16);
    h.End(strf);
    if (l.openDml) {
        size_t indx = h.Begin("indx");
        h.U16(4);
        h.v.push_back(0);
        h.v.push_back(0);
        h.U32(segments);
        h.Tag("00dc");
        h.Zeros(12);
        *indxEntries = h.v.size();
        h.Zeros(16 * static_cast<size_t>(segments));
        h.End(indx);
    }
    h.End(strl);
    strl = h.Begin("LIST");
    h.Tag("strl");
    strh = h.Begin("strh");
    h.Tag("auds");
    h.Zeros(16);
    h.U32(1);
    h.U32(48000);
    h.Zeros(4);
    h.U32(l.frames * 1600);
    h.Zeros(24);
    h.End(strh);
    strf = h.Begin("strf");
    h.U16(1);
    h.U16(2);
    h.U32(48000);
    h.U32(192000);
    h.U16(4);
    h.U16(16);
    h.End(strf);
    h.End(strl);
}

// Writes the file; returns false on a write failure.
bool Generate(const std::string& path, const Layout& l) {
    const uint64_t frameBytes = l.pal ? 144000 : 120000;
    const uint64_t audioBytes = l.pal ? 7680 : 6400;
    const uint64_t step = 8 + audioBytes + 8 + frameBytes;
    const uint32_t perSegment = l.openDml ? l.perSegment : l.frames;
    const uint32_t segments = (l.frames + perSegment - 1) / perSegment;

    std::vector<bool> sample(l.frames, false);
    for (uint32_t k = 0; k < kSamples; ++k)
        sample[static_cast<uint64_t>(k) * (l.frames - 1) / (kSamples - 1)] = true;

    SparseFile out(path);
    Bytes h;
    h.Tag("RIFF");
    h.U32(0);
    h.Tag("AVI ");
    size_t hdrl = h.Begin("LIST");
    h.Tag("hdrl");
    size_t avih = h.Begin("avih");
    h.U32(l.pal ? 40000 : 33367);
    h.U32(0);
    h.U32(0);
    h.U32(0x10);
    h.U32(std::min(l.frames, perSegment));
    h.U32(0);
    h.U32(2);
    h.U32(static_cast<uint32_t>(frameBytes));
    h.U32(720);
    h.U32(l.pal ? 576 : 480);
    h.Zeros(16);
    h.End(avih);
    size_t indxEntries = 0;
    StreamLists(h, l, segments, &indxEntries);
    if (l.openDml) {
        size_t odml = h.Begin("LIST");
        h.Tag("odml");
        size_t dmlh = h.Begin("dmlh");
        h.U32(l.frames);
        h.Zeros(244);
        h.End(dmlh);
        h.End(odml);
    }
    h.End(hdrl);

    uint64_t pos = h.v.size();
    uint32_t frame = 0;
    std::vector<uint64_t> riffStarts;
    std::vector<uint8_t> header4 = {0, 0, 0, static_cast<uint8_t>(l.pal ? 0xBF : 0x3F)};
    for (uint32_t seg = 0; seg < segments; ++seg) {
        uint64_t riffStart = 0;
        if (seg > 0) {
            riffStart = pos;
            pos += 12; // RIFF AVIX header, written below with its size
        }
        const uint64_t moviStart = pos;
        pos += 12;
        const uint32_t count = std::min(perSegment, l.frames - frame);
        Bytes index; // ix00 of this segment, or idx1 entries
        if (l.openDml) {
            index.Tag("ix00");
            index.U32(24 + 8 * count);
            index.U16(2);
            index.v.push_back(0);
            index.v.push_back(1);
            index.U32(count);
            index.Tag("00dc");
            index.U64(moviStart);
            index.U32(0);
        } else {
            index.Tag("idx1");
            index.U32(32 * count);
        }
        for (uint32_t i = 0; i < count; ++i, ++frame) {
            const uint64_t audio = pos;
            const uint64_t video = pos + 8 + audioBytes;
            const uint64_t data = video + 8;
            if (l.openDml) {
                index.U32(static_cast<uint32_t>(data - moviStart));
                index.U32(static_cast<uint32_t>(frameBytes));
            } else {
                const uint64_t moviType = moviStart + 8;
                index.Tag("01wb");
                index.U32(0);
                index.U32(static_cast<uint32_t>(audio - moviType));
                index.U32(static_cast<uint32_t>(audioBytes));
                index.Tag("00dc");
                index.U32(0x10);
                index.U32(static_cast<uint32_t>(video - moviType));
                index.U32(static_cast<uint32_t>(frameBytes));
            }
            if (frame == 0)
                out.At(data, header4.data(), header4.size());
            if (sample[frame]) {
                const std::vector<uint8_t> packs = PackBytes(frame, l.pal);
                out.At(data + 6 * kSequence, packs.data(), packs.size());
            }
            pos += step;
        }
        const uint64_t ixPos = pos;
        Bytes movi;
        movi.Tag("LIST");
        movi.U32(static_cast<uint32_t>(4 + (pos - moviStart - 12) + (l.openDml ? index.v.size() : 0)));
        movi.Tag("movi");
        out.At(moviStart, movi);
        out.At(ixPos, index);
        pos += index.v.size();
        if (l.openDml) {
            Bytes entry;
            entry.U64(ixPos);
            entry.U32(static_cast<uint32_t>(index.v.size()));
            entry.U32(count);
            memcpy(&h.v[indxEntries + 16 * static_cast<size_t>(seg)], entry.v.data(), 16);
        }
        if (seg > 0) {
            Bytes riff;
            riff.Tag("RIFF");
            riff.U32(static_cast<uint32_t>(pos - riffStart - 8));
            riff.Tag("AVIX");
            out.At(riffStart, riff);
        } else {
            h.Patch(4, static_cast<uint32_t>(pos - 8));
        }
    }
    out.At(0, h);
    out.End(pos);
    return out.Ok();
}

double Ms(LARGE_INTEGER a, LARGE_INTEGER b, LARGE_INTEGER f) {
    return static_cast<double>(b.QuadPart - a.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

// Median and 90th percentile of open + decode of sample frames.
bool Measure(const std::string& path, uint32_t frames, int iterations, double* median, double* p90) {
    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);
    std::vector<double> times;
    times.reserve(static_cast<size_t>(iterations));
    uint32_t seed = 12345;
    int decoded = 0;
    for (int i = 0; i < iterations + 50; ++i) {
        seed = seed * 1103515245u + 12345u;
        const uint32_t k = (seed >> 16) % kSamples;
        const uint32_t frame = static_cast<uint32_t>(static_cast<uint64_t>(k) * (frames - 1) / (kSamples - 1));
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
        ++decoded;
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
        Layout layout;
    };
    const Case cases[] = {
        {"AVI 1.0, 30000 frames NTSC, idx1 with audio entries", "bench-avi1-30000.avi", {false, false, 30000, 0}},
        {"AVI 1.0, 300 frames NTSC (ten seconds)", "bench-avi1-300.avi", {false, false, 300, 0}},
        {"OpenDML, 90000 frames PAL (one hour), 13 RIFF segments", "bench-odml-90000.avi", {true, true, 90000, 7000}},
        {"OpenDML, 250 frames PAL (ten seconds)", "bench-odml-250.avi", {true, true, 250, 7000}},
    };
    double medians[4] = {0, 0, 0, 0};
    int status = 0;
    for (int i = 0; i < 4; ++i) {
        const std::string path = folder + cases[i].file;
        if (!Generate(path, cases[i].layout)) {
            fprintf(stderr, "bench-dv: cannot write %s\n", path.c_str());
            status = 1;
            continue;
        }
        double median = 0, p90 = 0;
        if (Measure(path, cases[i].layout.frames, iterations, &median, &p90)) {
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
