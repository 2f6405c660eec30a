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

namespace gp = Gdiplus::DllExports;
using namespace camtag;

namespace {

const wchar_t kUsage[] =
    L"usage: camtag-stamp IN OUT --text TEXT [options]\n"
    L"  IN: PNG or BMP picture; OUT: PNG. \\n in TEXT is a line break.\n"
    L"  --font NAME         font face (Arial)\n"
    L"  --size POINTS       font size in points at the reference height (24)\n"
    L"  --bold, --italic\n"
    L"  --reference ROWS    frame height the size refers to (the picture's height)\n"
    L"  --color RRGGBB      text colour (E0E0E0)\n"
    L"  --outline RRGGBB    outline colour (000000); --no-outline\n"
    L"  --shadow RRGGBB     shadow colour (000000); --no-shadow\n"
    L"  --box RRGGBB        background box in this colour (off)\n"
    L"  --transparency N    0 opaque .. 100 invisible (0)\n"
    L"  --align left|center|right (left)\n"
    L"  --x F, --y F        origin as fractions of width and height (0.08, 0.75)\n"
    L"  --angle DEGREES     clockwise rotation about the origin (0)\n";

// PNG encoder of GDI+.
const CLSID kPngEncoder = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};

bool ParseColor(const wchar_t* text, uint32_t* colorref) {
    if (!text || wcslen(text) != 6) {
        return false;
    }
    wchar_t* end = nullptr;
    const unsigned long rgb = wcstoul(text, &end, 16);
    if (*end != 0) {
        return false;
    }
    *colorref = ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
    return true;
}

bool ParseDouble(const wchar_t* text, double* value) {
    if (!text) {
        return false;
    }
    wchar_t* end = nullptr;
    *value = wcstod(text, &end);
    return end != text && *end == 0;
}

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
    std::string face = "Arial";
    double points = 24.0;
    bool bold = false;
    bool italic = false;
    long reference = 0;
};

int Fail(const wchar_t* message, const wchar_t* detail = L"") {
    fwprintf(stderr, L"camtag-stamp: %ls%ls\n", message, detail);
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
        if (gp::GdipBitmapLockBits(bitmap, &rect, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf,
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
                                      reinterpret_cast<BYTE*>(pixels.data()), &bitmap) != Gdiplus::Ok) {
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
    LOGFONTA lf = settings.font;
    lf.lfHeight = ScaledFontHeight(settings.font.lfHeight, BitmapHeight(g), settings.referenceHeight,
                                   GetDeviceCaps(bm.dc(), LOGPIXELSY));
    Gdiplus::GpGraphics* graphics = nullptr;
    Gdiplus::GpFont* font = nullptr;
    bool ok = gp::GdipCreateFromHDC(bm.dc(), &graphics) == Gdiplus::Ok &&
              gp::GdipCreateFontFromLogfontA(bm.dc(), &lf, &font) == Gdiplus::Ok;
    if (ok) {
        OverlayParams params{};
        params.settings = &settings;
        params.graphics = graphics;
        params.font = font;
        params.originX = static_cast<float>(static_cast<double>(g.width) * settings.x);
        params.originY = static_cast<float>(static_cast<double>(BitmapHeight(g)) * settings.y);
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
    FilterSettings s{};
    s.color = 0x00E0E0E0;
    s.drawoutline = 1;
    s.drawshadow = 1;
    s.x = 0.08;
    s.y = 0.75;
    Options o;
    bool haveBox = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        const wchar_t* v = i + 1 < argc ? argv[i + 1] : nullptr;
        long n = 0;
        bool used = true; // the option takes the next argument
        bool good = true;
        if (a == L"--text") {
            good = v != nullptr;
            if (good) {
                o.text = Unescape(v);
                o.haveText = true;
            }
        } else if (a == L"--font") {
            good = v != nullptr && wcslen(v) < LF_FACESIZE;
            if (good) {
                char face[LF_FACESIZE] = {};
                good = WideCharToMultiByte(CP_ACP, 0, v, -1, face, sizeof face, nullptr, nullptr) > 0;
                o.face = face;
            }
        } else if (a == L"--size") {
            good = ParseDouble(v, &o.points) && o.points > 0 && o.points <= 1000;
        } else if (a == L"--reference") {
            good = ParseInt(v, 1, 65535, &o.reference);
        } else if (a == L"--color") {
            good = ParseColor(v, &s.color);
        } else if (a == L"--outline") {
            good = ParseColor(v, &s.outlinecolor);
            s.drawoutline = 1;
        } else if (a == L"--shadow") {
            good = ParseColor(v, &s.colorshadow);
            s.drawshadow = 1;
        } else if (a == L"--box") {
            good = ParseColor(v, &s.colorbkground);
            haveBox = true;
        } else if (a == L"--transparency") {
            good = ParseInt(v, 0, 100, &n);
            s.transparency = static_cast<uint32_t>(n);
        } else if (a == L"--align") {
            const std::wstring m = v ? v : L"";
            s.align = m == L"left" ? 0 : m == L"center" ? 1 : m == L"right" ? 2 : -1;
            good = s.align >= 0;
        } else if (a == L"--x") {
            good = ParseDouble(v, &s.x);
        } else if (a == L"--y") {
            good = ParseDouble(v, &s.y);
        } else if (a == L"--angle") {
            good = ParseInt(v, -3600, 3600, &n);
            s.angle = static_cast<int32_t>(n);
        } else {
            used = false;
            if (a == L"--bold") {
                o.bold = true;
            } else if (a == L"--italic") {
                o.italic = true;
            } else if (a == L"--no-outline") {
                s.drawoutline = 0;
            } else if (a == L"--no-shadow") {
                s.drawshadow = 0;
            } else if (a == L"--help" || a == L"-h") {
                fwprintf(stdout, L"%ls", kUsage);
                return 0;
            } else if (a.size() > 1 && a[0] == L'-') {
                return Fail(L"unknown option ", argv[i]);
            } else if (!o.input) {
                o.input = argv[i];
            } else if (!o.output) {
                o.output = argv[i];
            } else {
                return Fail(L"too many arguments: ", argv[i]);
            }
        }
        if (!good) {
            return Fail(L"bad or missing value for ", argv[i]);
        }
        if (used) {
            ++i;
        }
    }
    if (!o.input || !o.output || !o.haveText) {
        fwprintf(stderr, L"%ls", kUsage);
        return 2;
    }
    s.bkground = haveBox ? 1 : 0;

    std::vector<uint32_t> picture;
    int width = 0, height = 0;
    if (!LoadPicture(o.input, &picture, &width, &height)) {
        return Fail(L"cannot read picture ", o.input);
    }
    // The font as the settings record keeps it: points at the screen's resolution.
    HDC screen = GetDC(nullptr);
    const int screenDpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) {
        ReleaseDC(nullptr, screen);
    }
    s.font.lfHeight = -static_cast<LONG>(o.points * screenDpi / 72.0 + 0.5);
    s.font.lfWeight = o.bold ? FW_BOLD : FW_NORMAL;
    s.font.lfItalic = o.italic ? 1 : 0;
    s.font.lfCharSet = DEFAULT_CHARSET;
    std::strncpy(s.font.lfFaceName, o.face.c_str(), LF_FACESIZE - 1);
    s.referenceHeight = static_cast<uint32_t>(o.reference > 0 ? o.reference : height);

    // Host frames are bottom-up: the picture's top row is the frame's last row in memory.
    std::vector<uint32_t> frame(picture.size());
    for (int r = 0; r < height; ++r) {
        std::memcpy(&frame[static_cast<size_t>(height - 1 - r) * width], &picture[static_cast<size_t>(r) * width],
                    static_cast<size_t>(width) * 4);
    }
    if (!Stamp(frame, width, height, s, o.text)) {
        return Fail(L"drawing failed");
    }
    for (int r = 0; r < height; ++r) {
        std::memcpy(&picture[static_cast<size_t>(r) * width], &frame[static_cast<size_t>(height - 1 - r) * width],
                    static_cast<size_t>(width) * 4);
    }
    if (!SavePng(o.output, picture, width, height)) {
        return Fail(L"cannot write ", o.output);
    }
    return 0;
}

} // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) {
        return Fail(L"cannot read the command line");
    }
    Gdiplus::GdiplusStartupInput input{};
    input.GdiplusVersion = 1;
    ULONG_PTR token = 0;
    int result = 1;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok) {
        result = Run(argc, argv);
        Gdiplus::GdiplusShutdown(token);
    } else {
        Fail(L"GDI+ did not start");
    }
    LocalFree(argv);
    return result;
}
