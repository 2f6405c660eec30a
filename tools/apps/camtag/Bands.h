// The front's side of the renderer's band exchange (camtag-render --bands): each decoded 4:2:0
// frame stays whole in a pipe of the front's while only the band of rows the renderer asked for
// goes to it; the stamped band comes back into its place on the way to the encoder. The bytes
// move between pipes inside the kernel (tee, splice): nothing is copied but the band.
#pragma once

#include "BandExchange.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace camtag::front {

struct BandRoute {
    int decoded = -1;      // the decoder's frames
    int toRenderer = -1;   // the renderer's input
    int fromRenderer = -1; // its output
    int hold = -1;         // a pipe that holds a whole frame while its band is stamped
    int held = -1;         // and its read end
    int discard = -1;      // /dev/null, for the rows the stamped band replaces
    int width = 0;
    int height = 0;
    int top = 0; // the band the renderer asked for (at first the whole frame)
    int rows = 0;
};

// Whether `hold` can hold a whole frame of `frameBytes` (widened to it where it can be), as it
// comes cut into pieces.
bool HoldsFrame(int hold, size_t frameBytes);

// One frame from the decoder through the renderer to `to` (-1: nowhere), as PassFrame passes
// it: the frame's size when the decoder's frame was whole and the renderer answered; less when
// either ended or broke the exchange. *delivered says whether all of it reached `to`.
size_t StampFrameInBands(BandRoute& route, int to, bool* delivered);

// A 4:2:0 frame held in this process (the front's own decoder's): its planes and their strides.
struct FramePlanes {
    uint8_t* data[3] = {};
    int stride[3] = {};
    int width = 0;
    int height = 0;
};

// The same exchange with a frame held in memory, in two halves so that the renderer stamps one
// frame while this process encodes the one before: the band's rows of `frame` out, then the
// renderer's answer with the stamped rows put back in place (a frame the renderer wants whole
// goes to it whole first). *band, the band the frame went with, becomes the band the renderer
// wants of the next frame. False when the renderer ended or broke the exchange.
bool SendBand(int toRenderer, const FramePlanes& frame, const Band& band,
              std::vector<uint8_t>& scratch);
bool TakeBand(int toRenderer, int fromRenderer, const FramePlanes& frame, Band* band,
              std::vector<uint8_t>& scratch);

} // namespace camtag::front
