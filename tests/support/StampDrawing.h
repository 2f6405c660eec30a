// The stamp as the module draws it, made of the renderer's own pieces: the tests' expected
// frames and pictures and the drawing benchmark are drawn through here.
#pragma once

#include "render/FrameExchange.h"
#include "render/MemBm.h"
#include "render/OverlayRenderer.h"
#include "settings/FilterSettings.h"

#include <gdiplus.h>
#include <windows.h>

#include <cstdint>

namespace camtag::test {

// LOGPIXELSY of a device context, or of the screen without one: the dots per inch a stamp's
// font is scaled for.
inline int DotsPerInch(HDC dc = nullptr) {
    HDC screen = dc ? nullptr : GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc ? dc : screen, LOGPIXELSY);
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi;
}

// The overlay text drawn with the settings onto a memory bitmap, with the font and at the
// anchor of `place`; false when GDI+ gave no graphics or font.
inline bool DrawStamp(const CMemBm& bm, const FilterSettings& s, const StampPlacement& place,
                      const WCHAR* text) {
    namespace gp = Gdiplus::DllExports;
    Gdiplus::GpGraphics* graphics = nullptr;
    Gdiplus::GpFont* font = nullptr;
    const bool ok = gp::GdipCreateFromHDC(bm.dc(), &graphics) == Gdiplus::Ok &&
                    gp::GdipCreateFontFromLogfontA(bm.dc(), &place.font, &font) == Gdiplus::Ok;
    if (ok)
        OverlayRenderer::DrawOverlay({&s, graphics, font, place.originX, place.originY, text});
    if (font)
        gp::GdipDeleteFont(font);
    if (graphics)
        gp::GdipDeleteGraphics(graphics);
    return ok;
}

// The stamp on a bitmap of width x rows, placed as the module places it at the bitmap's dots
// per inch.
inline bool DrawPlacedStamp(const CMemBm& bm, const FilterSettings& s, int32_t width, int32_t rows,
                            const WCHAR* text) {
    return DrawStamp(bm, s, PlaceStamp(s, width, rows, DotsPerInch(bm.dc())), text);
}

// The frame the module should give: its whole-frame exchange, the source through `buffer`
// (PixelBufferBytes(g)) into a memory bitmap of the frame's rows, the stamp placed and drawn
// there, and the bitmap stored into `destination`. False when a step fails.
inline bool StampWholeFrame(const FrameGeometry& g, const FilterSettings& s, const WCHAR* text,
                            const void* source, uint32_t* buffer, void* destination) {
    const int32_t rows = BitmapHeight(g);
    CMemBm bm;
    return bm.Create(nullptr, g.width, rows, 1, 32, nullptr) && FillBitmap(source, g, buffer, bm) &&
           DrawPlacedStamp(bm, s, g.width, rows, text) && StoreBitmap(bm, g, buffer, destination);
}

} // namespace camtag::test
