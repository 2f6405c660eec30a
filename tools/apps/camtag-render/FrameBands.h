// Frames a band of rows at a time. A stamp covers a strip of the picture; the rest of a frame
// need not cross the pipes into the renderer and back, nor go through a colour conversion. With
// --bands the front keeps each whole frame and sends only the rows the renderer asked for; the
// renderer asks for the rows the stamp was last seen in, with a margin (two rows while there is no
// stamp), and for the whole frame whenever the module draws outside the rows it was given.
//
// On the renderer's input, per frame: two little-endian int32, the band's first row and its
// number of rows (both even), then those rows of the 4:2:0 frame: the luma rows, then the rows
// of U, then of V. On its output, per frame: three int32, a status (0: the rows follow, stamped;
// 1: the frame is wanted whole, and comes again with its header) and the band wanted for the next
// frame (first row, rows), then with status 0 the rows as they came, stamped.
#pragma once

#include "YuvFrames.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace camtag {

struct Band {
    int32_t top = 0;
    int32_t rows = 0;
    bool operator==(const Band& o) const { return top == o.top && rows == o.rows; }
};

constexpr int32_t kBandStamped = 0;
constexpr int32_t kBandWantWhole = 1;

// Rows of the frame's 4:2:0 bytes that a band holds.
inline size_t BandBytes(int32_t width, const Band& band) {
    return static_cast<size_t>(width) * static_cast<size_t>(band.rows) * 3 / 2;
}

// Whether a band asked for fits a frame of `height` rows: even edges, at least two rows.
inline bool BandFits(const Band& band, int32_t height) {
    return band.top >= 0 && band.rows >= 2 && band.top % 2 == 0 && band.rows % 2 == 0 &&
           band.rows <= height - band.top;
}

// Stamps frames given as bands, in the host's source and destination frames (BGRA, the bottom
// row first). The host's rows outside the band hold a pseudo-random pattern: a module that draws
// there changes it, and such a frame is wanted whole rather than written wrong.
class BandStamper {
public:
    BandStamper(const YuvLayout& frame, uint8_t* hostSource, const uint8_t* hostStamped,
                int32_t margin = 16);

    // Stamps the frame whose rows `band` are in `rows` (BandBytes of them), which receives the
    // stamped rows. stamp() runs the module on the host frames. kBandStamped, or kBandWantWhole
    // (rows untouched), or -1 when stamp() failed.
    int32_t Stamp(const Band& band, uint8_t* rows, const std::function<bool()>& stamp);

    // The band to ask for next: at first the whole frame.
    Band next() const { return next_; }

private:
    void FillPattern(const Band& band);

    YuvLayout frame_;
    uint8_t* source_;
    const uint8_t* stamped_;
    int32_t margin_;
    Band next_;
    Band patterned_; // the band whose outside holds the pattern (rows 0: none)
};

} // namespace camtag
