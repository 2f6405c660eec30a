#include "FrameBands.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace camtag {

namespace {

// memcmp's equality, in steps the compiler makes vector code of (Wine's memcmp takes eight
// bytes at a time).
bool SameBytes(const uint8_t* a, const uint8_t* b, size_t n) {
    size_t i = 0;
    for (; i + 64 <= n; i += 64) {
        uint64_t differ = 0;
        for (size_t k = 0; k < 64; k += 8) {
            uint64_t x, y;
            std::memcpy(&x, a + i + k, 8);
            std::memcpy(&y, b + i + k, 8);
            differ |= x ^ y;
        }
        if (differ)
            return false;
    }
    return std::memcmp(a + i, b + i, n - i) == 0;
}

uint8_t* PageDown(uint8_t* at, size_t page) {
    return reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(at) / page * page);
}

uint8_t* PageUp(uint8_t* at, size_t page) {
    return PageDown(at + page - 1, page);
}

} // namespace

BandStamper::BandStamper(const YuvLayout& frame, uint8_t* host, int32_t margin)
    : frame_(frame), host_(host), pattern_(frame.HostBytes()),
      margin_(margin), next_{0, frame.height} {
    // xorshift32: cheap, and no colour a stamp could draw matches it row after row. Made once;
    // each band takes the rows outside it.
    uint32_t state = 0x9E3779B9u;
    for (size_t i = 0; i < pattern_.size(); i += 4) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        std::memcpy(&pattern_[i], &state, 3);
        pattern_[i + 3] = 255;
    }
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    page_ = system.dwPageSize;
    // Watched memory tells which pages were written; other memory is compared byte by byte.
    if (ResetWatch())
        written_.resize(frame.HostBytes() / page_ + 1);
}

// Forgets which of the frame's whole pages were written; false when its memory is not watched.
bool BandStamper::ResetWatch() {
    uint8_t* first = PageUp(host_, page_);
    uint8_t* last = PageDown(host_ + frame_.HostBytes(), page_);
    return first < last && ResetWriteWatch(first, last - first) == 0;
}

// Whether host bytes [from, to) still hold the pattern. Of watched memory only the pages the
// module wrote are read: the rest of the frame stays out of the cache the encoder works in.
bool BandStamper::PatternIntact(size_t from, size_t to) {
    auto same = [&](uint8_t* at, size_t n) {
        return SameBytes(at, pattern_.data() + (at - host_), n);
    };
    uint8_t* begin = host_ + from;
    uint8_t* end = host_ + to;
    uint8_t* first = PageUp(begin, page_);
    uint8_t* last = PageDown(end, page_);
    ULONG_PTR count = written_.size();
    ULONG granularity = 0;
    if (!Watched() || first >= last ||
        GetWriteWatch(WRITE_WATCH_FLAG_RESET, first, last - first, written_.data(), &count,
                      &granularity) != 0 ||
        granularity != page_)
        return same(begin, to - from);
    for (ULONG_PTR i = 0; i < count; ++i)
        if (!same(static_cast<uint8_t*>(written_[i]), page_))
            return false;
    return same(begin, first - begin) && same(last, end - last);
}

// Host bytes [0, below) and [above, end): the rows under and over the band.
void BandStamper::FillPattern(size_t below, size_t above) {
    std::memcpy(host_, pattern_.data(), below);
    std::memcpy(host_ + above, pattern_.data() + above, pattern_.size() - above);
    // From here on, a page written outside the band is the module's.
    if (Watched())
        ResetWatch();
}

int32_t BandStamper::Stamp(const Band& band, uint8_t* rows, const std::function<bool()>& stamp) {
    const bool whole = band.top == 0 && band.rows == frame_.height;
    const size_t rowBytes = static_cast<size_t>(frame_.width) * 4;
    const size_t below = static_cast<size_t>(frame_.height - band.top - band.rows) * rowBytes;
    const size_t above = static_cast<size_t>(frame_.height - band.top) * rowBytes;
    const size_t all = frame_.HostBytes();
    if (!whole && !(patterned_ == band))
        FillPattern(below, above);
    patterned_ = whole ? Band() : band;
    const YuvLayout layout{frame_.width, band.rows};
    YuvToHost(rows, layout, host_ + below);
    before_.assign(host_ + below, host_ + above);
    if (!stamp())
        return -1;
    if (!whole && (!PatternIntact(0, below) || !PatternIntact(above, all))) {
        // The pattern is broken: put anew for the next band.
        patterned_ = Band();
        next_ = Band{0, frame_.height};
        return kBandWantWhole;
    }
    int32_t first = 0, last = -1;
    StampedRowsToYuv(before_.data(), host_ + below, layout, rows, &first, &last);
    if (last < first) {
        // Nothing drawn: the band stays; after a whole frame, the least band, since the pattern
        // shows where a stamp that comes later falls (a blank tape never sends a frame whole).
        next_ = whole ? Band{0, 2} : band;
        return kBandStamped;
    }
    // The rows the stamp reached, with a margin for texts that reach further than this one, and
    // with the band's own rows: a stamp that moves only widens it.
    int32_t top = std::max(0, (band.top + first - margin_) & ~1);
    int32_t end = std::min(frame_.height, (band.top + last + 1 + margin_ + 1) & ~1);
    if (!whole) {
        top = std::min(top, band.top);
        end = std::max(end, band.top + band.rows);
    }
    // A band of most of the frame saves little: the whole frame, without the pattern's check.
    next_ = (end - top) * 4 > frame_.height * 3 ? Band{0, frame_.height} : Band{top, end - top};
    return kBandStamped;
}

} // namespace camtag
