// The texts of one look laid out one after another, each as OverlayShape lays it out, but most
// of a running timecode's without GDI+. GDI+ puts each glyph's figures where the advances of the
// glyphs before it end, so when only digits change and every digit advances alike, the new
// text's path is the last one with the changed digits' figures taken from an earlier text that
// had the same digit in the same place. What that needs it learns from GDI+ once per look: the
// font, how many figures each character gives, whether the digits advance alike; and it checks
// its first composed paths against GDI+'s own. Anything else (another character changed, a digit
// not seen in its place yet, a check that failed) is laid out by GDI+.
#pragma once

#include <windows.h>

#include <gdiplus.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/OverlayRenderer.h"
#include "settings/FilterSettings.h"

namespace camtag {

class RunningLayout {
public:
    // The turned path of `text` (UTF-16, zero-terminated) in the look's font at the place, as an
    // OverlayShape made with the font from GdipCreateFontFromLogfontA on `dc` gives it. The same
    // settings and place on every call: one RunningLayout per look. False when GDI+ fails or
    // memory runs out.
    bool Lay(HDC dc, const FilterSettings& settings, const StampPlacement& place, const WCHAR* text,
             OverlayPathData* path);

    // Paths composed without GDI+ (process-wide).
    static long Composed();

private:
    struct Figures {
        std::vector<Gdiplus::PointF> points;
        std::vector<BYTE> types;
        bool known = false;
    };

    bool LayOut(const std::vector<WCHAR>& text, OverlayPathData* path);
    bool FigureCount(WCHAR c, size_t* count);
    bool DigitsAdvanceAlike();
    bool Compose(const std::vector<WCHAR>& text, OverlayPathData* path) const;
    bool Keep(const std::vector<WCHAR>& text, const OverlayPathData& path);

    // The call's, for the layouts GDI+ makes.
    HDC dc_ = nullptr;
    const FilterSettings* settings_ = nullptr;
    const StampPlacement* place_ = nullptr;

    LayoutFont font_;
    int fontState_ = 0;  // 0 not learnt yet; 1 learnt; -1 the font is made for every layout
    int composable_ = 0; // 0 not learnt yet; 1 digits may be put in; -1 never
    int checksLeft_ = 3; // composed paths still to be checked against GDI+'s
    std::vector<std::pair<WCHAR, size_t>> counts_; // figures per character
    std::vector<WCHAR> text_;                      // the last text
    OverlayPathData path_;                         // its path
    std::vector<size_t> runs_; // per character of text_, where its figures start; then the end
    std::vector<std::array<Figures, 10>>
        digits_; // per place of text_, each digit's figures seen there
};

} // namespace camtag
