#include "render/FrameStamp.h"

#include <gdiplus.h>

namespace camtag {

namespace gp = Gdiplus::DllExports;

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
    LOGFONTA font = settings.font;
    font.lfHeight = ScaledFontHeight(settings.font.lfHeight, rows, settings.referenceHeight,
                                     GetDeviceCaps(bitmap_.dc(), LOGPIXELSY));
    Gdiplus::GpFont* gpFont = nullptr;
    if (gp::GdipCreateFontFromLogfontA(bitmap_.dc(), &font, &gpFont) != Gdiplus::Ok || !gpFont) {
        return;
    }
    const float originX = static_cast<float>(geometry.width * settings.x);
    const float originY = static_cast<float>(static_cast<double>(rows) * settings.y);
    shape_.emplace(settings, gpFont, originX, originY, text);
    // The shape has taken what it needs of the font (its family, size and style).
    gp::GdipDeleteFont(gpFont);

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
