// The band exchange between the front and camtag-render --bands: a stamp covers a strip of the
// picture, so the rest of a frame need not cross the pipes into the renderer and back. The front
// keeps each whole frame and sends only the rows the renderer asked for.
//
// To the renderer, per frame: two little-endian int32, the band's first row and its number of
// rows, then those rows of the 4:2:0 frame: the luma rows, then the rows of U, then of V. From
// it, per frame: three int32, a status (kBandStamped: the rows follow, stamped; kBandWantWhole:
// the frame is wanted whole, and comes again with its header) and the band wanted for the next
// frame, then with kBandStamped the rows as they came, stamped.
//
// Plain C++: built both into the Linux front and into the Windows renderer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace camtag {

struct Band {
    int32_t top = 0;
    int32_t rows = 0;
    bool operator==(const Band& o) const { return top == o.top && rows == o.rows; }
};

constexpr int32_t kBandStamped = 0;
constexpr int32_t kBandWantWhole = 1;

// The bytes of a band of a 4:2:0 frame `width` pixels wide.
inline size_t BandBytes(int32_t width, const Band& band) {
    return static_cast<size_t>(width) * static_cast<size_t>(band.rows) * 3 / 2;
}

// Whether a band fits a frame of `height` rows: even edges (4:2:0 chroma rows cover two), at
// least two rows.
inline bool BandFits(const Band& band, int32_t height) {
    return band.top >= 0 && band.rows >= 2 && band.top % 2 == 0 && band.rows % 2 == 0 &&
           band.rows <= height - band.top;
}

} // namespace camtag
