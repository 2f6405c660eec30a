// Draws the overlay text onto a GDI+ graphics object in one call: the text becomes a path, is
// turned about its origin and painted in up to four layers (background box, fill, outline,
// shadow), all with the opacity of the settings. Stateless; every GDI+ object it makes is deleted
// before it returns; the graphics keeps its world transform, and its clip is reset.
#pragma once

#include <windows.h>
#include <gdiplus.h>

#include <cstdint>

#include "settings/FilterSettings.h"

namespace camtag {

using Gdiplus::GpFont;
using Gdiplus::GpGraphics;

// The longest text drawn, in UTF-16 units; a text without a terminator within it is cut there.
constexpr int kOverlayTextMax = 255;

struct OverlayParams {
    // Read: transparency, align, angle, bkground, drawoutline, drawshadow, color, outlinecolor,
    // colorshadow, colorbkground.
    const FilterSettings* settings;
    GpGraphics* graphics; // the target, the caller's
    GpFont* font;         // the caller's; its family, style and em size are used
    float originX;        // the text's anchor in the graphics' world coordinates
    float originY;
    const WCHAR* text;    // zero-terminated; line feeds separate lines
};

class OverlayRenderer {
public:
    // Alpha of every layer: low 8 bits of trunc(255 - transparency x 255 / 100).
    static uint8_t Alpha(uint32_t transparency);
    // Shadow offset in world units: em size / 10, at most 5.
    static float ShadowOffset(float emSize);
    // A COLORREF (0x00BBGGRR) with an alpha as a GDI+ ARGB value.
    static uint32_t ToArgb(uint32_t colorref, uint8_t alpha);

    // Draws the overlay. Lines start at the origin's X (align 0), are centred on it (1) or end at
    // it (2); the first line's top is at the origin's Y. A positive angle turns the text
    // clockwise on screen about the origin. A failed GDI+ step leaves its layer undrawn.
    static void DrawOverlay(const OverlayParams& params);
};

// The overlay font's LOGFONT height for a frame of `frameRows` bitmap rows (height x field
// factor): t = storedHeight x frameRows / referenceHeight (truncated toward zero), then
// -MulDiv(t, dotsPerInch, 72). A stored -32 (24 points at 96 dpi) on a 576-row frame with
// reference 576 at 96 dpi gives 43. A reference height of 0 leaves the stored height unscaled.
int32_t ScaledFontHeight(int32_t storedHeight, int32_t frameRows, uint32_t referenceHeight, int32_t dotsPerInch);

// Number of GDI+ objects made by DrawOverlay and not yet deleted (process-wide). Zero whenever
// no DrawOverlay call is running.
long OverlayObjectsAlive();

} // namespace camtag
