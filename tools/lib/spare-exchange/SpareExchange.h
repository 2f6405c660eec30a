// What the front and a spare renderer (camtag-render --arguments-on-stdin) pass each other: the
// spare is started before its work is known, so that a run does not wait for Wine to start a
// process.
//
// To the spare, per run of it: a word, the length of the block that follows, then the block: the
// arguments in UTF-8, each ended by a NUL. A block with --probe (the look at the inputs) is
// answered on the spare's standard output with two words, the exit status the probe would have
// ended with and the length of its lines, then the lines; the next block follows. After any other
// block come its frames.
//
// A word is 4 bytes, little-endian. Plain C++: built both into the Linux front and into the
// Windows renderer.
#pragma once

#include <cstdint>
#include <string>

namespace camtag {

inline void AppendWord(std::string* to, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        to->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// The word at `bytes` (4 of them).
inline uint32_t WordAt(const void* bytes) {
    const auto* b = static_cast<const uint8_t*>(bytes);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

} // namespace camtag
