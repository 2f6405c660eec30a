#include "YuvFrames.h"

#include <algorithm>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace camtag {

namespace {

// Fixed point as SSE2's 16-bit "multiply high" gives it: (x << 7) * c >> 16 = x * c / 512, with
// c = 512 x the BT.601 studio-range factor.
constexpr int kLuma = 596;  // 1.164
constexpr int kVToR = 817;  // 1.596
constexpr int kUToG = -200; // -0.391
constexpr int kVToG = -416; // -0.813
constexpr int kUToB = 1033; // 2.018

inline int MulHigh(int scaled, int factor) {
    return (scaled * factor) >> 16;
}

inline uint8_t Clamp(int v) {
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// Pixels [from, to) of one row, the same arithmetic as the SSE2 path.
void RowToHost(const uint8_t* y, const uint8_t* u, const uint8_t* v, int32_t from, int32_t to,
               uint8_t* out) {
    for (int32_t x = from; x < to; ++x) {
        const int luma = MulHigh((y[x] - 16) * 128, kLuma);
        const int cb = (u[x / 2] - 128) * 128;
        const int cr = (v[x / 2] - 128) * 128;
        uint8_t* p = out + static_cast<size_t>(x) * 4;
        p[0] = Clamp(luma + MulHigh(cb, kUToB));
        p[1] = Clamp(luma + MulHigh(cb, kUToG) + MulHigh(cr, kVToG));
        p[2] = Clamp(luma + MulHigh(cr, kVToR));
        p[3] = 255;
    }
}

#ifdef __SSE2__
// Sixteen pixels of two rows that share their chroma at a time: each chroma sample's terms are
// worked out once for the four pixels it covers. Returns how many pixels of the rows it did.
int32_t RowPairToHostSse2(const uint8_t* y0, const uint8_t* y1, const uint8_t* u, const uint8_t* v,
                          int32_t width, uint8_t* out0, uint8_t* out1) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i sixteen = _mm_set1_epi16(16);
    const __m128i half = _mm_set1_epi16(128);
    const __m128i alpha = _mm_set1_epi8(static_cast<char>(0xFF));
    const __m128i luma = _mm_set1_epi16(kLuma);
    const __m128i vToR = _mm_set1_epi16(kVToR);
    const __m128i uToG = _mm_set1_epi16(kUToG);
    const __m128i vToG = _mm_set1_epi16(kVToG);
    const __m128i uToB = _mm_set1_epi16(kUToB);
    int32_t x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m128i u8 =
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + x / 2)), zero);
        const __m128i v8 =
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + x / 2)), zero);
        const __m128i cb = _mm_slli_epi16(_mm_sub_epi16(u8, half), 7);
        const __m128i cr = _mm_slli_epi16(_mm_sub_epi16(v8, half), 7);
        // Per chroma sample, then each for the two pixels of a row it covers.
        const __m128i toB = _mm_mulhi_epi16(cb, uToB);
        const __m128i toG = _mm_add_epi16(_mm_mulhi_epi16(cb, uToG), _mm_mulhi_epi16(cr, vToG));
        const __m128i toR = _mm_mulhi_epi16(cr, vToR);
        const __m128i terms[2][3] = {{_mm_unpacklo_epi16(toB, toB), _mm_unpacklo_epi16(toG, toG),
                                      _mm_unpacklo_epi16(toR, toR)},
                                     {_mm_unpackhi_epi16(toB, toB), _mm_unpackhi_epi16(toG, toG),
                                      _mm_unpackhi_epi16(toR, toR)}};
        const uint8_t* rows[2] = {y0, y1};
        uint8_t* outs[2] = {out0, out1};
        for (int row = 0; row < 2; ++row) {
            const __m128i y16 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[row] + x));
            for (int part = 0; part < 2; ++part) {
                const __m128i yp =
                    part == 0 ? _mm_unpacklo_epi8(y16, zero) : _mm_unpackhi_epi8(y16, zero);
                const __m128i ys =
                    _mm_mulhi_epi16(_mm_slli_epi16(_mm_sub_epi16(yp, sixteen), 7), luma);
                const __m128i b = _mm_add_epi16(ys, terms[part][0]);
                const __m128i g = _mm_add_epi16(ys, terms[part][1]);
                const __m128i r = _mm_add_epi16(ys, terms[part][2]);
                const __m128i bg =
                    _mm_unpacklo_epi8(_mm_packus_epi16(b, b), _mm_packus_epi16(g, g));
                const __m128i ra = _mm_unpacklo_epi8(_mm_packus_epi16(r, r), alpha);
                uint8_t* at = outs[row] + (static_cast<size_t>(x) + 8 * part) * 4;
                _mm_storeu_si128(reinterpret_cast<__m128i*>(at), _mm_unpacklo_epi16(bg, ra));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(at + 16), _mm_unpackhi_epi16(bg, ra));
            }
        }
    }
    return x;
}
#endif

// The pixels [*first, *last) of a row of `width` pixels outside which `a` and `b` are equal;
// *first == *last when the rows are equal. Sixteen bytes at a time, from either end: the C
// runtime's memcmp under Wine compares byte by byte, and most rows are equal all through.
void ChangedPixels(const uint8_t* a, const uint8_t* b, int32_t width, int32_t* first,
                   int32_t* last) {
    const size_t bytes = static_cast<size_t>(width) * 4;
    size_t begin = 0;
#ifdef __SSE2__
    while (begin + 16 <= bytes &&
           _mm_movemask_epi8(_mm_cmpeq_epi8(
               _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + begin)),
               _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + begin)))) == 0xFFFF) {
        begin += 16;
    }
#endif
    while (begin < bytes && a[begin] == b[begin])
        ++begin;
    if (begin == bytes) {
        *first = *last = 0;
        return;
    }
    size_t end = bytes;
#ifdef __SSE2__
    while (end >= begin + 16 &&
           _mm_movemask_epi8(_mm_cmpeq_epi8(
               _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + end - 16)),
               _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + end - 16)))) == 0xFFFF) {
        end -= 16;
    }
#endif
    while (end > begin && a[end - 1] == b[end - 1])
        --end;
    *first = static_cast<int32_t>(begin / 4);
    *last = static_cast<int32_t>((end + 3) / 4);
}

inline int LumaOf(int r, int g, int b) {
    return ((66 * r + 129 * g + 25 * b + 128) >> 8) + 16;
}
inline int CbOf(int r, int g, int b) {
    return ((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128;
}
inline int CrOf(int r, int g, int b) {
    return ((112 * r - 94 * g - 18 * b + 128) >> 8) + 128;
}

} // namespace

void YuvToHost(const uint8_t* yuv, const YuvLayout& layout, uint8_t* host) {
    if (!yuv || !host || !layout.Valid())
        return;
    const uint8_t* planeU = yuv + layout.LumaBytes();
    const uint8_t* planeV = planeU + layout.ChromaBytes();
    const size_t rowBytes = static_cast<size_t>(layout.width) * 4;
    for (int32_t row = 0; row < layout.height; row += 2) {
        const uint8_t* y0 = yuv + static_cast<size_t>(row) * layout.width;
        const uint8_t* y1 = y0 + layout.width;
        const uint8_t* u = planeU + static_cast<size_t>(row / 2) * (layout.width / 2);
        const uint8_t* v = planeV + static_cast<size_t>(row / 2) * (layout.width / 2);
        // The host's first row is the picture's bottom row.
        uint8_t* out0 = host + static_cast<size_t>(layout.height - 1 - row) * rowBytes;
        uint8_t* out1 = out0 - rowBytes;
        int32_t done = 0;
#ifdef __SSE2__
        done = RowPairToHostSse2(y0, y1, u, v, layout.width, out0, out1);
#endif
        RowToHost(y0, u, v, done, layout.width, out0);
        RowToHost(y1, u, v, done, layout.width, out1);
    }
}

int32_t StampedRowsToYuv(const uint8_t* source, const uint8_t* stamped, const YuvLayout& layout,
                         uint8_t* yuv, int32_t* top, int32_t* bottom) {
    if (!source || !stamped || !yuv || !layout.Valid())
        return 0;
    uint8_t* planeU = yuv + layout.LumaBytes();
    uint8_t* planeV = planeU + layout.ChromaBytes();
    const size_t rowBytes = static_cast<size_t>(layout.width) * 4;
    int32_t changedRows = 0;
    for (int32_t pair = 0; pair < layout.height / 2; ++pair) {
        const uint8_t* rows[2];
        int32_t first[2], last[2];
        for (int i = 0; i < 2; ++i) {
            const size_t hostRow = static_cast<size_t>(layout.height - 1 - (2 * pair + i));
            rows[i] = stamped + hostRow * rowBytes;
            ChangedPixels(rows[i], source + hostRow * rowBytes, layout.width, &first[i], &last[i]);
        }
        // Only the changed pixels come back: the rest keep the decoder's own values rather than
        // a round trip through BGRA. Every 8-bit colour gives luma 16..235 and chroma 16..240:
        // no clamping, and loops the compiler turns into vector code.
        int32_t from = layout.width, to = 0;
        for (int i = 0; i < 2; ++i) {
            if (first[i] == last[i])
                continue;
            if (top && changedRows == 0)
                *top = 2 * pair + i;
            if (bottom)
                *bottom = 2 * pair + i;
            ++changedRows;
            from = std::min(from, first[i]);
            to = std::max(to, last[i]);
            uint8_t* y = yuv + static_cast<size_t>(2 * pair + i) * layout.width;
            const uint8_t* p = rows[i];
            for (int32_t x = first[i]; x < last[i]; ++x) {
                y[x] = static_cast<uint8_t>(LumaOf(p[4 * x + 2], p[4 * x + 1], p[4 * x]));
            }
        }
        if (from >= to)
            continue;
        // Each chroma sample whose two by two block holds a changed pixel.
        uint8_t* u = planeU + static_cast<size_t>(pair) * (layout.width / 2);
        uint8_t* v = planeV + static_cast<size_t>(pair) * (layout.width / 2);
        const uint8_t* top = rows[0];
        const uint8_t* bottom = rows[1];
        for (int32_t x = from / 2; x < (to + 1) / 2; ++x) {
            const int b =
                (top[8 * x] + top[8 * x + 4] + bottom[8 * x] + bottom[8 * x + 4] + 2) >> 2;
            const int g =
                (top[8 * x + 1] + top[8 * x + 5] + bottom[8 * x + 1] + bottom[8 * x + 5] + 2) >> 2;
            const int r =
                (top[8 * x + 2] + top[8 * x + 6] + bottom[8 * x + 2] + bottom[8 * x + 6] + 2) >> 2;
            u[x] = static_cast<uint8_t>(CbOf(r, g, b));
            v[x] = static_cast<uint8_t>(CrOf(r, g, b));
        }
    }
    return changedRows;
}

} // namespace camtag
