// Little-endian fields and FOURCC tags in byte buffers read from AVI files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace camtag {

inline uint32_t Rd32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t Rd64(const uint8_t* p) {
    return Rd32(p) | (static_cast<uint64_t>(Rd32(p + 4)) << 32);
}

inline void Wr32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

inline bool TagIs(const uint8_t* p, const char* tag) {
    return memcmp(p, tag, 4) == 0;
}

constexpr size_t kNoTag = static_cast<size_t>(-1);

// First offset in [from, end) where the 4-byte tag lies wholly inside the range, at any byte
// offset (not only at chunk boundaries); kNoTag if none.
inline size_t FindTag(const uint8_t* buf, size_t from, size_t end, const char* tag) {
    for (size_t i = from; i + 4 <= end && i + 4 > i; ++i)
        if (buf[i] == static_cast<uint8_t>(tag[0]) && TagIs(buf + i, tag))
            return i;
    return kNoTag;
}

// The DV codes a stream handler or a compression field may carry. Several writers store them in
// capitals ("DVSD"), so letter case is ignored.
inline bool IsDvCode(const uint8_t* p) {
    static const char* const codes[] = {"dvsd", "dsvd", "dvhd", "dvsl", "cdvc"};
    for (const char* code : codes) {
        bool same = true;
        for (int i = 0; i < 4 && same; ++i) {
            uint8_t c = p[i];
            if (c >= 'A' && c <= 'Z')
                c = static_cast<uint8_t>(c - 'A' + 'a');
            same = c == static_cast<uint8_t>(code[i]);
        }
        if (same)
            return true;
    }
    return false;
}

} // namespace camtag
