// Drawing surface and pixel helpers for the render tests.
#pragma once

#include <windows.h>
#include <gdiplus.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "render/MemBm.h"
#include "settings/FilterSettings.h"
#include "support/TestSupport.h"

namespace camtag::test {

// Settings with every layer off, opaque white text, left aligned, no rotation.
FilterSettings PlainSettings();

struct Box {
    int left = 0, top = 0, right = -1, bottom = -1; // inclusive; empty when right < left
    bool empty() const { return right < left; }
    int width() const { return right - left + 1; }
    int height() const { return bottom - top + 1; }
};

// A memory bitmap filled with one colour; pixels are 0x00RRGGBB, row 0 at the top.
class Canvas {
public:
    Canvas(int width, int height, uint32_t background);
    // Draws `text` with a font of `emSize` pixels (face "Arial") at the origin.
    void Draw(const FilterSettings& settings, float emSize, float originX, float originY,
              const wchar_t* text);
    std::vector<uint32_t> Pixels() const;
    // Bounding box of the pixels for which `keep` is true.
    Box Find(const std::function<bool(uint32_t)>& keep) const;
    Box Changed() const;
    int width() const { return width_; }
    int height() const { return height_; }
    uint32_t background() const { return background_; }
    const CMemBm& bitmap() const { return bm_; }

private:
    CMemBm bm_;
    int width_;
    int height_;
    uint32_t background_;
};

inline int Red(uint32_t p) {
    return (p >> 16) & 0xFF;
}
inline int Green(uint32_t p) {
    return (p >> 8) & 0xFF;
}
inline int Blue(uint32_t p) {
    return p & 0xFF;
}

// The em size's line height in the font family of a LOGFONT face, as GDI+ reports the metrics.
float LineHeightOf(const char* face, float emSize);

} // namespace camtag::test
