// camtag-stamp IN OUT --text "..." [options]: stamps a text onto a PNG or BMP picture and saves a
// PNG, through the module's own path: host-style frame -> pixel buffer -> memory bitmap ->
// overlay renderer -> back, with the font scaled as for a frame.
#include <windows.h>
#include <gdiplus.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "render/FrameExchange.h"
#include "render/MemBm.h"
#include "render/OverlayRenderer.h"
#include "settings/FilterSettings.h"
#include "settings/SettingsDefaults.h"
#include "FilterSession.h"
#include "SettingsFile.h"
#include "StampOptions.h"

namespace gp = Gdiplus::DllExports;
using namespace camtag;

namespace {

const char kUsage[] =
    "usage: camtag-stamp IN OUT --text TEXT [options]\n"
    "  IN: PNG or BMP picture; OUT: PNG. \\n in TEXT is a line break.\n"
    "  --reference ROWS       frame height the font size refers to (the picture's height, or the\n"
    "                         height a --settings look was made on)\n"
    "  the stamp's look: a new filter instance's, changed by (the renderer's own options):\n"
    "  --settings FILE        a look saved by render.sh --save-settings\n"
    "  --set NAME=VALUE       font, fontsize, bold, italic, color, outlinecolor, drawoutline,\n"
    "                         colorshadow, drawshadow, colorbkground, bkground, transparency,\n"
    "                         align, x, y, angle, ... (README: Settings); repeatable\n";

// PNG encoder of GDI+.
const CLSID kPngEncoder = {
    0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};

bool ParseInt(const wchar_t* text, long lo, long hi, long* value) {
    if (!text) {
        return false;
    }
    wchar_t* end = nullptr;
    *value = wcstol(text, &end, 10);
    return end != text && *end == 0 && *value >= lo && *value <= hi;
}

std::wstring Unescape(const wchar_t* text) {
    std::wstring out;
    for (const wchar_t* p = text; *p; ++p) {
        if (p[0] == L'\\' && p[1] == L'n') {
            out += L'\n';
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

struct Options {
    const wchar_t* input = nullptr;
    const wchar_t* output = nullptr;
    std::wstring text;
    bool haveText = false;
    long reference = 0;
};

int Fail(const std::string& message) {
    std::fprintf(stderr, "camtag-stamp: %s\n", message.c_str());
    return 1;
}

// Loads the picture as 32-bit pixels, top row first.
bool LoadPicture(const wchar_t* path, std::vector<uint32_t>* pixels, int* width, int* height) {
    Gdiplus::GpBitmap* bitmap = nullptr;
    if (gp::GdipCreateBitmapFromFile(path, &bitmap) != Gdiplus::Ok) {
        return false;
    }
    UINT w = 0, h = 0;
    gp::GdipGetImageWidth(bitmap, &w);
    gp::GdipGetImageHeight(bitmap, &h);
    bool ok = false;
    if (w > 0 && h > 0 && w <= 8191 && h <= 16383) {
        pixels->assign(static_cast<size_t>(w) * h, 0);
        Gdiplus::BitmapData data{};
        data.Width = w;
        data.Height = h;
        data.Stride = static_cast<INT>(w * 4);
        data.PixelFormat = PixelFormat32bppARGB;
        data.Scan0 = pixels->data();
        Gdiplus::GpRect rect(0, 0, static_cast<INT>(w), static_cast<INT>(h));
        if (gp::GdipBitmapLockBits(bitmap, &rect,
                                   Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf,
                                   PixelFormat32bppARGB, &data) == Gdiplus::Ok) {
            gp::GdipBitmapUnlockBits(bitmap, &data);
            *width = static_cast<int>(w);
            *height = static_cast<int>(h);
            ok = true;
        }
    }
    gp::GdipDisposeImage(bitmap);
    return ok;
}

bool SavePng(const wchar_t* path, std::vector<uint32_t>& pixels, int width, int height) {
    Gdiplus::GpBitmap* bitmap = nullptr;
    // What GDI returns in the alpha byte is not picture data: save without alpha.
    if (gp::GdipCreateBitmapFromScan0(width, height, width * 4, PixelFormat32bppRGB,
                                      reinterpret_cast<BYTE*>(pixels.data()),
                                      &bitmap) != Gdiplus::Ok) {
        return false;
    }
    const bool ok = gp::GdipSaveImageToFile(bitmap, path, &kPngEncoder, nullptr) == Gdiplus::Ok;
    gp::GdipDisposeImage(bitmap);
    return ok;
}

// The execute path for one frame: the host frame (first row in memory = bottom row of the
// picture) goes through the buffer into a memory bitmap, the overlay is drawn, and it comes back.
bool Stamp(std::vector<uint32_t>& frame, int width, int height, const FilterSettings& settings,
           const std::wstring& text) {
    const FrameDesc desc{width, height, width * 4, 32};
    FrameGeometry g;
    if (PrepareFrameGeometry(desc, desc, 1, 0, &g) != FrameAction::kDraw) {
        return false;
    }
    std::vector<uint32_t> buffer(PixelBufferBytes(g) / 4);
    CMemBm bm;
    if (!bm.Create(nullptr, g.width, BitmapHeight(g), 1, 32, nullptr) ||
        !FillBitmap(frame.data(), g, buffer.data(), bm)) {
        return false;
    }
    StampPlacement place =
        PlaceStamp(settings, g.width, BitmapHeight(g), GetDeviceCaps(bm.dc(), LOGPIXELSY));
    Gdiplus::GpGraphics* graphics = nullptr;
    Gdiplus::GpFont* font = nullptr;
    bool ok = gp::GdipCreateFromHDC(bm.dc(), &graphics) == Gdiplus::Ok &&
              gp::GdipCreateFontFromLogfontA(bm.dc(), &place.font, &font) == Gdiplus::Ok;
    if (ok) {
        OverlayParams params{};
        params.settings = &settings;
        params.graphics = graphics;
        params.font = font;
        params.originX = place.originX;
        params.originY = place.originY;
        params.text = text.c_str();
        OverlayRenderer::DrawOverlay(params);
    }
    if (font) {
        gp::GdipDeleteFont(font);
    }
    if (graphics) {
        gp::GdipDeleteGraphics(graphics);
    }
    ok = StoreBitmap(bm, g, buffer.data(), frame.data()) && ok;
    return ok;
}

int Run(int argc, wchar_t** argv) {
    Options o;
    StampOptions stamp;
    std::wstring settingsFile;
    std::string error;
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        const wchar_t* v = i + 1 < argc ? argv[i + 1] : nullptr;
        const int taken = TakeStampOption(argc, argv, &i, &stamp, &error);
        if (taken < 0)
            return Fail(error);
        if (taken > 0)
            continue;
        if (a == L"--text" || a == L"--reference" || a == L"--settings") {
            if (!v)
                return Fail("option " + Utf8(a) + " needs a value");
            ++i;
            if (a == L"--text") {
                o.text = Unescape(v);
                o.haveText = true;
            } else if (a == L"--settings") {
                settingsFile = v;
            } else if (!ParseInt(v, 1, 65535, &o.reference)) {
                return Fail("bad --reference \"" + Utf8(v) + "\" (1 to 65535 rows)");
            }
        } else if (a == L"--help" || a == L"-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a.size() > 1 && a[0] == L'-') {
            return Fail("unknown option " + Utf8(a) + " (see --help)");
        } else if (!o.input) {
            o.input = argv[i];
        } else if (!o.output) {
            o.output = argv[i];
        } else {
            return Fail("too many arguments: " + Utf8(a));
        }
    }
    if (!o.input || !o.output || !o.haveText) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    // The text is given: no picture of a date or time takes part.
    if (stamp.timeGiven || stamp.dateGiven)
        return Fail("--time-format and --date-format do not apply to a --text");
    if (!CheckStampOptions(&stamp, CP_ACP, &error))
        return Fail(error);
    FilterSettings s{};
    ReadDefaults(s);
    if (!settingsFile.empty()) {
        Look look;
        if (!ReadLookFile(settingsFile, &look, &error))
            return Fail(Utf8(settingsFile) + ": " + error);
        ApplyLookRecord(look, s);
    }
    ApplyStampOptions(stamp, s, CP_ACP);

    std::vector<uint32_t> picture;
    int width = 0, height = 0;
    if (!LoadPicture(o.input, &picture, &width, &height)) {
        return Fail("cannot read picture " + Utf8(o.input));
    }
    // The font size refers to the picture's height, unless a look or --reference says otherwise.
    if (o.reference > 0)
        s.referenceHeight = static_cast<uint32_t>(o.reference);
    else if (settingsFile.empty() || s.referenceHeight == 0)
        s.referenceHeight = static_cast<uint32_t>(height);

    // Host frames are bottom-up: the picture's top row is the frame's last row in memory.
    std::vector<uint32_t> frame(picture.size());
    for (int r = 0; r < height; ++r) {
        std::memcpy(&frame[static_cast<size_t>(height - 1 - r) * width],
                    &picture[static_cast<size_t>(r) * width], static_cast<size_t>(width) * 4);
    }
    if (!Stamp(frame, width, height, s, o.text)) {
        return Fail("drawing failed");
    }
    for (int r = 0; r < height; ++r) {
        std::memcpy(&picture[static_cast<size_t>(r) * width],
                    &frame[static_cast<size_t>(height - 1 - r) * width],
                    static_cast<size_t>(width) * 4);
    }
    if (!SavePng(o.output, picture, width, height)) {
        return Fail("cannot write " + Utf8(o.output));
    }
    return 0;
}

} // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) {
        return Fail("cannot read the command line");
    }
    Gdiplus::GdiplusStartupInput input{};
    input.GdiplusVersion = 1;
    ULONG_PTR token = 0;
    int result = 1;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok) {
        result = Run(argc, argv);
        Gdiplus::GdiplusShutdown(token);
    } else {
        Fail("GDI+ did not start");
    }
    LocalFree(argv);
    return result;
}
