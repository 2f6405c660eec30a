#include "render/KeptStamp.h"

#include "render/FrameStamp.h"
#include "host/KeptObjects.h"
#include "render/OverlayRenderer.h"

#include <atomic>
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
    uint32_t uses = 0; // frames seen with this key
    int32_t firstLine = 0; // the band's first scan line
    int32_t lines = 0;
    int32_t left = 0; // the first column of any line that changes
    int32_t columns = 0;
    std::vector<uint8_t> base; // lines x columns pixels: the drawing over black
    std::vector<uint8_t> keep; // over white less over black: how much of the frame shows through
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
        if (used_ == 2) return nullptr;
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

bool Draw(const FrameGeometry& g, const FilterSettings& settings, const WCHAR* text, StampMemory& memory,
          Stamp* stamp) {
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
            while (begin < end && Untouched(b[begin], w[begin])) ++begin;
            while (end > begin && Untouched(b[end - 1], w[end - 1])) --end;
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

void Blend(const Stamp& stamp, const FrameGeometry& g, const void* source, void* destination) {
    const auto* from = static_cast<const uint8_t*>(source);
    auto* to = static_cast<uint8_t*>(destination);
    const size_t rowBytes = static_cast<size_t>(g.width) * 4;
    const size_t columns = static_cast<size_t>(stamp.columns);
    for (int32_t r = 0; r < g.height; ++r) {
        uint8_t* row = to + static_cast<size_t>(r) * static_cast<size_t>(g.stride);
        std::memmove(row, from + static_cast<size_t>(r) * static_cast<size_t>(g.sourceStride), rowBytes);
        if (stamp.empty) continue;
        // The frame row's scan line, as the band path maps a field's rows into the bitmap.
        const int32_t scanLine = g.factor == 2 ? 2 * r + (g.parity == 0 ? 1 : 0) : r;
        const int32_t line = scanLine - stamp.firstLine;
        if (line < 0 || line >= stamp.lines) continue;
        const int32_t begin = stamp.spans[2 * static_cast<size_t>(line)];
        const int32_t end = stamp.spans[2 * static_cast<size_t>(line) + 1];
        if (begin >= end) continue;
        const size_t at = (static_cast<size_t>(line) * columns + static_cast<size_t>(begin)) * 4;
        BlendStampBytes(row + (static_cast<size_t>(stamp.left) + static_cast<size_t>(begin)) * 4,
                        stamp.base.data() + at, stamp.keep.data() + at, static_cast<size_t>(end - begin) * 4);
    }
}

} // namespace

void BlendStampBytes(uint8_t* __restrict pixels, const uint8_t* __restrict base, const uint8_t* __restrict keep,
                     size_t bytes) {
    // Plain byte arithmetic in 16 bits, which the compiler turns into vector code; x / 255
    // rounded is (x + 128 + ((x + 128) >> 8)) >> 8 for every x up to 255 x 255.
    for (size_t i = 0; i < bytes; ++i) {
        const unsigned x = static_cast<unsigned>(pixels[i]) * keep[i] + 128u;
        pixels[i] = static_cast<uint8_t>(base[i] + ((x + (x >> 8)) >> 8));
    }
}

long KeptStampsDrawn() { return stampsDrawn.load(std::memory_order_relaxed); }
long KeptStampsBlended() { return stampsBlended.load(std::memory_order_relaxed); }

bool StampFromKept(const FrameGeometry& geometry, const FilterSettings& settings, const WCHAR* text,
                   const void* source, void* destination, StampMemory* memory) {
    if (!text || !source || !destination || !FrameGeometryValid(geometry)) {
        return false;
    }
    const StampKey key = MakeKey(geometry, settings, text);
    Stamp* stamp = keptStamps.Take([&](const Stamp& kept) { return std::memcmp(&kept.key, &key, sizeof key) == 0; });
    if (stamp) {
        if (stamp->uses < UINT32_MAX) ++stamp->uses;
        if (!stamp->drawn && stamp->uses < kUsesToKeep) {
            // Drawn directly before: still too few frames with this text to be worth a stamp.
            keptStamps.Give(stamp);
            return false;
        }
    } else {
        stamp = keptStamps.Take([&](const Stamp& kept) {
            return (!kept.drawn || kept.uses < kUsesToKeep) && std::memcmp(&kept.key, &key, kLookBytes) == 0;
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

} // namespace camtag
