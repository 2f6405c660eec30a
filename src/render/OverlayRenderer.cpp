#include "render/OverlayRenderer.h"

#include <atomic>
#include <climits>
#include <cmath>

namespace camtag {

namespace gp = Gdiplus::DllExports;
using Gdiplus::GpBrush;
using Gdiplus::GpFontFamily;
using Gdiplus::GpMatrix;
using Gdiplus::GpPath;
using Gdiplus::GpPen;
using Gdiplus::GpSolidFill;
using Gdiplus::GpStatus;
using Gdiplus::GpStringFormat;
using Gdiplus::Ok;

namespace {

std::atomic<long> objectsAlive{0};

// Counts what this file creates, so a leak shows even where the platform reports no GDI+ object
// counts (Wine's GDI+ objects are plain heap blocks).
GpStatus Made(GpStatus status) {
    if (status == Ok) {
        objectsAlive.fetch_add(1, std::memory_order_relaxed);
    }
    return status;
}

template <typename T, typename Delete> void Drop(T*& object, Delete deleter) {
    if (object) {
        deleter(object);
        object = nullptr;
        objectsAlive.fetch_sub(1, std::memory_order_relaxed);
    }
}

int TextLength(const WCHAR* text) {
    int length = 0;
    while (length < kOverlayTextMax && text[length] != 0) {
        ++length;
    }
    return length;
}

// Adds the text line by line, each line one line height below the one before. GDI+ lays a
// multi-line string out this way on Windows; Wine's GdipAddPathString with an empty layout
// rectangle keeps only the first line, so the lines are added one at a time on every platform
// for the same picture.
void AddTextLines(GpPath* path, const WCHAR* text, int length, const GpFontFamily* family,
                  INT style, float emSize, float lineHeight, float originX, float originY,
                  const GpStringFormat* format) {
    int start = 0;
    int line = 0;
    while (start <= length) {
        int end = start;
        while (end < length && text[end] != L'\n') {
            ++end;
        }
        int count = end - start;
        // A carriage return before the line feed is not part of the line.
        if (count > 0 && text[end - 1] == L'\r') {
            --count;
        }
        if (count > 0) {
            const Gdiplus::RectF layout(originX, originY + lineHeight * static_cast<float>(line),
                                        0.0f, 0.0f);
            gp::GdipAddPathString(path, text + start, count, family, style, emSize, &layout,
                                  format);
        }
        ++line;
        start = end + 1;
    }
}

float LineHeight(const GpFontFamily* family, INT style, float emSize) {
    UINT16 emHeight = 0;
    UINT16 lineSpacing = 0;
    if (gp::GdipGetEmHeight(family, style, &emHeight) != Ok ||
        gp::GdipGetLineSpacing(family, style, &lineSpacing) != Ok || emHeight == 0 ||
        lineSpacing == 0) {
        return emSize;
    }
    return emSize * static_cast<float>(lineSpacing) / static_cast<float>(emHeight);
}

} // namespace

int32_t ScaledFontHeight(int32_t storedHeight, int32_t frameRows, uint32_t referenceHeight,
                         int32_t dotsPerInch) {
    int64_t t = storedHeight;
    if (referenceHeight != 0) {
        t = static_cast<int64_t>(storedHeight) * frameRows / static_cast<int64_t>(referenceHeight);
    }
    if (t > INT32_MAX || t < -INT32_MAX) {
        t = t < 0 ? -INT32_MAX : INT32_MAX;
    }
    const int scaled = MulDiv(static_cast<int>(t), dotsPerInch, 72);
    return scaled == INT32_MIN ? INT32_MAX : -scaled;
}

long OverlayObjectsAlive() {
    return objectsAlive.load(std::memory_order_relaxed);
}

uint8_t OverlayRenderer::Alpha(uint32_t transparency) {
    const double value = 255.0 - static_cast<double>(transparency) * 255.0 / 100.0;
    return static_cast<uint8_t>(static_cast<int64_t>(value) & 0xFF);
}

float OverlayRenderer::ShadowOffset(float emSize) {
    const float tenth = emSize / 10.0f;
    return tenth < 5.0f ? tenth : 5.0f;
}

uint32_t OverlayRenderer::ToArgb(uint32_t colorref, uint8_t alpha) {
    const uint32_t red = colorref & 0xFF;
    const uint32_t green = (colorref >> 8) & 0xFF;
    const uint32_t blue = (colorref >> 16) & 0xFF;
    return (static_cast<uint32_t>(alpha) << 24) | (red << 16) | (green << 8) | blue;
}

// Rows of anti-aliasing and rounding around each layer: the outline's pen reaches half a unit
// beyond the path, the box one unit (and the integer rounding of its bounds another), and
// anti-aliased edges one pixel more. Four rows hold all of it with room to spare.
constexpr double kTouchMargin = 4.0;

OverlayShape::OverlayShape(const FilterSettings& settings, GpFont* font, float originX,
                           float originY, const WCHAR* text)
    : settings_(settings) {
    if (!font || !text) {
        return;
    }
    Gdiplus::REAL emSize = 0.0f;
    gp::GdipGetFontSize(font, &emSize);
    INT style = 0;
    gp::GdipGetFontStyle(font, &style);
    Made(gp::GdipGetFamily(font, &family_));
    Lay(style, emSize, originX, originY, text);
}

OverlayShape::OverlayShape(const FilterSettings& settings, const LayoutFont& font, float originX,
                           float originY, const WCHAR* text)
    : settings_(settings) {
    if (!text || !(font.emSize > 0.0f)) {
        return;
    }
    WCHAR name[LF_FACESIZE] = {};
    for (int i = 0; i + 1 < LF_FACESIZE && font.family[i] != 0; ++i) {
        name[i] = font.family[i];
    }
    Made(gp::GdipCreateFontFamilyFromName(name, nullptr, &family_));
    Lay(font.style, font.emSize, originX, originY, text);
}

void OverlayShape::Lay(INT style, float emSize, float originX, float originY, const WCHAR* text) {
    // String format, alpha, shadow offset.
    Made(gp::GdipCreateStringFormat(0, LANG_NEUTRAL, &format_));
    alpha_ = OverlayRenderer::Alpha(settings_.transparency);
    shadowAlpha_ = static_cast<uint8_t>(static_cast<double>(alpha_) * 0.5);
    emSize_ = emSize;
    style_ = style;
    offset_ = OverlayRenderer::ShadowOffset(emSize);

    // Horizontal alignment (the graphics' smoothing comes with the painting).
    if (format_) {
        gp::GdipSetStringFormatAlign(format_,
                                     static_cast<Gdiplus::StringAlignment>(settings_.align));
    }

    // The text as a path.
    Made(gp::GdipCreatePath(Gdiplus::FillModeAlternate, &path_));
    if (path_ && family_) {
        AddTextLines(path_, text, TextLength(text), family_, style, emSize,
                     LineHeight(family_, style, emSize), originX, originY, format_);
    }

    // Turn the path about the origin.
    Made(gp::GdipCreateMatrix(&matrix_));
    if (matrix_ && path_) {
        gp::GdipTranslateMatrix(matrix_, originX, originY, Gdiplus::MatrixOrderPrepend);
        gp::GdipRotateMatrix(matrix_, static_cast<float>(settings_.angle),
                             Gdiplus::MatrixOrderPrepend);
        gp::GdipTranslateMatrix(matrix_, -originX, -originY, Gdiplus::MatrixOrderPrepend);
        gp::GdipTransformPath(path_, matrix_);
    }
}

bool OverlayShape::FontOfLayout(LayoutFont* font) const {
    if (!font || !family_ || gp::GdipGetFamilyName(family_, font->family, LANG_NEUTRAL) != Ok) {
        return false;
    }
    font->style = style_;
    font->emSize = emSize_;
    return true;
}

OverlayShape::OverlayShape(const FilterSettings& settings, const OverlayPathData& data)
    : settings_(settings) {
    alpha_ = OverlayRenderer::Alpha(settings_.transparency);
    shadowAlpha_ = static_cast<uint8_t>(static_cast<double>(alpha_) * 0.5);
    emSize_ = data.emSize;
    offset_ = OverlayRenderer::ShadowOffset(emSize_);
    if (data.points.size() != data.types.size() ||
        data.points.size() > static_cast<size_t>(INT_MAX)) {
        return;
    }
    if (data.points.empty()) {
        Made(gp::GdipCreatePath(Gdiplus::FillModeAlternate, &path_));
    } else {
        Made(gp::GdipCreatePath2(data.points.data(), data.types.data(),
                                 static_cast<INT>(data.points.size()), Gdiplus::FillModeAlternate,
                                 &path_));
    }
}

bool OverlayShape::PathData(OverlayPathData* data) const {
    INT count = 0;
    if (!data || !path_ || painted_ || gp::GdipGetPointCount(path_, &count) != Ok || count < 0) {
        return false;
    }
    try {
        data->emSize = emSize_;
        data->points.resize(static_cast<size_t>(count));
        data->types.resize(static_cast<size_t>(count));
    } catch (...) {
        return false;
    }
    return count == 0 || (gp::GdipGetPathPoints(path_, data->points.data(), count) == Ok &&
                          gp::GdipGetPathTypes(path_, data->types.data(), count) == Ok);
}

OverlayShape::~OverlayShape() {
    // Everything made here goes.
    Drop(matrix_, gp::GdipDeleteMatrix);
    Drop(path_, gp::GdipDeletePath);
    Drop(family_, gp::GdipDeleteFontFamily);
    Drop(format_, gp::GdipDeleteStringFormat);
}

bool OverlayShape::TouchedRows(int64_t* top, int64_t* bottom) const {
    if (!path_ || painted_) {
        return false;
    }
    INT points = 0;
    if (gp::GdipGetPointCount(path_, &points) != Ok) {
        return false;
    }
    if (points == 0) {
        // No layer draws anything for an empty path: the box needs points, the rest has no area.
        *top = *bottom = 0;
        return true;
    }
    // The bounds of the points (curve control points included) hold every curve of the path, its
    // outline and the shadow's copy before the shift.
    Gdiplus::RectF bounds;
    if (gp::GdipGetPathWorldBounds(path_, &bounds, nullptr, nullptr) != Ok) {
        return false;
    }
    const double first = std::floor(static_cast<double>(bounds.Y)) - kTouchMargin;
    const double last =
        std::ceil(static_cast<double>(bounds.Y) + static_cast<double>(bounds.Height)) +
        std::ceil(static_cast<double>(offset_)) + kTouchMargin;
    // Far beyond any frame: the caller cuts the rows to its bitmap anyway.
    constexpr double kLimit = 1e12;
    if (!std::isfinite(first) || !std::isfinite(last) || first < -kLimit || last > kLimit ||
        offset_ < 0.0f) {
        return false;
    }
    *top = static_cast<int64_t>(first);
    *bottom = static_cast<int64_t>(last) + 1;
    return true;
}

bool OverlayShape::PaintedBounds(Gdiplus::RectF* bounds) const {
    INT points = 0;
    if (!path_ || painted_ || gp::GdipGetPointCount(path_, &points) != Ok || points == 0) {
        return false;
    }
    GpPath* flat = nullptr;
    if (Made(gp::GdipClonePath(path_, &flat)) != Ok || !flat) {
        return false;
    }
    const bool known = gp::GdipFlattenPath(flat, nullptr, 0.25f) == Ok &&
                       gp::GdipGetPathWorldBounds(flat, bounds, nullptr, nullptr) == Ok;
    Drop(flat, gp::GdipDeletePath);
    if (!known || !std::isfinite(bounds->X) || !std::isfinite(bounds->Y) ||
        !std::isfinite(bounds->Width) || !std::isfinite(bounds->Height)) {
        return false;
    }
    // The outline's pen is one unit wide, the box one unit larger than the path around it.
    const float grow = (settings_.drawoutline != 0 || settings_.bkground != 0) ? 1.0f : 0.0f;
    bounds->X -= grow;
    bounds->Y -= grow;
    bounds->Width += 2 * grow;
    bounds->Height += 2 * grow;
    if (settings_.drawshadow != 0) {
        bounds->Width += offset_;
        bounds->Height += offset_;
    }
    return true;
}

bool OverlayShape::BoxBounds(Gdiplus::Rect* box) const {
    // An empty text has no box: its bounds would put a small square in the corner of the frame.
    INT points = 0;
    if (settings_.bkground == 0 || !path_ || painted_ ||
        gp::GdipGetPointCount(path_, &points) != Ok || points <= 0 ||
        gp::GdipGetPathWorldBoundsI(path_, box, nullptr, nullptr) != Ok) {
        return false;
    }
    if (settings_.drawoutline != 0) {
        box->X -= 1;
        box->Y -= 1;
        box->Width += 2;
        box->Height += 2;
    }
    if (settings_.drawshadow != 0) {
        const INT grow = static_cast<INT>(offset_) + 1;
        box->Width += grow;
        box->Height += grow;
    }
    return true;
}

void OverlayShape::UseBox(const Gdiplus::Rect* box) {
    boxGiven_ = true;
    hasBox_ = box != nullptr;
    if (box) {
        box_ = *box;
    }
}

void OverlayShape::Paint(GpGraphics* graphics) {
    if (!graphics || painted_) {
        return;
    }
    Gdiplus::Rect box = box_;
    const bool drawBox = boxGiven_ ? hasBox_ : BoxBounds(&box);
    painted_ = true;
    const FilterSettings& s = settings_;
    GpPath* path = path_;

    // Anti-aliasing.
    gp::GdipSetSmoothingMode(graphics, Gdiplus::SmoothingModeAntiAlias);

    // Background box, axis-aligned around the turned text.
    if (drawBox) {
        GpSolidFill* boxBrush = nullptr;
        Made(gp::GdipCreateSolidFill(OverlayRenderer::ToArgb(s.colorbkground, alpha_), &boxBrush));
        if (boxBrush) {
            gp::GdipFillRectangleI(graphics, boxBrush, box.X, box.Y, box.Width, box.Height);
        }
        Drop(boxBrush, gp::GdipDeleteBrush);
    }

    // Fill.
    GpSolidFill* fillBrush = nullptr;
    Made(gp::GdipCreateSolidFill(OverlayRenderer::ToArgb(s.color, alpha_), &fillBrush));
    if (fillBrush && path) {
        gp::GdipFillPath(graphics, fillBrush, path);
    }

    // Outline of the glyphs, overlaps merged.
    if (path) {
        gp::GdipWindingModeOutline(path, nullptr, 0.25f);
    }

    // Outline.
    if (s.drawoutline != 0 && path) {
        GpPen* pen = nullptr;
        Made(gp::GdipCreatePen1(OverlayRenderer::ToArgb(s.outlinecolor, alpha_), 1.0f,
                                Gdiplus::UnitWorld, &pen));
        if (pen) {
            gp::GdipDrawPath(graphics, pen, path);
        }
        Drop(pen, gp::GdipDeletePen);
    }

    // Shadow: only outside the glyphs (the clip is set before the shift), shifted right and
    // down by the offset. The shift is taken back afterwards so the caller's graphics is unchanged.
    if (s.drawshadow != 0 && path) {
        GpSolidFill* shadowBrush = nullptr;
        Made(gp::GdipCreateSolidFill(OverlayRenderer::ToArgb(s.colorshadow, shadowAlpha_),
                                     &shadowBrush));
        if (gp::GdipSetClipPath(graphics, path, Gdiplus::CombineModeExclude) == Ok) {
            if (gp::GdipTranslateWorldTransform(graphics, offset_, offset_,
                                                Gdiplus::MatrixOrderPrepend) == Ok) {
                if (shadowBrush) {
                    gp::GdipFillPath(graphics, shadowBrush, path);
                }
                gp::GdipTranslateWorldTransform(graphics, -offset_, -offset_,
                                                Gdiplus::MatrixOrderPrepend);
            }
            gp::GdipResetClip(graphics);
        }
        Drop(shadowBrush, gp::GdipDeleteBrush);
    }
    Drop(fillBrush, gp::GdipDeleteBrush);
}

void OverlayRenderer::DrawOverlay(const OverlayParams& params) {
    if (!params.settings || !params.graphics || !params.font || !params.text) {
        return;
    }
    OverlayShape shape(*params.settings, params.font, params.originX, params.originY, params.text);
    shape.Paint(params.graphics);
}

StampPlacement PlaceStamp(const FilterSettings& settings, int32_t width, int32_t rows,
                          int32_t dotsPerInch) {
    StampPlacement place;
    place.font = settings.font;
    place.font.lfHeight =
        ScaledFontHeight(settings.font.lfHeight, rows, settings.referenceHeight, dotsPerInch);
    place.originX = static_cast<float>(static_cast<double>(width) * settings.x);
    place.originY = static_cast<float>(static_cast<double>(rows) * settings.y);
    return place;
}

} // namespace camtag
