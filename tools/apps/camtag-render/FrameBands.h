// The renderer's side of the band exchange (BandExchange.h): it asks for the rows the stamp was
// last seen in, with a margin (two rows while there is no stamp), and for the whole frame whenever
// the module draws outside the rows it was given.
#pragma once

#include "BandExchange.h"
#include "YuvFrames.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace camtag {

// Stamps frames given as bands, in place in the host's frame (BGRA, the bottom row first): a
// copy of the whole frame for each band of a tenth of it would cost more than the stamp. The
// host's rows outside the band hold a pseudo-random pattern: a module that draws there changes
// it, and such a frame is wanted whole rather than written wrong.
class BandStamper {
public:
    BandStamper(const YuvLayout& frame, uint8_t* host, int32_t margin = 16);

    // Stamps the frame whose rows `band` are in `rows` (BandBytes of them), which receives the
    // stamped rows. stamp() runs the module on the host frames. kBandStamped, or kBandWantWhole
    // (rows untouched), or -1 when stamp() failed.
    int32_t Stamp(const Band& band, uint8_t* rows, const std::function<bool()>& stamp);

    // The band to ask for next: at first the whole frame.
    Band next() const { return next_; }
    // Whether the host's memory tells which pages were written, so that only those are read.
    bool Watched() const { return !written_.empty(); }

private:
    void FillPattern(size_t below, size_t above);
    bool ResetWatch();
    bool PatternIntact(size_t from, size_t to);

    YuvLayout frame_;
    uint8_t* host_;
    std::vector<uint8_t> pattern_; // the whole frame's pattern, whose rows outside a band it takes
    std::vector<uint8_t> before_;  // the band's rows before the module stamped them
    size_t page_ = 4096;
    std::vector<void*> written_; // pages GetWriteWatch found written; none: memory not watched
    int32_t margin_;
    Band next_;
    Band patterned_; // the band whose outside holds the pattern (rows 0: none)
};

} // namespace camtag
