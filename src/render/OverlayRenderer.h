// Draws the overlay text onto a GDI+ graphics object in one call: the text becomes a path, is
// turned about its origin and painted in up to four layers (background box, fill, outline,
// shadow), all with the opacity of the settings. Stateless; every GDI+ object it makes is deleted
// before it returns; the graphics keeps its world transform, and its clip is reset.
#pragma once

#include <windows.h>
#include <gdiplus.h>

#include <cstdint>
#include <vector>

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
    const WCHAR* text; // zero-terminated; line feeds separate lines
};

// A shape's turned path as plain data, with the font's em size: enough to make the same shape
// again without laying the text out.
struct OverlayPathData {
    float emSize = 0.0f;
    std::vector<Gdiplus::PointF> points;
    std::vector<BYTE> types;
};

// What a text's layout takes of its font: the family's name, the style and the em size. Plain
// data, so that one who lays out many texts in one font need not make the font for each.
struct LayoutFont {
    WCHAR family[LF_FACESIZE] = {};
    INT style = 0;
    float emSize = 0.0f;
};

// The overlay's text as a path, made and turned about its origin before anything is drawn, so
// that a caller can learn which rows the layers can change; Paint then draws the layers. One
// Paint per shape: it replaces the path by its outline. Every GDI+ object it makes is deleted by
// the destructor.
class OverlayShape {
public:
    // Keeps a copy of the settings; the font belongs to the caller and may go after this.
    OverlayShape(const FilterSettings& settings, GpFont* font, float originX, float originY,
                 const WCHAR* text);
    // The same layout from the font's family (found by name), style and em size.
    OverlayShape(const FilterSettings& settings, const LayoutFont& font, float originX,
                 float originY, const WCHAR* text);
    // The shape whose path data an earlier shape gave (PathData): the same path, painted with
    // these settings.
    OverlayShape(const FilterSettings& settings, const OverlayPathData& data);
    ~OverlayShape();
    OverlayShape(const OverlayShape&) = delete;
    OverlayShape& operator=(const OverlayShape&) = delete;

    // The world rows [*top, *bottom) outside which Paint changes no pixel: the path's bounds,
    // widened by the outline, the box and anti-aliasing, and reaching down by the shadow offset.
    // *top == *bottom when nothing is drawn (an empty text). False when that cannot be said
    // (no path, bounds that GDI+ does not give or that are not finite numbers).
    bool TouchedRows(int64_t* top, int64_t* bottom) const;

    // The area the layers paint, in world units: the glyphs' ink (the path flattened, without
    // curve control points), widened by the outline and the box, reaching right and down by the
    // shadow offset. False for an empty text, after Paint, or when GDI+ cannot say.
    bool PaintedBounds(Gdiplus::RectF* bounds) const;

    // The turned path and the em size; false without a path, after Paint or when memory runs out.
    bool PathData(OverlayPathData* data) const;

    // What the layout took of the font; false for a shape made from path data.
    bool FontOfLayout(LayoutFont* font) const;

    // The background box as Paint fills it (the path's whole-unit bounds, grown for the outline
    // and the shadow); false when no box is drawn (box off, empty path, bounds unknown).
    bool BoxBounds(Gdiplus::Rect* box) const;

    // Paint fills this box instead of its own path's (none when null): a shape of some of a
    // text's figures, painted for part of the stamp, keeps the whole text's box there.
    void UseBox(const Gdiplus::Rect* box);

    // Draws the layers (box, fill, outlines, shadow) with anti-aliasing on the graphics, whose
    // world transform is left as it was.
    void Paint(GpGraphics* graphics);

private:
    void Lay(INT style, float emSize, float originX, float originY, const WCHAR* text);

    FilterSettings settings_;
    Gdiplus::GpStringFormat* format_ = nullptr;
    Gdiplus::GpFontFamily* family_ = nullptr;
    Gdiplus::GpPath* path_ = nullptr;
    Gdiplus::GpMatrix* matrix_ = nullptr;
    uint8_t alpha_ = 0;
    uint8_t shadowAlpha_ = 0;
    float emSize_ = 0.0f;
    INT style_ = 0;
    float offset_ = 0.0f;
    bool painted_ = false;
    bool boxGiven_ = false; // UseBox was called: box_ (when boxGiven_ and hasBox_) is the box
    bool hasBox_ = false;
    Gdiplus::Rect box_;
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
    // clockwise on screen about the origin. A failed GDI+ step leaves its layer undrawn. The same
    // as an OverlayShape painted at once.
    static void DrawOverlay(const OverlayParams& params);
};

// The overlay font's LOGFONT height for a frame of `frameRows` bitmap rows (height x field
// factor): t = storedHeight x frameRows / referenceHeight (truncated toward zero), then
// -MulDiv(t, dotsPerInch, 72). A stored -32 (24 points at 96 dpi) on a 576-row frame with
// reference 576 at 96 dpi gives 43. A reference height of 0 leaves the stored height unscaled.
int32_t ScaledFontHeight(int32_t storedHeight, int32_t frameRows, uint32_t referenceHeight,
                         int32_t dotsPerInch);

// Where a stamp goes on a bitmap of width x rows and the font it is drawn with.
struct StampPlacement {
    LOGFONTA font; // the settings' font with its height scaled to the rows
    float originX; // the text's anchor: (x, y) of the settings as fractions of the width and rows
    float originY;
};

// The stamp's place and font for a bitmap of width x rows (for a frame: its width and its
// height x field factor) on a device of dotsPerInch: the stored font height scaled from the
// settings' reference height to the rows (ScaledFontHeight), the anchor at (width x, rows y).
StampPlacement PlaceStamp(const FilterSettings& settings, int32_t width, int32_t rows,
                          int32_t dotsPerInch);

// Number of GDI+ objects made by DrawOverlay or an OverlayShape and not yet deleted
// (process-wide). Zero whenever no DrawOverlay call runs and no shape exists.
long OverlayObjectsAlive();

} // namespace camtag
