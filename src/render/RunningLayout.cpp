#include "render/RunningLayout.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

namespace camtag {

namespace gp = Gdiplus::DllExports;

namespace {

std::atomic<long> composed{0};

bool IsDigit(WCHAR c) {
    return c >= L'0' && c <= L'9';
}

bool IsFigureStart(BYTE type) {
    return (type & Gdiplus::PathPointTypePathTypeMask) == Gdiplus::PathPointTypeStart;
}

bool SamePath(const OverlayPathData& a, const OverlayPathData& b) {
    return a.emSize == b.emSize && a.types == b.types && a.points.size() == b.points.size() &&
           std::memcmp(a.points.data(), b.points.data(),
                       a.points.size() * sizeof(Gdiplus::PointF)) == 0;
}

// Where each figure of the path starts, and then its end.
std::vector<size_t> FigureStarts(const OverlayPathData& path) {
    std::vector<size_t> starts;
    for (size_t i = 0; i < path.types.size(); ++i) {
        if (i == 0 || IsFigureStart(path.types[i]))
            starts.push_back(i);
    }
    starts.push_back(path.points.size());
    return starts;
}

} // namespace

long RunningLayout::Composed() {
    return composed.load(std::memory_order_relaxed);
}

bool RunningLayout::LayOut(const std::vector<WCHAR>& text, OverlayPathData* path) {
    WCHAR chars[kOverlayTextMax + 1] = {};
    std::copy(text.begin(), text.end(), chars);
    const FilterSettings& s = *settings_;
    if (fontState_ == 1) {
        return OverlayShape(s, font_, place_->originX, place_->originY, chars).PathData(path);
    }
    LOGFONTA logfont = place_->font;
    Gdiplus::GpFont* font = nullptr;
    if (gp::GdipCreateFontFromLogfontA(dc_, &logfont, &font) != Gdiplus::Ok || !font) {
        return false;
    }
    OverlayShape shape(s, font, place_->originX, place_->originY, chars);
    gp::GdipDeleteFont(font);
    if (!shape.PathData(path)) {
        return false;
    }
    if (fontState_ == 0) {
        // The font's family found by its name spares making the font, if it lays out alike.
        fontState_ = -1;
        LayoutFont learnt;
        OverlayPathData again;
        if (shape.FontOfLayout(&learnt) &&
            OverlayShape(s, learnt, place_->originX, place_->originY, chars).PathData(&again) &&
            SamePath(again, *path)) {
            font_ = learnt;
            fontState_ = 1;
        }
    }
    return true;
}

bool RunningLayout::FigureCount(WCHAR c, size_t* count) {
    for (const auto& known : counts_) {
        if (known.first == c) {
            *count = known.second;
            return true;
        }
    }
    OverlayPathData alone;
    if (!LayOut({c}, &alone)) {
        return false;
    }
    *count = FigureStarts(alone).size() - 1;
    counts_.emplace_back(c, *count);
    return true;
}

bool RunningLayout::DigitsAdvanceAlike() {
    // The figures of the "0" after each digit stand where that digit's advance ends.
    size_t zero = 0;
    if (!FigureCount(L'0', &zero) || zero == 0) {
        return false;
    }
    OverlayPathData first;
    size_t firstAt = 0;
    for (WCHAR d = L'0'; d <= L'9'; ++d) {
        size_t count = 0;
        OverlayPathData pair;
        if (!FigureCount(d, &count) || !LayOut({d, L'0'}, &pair)) {
            return false;
        }
        const std::vector<size_t> starts = FigureStarts(pair);
        if (starts.size() != count + zero + 1) {
            return false;
        }
        const size_t at = starts[count];
        if (d == L'0') {
            first = pair;
            firstAt = at;
        } else if (pair.points.size() - at != first.points.size() - firstAt ||
                   std::memcmp(&pair.points[at], &first.points[firstAt],
                               (pair.points.size() - at) * sizeof(Gdiplus::PointF)) != 0 ||
                   !std::equal(pair.types.begin() + static_cast<ptrdiff_t>(at), pair.types.end(),
                               first.types.begin() + static_cast<ptrdiff_t>(firstAt))) {
            return false;
        }
    }
    return true;
}

bool RunningLayout::Compose(const std::vector<WCHAR>& text, OverlayPathData* path) const {
    if (text.empty() || text.size() != text_.size()) {
        return false;
    }
    for (size_t j = 0; j < text.size(); ++j) {
        if (text[j] != text_[j] &&
            (!IsDigit(text[j]) || !IsDigit(text_[j]) || !digits_[j][text[j] - L'0'].known)) {
            return false;
        }
    }
    path->emSize = path_.emSize;
    path->points.clear();
    path->types.clear();
    for (size_t j = 0; j < text.size(); ++j) {
        if (text[j] == text_[j]) {
            const auto first = static_cast<ptrdiff_t>(runs_[j]);
            const auto end = static_cast<ptrdiff_t>(runs_[j + 1]);
            path->points.insert(path->points.end(), path_.points.begin() + first,
                                path_.points.begin() + end);
            path->types.insert(path->types.end(), path_.types.begin() + first,
                               path_.types.begin() + end);
        } else {
            const Figures& digit = digits_[j][text[j] - L'0'];
            path->points.insert(path->points.end(), digit.points.begin(), digit.points.end());
            path->types.insert(path->types.end(), digit.types.begin(), digit.types.end());
        }
    }
    return true;
}

bool RunningLayout::Keep(const std::vector<WCHAR>& text, const OverlayPathData& path) {
    // Each character's figures, in the text's order.
    const std::vector<size_t> starts = FigureStarts(path);
    std::vector<size_t> runs(text.size() + 1);
    size_t figure = 0;
    for (size_t j = 0; j < text.size(); ++j) {
        size_t count = 0;
        // Line feeds part the lines, and a carriage return before one is no part of its line.
        const bool apart = text[j] == L'\n' ||
                           (text[j] == L'\r' && (j + 1 == text.size() || text[j + 1] == L'\n'));
        if (!apart && !FigureCount(text[j], &count)) {
            return false;
        }
        runs[j] = starts[figure];
        figure += count;
        if (figure >= starts.size()) {
            return false;
        }
    }
    if (figure + 1 != starts.size()) {
        return false;
    }
    runs[text.size()] = path.points.size();

    // Digits seen in a place hold for texts with the same other characters.
    bool sameOthers = text.size() == text_.size();
    for (size_t j = 0; sameOthers && j < text.size(); ++j) {
        sameOthers = text[j] == text_[j] || (IsDigit(text[j]) && IsDigit(text_[j]));
    }
    if (!sameOthers) {
        digits_.assign(text.size(), {});
    }
    for (size_t j = 0; j < text.size(); ++j) {
        if (!IsDigit(text[j]))
            continue;
        Figures& digit = digits_[j][text[j] - L'0'];
        if (digit.known)
            continue;
        digit.points.assign(path.points.begin() + static_cast<ptrdiff_t>(runs[j]),
                            path.points.begin() + static_cast<ptrdiff_t>(runs[j + 1]));
        digit.types.assign(path.types.begin() + static_cast<ptrdiff_t>(runs[j]),
                           path.types.begin() + static_cast<ptrdiff_t>(runs[j + 1]));
        digit.known = true;
    }
    text_ = text;
    path_ = path;
    runs_ = std::move(runs);
    return true;
}

bool RunningLayout::Lay(HDC dc, const FilterSettings& settings, const StampPlacement& place,
                        const WCHAR* text, OverlayPathData* path) {
    if (!text || !path) {
        return false;
    }
    dc_ = dc;
    settings_ = &settings;
    place_ = &place;
    bool laid = false;
    try {
        std::vector<WCHAR> chars;
        for (int i = 0; i < kOverlayTextMax && text[i] != 0; ++i) {
            chars.push_back(text[i]);
        }
        if (composable_ == 1 && Compose(chars, path)) {
            laid = true;
            if (checksLeft_ > 0) {
                // The first composed paths of a look are checked against GDI+'s.
                --checksLeft_;
                OverlayPathData real;
                laid = LayOut(chars, &real);
                if (laid && !SamePath(real, *path)) {
                    composable_ = -1;
                    *path = std::move(real);
                }
            }
            if (laid && composable_ == 1)
                composed.fetch_add(1, std::memory_order_relaxed);
        } else {
            laid = LayOut(chars, path);
        }
        if (laid && composable_ == 0) {
            composable_ = DigitsAdvanceAlike() ? 1 : -1;
        }
        if (laid && composable_ == 1 && !Keep(chars, *path)) {
            composable_ = -1;
        }
    } catch (const std::bad_alloc&) {
        composable_ = -1;
        laid = false;
    }
    dc_ = nullptr;
    settings_ = nullptr;
    place_ = nullptr;
    return laid;
}

} // namespace camtag
