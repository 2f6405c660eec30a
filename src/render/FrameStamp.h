// One frame's overlay drawn the quick way, with the whole-frame exchange's result. The memory
// bitmap, the font and the overlay's shape come first, so the rows the overlay can change are
// known before a pixel moves; only those rows go through the pixel buffer and the bitmap, and
// every other row of the destination is copied from the source. The bitmap still has the full
// frame size and the overlay is drawn with the same calls at the same coordinates, so the frame
// is the one FillBitmap, OverlayRenderer::DrawOverlay and StoreBitmap give, byte for byte.
//
// Between stamps the module keeps recent text paths (as plain data, no GDI+ object), so that a
// frame with the same text, font and place is drawn without a font or a new layout, and a few
// memory bitmaps with their device contexts, for later stamps of the same size. A stamp takes
// what it uses out of these pools, so stamps on several threads never share anything; what is
// left in them is released when the module is unloaded.
//
//     FrameStamp stamp(geometry, settings, text);
//     size_t bytes = stamp.BufferBytes();
//     if (bytes == 0) PassThrough(source, destination, geometry);   // the overlay changes nothing
//     else { allocate bytes; stamp.Draw(source, destination, buffer); free; }
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>

#include "render/FrameExchange.h"
#include "render/MemBm.h"
#include "render/OverlayRenderer.h"
#include "render/RunningLayout.h"
#include "settings/FilterSettings.h"

namespace camtag {

class FrameStamp {
public:
    // `geometry` must be drawable (FrameGeometryValid); `text` is UTF-16 and zero-terminated. The
    // font is the settings' font scaled to the bitmap's rows; the text's anchor is (x, y) of the
    // settings as fractions of the width and the bitmap's rows.
    // With `layout` (the caller's for this look) the text is laid out by it instead of from a
    // font made here or a kept path, and its path is not kept here.
    FrameStamp(const FrameGeometry& geometry, const FilterSettings& settings, const WCHAR* text,
               RunningLayout* layout = nullptr);
    ~FrameStamp();
    FrameStamp(const FrameStamp&) = delete;
    FrameStamp& operator=(const FrameStamp&) = delete;

    // Bytes of the pixel buffer Draw needs: the band's rows. 0 when the overlay changes no pixel
    // (an empty text, text wholly outside the frame, no bitmap or font): the frame is the source.
    size_t BufferBytes() const;
    // The scan lines that go through the bitmap.
    ScanBand band() const { return band_; }

    // Stamps (process-wide) whose text path was the previous stamp's, made again from its data
    // instead of being laid out: the same text, font, place and angle.
    static long ShapesReused();

    // Fills the band into the bitmap, draws the overlay, stores the band and copies every other
    // row from the source. `buffer` holds BufferBytes() bytes. Once per stamp. With no band (or
    // no buffer) the frame is passed through.
    void Draw(const void* source, void* destination, uint32_t* buffer);

    // The band's scan lines drawn over black and over white (every byte 0, every byte 255, the
    // alpha byte included) instead of over a frame; each buffer holds BufferBytes() bytes. Since
    // every layer blends its colour over what lies beneath, the two tell what the drawing makes
    // of any frame. Once per stamp, instead of Draw; false when nothing could be drawn.
    bool DrawOverBlackAndWhite(uint32_t* overBlack, uint32_t* overWhite);

    // The text's turned path and its box as Paint draws it (false: no box), before any drawing.
    bool PathData(OverlayPathData* data) const;
    bool BoxBounds(Gdiplus::Rect* box) const;

    // Scan lines `lines` (within the band) drawn over black and over white, as
    // DrawOverBlackAndWhite draws them, but with `figures` (some of the text's path) and `box`
    // (none when null) in place of the text: where no other figure reaches, the pixels are the
    // whole text's. Each buffer holds lines.count x width pixels. Instead of the other drawings.
    bool DrawFiguresOverBlackAndWhite(const OverlayPathData& figures, const Gdiplus::Rect* box,
                                      ScanBand lines, uint32_t* overBlack, uint32_t* overWhite);

private:
    void LayBand(int32_t rows);
    bool PaintLines(OverlayShape& shape, ScanBand lines, uint32_t fill, uint32_t* buffer);

    FrameGeometry geometry_;
    FilterSettings settings_;
    CMemBm* bitmap_ = nullptr; // this stamp's, or the one kept from an earlier stamp
    std::optional<OverlayShape> shape_;
    ScanBand band_;
    bool dcUsed_ = false; // a font or a drawing went through the bitmap's device context
};

} // namespace camtag
