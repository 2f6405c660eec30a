// What the module should draw, made of the renderer's own pieces: tests compare the module's
// frames and preview with these pictures pixel for pixel.
#pragma once

#include "support/StampDrawing.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace camtag::test {

// A composed text (ANSI, as the module composes it) as the renderer gets it.
inline std::wstring RendererText(const char* text) {
    WCHAR wide[kOverlayTextMax + 1] = {};
    EXPECT_GT(MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, wide, kOverlayTextMax + 1), 0);
    return wide;
}

// The frame execute should give back: the source frame (width pixels a row, rows back to back)
// with the text drawn through the renderer, fields mapped as the module maps them.
inline std::vector<uint32_t> ExpectedFrame(const std::vector<uint32_t>& source, int32_t width,
                                           const FilterSettings& s, const char* text,
                                           int32_t factor = 1, int32_t parity = 0) {
    std::vector<uint32_t> out = source;
    const int32_t fieldRows = static_cast<int32_t>(source.size()) / width;
    FrameDesc desc{width, fieldRows, width * 4, 32};
    FrameGeometry g;
    EXPECT_EQ(PrepareFrameGeometry(desc, desc, factor, parity, &g), FrameAction::kDraw);
    std::vector<uint32_t> buffer(PixelBufferBytes(g) / 4);
    EXPECT_TRUE(StampWholeFrame(g, s, RendererText(text).c_str(), source.data(), buffer.data(),
                                out.data()));
    return out;
}

// Pixels whose colour (alpha aside) differs, and every pixel one picture has beyond the other.
inline size_t DifferingPixels(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    size_t count = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        if ((a[i] & 0x00FFFFFF) != (b[i] & 0x00FFFFFF))
            ++count;
    return count + (a.size() > b.size() ? a.size() - b.size() : b.size() - a.size());
}

} // namespace camtag::test
