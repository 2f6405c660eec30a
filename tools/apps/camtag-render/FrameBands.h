// The renderer's side of the band exchange (BandExchange.h): it asks for the rows the stamp was
// last seen in, with a margin (two rows while there is no stamp), and for the whole frame whenever
// the module draws outside the rows it was given.
#pragma once

#include "BandExchange.h"
#include "YuvFrames.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace camtag {

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
    void FillPattern(size_t below, size_t above);

    YuvLayout frame_;
    uint8_t* source_;
    const uint8_t* stamped_;
    int32_t margin_;
    Band next_;
    Band patterned_; // the band whose outside holds the pattern (rows 0: none)
};

} // namespace camtag
