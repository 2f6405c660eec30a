// The renderer's frames on the pipes as ffmpeg's raw 4:2:0 (planes Y, U, V, the top row first)
// and in the host as 32-bit BGRA (the bottom row first). A frame goes into the host whole; only
// the rows the stamping changed come back, every other row keeps the decoder's values, so that
// neither pipe nor encoder handles more than the picture's 4:2:0 bytes and nothing but the stamp
// goes through a colour conversion twice.
//
// Conversions: ITU-R BT.601, studio range (DV's), chroma taken from the nearest sample going in
// and averaged over each 2x2 block coming back.
#pragma once

#include <cstddef>
#include <cstdint>

namespace camtag {

struct YuvLayout {
    int32_t width = 0;  // even
    int32_t height = 0; // even
    size_t LumaBytes() const { return static_cast<size_t>(width) * static_cast<size_t>(height); }
    size_t ChromaBytes() const { return LumaBytes() / 4; }
    size_t Bytes() const { return LumaBytes() + 2 * ChromaBytes(); }
    size_t HostBytes() const { return LumaBytes() * 4; }
    bool Valid() const { return width > 0 && height > 0 && width % 2 == 0 && height % 2 == 0; }
};

// Every pixel of the 4:2:0 frame into the host frame (rows of width x 4 bytes, the bottom row
// first); alpha 255.
void YuvToHost(const uint8_t* yuv, const YuvLayout& layout, uint8_t* host);

// The rows in which `stamped` differs from `source` (both host frames) back into the 4:2:0 frame
// the source was made from: the luma of each changed row, the chroma of each pair of rows with a
// changed row. Returns the number of changed rows; *top and *bottom (when given) the first and
// last of them counted from the top, untouched when none changed.
int32_t StampedRowsToYuv(const uint8_t* source, const uint8_t* stamped, const YuvLayout& layout,
                         uint8_t* yuv, int32_t* top = nullptr, int32_t* bottom = nullptr);

} // namespace camtag
