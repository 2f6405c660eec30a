// bench-execute: the time of one execute call of the built module, as Premiere makes it: clip
// locator, the kept DV reader's look at the file, recording date decode, text, GDI+ drawing of all
// layers (outline, shadow, box) into a 720x576 frame. Measured on a one-hour PAL OpenDML file
// (90,000 frames in several RIFF segments, written sparse) and on a ten-second file, to show that
// the cost does not grow with the length of the source, on 1920x1080 frames of the ten-second file,
// and in timecode mode (the clip's timecode with frames, a new text at every frame).
//
//   bench-execute --module fl-Camtag.prm --template PAL-DV.avi --work DIR [--calls N]
//
// The template's first frame is copied into the frames the benchmark executes on.
#include "DvAviWriter.h"
#include "FilterSession.h"
#include "dv/DvAviReader.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace camtag;
using namespace camtag::test;

namespace {

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text)
        out.push_back(c < 128 ? char(c) : '?');
    return out;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "bench-execute: %s\n", message.c_str());
    return 1;
}

struct Stats {
    double median = 0;
    double p10 = 0;
    double p90 = 0;
};

Stats Summarise(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    Stats s;
    auto at = [&](double q) { return ms[std::min(ms.size() - 1, size_t(q * double(ms.size())))]; };
    s.median = ms.size() % 2 ? ms[ms.size() / 2] : (ms[ms.size() / 2 - 1] + ms[ms.size() / 2]) / 2;
    s.p10 = at(0.1);
    s.p90 = at(0.9);
    return s;
}

// One source file on the timeline with the filter applied, set up for the measurement.
struct BenchCase {
    BenchCase(const char* l, const wchar_t* n, uint32_t total, int32_t w = 720, int32_t h = 576,
              int32_t m = 0)
        : label(l), name(n), totalFrames(total), width(w), height(h), mode(m) {}
    const char* label;
    const wchar_t* name;
    uint32_t totalFrames;
    int32_t width;
    int32_t height;
    int32_t mode; // 0 date and time, 1 timecode (the clip's, with frames: a new text every frame)
    uint32_t segments = 0;
    std::wstring file;
    std::vector<uint32_t> frames; // the frames executed, spread over the file
    FilterSession session;
    std::vector<double> executeMs;
    std::vector<double> readerMs;
};

// The host's new source frame, written just before the call as a host's decoder writes it (and as
// ffmpeg's source writes the frame that drawtext stamps): a grey gradient, so the frame is not
// trivially uniform.
void DeliverFrame(BenchCase* c) {
    uint8_t* pixels = c->session.sourcePixels();
    const size_t rowBytes = size_t(c->width) * 4;
    for (size_t x = 0; x < size_t(c->width); ++x) {
        const uint8_t v = uint8_t(64 + x * 90 / size_t(c->width));
        pixels[4 * x] = pixels[4 * x + 1] = pixels[4 * x + 2] = v;
        pixels[4 * x + 3] = 255;
    }
    for (size_t at = rowBytes; at + rowBytes <= c->session.frameBytes(); at += rowBytes)
        std::memcpy(pixels + at, pixels, rowBytes);
}

bool Prepare(const std::wstring& module, BenchCase* c, std::string* error) {
    FilterSession& session = c->session;
    if (!session.load(module, error))
        return false;
    SessionClip clip;
    clip.sourcePathUtf8 = Narrow(c->file);
    clip.frames = int32_t(c->totalFrames);
    clip.width = c->width;
    clip.height = c->height;
    if (!session.start(clip, error))
        return false;

    FilterSettings& s = *session.settings();
    s.mode = c->mode;
    s.timecodemode = kTimecodeClip;
    s.flags |= kFlagShowFrames | kFlagShowHours;
    s.drawoutline = 1;
    s.drawshadow = 1;
    s.bkground = 1;
    s.timeformat = 1;
    s.dateformat = 1;
    s.lines = 2;
    s.showduration = 0;

    DeliverFrame(c);
    // Warm-up: first-use costs (GDI+ font cache, page cache) are not per-frame costs.
    for (int i = 0; i < 5; ++i)
        if (session.execute(int32_t(c->frames[size_t(i) % c->frames.size()])) != 0) {
            *error = "execute failed";
            return false;
        }
    if (std::memcmp(session.sourcePixels(), session.destinationPixels(), session.frameBytes()) ==
        0) {
        *error = "execute drew nothing: the text of the template frame was not read";
        return false;
    }
    return true;
}

bool TimeExecute(BenchCase* c, size_t i, std::string* error) {
    uint32_t frame = c->frames[i];
    // The files' frames all carry the template's date: a second added every 25 calls gives the
    // date mode's new text once a second of video, as a recording does.
    if (c->mode == kModeDateTime)
        c->session.settings()->timeadjust = int32_t(i / 25 % 60);
    DeliverFrame(c);
    double start = PerformanceSeconds();
    short r = c->session.execute(int32_t(frame));
    double end = PerformanceSeconds();
    if (r != 0) {
        *error = "execute failed on frame " + std::to_string(frame);
        return false;
    }
    c->executeMs.push_back((end - start) * 1000.0);
    return true;
}

// The part of a call that depends on the file: open, index, one DIF sequence, date decode.
bool TimeReader(BenchCase* c, size_t i, std::string* error) {
    uint32_t frame = c->frames[i];
    std::string ansi = Narrow(c->file);
    double start = PerformanceSeconds();
    DvAviReader reader;
    SYSTEMTIME when;
    int ok = reader.Open(ansi.c_str()) && reader.GetRecordingTime(frame, &when);
    reader.Close();
    double end = PerformanceSeconds();
    if (!ok) {
        *error = "the reader cannot decode frame " + std::to_string(frame);
        return false;
    }
    c->readerMs.push_back((end - start) * 1000.0);
    return true;
}

} // namespace

int main() {
    std::string error;
    std::map<std::wstring, std::wstring> options;
    if (!CommandLineOptions({L"--module", L"--template", L"--work", L"--calls"}, &options, &error))
        return Fail(error);
    const std::wstring module = options[L"--module"], templatePath = options[L"--template"],
                       work = options[L"--work"];
    uint32_t calls = 200;
    if (options.count(L"--calls"))
        calls = uint32_t(std::max(10l, std::wcstol(options[L"--calls"].c_str(), nullptr, 10)));
    if (module.empty() || templatePath.empty() || work.empty())
        return Fail("usage: bench-execute --module fl-Camtag.prm --template PAL-DV.avi --work DIR "
                    "[--calls N]");

    std::vector<uint8_t> templateFrame;
    if (!ReadPalTemplateFrame(Narrow(templatePath), &templateFrame, &error))
        return Fail(error);
    CreateDirectoryW(work.c_str(), nullptr);

    // The 1080-line case: the same ten seconds of DV in a high-definition sequence.
    BenchCase cases[4] = {BenchCase("one-hour", L"\\bench-1h.avi", 90000),
                          BenchCase("ten-second", L"\\bench-10s.avi", 250),
                          BenchCase("1920x1080", L"\\bench-10s-hd.avi", 250, 1920, 1080),
                          BenchCase("timecode", L"\\bench-10s-tc.avi", 250, 720, 576, 1)};
    for (BenchCase& c : cases) {
        DvAviLayout layout = CaptureLayout(c.totalFrames);
        c.frames = SpreadFrames(c.totalFrames, calls);
        layout.framesWithData = c.frames;
        c.segments = DvAviSegments(layout);
        c.file = work + c.name;
        if (!WriteSparseDvAvi(c.file, layout, templateFrame, &error))
            return Fail(Narrow(c.file) + ": " + error);
    }
    bool ok = true;
    for (BenchCase& c : cases)
        if (ok && !Prepare(module, &c, &error)) {
            error = Narrow(c.file) + ": " + error;
            ok = false;
        }
    // The cases take turns, so that other load on the machine falls on all alike, each for a
    // second of video at a time, as a host renders a clip: a turn at every call would have each
    // case's frames pushed out of the processor's caches by the other cases' in between.
    constexpr size_t kTurn = 25;
    for (size_t first = 0; ok && first < calls; first += kTurn)
        for (BenchCase& c : cases)
            for (size_t i = first; ok && i < std::min<size_t>(calls, first + kTurn); ++i)
                if (!(TimeExecute(&c, i, &error) && TimeReader(&c, i, &error)))
                    ok = false;
    for (BenchCase& c : cases)
        DeleteFileW(c.file.c_str());
    if (!ok)
        return Fail(error);

    for (BenchCase& c : cases) {
        Stats e = Summarise(c.executeMs), r = Summarise(c.readerMs);
        std::printf(
            "%-10s file, %5u frames, %2u RIFF segments, %dx%d: execute median %.3f ms (p10 "
            "%.3f, p90 %.3f) "
            "over %u calls; a fresh reader's open + date decode (kept between calls by the module) "
            "median %.3f ms\n",
            c.label, c.totalFrames, c.segments, c.width, c.height, e.median, e.p10, e.p90, calls,
            r.median);
    }
    double longMedian = Summarise(cases[0].executeMs).median;
    std::printf("one-hour / ten-second: %.2f\n", longMedian / Summarise(cases[1].executeMs).median);
    std::printf("execute_ms=%.3f\n", longMedian);
    std::printf("execute_1080_ms=%.3f\n", Summarise(cases[2].executeMs).median);
    std::printf("execute_timecode_ms=%.3f\n", Summarise(cases[3].executeMs).median);
    return 0;
}
