// bench-render [FRAMES]: median time per frame of the drawing for a PAL and a 1080-line frame:
// the whole-frame exchange (buffer, memory bitmap, fill, GDI+ graphics and font, the overlay with
// every layer on, store), the band path the execute call takes (FrameStamp: only the rows the
// overlay can change go through buffer and bitmap; with the text of the frame before, and with
// a new text every frame), and their parts.
#include <windows.h>
#include <gdiplus.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <functional>
#include <vector>

#include "render/FrameExchange.h"
#include "render/FrameStamp.h"
#include "render/MemBm.h"
#include "render/OverlayRenderer.h"
#include "settings/FilterSettings.h"
#include "support/StampDrawing.h"

namespace gp = Gdiplus::DllExports;
using namespace camtag;

namespace {

const wchar_t kText[] = L"12:34:56\n08.12.2026";

FilterSettings AllLayers() {
    FilterSettings s{};
    s.color = 0x00E0E0E0;
    s.drawoutline = 1;
    s.drawshadow = 1;
    s.bkground = 1;
    s.colorbkground = 0x00202020;
    s.transparency = 20;
    s.x = 0.08;
    s.y = 0.75;
    s.font.lfHeight = -32;
    s.font.lfWeight = FW_NORMAL;
    s.font.lfCharSet = DEFAULT_CHARSET;
    std::strcpy(s.font.lfFaceName, "Arial");
    s.referenceHeight = 576;
    return s;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Frame {
    int width;
    int height;
    std::vector<uint32_t> source;
    std::vector<uint32_t> destination;
    FrameGeometry g;
};

// The pixel buffer as a host hands it out: fresh, uninitialised process heap.
struct HostBuffer {
    explicit HostBuffer(size_t bytes)
        : data(static_cast<uint32_t*>(HeapAlloc(GetProcessHeap(), 0, bytes))) {}
    ~HostBuffer() {
        if (data) {
            HeapFree(GetProcessHeap(), 0, data);
        }
    }
    HostBuffer(const HostBuffer&) = delete;
    HostBuffer& operator=(const HostBuffer&) = delete;
    uint32_t* data;
};

// One frame as the execute path draws it; `draw` false leaves out the GDI+ part.
bool DrawFrame(Frame& f, const FilterSettings& s, bool exchange, bool draw) {
    HostBuffer buffer(PixelBufferBytes(f.g));
    if (!buffer.data) {
        return false;
    }
    CMemBm bm;
    if (!bm.Create(nullptr, f.g.width, BitmapHeight(f.g), 1, 32, nullptr)) {
        return false;
    }
    if (exchange && !FillBitmap(f.source.data(), f.g, buffer.data, bm)) {
        return false;
    }
    if (draw) {
        test::DrawPlacedStamp(bm, s, f.g.width, BitmapHeight(f.g), kText);
    }
    if (exchange && !StoreBitmap(bm, f.g, buffer.data, f.destination.data())) {
        return false;
    }
    return true;
}

// One frame as the execute call draws it: the band through a fresh buffer of its size. With
// `newText` each frame has a text of its own (seconds counting up, as in a clip, but never the
// same twice in a row), so that the text is laid out anew every time.
bool StampFrame(Frame& f, const FilterSettings& s, int32_t* bandRows, bool newText = false) {
    static int counter = 0;
    wchar_t text[64];
    std::swprintf(text, 64, L"12:%02d:%02d\n08.12.2026", counter / 60 % 60, counter % 60);
    ++counter;
    FrameStamp stamp(f.g, s, newText ? text : kText);
    const size_t bytes = stamp.BufferBytes();
    if (bytes == 0) {
        return false;
    }
    HostBuffer buffer(bytes);
    if (!buffer.data) {
        return false;
    }
    stamp.Draw(f.source.data(), f.destination.data(), buffer.data);
    *bandRows = stamp.band().count;
    return true;
}

double TimeMs(int frames, const std::function<bool()>& work) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> times;
    for (int i = 0; i < frames; ++i) {
        QueryPerformanceCounter(&start);
        if (!work()) {
            return -1.0;
        }
        QueryPerformanceCounter(&end);
        times.push_back(static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 /
                        static_cast<double>(frequency.QuadPart));
    }
    return Median(times);
}

// Where a frame's time goes, step by step, on one long-lived bitmap and graphics.
void Breakdown(Frame& f, const FilterSettings& s, int frames) {
    std::vector<uint32_t> buffer(PixelBufferBytes(f.g) / 4);
    const double bitmap = TimeMs(frames, [&] {
        CMemBm bm;
        return bm.Create(nullptr, f.g.width, BitmapHeight(f.g), 1, 32, nullptr);
    });
    CMemBm bm;
    bm.Create(nullptr, f.g.width, BitmapHeight(f.g), 1, 32, nullptr);
    const double fill =
        TimeMs(frames, [&] { return FillBitmap(f.source.data(), f.g, buffer.data(), bm); });
    const double store =
        TimeMs(frames, [&] { return StoreBitmap(bm, f.g, buffer.data(), f.destination.data()); });
    LOGFONTA lf = s.font;
    lf.lfHeight = 43;
    const double objects = TimeMs(frames, [&] {
        Gdiplus::GpGraphics* graphics = nullptr;
        Gdiplus::GpFont* font = nullptr;
        const bool ok = gp::GdipCreateFromHDC(bm.dc(), &graphics) == Gdiplus::Ok &&
                        gp::GdipCreateFontFromLogfontA(bm.dc(), &lf, &font) == Gdiplus::Ok;
        gp::GdipDeleteFont(font);
        gp::GdipDeleteGraphics(graphics);
        return ok;
    });
    Gdiplus::GpGraphics* graphics = nullptr;
    Gdiplus::GpFont* font = nullptr;
    gp::GdipCreateFromHDC(bm.dc(), &graphics);
    gp::GdipCreateFontFromLogfontA(bm.dc(), &lf, &font);
    const OverlayParams p{&s, graphics, font, 50.0f, 400.0f, kText};
    const double overlay = TimeMs(frames, [&] {
        OverlayRenderer::DrawOverlay(p);
        return true;
    });
    FilterSettings fillOnly = s;
    fillOnly.bkground = fillOnly.drawoutline = fillOnly.drawshadow = 0;
    const OverlayParams q{&fillOnly, graphics, font, 50.0f, 400.0f, kText};
    const double text = TimeMs(frames, [&] {
        OverlayRenderer::DrawOverlay(q);
        return true;
    });
    const auto layer = [&](int32_t FilterSettings::*field) {
        FilterSettings one = fillOnly;
        one.*field = 1;
        const OverlayParams r{&one, graphics, font, 50.0f, 400.0f, kText};
        return TimeMs(frames, [&] {
            OverlayRenderer::DrawOverlay(r);
            return true;
        });
    };
    const double box = layer(&FilterSettings::bkground);
    const double outline = layer(&FilterSettings::drawoutline);
    const double shadow = layer(&FilterSettings::drawshadow);
    gp::GdipDeleteFont(font);
    gp::GdipDeleteGraphics(graphics);
    const double allocation = TimeMs(frames, [&] {
        HostBuffer fresh(PixelBufferBytes(f.g));
        return fresh.data != nullptr;
    });
    std::printf("  steps: buffer %.3f, bitmap %.3f, fill %.3f, store %.3f, graphics+font %.3f, "
                "overlay %.3f\n"
                "  overlay: text fill %.3f, +box %.3f, +outline %.3f, +shadow %.3f\n",
                allocation, bitmap, fill, store, objects, overlay, text, box, outline, shadow);
}

} // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::max(5, std::atoi(argv[1])) : 300;
    Gdiplus::GdiplusStartupInput input{};
    input.GdiplusVersion = 1;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) {
        std::fprintf(stderr, "bench-render: GDI+ did not start\n");
        return 1;
    }
    const FilterSettings s = AllLayers();
    std::printf("median ms per frame over %d frames\n", frames);
    std::printf("%-10s %10s %10s %10s %10s %10s %10s %10s\n", "frame", "whole", "exchange", "draw",
                "copy", "band", "new text", "band rows");
    int result = 0;
    for (const auto& size : {std::pair<int, int>{720, 576}, std::pair<int, int>{1920, 1080}}) {
        Frame f{size.first, size.second, {}, {}, {}};
        f.source.assign(static_cast<size_t>(f.width) * f.height, 0x00406080);
        f.destination.assign(f.source.size(), 0);
        const FrameDesc desc{f.width, f.height, f.width * 4, 32};
        if (PrepareFrameGeometry(desc, desc, 1, 0, &f.g) != FrameAction::kDraw) {
            result = 1;
            continue;
        }
        int32_t bandRows = 0;
        DrawFrame(f, s, true, true); // warm-up: fonts, caches
        StampFrame(f, s, &bandRows);
        // One way after the other: taking turns frame by frame, the whole-frame exchange's three
        // frame-sized passes would leave the band path cold caches it does not make itself.
        const double whole = TimeMs(frames, [&] { return DrawFrame(f, s, true, true); });
        const double band = TimeMs(frames, [&] { return StampFrame(f, s, &bandRows); });
        const double bandNewText =
            TimeMs(frames, [&] { return StampFrame(f, s, &bandRows, true); });
        const double exchange = TimeMs(frames, [&] { return DrawFrame(f, s, true, false); });
        const double draw = TimeMs(frames, [&] { return DrawFrame(f, s, false, true); });
        const double copy = TimeMs(frames, [&] {
            PassThrough(f.source.data(), f.destination.data(), f.g);
            return true;
        });
        char name[32];
        std::snprintf(name, sizeof name, "%dx%d", f.width, f.height);
        std::printf("%-10s %10.3f %10.3f %10.3f %10.3f %10.3f %10.3f %10d\n", name, whole, exchange,
                    draw, copy, band, bandNewText, bandRows);
        if (whole < 0 || exchange < 0 || draw < 0 || band < 0 || bandNewText < 0) {
            result = 1;
        }
        Breakdown(f, s, frames);
    }
    Gdiplus::GdiplusShutdown(token);
    return result;
}
