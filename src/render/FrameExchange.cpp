#include "render/FrameExchange.h"

#include "render/MemBm.h"

#include <cstring>

namespace camtag {

namespace {

constexpr int32_t kMax16 = 32767;
constexpr uint64_t kMaxBufferBytes = 0x7FFFFFFF;

uint64_t BufferBytes64(const FrameGeometry& g) {
    return (static_cast<uint64_t>(g.height) * static_cast<uint64_t>(g.factor) + 1) *
           (static_cast<uint64_t>(g.width) + 1) * 4;
}

// Row step in bytes, in whole pixels.
int32_t PixelStride(int32_t rowBytes) {
    return rowBytes / 4 * 4;
}

bool FieldsValid(int32_t factor, int32_t parity) {
    return (factor == 1 || factor == 2) && (parity == 0 || parity == 1);
}

// Walks the frame rows with the field row mapping; `copy` gets the frame row index and the
// buffer row index.
template <typename Copy> void ForEachMappedRow(const FrameGeometry& g, Copy copy) {
    int32_t bufferRow = 0;
    for (int32_t r = 0; r < g.height; ++r) {
        if (g.factor == 2 && g.parity == 0) {
            ++bufferRow;
        }
        copy(r, bufferRow);
        ++bufferRow;
        if (g.factor == 2 && g.parity == 1) {
            ++bufferRow;
        }
    }
}

// The buffer row of frame row r: the same mapping as ForEachMappedRow, for one row.
int32_t BufferRowOf(const FrameGeometry& g, int32_t r) {
    if (g.factor != 2) {
        return r;
    }
    return 2 * r + (g.parity == 0 ? 1 : 0);
}

bool BandUsable(const FrameGeometry& g, ScanBand band) {
    return FrameGeometryValid(g) && band.count > 0 && band.first >= 0 &&
           static_cast<int64_t>(band.first) + band.count <= BitmapHeight(g);
}

bool InBand(ScanBand band, int32_t bufferRow) {
    return bufferRow >= band.first && bufferRow - band.first < band.count;
}

} // namespace

bool FrameGeometryCopyable(const FrameGeometry& g) {
    if (g.width <= 0 || g.height <= 0 || g.stride <= 0 || g.sourceStride <= 0) {
        return false;
    }
    const int64_t rowBytes = static_cast<int64_t>(g.width) * 4;
    return g.stride % 4 == 0 && g.sourceStride % 4 == 0 && g.stride >= rowBytes &&
           g.sourceStride >= rowBytes;
}

bool FrameGeometryValid(const FrameGeometry& g) {
    return FrameGeometryCopyable(g) && FieldsValid(g.factor, g.parity) && g.width <= kMax16 &&
           g.height <= kMax16 && g.stride <= kMax16 && g.sourceStride <= kMax16 &&
           BufferBytes64(g) <= kMaxBufferBytes;
}

FrameAction PrepareFrameGeometry(const FrameDesc& destination, const FrameDesc& source,
                                 int32_t factor, int32_t parity, FrameGeometry* geometry) {
    if (!geometry) {
        return FrameAction::kLeave;
    }
    *geometry = FrameGeometry{};
    if (source.width < destination.width || source.height < destination.height) {
        return FrameAction::kLeave;
    }
    FrameGeometry g;
    g.width = destination.width;
    g.height = destination.height;
    g.stride = PixelStride(destination.rowBytes);
    g.sourceStride = PixelStride(source.rowBytes);
    g.factor = factor;
    g.parity = parity;
    if (!FrameGeometryCopyable(g)) {
        return FrameAction::kLeave;
    }
    *geometry = g;
    // Row bytes are checked as the host gave them: 32768 and more do not fit 16 bits.
    const bool fits16 = destination.rowBytes <= kMax16 && source.rowBytes <= kMax16;
    if (destination.bitsPerPixel != 32 || source.bitsPerPixel != 32 || !fits16 ||
        !FrameGeometryValid(g)) {
        return FrameAction::kPassThrough;
    }
    return FrameAction::kDraw;
}

int32_t BitmapHeight(const FrameGeometry& g) {
    return g.height * g.factor;
}

size_t PixelBufferBytes(const FrameGeometry& g) {
    if (!FrameGeometryValid(g)) {
        return 0;
    }
    return static_cast<size_t>(BufferBytes64(g));
}

BITMAPINFOHEADER MakeBitmapHeader(const FrameGeometry& g, int32_t bitsPerPixel) {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = g.width;
    header.biHeight = BitmapHeight(g);
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(bitsPerPixel);
    header.biCompression = BI_RGB;
    return header;
}

void FillBuffer(const void* frame, const FrameGeometry& g, uint32_t* buffer) {
    if (!frame || !buffer || !FrameGeometryValid(g)) {
        return;
    }
    const auto* base = static_cast<const uint8_t*>(frame);
    const size_t rowBytes = static_cast<size_t>(g.width) * 4;
    ForEachMappedRow(g, [&](int32_t r, int32_t bufferRow) {
        std::memcpy(buffer + static_cast<size_t>(bufferRow) * static_cast<size_t>(g.width),
                    base + static_cast<size_t>(r) * static_cast<size_t>(g.sourceStride), rowBytes);
    });
}

void StoreBuffer(const uint32_t* buffer, const FrameGeometry& g, void* frame) {
    if (!frame || !buffer || !FrameGeometryValid(g)) {
        return;
    }
    auto* base = static_cast<uint8_t*>(frame);
    const size_t rowBytes = static_cast<size_t>(g.width) * 4;
    ForEachMappedRow(g, [&](int32_t r, int32_t bufferRow) {
        std::memcpy(base + static_cast<size_t>(r) * static_cast<size_t>(g.stride),
                    buffer + static_cast<size_t>(bufferRow) * static_cast<size_t>(g.width),
                    rowBytes);
    });
}

void PassThrough(const void* source, void* destination, const FrameGeometry& g) {
    if (!source || !destination || !FrameGeometryCopyable(g)) {
        return;
    }
    const auto* from = static_cast<const uint8_t*>(source);
    auto* to = static_cast<uint8_t*>(destination);
    const size_t rowBytes = static_cast<size_t>(g.width) * 4;
    for (int32_t r = 0; r < g.height; ++r) {
        CopyRow(to + static_cast<size_t>(r) * static_cast<size_t>(g.stride),
                from + static_cast<size_t>(r) * static_cast<size_t>(g.sourceStride), rowBytes);
    }
}

namespace {

bool BitmapMatches(const CMemBm& bitmap, const FrameGeometry& g) {
    return bitmap.created() && bitmap.width() == g.width && bitmap.height() == BitmapHeight(g);
}

} // namespace

bool FillBitmap(const void* frame, const FrameGeometry& g, uint32_t* buffer, const CMemBm& bitmap) {
    if (!frame || !buffer || !FrameGeometryValid(g)) {
        return false;
    }
    FillBuffer(frame, g, buffer);
    if (!BitmapMatches(bitmap, g)) {
        return false;
    }
    BITMAPINFOHEADER header = MakeBitmapHeader(g);
    const int rows = SetDIBits(bitmap.dc(), bitmap.bitmap(), 0, static_cast<UINT>(BitmapHeight(g)),
                               buffer, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    return rows == BitmapHeight(g);
}

bool StoreBitmap(const CMemBm& bitmap, const FrameGeometry& g, uint32_t* buffer, void* frame) {
    if (!frame || !buffer || !FrameGeometryValid(g)) {
        return false;
    }
    bool ok = false;
    if (BitmapMatches(bitmap, g)) {
        GdiFlush();
        BITMAPINFOHEADER header = MakeBitmapHeader(g);
        const int rows =
            GetDIBits(bitmap.dc(), bitmap.bitmap(), 0, static_cast<UINT>(BitmapHeight(g)), buffer,
                      reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
        ok = rows == BitmapHeight(g);
    }
    StoreBuffer(buffer, g, frame);
    return ok;
}

ScanBand ScanBandOfRows(const FrameGeometry& g, int64_t top, int64_t bottom) {
    if (!FrameGeometryValid(g)) {
        return {};
    }
    const int64_t rows = BitmapHeight(g);
    top = top < 0 ? 0 : (top > rows ? rows : top);
    bottom = bottom < 0 ? 0 : (bottom > rows ? rows : bottom);
    if (bottom <= top) {
        return {};
    }
    // Scan line 0 is the bitmap's bottom row.
    return ScanBand{static_cast<int32_t>(rows - bottom), static_cast<int32_t>(bottom - top)};
}

size_t BandBufferBytes(const FrameGeometry& g, ScanBand band) {
    if (!BandUsable(g, band)) {
        return 0;
    }
    return static_cast<size_t>(band.count) * static_cast<size_t>(g.width) * 4;
}

bool FillBitmapBand(const void* frame, const FrameGeometry& g, ScanBand band, uint32_t* buffer,
                    const CMemBm& bitmap) {
    if (!frame || !buffer || !BandUsable(g, band)) {
        return false;
    }
    const auto* base = static_cast<const uint8_t*>(frame);
    const size_t width = static_cast<size_t>(g.width);
    for (int32_t r = 0; r < g.height; ++r) {
        const int32_t bufferRow = BufferRowOf(g, r);
        if (InBand(band, bufferRow)) {
            std::memcpy(buffer + static_cast<size_t>(bufferRow - band.first) * width,
                        base + static_cast<size_t>(r) * static_cast<size_t>(g.sourceStride),
                        width * 4);
        }
    }
    if (!BitmapMatches(bitmap, g)) {
        return false;
    }
    BITMAPINFOHEADER header = MakeBitmapHeader(g);
    const int rows = SetDIBits(bitmap.dc(), bitmap.bitmap(), static_cast<UINT>(band.first),
                               static_cast<UINT>(band.count), buffer,
                               reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    return rows == band.count;
}

bool StoreBitmapBand(const CMemBm& bitmap, const FrameGeometry& g, ScanBand band, uint32_t* buffer,
                     const void* source, void* frame) {
    if (!source || !frame || !buffer || !BandUsable(g, band)) {
        return false;
    }
    bool ok = false;
    if (BitmapMatches(bitmap, g)) {
        GdiFlush();
        BITMAPINFOHEADER header = MakeBitmapHeader(g);
        const int rows = GetDIBits(bitmap.dc(), bitmap.bitmap(), static_cast<UINT>(band.first),
                                   static_cast<UINT>(band.count), buffer,
                                   reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
        ok = rows == band.count;
    }
    const auto* from = static_cast<const uint8_t*>(source);
    auto* to = static_cast<uint8_t*>(frame);
    const size_t width = static_cast<size_t>(g.width);
    for (int32_t r = 0; r < g.height; ++r) {
        uint8_t* row = to + static_cast<size_t>(r) * static_cast<size_t>(g.stride);
        const int32_t bufferRow = BufferRowOf(g, r);
        if (InBand(band, bufferRow)) {
            std::memcpy(row, buffer + static_cast<size_t>(bufferRow - band.first) * width,
                        width * 4);
        } else {
            CopyRow(row, from + static_cast<size_t>(r) * static_cast<size_t>(g.sourceStride),
                    width * 4);
        }
    }
    return ok;
}

} // namespace camtag
