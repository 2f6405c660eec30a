#include "FrameBands.h"

#include <algorithm>
#include <cstring>

namespace camtag {

BandStamper::BandStamper(const YuvLayout& frame, uint8_t* hostSource, const uint8_t* hostStamped,
                         int32_t margin)
    : frame_(frame), source_(hostSource), stamped_(hostStamped),
      margin_(margin), next_{0, frame.height} {}

// Host bytes [0, below) and [above, end): the rows under and over the band.
void BandStamper::FillPattern(size_t below, size_t above) {
    // xorshift32: cheap, and no colour a stamp could draw matches it row after row.
    uint32_t state = 0x9E3779B9u;
    const size_t all = frame_.HostBytes();
    for (size_t i = 0; i < all; i += 4) {
        if (i == below)
            i = above;
        if (i >= all)
            break;
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        std::memcpy(source_ + i, &state, 3);
        source_[i + 3] = 255;
    }
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
    YuvToHost(rows, layout, source_ + below);
    if (!stamp())
        return -1;
    if (!whole && (std::memcmp(stamped_, source_, below) != 0 ||
                   std::memcmp(stamped_ + above, source_ + above, all - above) != 0)) {
        next_ = Band{0, frame_.height};
        return kBandWantWhole;
    }
    int32_t first = 0, last = -1;
    StampedRowsToYuv(source_ + below, stamped_ + below, layout, rows, &first, &last);
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
