#include "render/KeptStamp.h"

#include "render/FrameStamp.h"
#include "host/KeptObjects.h"
#include "render/OverlayRenderer.h"

#include <gdiplus.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstddef>
#include <cstring>
#include <new>
#include <vector>

namespace camtag {

namespace {

// Everything the stamp's pixels depend on, the text last so that a look is the part before it.
// Compared byte for byte: made zeroed, so that padding and the unused end of the text compare
// equal. The field parity is not in it: the stamp covers the band's scan lines of both fields.
struct StampKey {
    // What the text is made of: an instance stamping dates and one stamping timecodes in the
    // same look keep their stamps apart.
    int32_t mode;
    int32_t timecodemode;
    int32_t width;
    int32_t rows; // bitmap rows: height x field factor
    int32_t factor;
    uint32_t color;
    uint32_t outlinecolor;
    uint32_t colorshadow;
    uint32_t colorbkground;
    uint32_t transparency;
    int32_t align;
    int32_t angle;
    int32_t bkground;
    int32_t drawoutline;
    int32_t drawshadow;
    uint32_t referenceHeight;
    double x;
    double y;
    LOGFONTA font;
    WCHAR text[kOverlayTextMax + 1];
};

constexpr size_t kLookBytes = offsetof(StampKey, text);

StampKey MakeKey(const FrameGeometry& g, const FilterSettings& s, const WCHAR* text) {
    StampKey key;
    std::memset(&key, 0, sizeof key);
    key.mode = s.mode;
    key.timecodemode = s.timecodemode;
    key.width = g.width;
    key.rows = BitmapHeight(g);
    key.factor = g.factor;
    key.color = s.color;
    key.outlinecolor = s.outlinecolor;
    key.colorshadow = s.colorshadow;
    key.colorbkground = s.colorbkground;
    key.transparency = s.transparency;
    key.align = s.align;
    key.angle = s.angle;
    key.bkground = s.bkground;
    key.drawoutline = s.drawoutline;
    key.drawshadow = s.drawshadow;
    key.referenceHeight = s.referenceHeight;
    key.x = s.x;
    key.y = s.y;
    key.font = s.font;
    for (int i = 0; i < kOverlayTextMax && text[i] != 0; ++i) {
        key.text[i] = text[i];
    }
    return key;
}

struct Stamp {
    StampKey key;
    bool drawn = false; // false: this look's texts are drawn directly (its last one was not reused)
    bool empty = false; // nothing to draw: the frame is the source
    uint32_t uses = 0;  // frames seen with this key
    int32_t firstLine = 0; // the band's first scan line
    int32_t lines = 0;
    int32_t left = 0; // the first column of any line that changes
    int32_t columns = 0;
    std::vector<uint8_t> base;  // lines x columns pixels: the drawing over black
    std::vector<uint8_t> keep;  // over white less over black: how much of the frame shows through
    std::vector<int32_t> spans; // per line, the columns [begin, end) within `columns` that change
};

// A text seen on this many frames (or fields) is kept: one frame's two fields are not enough.
constexpr uint32_t kUsesToKeep = 3;

// A few looks: two instances (date and timecode) or two clips on the same frames keep theirs.
KeptObjects<Stamp, 4> keptStamps;
std::atomic<long> stampsDrawn{0};
std::atomic<long> stampsBlended{0};

// A pixel the drawing leaves as it is: black stays black and white stays white.
inline bool Untouched(uint32_t overBlack, uint32_t overWhite) {
    return overBlack == 0 && overWhite == 0xFFFFFFFFu;
}

// The module's heap, for callers without memory of their own.
class HeapMemory : public StampMemory {
public:
    uint32_t* Block(size_t bytes) override {
        if (used_ == 2)
            return nullptr;
        try {
            blocks_[used_].resize(bytes / 4);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
        return blocks_[used_++].data();
    }

private:
    std::vector<uint32_t> blocks_[2];
    int used_ = 0;
};

bool Draw(const FrameGeometry& g, const FilterSettings& settings, const WCHAR* text,
          StampMemory& memory, Stamp* stamp) {
    FrameStamp frameStamp(g, settings, text);
    const size_t bytes = frameStamp.BufferBytes();
    stamp->empty = bytes == 0;
    stamp->lines = stamp->columns = 0;
    if (stamp->empty) {
        stamp->drawn = true;
        stampsDrawn.fetch_add(1, std::memory_order_relaxed);
        return true;
    }
    const ScanBand band = frameStamp.band();
    const size_t width = static_cast<size_t>(g.width);
    try {
        uint32_t* black = memory.Block(bytes);
        uint32_t* white = black ? memory.Block(bytes) : nullptr;
        if (!white || !frameStamp.DrawOverBlackAndWhite(black, white)) {
            return false;
        }
        stamp->spans.assign(static_cast<size_t>(band.count) * 2, 0);
        size_t left = width;
        size_t right = 0;
        for (size_t line = 0; line < static_cast<size_t>(band.count); ++line) {
            const uint32_t* b = black + line * width;
            const uint32_t* w = white + line * width;
            size_t begin = 0;
            size_t end = width;
            while (begin < end && Untouched(b[begin], w[begin]))
                ++begin;
            while (end > begin && Untouched(b[end - 1], w[end - 1]))
                --end;
            stamp->spans[2 * line] = static_cast<int32_t>(begin);
            stamp->spans[2 * line + 1] = static_cast<int32_t>(end);
            if (begin < end) {
                left = begin < left ? begin : left;
                right = end > right ? end : right;
            }
        }
        if (right <= left) {
            left = right = 0;
        }
        const size_t columns = right - left;
        stamp->firstLine = band.first;
        stamp->lines = band.count;
        stamp->left = static_cast<int32_t>(left);
        stamp->columns = static_cast<int32_t>(columns);
        stamp->base.resize(static_cast<size_t>(band.count) * columns * 4);
        stamp->keep.resize(stamp->base.size());
        for (size_t line = 0; line < static_cast<size_t>(band.count); ++line) {
            int32_t& begin = stamp->spans[2 * line];
            int32_t& end = stamp->spans[2 * line + 1];
            const bool changes = begin < end;
            begin = changes ? begin - static_cast<int32_t>(left) : 0;
            end = changes ? end - static_cast<int32_t>(left) : 0;
            const auto* b = reinterpret_cast<const uint8_t*>(black + line * width + left);
            const auto* w = reinterpret_cast<const uint8_t*>(white + line * width + left);
            uint8_t* base = stamp->base.data() + line * columns * 4;
            uint8_t* keep = stamp->keep.data() + line * columns * 4;
            for (size_t i = 0; i < columns * 4; ++i) {
                base[i] = b[i];
                keep[i] = static_cast<uint8_t>(w[i] > b[i] ? w[i] - b[i] : 0);
            }
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    stamp->drawn = true;
    stampsDrawn.fetch_add(1, std::memory_order_relaxed);
    return true;
}

// A stamp's pixels for the band: per line the columns [begin, end) (within `columns` from
// `left`) that change, and base and keep for lines x columns pixels.
struct BandPixels {
    bool empty;
    int32_t firstLine;
    int32_t lines;
    int32_t left;
    int32_t columns;
    const int32_t* spans;
    const uint8_t* base;
    const uint8_t* keep;
};

void Blend(const BandPixels& stamp, const FrameGeometry& g, const void* source, void* destination) {
    const auto* from = static_cast<const uint8_t*>(source);
    auto* to = static_cast<uint8_t*>(destination);
    const size_t rowBytes = static_cast<size_t>(g.width) * 4;
    const size_t columns = static_cast<size_t>(stamp.columns);
    for (int32_t r = 0; r < g.height; ++r) {
        uint8_t* row = to + static_cast<size_t>(r) * static_cast<size_t>(g.stride);
        CopyRow(row, from + static_cast<size_t>(r) * static_cast<size_t>(g.sourceStride), rowBytes);
        if (stamp.empty)
            continue;
        // The frame row's scan line, as the band path maps a field's rows into the bitmap.
        const int32_t scanLine = g.factor == 2 ? 2 * r + (g.parity == 0 ? 1 : 0) : r;
        const int32_t line = scanLine - stamp.firstLine;
        if (line < 0 || line >= stamp.lines)
            continue;
        const int32_t begin = stamp.spans[2 * static_cast<size_t>(line)];
        const int32_t end = stamp.spans[2 * static_cast<size_t>(line) + 1];
        if (begin >= end)
            continue;
        const size_t at = (static_cast<size_t>(line) * columns + static_cast<size_t>(begin)) * 4;
        BlendStampBytes(row + (static_cast<size_t>(stamp.left) + static_cast<size_t>(begin)) * 4,
                        stamp.base + at, stamp.keep + at, static_cast<size_t>(end - begin) * 4);
    }
}

void Blend(const Stamp& stamp, const FrameGeometry& g, const void* source, void* destination) {
    Blend(BandPixels{stamp.empty, stamp.firstLine, stamp.lines, stamp.left, stamp.columns,
                     stamp.spans.data(), stamp.base.data(), stamp.keep.data()},
          g, source, destination);
}

// --- Texts that change at every frame: one stamp per look, redrawn only where the text changed ---
//
// A pixel's drawing depends only on the figures (closed outlines) of the path that reach it: a
// closed figure whose bounds do not hold a point crosses any line from it to afar an even number
// of times, or not at all, so it changes neither the fill's nor the shadow's inside-ness there,
// and its outline's pen and anti-aliasing reach only a little beyond it. So when a text becomes
// another of the same look, only the pixels that a figure of one text and not of the other
// reaches (and those of the box's edges that moved) can change; they are drawn again with every
// figure that reaches them and the whole text's box, and the rest of the kept stamp stays.

// Beyond a figure's points, the pixels its layers can reach: half the outline's pen, the
// anti-aliasing and the rounding to whole pixels, with room to spare (as TouchedRows).
constexpr int64_t kFigureMargin = 4;
// Beyond the box's edges, the pixels its anti-aliased edge can reach.
constexpr int64_t kBoxMargin = 2;
// Paths farther out than this (no frame is that large) are drawn whole.
constexpr double kFarOut = 1e7;

// Pixels [left, right) x [top, bottom) in world coordinates; empty when right <= left or
// bottom <= top.
struct Area {
    int64_t left = 0;
    int64_t top = 0;
    int64_t right = 0;
    int64_t bottom = 0;
    bool Empty() const { return right <= left || bottom <= top; }
    bool Meets(const Area& other) const {
        return !Empty() && !other.Empty() && left < other.right && other.left < right &&
               top < other.bottom && other.top < bottom;
    }
    void Add(const Area& other) {
        if (other.Empty())
            return;
        if (Empty()) {
            *this = other;
            return;
        }
        left = other.left < left ? other.left : left;
        top = other.top < top ? other.top : top;
        right = other.right > right ? other.right : right;
        bottom = other.bottom > bottom ? other.bottom : bottom;
    }
    Area Grown(int64_t by) const { return Area{left - by, top - by, right + by, bottom + by}; }
};

// One closed figure of a path: its points, the pixels its layers can reach, and a hash of its
// points and types that finds an equal figure quickly.
struct Figure {
    size_t first;
    size_t count;
    Area reach;
    uint64_t hash;
};

// Splits a path into its figures; false when a point is not a finite number near the frame.
// Every bound is whole and computed in double from floats, so both builds agree on it.
bool Figures(const OverlayPathData& path, int64_t shadow, std::vector<Figure>* figures) {
    figures->clear();
    const size_t count = path.points.size();
    for (size_t first = 0; first < count;) {
        size_t end = first + 1;
        while (end < count && (path.types[end] & Gdiplus::PathPointTypePathTypeMask) !=
                                  Gdiplus::PathPointTypeStart)
            ++end;
        double left = kFarOut, top = kFarOut, right = -kFarOut, bottom = -kFarOut;
        uint64_t hash = 1469598103934665603ull;
        for (size_t i = first; i < end; ++i) {
            const double x = path.points[i].X;
            const double y = path.points[i].Y;
            if (!(x > -kFarOut && x < kFarOut && y > -kFarOut && y < kFarOut))
                return false;
            left = x < left ? x : left;
            right = x > right ? x : right;
            top = y < top ? y : top;
            bottom = y > bottom ? y : bottom;
            uint8_t bytes[sizeof(Gdiplus::PointF) + 1];
            std::memcpy(bytes, &path.points[i], sizeof(Gdiplus::PointF));
            bytes[sizeof(Gdiplus::PointF)] = path.types[i];
            for (uint8_t b : bytes)
                hash = (hash ^ b) * 1099511628211ull;
        }
        const Area reach{static_cast<int64_t>(std::floor(left)) - kFigureMargin,
                         static_cast<int64_t>(std::floor(top)) - kFigureMargin,
                         static_cast<int64_t>(std::ceil(right)) + shadow + kFigureMargin + 1,
                         static_cast<int64_t>(std::ceil(bottom)) + shadow + kFigureMargin + 1};
        figures->push_back(Figure{first, end - first, reach, hash});
        first = end;
    }
    return true;
}

bool SameFigure(const OverlayPathData& a, const Figure& fa, const OverlayPathData& b,
                const Figure& fb) {
    return fa.hash == fb.hash && fa.count == fb.count &&
           std::memcmp(&a.points[fa.first], &b.points[fb.first],
                       fa.count * sizeof(Gdiplus::PointF)) == 0 &&
           std::memcmp(&a.types[fa.first], &b.types[fb.first], fa.count) == 0;
}

// The pixels a box of `before` and not of `after`, or the other way round, can change.
Area BoxChange(bool hadBox, const Gdiplus::Rect& before, bool hasBox, const Gdiplus::Rect& after) {
    const auto whole = [](const Gdiplus::Rect& r) {
        return Area{r.X, r.Y, static_cast<int64_t>(r.X) + r.Width,
                    static_cast<int64_t>(r.Y) + r.Height};
    };
    Area change;
    if (!hadBox || !hasBox) {
        if (hadBox)
            change.Add(whole(before));
        if (hasBox)
            change.Add(whole(after));
        return change.Grown(kBoxMargin);
    }
    const Area a = whole(before);
    const Area b = whole(after);
    const Area both{a.left < b.left ? a.left : b.left, a.top < b.top ? a.top : b.top,
                    a.right > b.right ? a.right : b.right,
                    a.bottom > b.bottom ? a.bottom : b.bottom};
    // A point in one box and not the other lies beyond an edge that moved, between its places.
    const auto edge = [&](int64_t p, int64_t q, bool across) {
        const int64_t low = p < q ? p : q;
        const int64_t high = p < q ? q : p;
        if (low == high)
            return;
        change.Add(across ? Area{low, both.top, high, both.bottom}
                          : Area{both.left, low, both.right, high});
    };
    edge(a.left, b.left, true);
    edge(a.right, b.right, true);
    edge(a.top, b.top, false);
    edge(a.bottom, b.bottom, false);
    return change.Empty() ? change : change.Grown(kBoxMargin);
}

// Base and keep of `pixels` pixels from the drawing over black and over white.
void BaseAndKeep(const uint32_t* black, const uint32_t* white, uint32_t* base, uint32_t* keep,
                 size_t pixels) {
    const auto* b = reinterpret_cast<const uint8_t*>(black);
    const auto* w = reinterpret_cast<const uint8_t*>(white);
    auto* k = reinterpret_cast<uint8_t*>(keep);
    if (base != black)
        std::memcpy(base, black, pixels * 4);
    for (size_t i = 0; i < pixels * 4; ++i) {
        k[i] = static_cast<uint8_t>(w[i] > b[i] ? w[i] - b[i] : 0);
    }
}

// Pixels of running stamps straight from the system, given back whole when freed: stamps of
// bands of every size come and go as looks change, and the heap would keep the holes.
template <typename T> struct PageAllocator {
    using value_type = T;
    PageAllocator() = default;
    template <typename U> PageAllocator(const PageAllocator<U>&) {}
    T* allocate(size_t count) {
        void* pages =
            count <= SIZE_MAX / sizeof(T)
                ? VirtualAlloc(nullptr, count * sizeof(T), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)
                : nullptr;
        if (!pages)
            throw std::bad_alloc();
        return static_cast<T*>(pages);
    }
    void deallocate(T* pages, size_t) { VirtualFree(pages, 0, MEM_RELEASE); }
    bool operator==(const PageAllocator&) const { return true; }
    bool operator!=(const PageAllocator&) const { return false; }
};
using Pixels = std::vector<uint32_t, PageAllocator<uint32_t>>;

// Pixels of the stamp drawn before: the same figures and part of the box drawn on the same
// pixels give the same pixels again. A running timecode's last digits come round every second,
// so most of its frames find their pixels here and need no GDI+ at all.
struct Patch {
    uint64_t hash = 0; // of everything below but the pixels
    ScanBand lines;
    int64_t left = 0;
    int64_t right = 0;
    bool hasBox = false;
    Gdiplus::Rect box;
    std::vector<Gdiplus::PointF> points; // the figures drawn
    std::vector<BYTE> types;
    Pixels base; // lines x (right - left) pixels
    Pixels keep;
    uint64_t used = 0; // when last drawn or taken
};

// Enough for a second of frames at 30 per second and the carries between.
constexpr size_t kPatchesKept = 40;

struct Running {
    StampKey key;
    ScanBand band;
    OverlayPathData path; // the text's turned path, as drawn
    std::vector<Figure> figures;
    bool hasBox = false;
    Gdiplus::Rect box;
    Pixels base;                // band lines x width: the drawing over black
    Pixels keep;                // over white less over black
    std::vector<int32_t> spans; // per line, the columns [begin, end) that change
    RunningLayout layout;       // the look's texts laid out
    std::vector<Patch> patches;
    uint64_t ticks = 0;
};

// Two: a timecode instance on each of two clips keeps its own.
KeptObjects<Running, 2> runningStamps;
std::atomic<long> runningRedrawn{0};
std::atomic<long> runningUpdated{0};
std::atomic<long> patchesReused{0};

uint64_t Mix(uint64_t hash, int64_t value) {
    for (int i = 0; i < 8; ++i)
        hash = (hash ^ static_cast<uint8_t>(value >> (8 * i))) * 1099511628211ull;
    return hash;
}

// The columns of band line `line` that the drawing changes, found again after columns [left,
// right) of it changed: beyond those the columns that change are the ones found before.
void FindSpan(Running& r, size_t width, size_t line, size_t left, size_t right) {
    const uint32_t* base = r.base.data() + line * width;
    const uint32_t* keep = r.keep.data() + line * width;
    const auto changes = [&](size_t x) { return base[x] != 0 || keep[x] != 0xFFFFFFFFu; };
    const size_t before = static_cast<size_t>(r.spans[2 * line]);
    const size_t after = static_cast<size_t>(r.spans[2 * line + 1]);
    const bool had = before < after;
    size_t begin = left;
    if (had && before < left) {
        begin = before;
    } else if (had && before >= right) {
        // None before `left`: the first in the changed columns, else the first beyond them.
        while (begin < right && !changes(begin))
            ++begin;
        if (begin == right)
            begin = before;
    } else {
        while (begin < width && !changes(begin))
            ++begin;
    }
    size_t end = right;
    if (had && after > right) {
        end = after;
    } else if (had && after <= left) {
        while (end > left && !changes(end - 1))
            --end;
        if (end == left)
            end = after;
    } else {
        while (end > 0 && !changes(end - 1))
            --end;
    }
    const bool changed = begin < end;
    r.spans[2 * line] = changed ? static_cast<int32_t>(begin) : 0;
    r.spans[2 * line + 1] = changed ? static_cast<int32_t>(end) : 0;
}

// The whole band drawn anew, over black and white in the giver's two blocks.
bool Redraw(FrameStamp& frameStamp, size_t width, Running& r, StampMemory& memory) {
    const size_t pixels = static_cast<size_t>(r.band.count) * width;
    uint32_t* black = memory.Block(pixels * 4);
    uint32_t* white = black ? memory.Block(pixels * 4) : nullptr;
    if (!white || !frameStamp.DrawOverBlackAndWhite(black, white))
        return false;
    r.base.resize(pixels);
    r.keep.resize(pixels);
    r.spans.assign(static_cast<size_t>(r.band.count) * 2, 0);
    BaseAndKeep(black, white, r.base.data(), r.keep.data(), pixels);
    for (size_t line = 0; line < static_cast<size_t>(r.band.count); ++line)
        FindSpan(r, width, line, 0, width);
    runningRedrawn.fetch_add(1, std::memory_order_relaxed);
    return true;
}

// Only what changed from the kept text's drawing is drawn again (in the giver's two blocks);
// `path` and `figures` are the new text's.
bool Update(FrameStamp& frameStamp, const FrameGeometry& g, Running& r, const OverlayPathData& path,
            const std::vector<Figure>& figures, bool hasBox, const Gdiplus::Rect& box,
            StampMemory& memory) {
    Area dirty = BoxChange(r.hasBox, r.box, hasBox, box);
    std::vector<char> kept(r.figures.size(), 0);
    for (const Figure& figure : figures) {
        size_t match = 0;
        while (match < r.figures.size() &&
               (kept[match] || !SameFigure(path, figure, r.path, r.figures[match])))
            ++match;
        if (match < r.figures.size()) {
            kept[match] = 1;
        } else {
            dirty.Add(figure.reach);
        }
    }
    for (size_t i = 0; i < r.figures.size(); ++i) {
        if (!kept[i])
            dirty.Add(r.figures[i].reach);
    }
    // Cut to the band and the frame.
    const int64_t rows = BitmapHeight(g);
    const Area band{0, rows - r.band.first - r.band.count, g.width, rows - r.band.first};
    dirty = Area{dirty.left > band.left ? dirty.left : band.left,
                 dirty.top > band.top ? dirty.top : band.top,
                 dirty.right < band.right ? dirty.right : band.right,
                 dirty.bottom < band.bottom ? dirty.bottom : band.bottom};
    if (dirty.Empty())
        return true;

    // Every figure that reaches the pixels, and the box where it meets them.
    OverlayPathData some;
    some.emSize = path.emSize;
    uint64_t hash = 1469598103934665603ull;
    for (const Figure& figure : figures) {
        if (!figure.reach.Meets(dirty))
            continue;
        hash = Mix(hash, static_cast<int64_t>(figure.hash));
        some.points.insert(
            some.points.end(), path.points.begin() + static_cast<ptrdiff_t>(figure.first),
            path.points.begin() + static_cast<ptrdiff_t>(figure.first + figure.count));
        some.types.insert(some.types.end(),
                          path.types.begin() + static_cast<ptrdiff_t>(figure.first),
                          path.types.begin() + static_cast<ptrdiff_t>(figure.first + figure.count));
    }
    // The box cut a little beyond the pixels, so that its cut edges do not reach them.
    Gdiplus::Rect part;
    bool partOfBox = false;
    if (hasBox) {
        const Area around = dirty.Grown(kBoxMargin + 1);
        const int64_t left = box.X > around.left ? box.X : around.left;
        const int64_t top = box.Y > around.top ? box.Y : around.top;
        const int64_t right = static_cast<int64_t>(box.X) + box.Width < around.right
                                  ? static_cast<int64_t>(box.X) + box.Width
                                  : around.right;
        const int64_t bottom = static_cast<int64_t>(box.Y) + box.Height < around.bottom
                                   ? static_cast<int64_t>(box.Y) + box.Height
                                   : around.bottom;
        partOfBox = right > left && bottom > top;
        part = Gdiplus::Rect(static_cast<INT>(left), static_cast<INT>(top),
                             static_cast<INT>(right - left), static_cast<INT>(bottom - top));
    }
    const ScanBand lines = ScanBandOfRows(g, dirty.top, dirty.bottom);
    const size_t width = static_cast<size_t>(g.width);
    const size_t left = static_cast<size_t>(dirty.left);
    const size_t columns = static_cast<size_t>(dirty.right - dirty.left);
    const size_t count = static_cast<size_t>(lines.count);
    for (int64_t value : {int64_t{lines.first}, int64_t{lines.count}, dirty.left, dirty.right})
        hash = Mix(hash, value);
    if (partOfBox) {
        for (INT value : {part.X, part.Y, part.Width, part.Height})
            hash = Mix(hash, value);
    }
    const auto same = [&](const Patch& p) {
        return p.hash == hash && p.lines.first == lines.first && p.lines.count == lines.count &&
               p.left == dirty.left && p.right == dirty.right && p.hasBox == partOfBox &&
               (!partOfBox || (p.box.X == part.X && p.box.Y == part.Y &&
                               p.box.Width == part.Width && p.box.Height == part.Height)) &&
               p.points.size() == some.points.size() &&
               std::memcmp(p.points.data(), some.points.data(),
                           some.points.size() * sizeof(Gdiplus::PointF)) == 0 &&
               std::memcmp(p.types.data(), some.types.data(), some.types.size()) == 0;
    };
    Patch* patch = nullptr;
    for (Patch& p : r.patches) {
        if (same(p))
            patch = &p;
    }
    const size_t firstLine = static_cast<size_t>(lines.first - r.band.first);
    if (patch) {
        for (size_t i = 0; i < count; ++i) {
            const size_t at = (firstLine + i) * width + left;
            std::memcpy(r.base.data() + at, patch->base.data() + i * columns, columns * 4);
            std::memcpy(r.keep.data() + at, patch->keep.data() + i * columns, columns * 4);
        }
        patchesReused.fetch_add(1, std::memory_order_relaxed);
    } else {
        const size_t pixels = count * width;
        uint32_t* black = memory.Block(pixels * 4);
        uint32_t* white = black ? memory.Block(pixels * 4) : nullptr;
        if (!white || !frameStamp.DrawFiguresOverBlackAndWhite(some, partOfBox ? &part : nullptr,
                                                               lines, black, white)) {
            return false;
        }
        for (size_t i = 0; i < count; ++i) {
            const size_t at = (firstLine + i) * width + left;
            BaseAndKeep(black + i * width + left, white + i * width + left, r.base.data() + at,
                        r.keep.data() + at, columns);
        }
        // Kept in place of the one unused longest, unless larger than a sixteenth of the band (a
        // new line, a turned text): those are not worth their memory.
        if (count * columns * 16 <= static_cast<size_t>(r.band.count) * width) {
            if (r.patches.size() < kPatchesKept) {
                r.patches.emplace_back();
                patch = &r.patches.back();
            } else {
                patch = &r.patches.front();
                for (Patch& p : r.patches)
                    patch = p.used < patch->used ? &p : patch;
            }
            patch->hash = hash;
            patch->lines = lines;
            patch->left = dirty.left;
            patch->right = dirty.right;
            patch->hasBox = partOfBox;
            patch->box = part;
            patch->points = some.points;
            patch->types = some.types;
            patch->base.resize(count * columns);
            patch->keep.resize(count * columns);
            for (size_t i = 0; i < count; ++i) {
                const size_t at = (firstLine + i) * width + left;
                std::memcpy(patch->base.data() + i * columns, r.base.data() + at, columns * 4);
                std::memcpy(patch->keep.data() + i * columns, r.keep.data() + at, columns * 4);
            }
        }
    }
    if (patch)
        patch->used = ++r.ticks;
    for (size_t i = 0; i < count; ++i)
        FindSpan(r, width, firstLine + i, left, left + columns);
    runningUpdated.fetch_add(1, std::memory_order_relaxed);
    return true;
}

} // namespace

void BlendStampBytes(uint8_t* __restrict pixels, const uint8_t* __restrict base,
                     const uint8_t* __restrict keep, size_t bytes) {
    // Plain byte arithmetic in 16 bits, which the compiler turns into vector code; x / 255
    // rounded is (x + 128 + ((x + 128) >> 8)) >> 8 for every x up to 255 x 255.
    for (size_t i = 0; i < bytes; ++i) {
        const unsigned x = static_cast<unsigned>(pixels[i]) * keep[i] + 128u;
        pixels[i] = static_cast<uint8_t>(base[i] + ((x + (x >> 8)) >> 8));
    }
}

long KeptStampsDrawn() {
    return stampsDrawn.load(std::memory_order_relaxed);
}
long KeptStampsBlended() {
    return stampsBlended.load(std::memory_order_relaxed);
}
long RunningStampsRedrawn() {
    return runningRedrawn.load(std::memory_order_relaxed);
}
long RunningStampsUpdated() {
    return runningUpdated.load(std::memory_order_relaxed);
}
long RunningPatchesReused() {
    return patchesReused.load(std::memory_order_relaxed);
}

bool StampFromKept(const FrameGeometry& geometry, const FilterSettings& settings, const WCHAR* text,
                   const void* source, void* destination, StampMemory* memory) {
    if (!text || !source || !destination || !FrameGeometryValid(geometry)) {
        return false;
    }
    const StampKey key = MakeKey(geometry, settings, text);
    Stamp* stamp = keptStamps.Take(
        [&](const Stamp& kept) { return std::memcmp(&kept.key, &key, sizeof key) == 0; });
    if (stamp) {
        if (stamp->uses < UINT32_MAX)
            ++stamp->uses;
        if (!stamp->drawn && stamp->uses < kUsesToKeep) {
            // Drawn directly before: still too few frames with this text to be worth a stamp.
            keptStamps.Give(stamp);
            return false;
        }
    } else {
        stamp = keptStamps.Take([&](const Stamp& kept) {
            return (!kept.drawn || kept.uses < kUsesToKeep) &&
                   std::memcmp(&kept.key, &key, kLookBytes) == 0;
        });
        if (stamp) {
            // A text of this look served a frame or its two fields only: texts that change at
            // every frame are cheaper drawn once, directly. Remembered, so that a text that
            // stays is kept; its pixels go, so that only a drawn stamp holds memory.
            stamp->key = key;
            stamp->drawn = false;
            stamp->uses = 1;
            std::vector<uint8_t>().swap(stamp->base);
            std::vector<uint8_t>().swap(stamp->keep);
            std::vector<int32_t>().swap(stamp->spans);
            keptStamps.Give(stamp);
            return false;
        }
        // A new stamp beside the others of the look: another instance may be drawing the same
        // look with texts of its own (date and timecode on one clip).
        stamp = new (std::nothrow) Stamp;
        if (!stamp) {
            return false;
        }
        stamp->key = key;
        stamp->uses = 1;
    }
    HeapMemory heap;
    if (!stamp->drawn && !Draw(geometry, settings, text, memory ? *memory : heap, stamp)) {
        delete stamp;
        return false;
    }
    Blend(*stamp, geometry, source, destination);
    stampsBlended.fetch_add(1, std::memory_order_relaxed);
    keptStamps.Give(stamp);
    return true;
}

bool StampFromRunning(const FrameGeometry& geometry, const FilterSettings& settings,
                      const WCHAR* text, const void* source, void* destination,
                      StampMemory* memory) {
    if (!text || !source || !destination || !FrameGeometryValid(geometry)) {
        return false;
    }
    const StampKey key = MakeKey(geometry, settings, text);
    Running* running = runningStamps.Take(
        [&](const Running& kept) { return std::memcmp(&kept.key, &key, kLookBytes) == 0; });
    if (running && std::memcmp(&running->key, &key, sizeof key) == 0) {
        // The other field of the frame: the stamp is this text's already.
    } else {
        HeapMemory heap;
        StampMemory& drawing = memory ? *memory : heap;
        const bool fresh = !running;
        try {
            if (fresh)
                running = new Running;
        } catch (const std::bad_alloc&) {
            return false;
        }
        try {
            FrameStamp frameStamp(geometry, settings, text, &running->layout);
            if (frameStamp.BufferBytes() == 0) {
                // Nothing to draw; the kept stamp stays the earlier text's.
                if (fresh) {
                    delete running;
                } else {
                    runningStamps.Give(running);
                }
                return false;
            }
            OverlayPathData path;
            std::vector<Figure> figures;
            Gdiplus::Rect box;
            const bool hasBox = frameStamp.BoxBounds(&box);
            bool drawn = frameStamp.PathData(&path);
            const double offset = OverlayRenderer::ShadowOffset(path.emSize);
            const int64_t shadow =
                settings.drawshadow != 0 ? static_cast<int64_t>(std::ceil(offset)) : 0;
            drawn = drawn && Figures(path, shadow, &figures);
            if (drawn) {
                // Anything but a new text on the same band is drawn whole.
                const bool same = !running->base.empty() &&
                                  running->band.first == frameStamp.band().first &&
                                  running->band.count == frameStamp.band().count;
                running->band = frameStamp.band();
                drawn = same ? Update(frameStamp, geometry, *running, path, figures, hasBox, box,
                                      drawing)
                             : Redraw(frameStamp, static_cast<size_t>(geometry.width), *running,
                                      drawing);
            }
            if (!drawn) {
                delete running;
                return false;
            }
            running->key = key;
            running->path = std::move(path);
            running->figures = std::move(figures);
            running->hasBox = hasBox;
            running->box = box;
        } catch (const std::bad_alloc&) {
            delete running;
            return false;
        }
    }
    Blend(BandPixels{false, running->band.first, running->band.count, 0, geometry.width,
                     running->spans.data(), reinterpret_cast<const uint8_t*>(running->base.data()),
                     reinterpret_cast<const uint8_t*>(running->keep.data())},
          geometry, source, destination);
    runningStamps.Give(running);
    return true;
}

} // namespace camtag
