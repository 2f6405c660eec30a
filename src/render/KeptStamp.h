// Draw once, blend per frame. A stamp's look on the band (what the drawing makes of each byte of
// the frame beneath) is kept between calls, keyed by everything that made it: the text, the
// drawing settings, the frame size and the field layout. A frame whose key is kept is blended
// from it without GDI or GDI+; a new key is drawn twice with GDI+ (over black and over white)
// and kept. Each byte of the result is within one level of drawing directly (FrameStamp::Draw):
// the layers' alpha blends are linear in what lies beneath, and only their rounding differs.
//
// When a look's text changes at every frame (timecode with frames), a kept stamp would never be
// used again and its second drawing would be waste: once a stamp of a look served no more than
// a frame's two fields, StampFromKept leaves the look's new texts to others until one stays for
// three. StampFromRunning takes them: it keeps one stamp per look and draws again only the part
// a new text changed.
//
//     if (!StampFromKept(geometry, settings, text, source, destination) &&
//         !StampFromRunning(geometry, settings, text, source, destination)) {
//         ... draw directly with FrameStamp ...
//     }
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "render/FrameExchange.h"
#include "settings/FilterSettings.h"

namespace camtag {

// Where a new stamp's two drawing buffers come from: in the module the host's memory, as for a
// frame drawn directly, so that a host out of memory fails the frame alike. A block is the
// giver's and lives until StampFromKept returns; null when there is none.
class StampMemory {
public:
    virtual uint32_t* Block(size_t bytes) = 0;

protected:
    ~StampMemory() = default;
};

// Writes the whole destination frame (stamped rows blended, every other row copied from the
// source) and returns true; false leaves the destination untouched and the frame to be drawn
// directly. `geometry` must be drawable; `text` is UTF-16 and zero-terminated. Without `memory`
// the buffers come from the module's heap. Safe on several threads at once: a call takes the
// stamp it uses out of the pool.
bool StampFromKept(const FrameGeometry& geometry, const FilterSettings& settings, const WCHAR* text,
                   const void* source, void* destination, StampMemory* memory = nullptr);

// Stamps drawn with GDI+ for keeping (process-wide), and frames blended from a kept stamp.
long KeptStampsDrawn();
long KeptStampsBlended();

// For a look whose text changes at every frame (what StampFromKept leaves to direct drawing):
// one stamp per look is kept and, for a new text, drawn again only where the text's figures or
// its box changed; the frame is then blended from it as from a kept stamp, within one level of
// drawing directly. Writes the whole destination frame and returns true; false leaves the
// destination untouched (nothing to draw, or no memory or GDI+) and the frame to be drawn
// directly. What is drawn is drawn in two blocks from `memory` (as StampFromKept's). Safe on
// several threads at once.
bool StampFromRunning(const FrameGeometry& geometry, const FilterSettings& settings,
                      const WCHAR* text, const void* source, void* destination,
                      StampMemory* memory = nullptr);

// Running stamps drawn whole (a new look, band or geometry), updated in part, and parts whose
// pixels were taken from an earlier drawing of the same figures instead of drawn.
long RunningStampsRedrawn();
long RunningStampsUpdated();
long RunningPatchesReused();

// Blends `bytes` bytes of a frame row in place: each byte becomes
// overBlack + round(byte x (overWhite - overBlack) / 255), given as `base` and `keep`.
void BlendStampBytes(uint8_t* pixels, const uint8_t* base, const uint8_t* keep, size_t bytes);

} // namespace camtag
