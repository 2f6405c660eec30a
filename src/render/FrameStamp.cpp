#include "render/FrameStamp.h"

#include "host/KeptObjects.h"

#include <gdiplus.h>

#include <atomic>
#include <cstring>
#include <new>

namespace camtag {

namespace gp = Gdiplus::DllExports;

namespace {

// Everything the turned text path depends on. Compared byte for byte: made zeroed, so that
// padding and the unused end of the text compare equal.
struct ShapeKey {
    LOGFONTA font; // the scaled font
    int32_t dotsPerInch;
    float originX;
    float originY;
    int32_t align;
    int32_t angle;
    WCHAR text[kOverlayTextMax + 1];
};

struct CachedShape {
    ShapeKey key;
    OverlayPathData path;
};

// Recent turned text paths, kept between calls: while the text stays the same (24 frames of 25
// in date mode), a frame needs neither a font nor the text's layout, and the path made from the
// data is the one the layout gives. Several, so that instances drawing different texts on the
// same frames (date and timecode, two clips) and render threads keep theirs.
KeptObjects<CachedShape, 8> keptShapes;
std::atomic<long> shapesReused{0};

ShapeKey MakeKey(const LOGFONTA& font, int32_t dotsPerInch, float originX, float originY,
                 const FilterSettings& settings, const WCHAR* text) {
    ShapeKey key;
    std::memset(&key, 0, sizeof key);
    key.font = font;
    key.dotsPerInch = dotsPerInch;
    key.originX = originX;
    key.originY = originY;
    key.align = settings.align;
    key.angle = settings.angle;
    for (int i = 0; i < kOverlayTextMax && text[i] != 0; ++i) {
        key.text[i] = text[i];
    }
    return key;
}

// Memory bitmaps of earlier stamps, kept for later ones of the same size: making a frame's
// bitmap and selecting it into a device context costs about a tenth of a frame's drawing under
// Wine. Nothing of a kept bitmap can show: every scan line of a band is set before the drawing,
// the drawing stays within the band, and only the band is read back. Its device context is
// brought back to the state it had when made.
KeptObjects<CMemBm, 4> keptBitmaps;

} // namespace

long FrameStamp::ShapesReused() {
    return shapesReused.load(std::memory_order_relaxed);
}

FrameStamp::FrameStamp(const FrameGeometry& geometry, const FilterSettings& settings,
                       const WCHAR* text, RunningLayout* layout)
    : geometry_(geometry), settings_(settings) {
    if (!text || !FrameGeometryValid(geometry)) {
        return;
    }
    const int32_t rows = BitmapHeight(geometry);
    bitmap_ = keptBitmaps.Take([&](const CMemBm& kept) {
        return kept.width() == geometry.width && kept.height() == rows;
    });
    if (!bitmap_) {
        bitmap_ = new (std::nothrow) CMemBm;
        // Without a bitmap or a font the whole-frame exchange draws nothing: the frame stays the
        // source.
        if (!bitmap_ || !bitmap_->Create(nullptr, geometry.width, rows, 1, 32, nullptr) ||
            !SaveDC(bitmap_->dc())) {
            delete bitmap_;
            bitmap_ = nullptr;
            return;
        }
    }
    const int32_t dotsPerInch = GetDeviceCaps(bitmap_->dc(), LOGPIXELSY);
    StampPlacement place = PlaceStamp(settings, geometry.width, rows, dotsPerInch);
    if (layout) {
        // Laid out by the caller's layout, which keeps what it needs; not kept here.
        OverlayPathData path;
        if (layout->Lay(bitmap_->dc(), settings, place, text, &path)) {
            shape_.emplace(settings, path);
            LayBand(rows);
        }
        return;
    }
    const ShapeKey key =
        MakeKey(place.font, dotsPerInch, place.originX, place.originY, settings, text);

    CachedShape* cached = keptShapes.Take(
        [&](const CachedShape& kept) { return std::memcmp(&kept.key, &key, sizeof key) == 0; });
    if (cached) {
        shape_.emplace(settings, cached->path);
        shapesReused.fetch_add(1, std::memory_order_relaxed);
    } else {
        Gdiplus::GpFont* gpFont = nullptr;
        dcUsed_ = true;
        if (gp::GdipCreateFontFromLogfontA(bitmap_->dc(), &place.font, &gpFont) != Gdiplus::Ok ||
            !gpFont) {
            return;
        }
        shape_.emplace(settings, gpFont, place.originX, place.originY, text);
        // The shape has taken what it needs of the font (its family, size and style).
        gp::GdipDeleteFont(gpFont);
        cached = new (std::nothrow) CachedShape;
        if (cached) {
            cached->key = key;
            if (!shape_->PathData(&cached->path)) {
                delete cached;
                cached = nullptr;
            }
        }
    }
    keptShapes.Give(cached);
    LayBand(rows);
}

void FrameStamp::LayBand(int32_t rows) {
    int64_t top = 0;
    int64_t bottom = rows;
    if (!shape_->TouchedRows(&top, &bottom)) {
        // Bounds unknown: the whole frame goes through the bitmap.
        top = 0;
        bottom = rows;
    }
    band_ = ScanBandOfRows(geometry_, top, bottom);
}

size_t FrameStamp::BufferBytes() const {
    return shape_ ? BandBufferBytes(geometry_, band_) : 0;
}

FrameStamp::~FrameStamp() {
    if (!bitmap_) {
        return;
    }
    // The next stamp finds the device context as it was made. A stamp that drew nothing (its
    // text laid out elsewhere, its pixels known) left it so.
    if (!dcUsed_ || (RestoreDC(bitmap_->dc(), -1) && SaveDC(bitmap_->dc()))) {
        keptBitmaps.Give(bitmap_);
    } else {
        delete bitmap_;
    }
}

void FrameStamp::Draw(const void* source, void* destination, uint32_t* buffer) {
    if (BufferBytes() == 0 || !buffer) {
        PassThrough(source, destination, geometry_);
        return;
    }
    FillBitmapBand(source, geometry_, band_, buffer, *bitmap_);
    Gdiplus::GpGraphics* graphics = nullptr;
    dcUsed_ = true;
    if (gp::GdipCreateFromHDC(bitmap_->dc(), &graphics) == Gdiplus::Ok && graphics) {
        shape_->Paint(graphics);
        // GDI+ must be done with the bitmap before it is read back.
        gp::GdipDeleteGraphics(graphics);
    }
    StoreBitmapBand(*bitmap_, geometry_, band_, buffer, source, destination);
    // Drawn once: the shape's path is spent.
    shape_.reset();
}

bool FrameStamp::PaintLines(OverlayShape& shape, ScanBand lines, uint32_t fill, uint32_t* buffer) {
    const size_t pixels = static_cast<size_t>(lines.count) * static_cast<size_t>(geometry_.width);
    for (size_t i = 0; i < pixels; ++i) {
        buffer[i] = fill;
    }
    BITMAPINFOHEADER header = MakeBitmapHeader(geometry_);
    auto* info = reinterpret_cast<BITMAPINFO*>(&header);
    dcUsed_ = true;
    if (SetDIBits(bitmap_->dc(), bitmap_->bitmap(), static_cast<UINT>(lines.first),
                  static_cast<UINT>(lines.count), buffer, info, DIB_RGB_COLORS) != lines.count) {
        return false;
    }
    Gdiplus::GpGraphics* graphics = nullptr;
    if (gp::GdipCreateFromHDC(bitmap_->dc(), &graphics) != Gdiplus::Ok || !graphics) {
        return false;
    }
    shape.Paint(graphics);
    gp::GdipDeleteGraphics(graphics);
    GdiFlush();
    return GetDIBits(bitmap_->dc(), bitmap_->bitmap(), static_cast<UINT>(lines.first),
                     static_cast<UINT>(lines.count), buffer, info, DIB_RGB_COLORS) == lines.count;
}

bool FrameStamp::DrawOverBlackAndWhite(uint32_t* overBlack, uint32_t* overWhite) {
    if (BufferBytes() == 0 || !overBlack || !overWhite) {
        return false;
    }
    // Painting spends the path: the second drawing takes the same path from its data.
    OverlayPathData data;
    const bool kept = shape_->PathData(&data);
    bool drawn = kept && PaintLines(*shape_, band_, 0x00000000u, overBlack);
    if (drawn) {
        shape_.emplace(settings_, data);
        drawn = PaintLines(*shape_, band_, 0xFFFFFFFFu, overWhite);
    }
    shape_.reset();
    return drawn;
}

bool FrameStamp::PathData(OverlayPathData* data) const {
    return shape_ && shape_->PathData(data);
}

bool FrameStamp::BoxBounds(Gdiplus::Rect* box) const {
    return shape_ && shape_->BoxBounds(box);
}

bool FrameStamp::DrawFiguresOverBlackAndWhite(const OverlayPathData& figures,
                                              const Gdiplus::Rect* box, ScanBand lines,
                                              uint32_t* overBlack, uint32_t* overWhite) {
    if (BufferBytes() == 0 || !overBlack || !overWhite || lines.count <= 0 ||
        lines.first < band_.first || lines.first + lines.count > band_.first + band_.count) {
        return false;
    }
    shape_.reset();
    bool drawn = true;
    for (uint32_t* buffer : {overBlack, overWhite}) {
        OverlayShape shape(settings_, figures);
        shape.UseBox(box);
        drawn = drawn &&
                PaintLines(shape, lines, buffer == overBlack ? 0x00000000u : 0xFFFFFFFFu, buffer);
    }
    return drawn;
}

} // namespace camtag
