// The bridge between the host's 32-bit frames and the memory bitmap the overlay is drawn on.
//
// A host frame goes into a packed pixel buffer (rows of `width` pixels, no gaps), from there into
// a CMemBm's bitmap (SetDIBits), and after drawing back the same way (GetDIBits, buffer to the
// destination frame). With field rendering (factor 2) the field's rows land on every other buffer
// row, so the bitmap has the full frame height and the text is placed and sized for the whole
// frame; the other field's rows are neither initialised nor written back.
//
// The first row of a host frame in memory is the bottom row of the bitmap (positive DIB height).
//
// Typical use by the per-frame execution:
//
//     FrameGeometry g;
//     switch (PrepareFrameGeometry(dest, source, factor, parity, &g)) {
//     case FrameAction::kLeave: return;                       // nothing can be copied safely
//     case FrameAction::kPassThrough: PassThrough(src, dst, g); return;
//     case FrameAction::kDraw: break;
//     }
//     buffer = allocate PixelBufferBytes(g) bytes;
//     CMemBm bm; bm.Create(nullptr, g.width, BitmapHeight(g), 1, 32, nullptr);
//     FillBitmap(src, g, buffer, bm);
//     ... draw with GDI+ on bm.dc(), then delete the graphics (or GdipFlush it) ...
//     StoreBitmap(bm, g, buffer, dst);
//     bm.Release(); free the buffer;
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace camtag {

class CMemBm;

// A frame as the host describes it: width = right - left, height = bottom - top, the row bytes
// and the bits per pixel of its descriptor.
struct FrameDesc {
    int32_t width;
    int32_t height;
    int32_t rowBytes;
    int32_t bitsPerPixel;
};

// What the copies work with. Strides are in bytes, rounded down to whole pixels. Drawable frames
// keep every value within signed 16 bits (rows below 32768 bytes), the host's frame arithmetic.
struct FrameGeometry {
    int32_t width = 0;        // pixels copied per row
    int32_t height = 0;       // frame rows
    int32_t stride = 0;       // destination row step in bytes
    int32_t sourceStride = 0; // source row step in bytes
    int32_t factor = 1;       // 2 with field rendering
    int32_t parity = 0;       // with factor 2: 0 = field on odd buffer rows, 1 = on even rows
};

enum class FrameAction {
    kDraw,        // everything fits: fill, draw, store
    kPassThrough, // the rows can be copied, but not drawn on (format, or sizes beyond 16 bits)
    kLeave,       // not even a plain copy is safe: leave the destination untouched
};

// Checks the host's frames and builds the geometry. The source is read with its own row step,
// and it must hold at least the destination's width and height. A frame is drawn on only when
// both are 32 bits per pixel, width and height are at most 32767, both row steps are below
// 32768 bytes, factor is 1 or 2, parity 0 or 1, and the pixel buffer stays below 2 GiB.
// Zero or negative sizes, a row step below width x 4 or a source smaller than the destination
// give kLeave. The geometry is filled for kDraw and kPassThrough.
FrameAction PrepareFrameGeometry(const FrameDesc& destination, const FrameDesc& source,
                                 int32_t factor, int32_t parity, FrameGeometry* geometry);

// True when the geometry can be drawn on (the conditions of kDraw above).
bool FrameGeometryValid(const FrameGeometry& geometry);

// True when PassThrough is safe on the geometry (positive sizes, row steps of at least width x 4).
bool FrameGeometryCopyable(const FrameGeometry& geometry);

// Rows of the bitmap and the buffer: height x factor.
int32_t BitmapHeight(const FrameGeometry& geometry);

// Bytes to allocate for the pixel buffer: (height x factor + 1) x (width + 1) x 4. The surplus
// beyond the packed rows is never touched. 0 for a geometry that is not valid.
size_t PixelBufferBytes(const FrameGeometry& geometry);

// The header for the buffer: size 40, width, height x factor (positive), 1 plane, the bits per
// pixel, BI_RGB, everything else 0.
BITMAPINFOHEADER MakeBitmapHeader(const FrameGeometry& geometry, int32_t bitsPerPixel = 32);

// Source frame to buffer with the field row mapping. Does nothing for an invalid geometry.
void FillBuffer(const void* frame, const FrameGeometry& geometry, uint32_t* buffer);

// Buffer to destination frame with the same mapping. Does nothing for an invalid geometry.
void StoreBuffer(const uint32_t* buffer, const FrameGeometry& geometry, void* frame);

// Plain row copy, source to destination: width x 4 bytes per row for every row. Does nothing
// when the geometry is not copyable.
void PassThrough(const void* source, void* destination, const FrameGeometry& geometry);

// One row of the source into the destination; nothing when they are the same bytes, as when a
// host has a frame stamped in place (a copy onto itself would cost a frame's bytes for nothing).
inline void CopyRow(void* to, const void* from, size_t bytes) {
    if (to != from)
        std::memmove(to, from, bytes);
}

// FillBuffer, then SetDIBits of every buffer row into the bitmap. False when the geometry is not
// valid, the bitmap is not created or does not match, or GDI fails (the buffer is filled anyway).
bool FillBitmap(const void* frame, const FrameGeometry& geometry, uint32_t* buffer,
                const CMemBm& bitmap);

// GetDIBits of every row into the buffer, then StoreBuffer into the destination frame. When GDI
// fails the buffer, still holding the source rows, is stored all the same and false is returned.
// GDI+ drawing on the bitmap must be finished first (graphics deleted or flushed).
bool StoreBitmap(const CMemBm& bitmap, const FrameGeometry& geometry, uint32_t* buffer,
                 void* frame);

// --- The band: only the rows the overlay can change go through the bitmap ---
//
// The result is the whole-frame exchange's, pixel for pixel: rows the drawing does not reach
// come back from the bitmap as they went in, so they are copied from the source directly, and
// only the band's scan lines are set into and read back from a bitmap of the full frame size (so
// the drawing itself is the same). The buffer holds just the band's scan lines.

// Scan lines [first, first + count) of the bitmap, counted from its bottom row as SetDIBits
// counts them (buffer row i is scan line i).
struct ScanBand {
    int32_t first = 0;
    int32_t count = 0;
};

// The scan lines of picture rows [top, bottom), counted from the top of the bitmap as GDI+ draws,
// cut to the bitmap's rows. Empty (count 0) when they miss it or the geometry is not valid.
ScanBand ScanBandOfRows(const FrameGeometry& geometry, int64_t top, int64_t bottom);

// Bytes of a buffer for the band's scan lines: count x width x 4. 0 for an empty band, a band
// outside the bitmap or a geometry that is not valid.
size_t BandBufferBytes(const FrameGeometry& geometry, ScanBand band);

// The frame rows whose buffer rows lie in the band go to the buffer (its first row is scan line
// band.first), then SetDIBits of the band's scan lines into the bitmap. With field rendering the
// band's rows of the other field are neither initialised nor written back, as in FillBitmap.
// False when nothing could be set (the buffer is filled whenever band and geometry are usable).
bool FillBitmapBand(const void* frame, const FrameGeometry& geometry, ScanBand band,
                    uint32_t* buffer, const CMemBm& bitmap);

// GetDIBits of the band's scan lines into the buffer and its frame rows to the destination;
// every other destination row is copied from `source` unchanged. When GDI fails the buffer,
// still holding the source rows, is stored all the same and false is returned. GDI+ drawing on
// the bitmap must be finished first.
bool StoreBitmapBand(const CMemBm& bitmap, const FrameGeometry& geometry, ScanBand band,
                     uint32_t* buffer, const void* source, void* frame);

} // namespace camtag
