#include "render/FrameStamp.h"

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
    LOGFONTA font;   // the scaled font
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
// data is the one the layout gives. A few slots, chosen by the key, so that instances drawing
// different texts on the same frames (date and timecode, two clips) do not push each other out.
// A slot is emptied while a call uses its entry, so calls on several threads never share one; a
// call that finds it empty makes its own.
constexpr size_t kShapeSlots = 8;
std::atomic<CachedShape*> shapeSlots[kShapeSlots] = {};
std::atomic<long> shapesReused{0};

struct ShapeSlotRelease {
    ~ShapeSlotRelease() {
        for (auto& slot : shapeSlots) delete slot.exchange(nullptr);
    }
} shapeSlotRelease;

std::atomic<CachedShape*>& SlotOf(const ShapeKey& key) {
    // FNV-1a over the key's bytes.
    uint32_t hash = 2166136261u;
    const auto* bytes = reinterpret_cast<const uint8_t*>(&key);
    for (size_t i = 0; i < sizeof key; ++i) hash = (hash ^ bytes[i]) * 16777619u;
    return shapeSlots[hash % kShapeSlots];
}

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

} // namespace

long FrameStamp::ShapesReused() { return shapesReused.load(std::memory_order_relaxed); }

FrameStamp::FrameStamp(const FrameGeometry& geometry, const FilterSettings& settings, const WCHAR* text)
    : geometry_(geometry) {
    if (!text || !FrameGeometryValid(geometry)) {
        return;
    }
    const int32_t rows = BitmapHeight(geometry);
    // Without a bitmap or a font the whole-frame exchange draws nothing: the frame stays the source.
    if (!bitmap_.Create(nullptr, geometry.width, rows, 1, 32, nullptr)) {
        return;
    }
    const int32_t dotsPerInch = GetDeviceCaps(bitmap_.dc(), LOGPIXELSY);
    LOGFONTA font = settings.font;
    font.lfHeight = ScaledFontHeight(settings.font.lfHeight, rows, settings.referenceHeight, dotsPerInch);
    const float originX = static_cast<float>(geometry.width * settings.x);
    const float originY = static_cast<float>(static_cast<double>(rows) * settings.y);
    const ShapeKey key = MakeKey(font, dotsPerInch, originX, originY, settings, text);

    std::atomic<CachedShape*>& slot = SlotOf(key);
    CachedShape* cached = slot.exchange(nullptr);
    if (cached && std::memcmp(&cached->key, &key, sizeof key) == 0) {
        shape_.emplace(settings, cached->path);
        shapesReused.fetch_add(1, std::memory_order_relaxed);
    } else {
        Gdiplus::GpFont* gpFont = nullptr;
        if (gp::GdipCreateFontFromLogfontA(bitmap_.dc(), &font, &gpFont) != Gdiplus::Ok || !gpFont) {
            delete cached;
            return;
        }
        shape_.emplace(settings, gpFont, originX, originY, text);
        // The shape has taken what it needs of the font (its family, size and style).
        gp::GdipDeleteFont(gpFont);
        if (!cached) cached = new (std::nothrow) CachedShape;
        if (cached) {
            cached->key = key;
            if (!shape_->PathData(&cached->path)) {
                delete cached;
                cached = nullptr;
            }
        }
    }
    // Back into the slot; an entry another call put there meanwhile goes.
    if (cached) delete slot.exchange(cached);

    int64_t top = 0;
    int64_t bottom = rows;
    if (!shape_->TouchedRows(&top, &bottom)) {
        // Bounds unknown: the whole frame goes through the bitmap.
        top = 0;
        bottom = rows;
    }
    band_ = ScanBandOfRows(geometry, top, bottom);
}

size_t FrameStamp::BufferBytes() const { return shape_ ? BandBufferBytes(geometry_, band_) : 0; }

void FrameStamp::Draw(const void* source, void* destination, uint32_t* buffer) {
    if (BufferBytes() == 0 || !buffer) {
        PassThrough(source, destination, geometry_);
        bitmap_.Release();
        return;
    }
    FillBitmapBand(source, geometry_, band_, buffer, bitmap_);
    Gdiplus::GpGraphics* graphics = nullptr;
    if (gp::GdipCreateFromHDC(bitmap_.dc(), &graphics) == Gdiplus::Ok && graphics) {
        shape_->Paint(graphics);
        // GDI+ must be done with the bitmap before it is read back.
        gp::GdipDeleteGraphics(graphics);
    }
    StoreBitmapBand(bitmap_, geometry_, band_, buffer, source, destination);
    bitmap_.Release();
}

} // namespace camtag
