// Builds DV AVI files in memory for tests: AVI 1.0 with "idx1" or OpenDML with a super index
// and RIFF segments, DV type-1 or type-2, with the layouts real writers produce and the odd
// ones they do not (JUNK before idx1, two-field indexes, reserved OpenDML headers, ...), and
// DIF sequences carrying hand-made date, time and timecode packs.
#pragma once

#include "support/TestSupport.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace camtag::test {

constexpr size_t kDvFrameNtsc = 120000;
constexpr size_t kDvFramePal = 144000;
constexpr size_t kDifSequence = 12000;

// Little-endian byte buffer with RIFF chunk helpers.
class RiffBuffer {
public:
    std::vector<uint8_t> bytes;

    size_t Size() const { return bytes.size(); }
    void Tag(const char* tag) { Raw(tag, 4); }
    void U8(uint8_t v) { bytes.push_back(v); }
    void U16(uint16_t v) {
        U8(static_cast<uint8_t>(v));
        U8(static_cast<uint8_t>(v >> 8));
    }
    void U32(uint32_t v) {
        U16(static_cast<uint16_t>(v));
        U16(static_cast<uint16_t>(v >> 16));
    }
    void U64(uint64_t v) {
        U32(static_cast<uint32_t>(v));
        U32(static_cast<uint32_t>(v >> 32));
    }
    void Raw(const void* data, size_t n) {
        const uint8_t* p = static_cast<const uint8_t*>(data);
        bytes.insert(bytes.end(), p, p + n);
    }
    void Zeros(size_t n) { bytes.insert(bytes.end(), n, 0); }
    // Chunk header with a size to patch; returns where the size field is.
    size_t BeginChunk(const char* tag) {
        Tag(tag);
        size_t at = Size();
        U32(0);
        return at;
    }
    size_t BeginList(const char* listTag, const char* type) {
        size_t at = BeginChunk(listTag);
        Tag(type);
        return at;
    }
    void EndChunk(size_t sizeAt) { Patch32(sizeAt, static_cast<uint32_t>(Size() - sizeAt - 4)); }
    void Patch32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
    void Patch64(size_t at, uint64_t v) {
        Patch32(at, static_cast<uint32_t>(v));
        Patch32(at + 4, static_cast<uint32_t>(v >> 32));
    }
    uint32_t Read32(size_t at) const {
        return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) | (static_cast<uint32_t>(bytes[at + 3]) << 24);
    }
};

// --- DIF sequence packs -------------------------------------------------------------------

inline uint8_t Bcd(int v) { return static_cast<uint8_t>(((v / 10) << 4) | (v % 10)); }

// Sequence offsets of the packs the decoder looks at (pack byte 0 = pack id).
constexpr size_t kVauxDatePack = 458; // VAUX block 5, pack 11
constexpr size_t kVauxTimePack = 463; // VAUX block 5, pack 12
inline size_t SsybPack(int k) { return 86 + 8 * static_cast<size_t>(k); }

inline void PutPack(uint8_t* seq, size_t at, uint8_t id, uint8_t b1, uint8_t b2, uint8_t b3, uint8_t b4) {
    seq[at] = id;
    seq[at + 1] = b1;
    seq[at + 2] = b2;
    seq[at + 3] = b3;
    seq[at + 4] = b4;
}
// Camcorders set the unused high bits; the decoder must mask them away.
inline void PutDatePack(uint8_t* seq, size_t at, int day, int month, int year) {
    PutPack(seq, at, 0x62, 0xFF, static_cast<uint8_t>(0xC0 | Bcd(day)), static_cast<uint8_t>(0xE0 | Bcd(month)),
            Bcd(year % 100));
}
inline void PutTimePack(uint8_t* seq, size_t at, int hour, int minute, int second) {
    PutPack(seq, at, 0x63, 0xFF, static_cast<uint8_t>(0x80 | Bcd(second)), static_cast<uint8_t>(0x80 | Bcd(minute)),
            static_cast<uint8_t>(0xC0 | Bcd(hour)));
}
inline void PutTimecodePack(uint8_t* seq, size_t at, int h, int m, int s, int f) {
    PutPack(seq, at, 0x13, static_cast<uint8_t>(0x40 | Bcd(f)), Bcd(s), Bcd(m), Bcd(h));
}
// Empty packs, as on blank tape.
inline void ClearPacks(uint8_t* seq) {
    memset(seq + kVauxDatePack, 0xFF, 10);
    for (int k = 0; k < 6; ++k)
        memset(seq + SsybPack(k), 0xFF, 5);
}

struct DvStamp {
    int year = 2005, month = 6, day = 15;
    int hour = 12, minute = 34, second = 56;
    int tcHours = 1, tcMinutes = 2, tcSeconds = 3, tcFrames = 4;
};

// VAUX date and time, a timecode in SSYB 0 and copies of date and time in SSYB 1 and 2.
inline void StampSequence(uint8_t* seq, const DvStamp& s) {
    ClearPacks(seq);
    PutDatePack(seq, kVauxDatePack, s.day, s.month, s.year);
    PutTimePack(seq, kVauxTimePack, s.hour, s.minute, s.second);
    PutTimecodePack(seq, SsybPack(0), s.tcHours, s.tcMinutes, s.tcSeconds, s.tcFrames);
    PutDatePack(seq, SsybPack(1), s.day, s.month, s.year);
    PutTimePack(seq, SsybPack(2), s.hour, s.minute, s.second);
}

// DIF sequence n of a frame as camcorders write it: StampSequence's packs, with the VAUX date and
// time of odd sequences in VAUX block 3 (pack 2 and 3) instead of block 5.
inline void StampDifSequence(uint8_t* seq, int n, const DvStamp& s) {
    StampSequence(seq, s);
    if (n % 2) {
        memcpy(seq + 253, seq + kVauxDatePack, 10);
        memset(seq + kVauxDatePack, 0xFF, 10);
    }
}

// --- AVI layouts --------------------------------------------------------------------------

struct DvAviLayout {
    enum class Index { Idx1, OpenDml };

    int dvType = 2;                // 1: "iavs" stream, 2: "vids" stream
    bool pal = true;
    uint32_t frames = 3;
    std::string streamType;        // overrides "iavs"/"vids" when set
    std::string handler = "dvsd";  // stream header handler
    std::string compression = "dvsd"; // "strf" compression field
    std::string videoChunkKind;        // chunk id after the stream number; "" = "db"/"dc"
    bool strf = true;              // write "strf" (a type-1 stream may go without)
    bool audioStreamFirst = false; // an audio stream before the video stream
    bool audioChunks = false;      // an audio chunk before every frame (in movi and idx1)
    bool otherVideoFirst = false;  // a non-DV "vids" stream (MJPG) before the DV stream
    Index index = Index::Idx1;
    bool junkBeforeIdx1 = false;
    bool twoField = false;              // OpenDML standard indexes of subtype 1 (12-byte entries)
    bool indexBeforeFrames = false;     // OpenDML: each standard index at the start of its movi,
                                        // so that the last frame ends the file
    uint32_t framesPerSegment = 0;      // OpenDML: frames per RIFF segment, 0 = all in one
    bool dmlh = false;                  // a "LIST odml" with "dmlh"
    uint32_t dmlhFrames = 0;
    bool reservedOdmlJunk = false;      // a JUNK chunk holding "odml" "dmlh" and a zero total
    int64_t avihFrames = -1;            // main header total, -1 = frames
    int64_t strhLength = -1;            // stream header length, -1 = frames
    size_t frameBytes = 0;              // 0 = the system's frame size
    // Fills one frame's data; the default stamps sequence 6 with DvStamp, timecode = frame.
    std::function<void(uint32_t frame, uint8_t* data, size_t size)> fill;
};

struct BuiltAvi {
    std::vector<uint8_t> bytes;
    std::vector<uint64_t> framePositions; // absolute position of each frame's data
    size_t hdrlSizeAt = 0;                // where the "hdrl" list's size field is
    size_t strhAt = 0;                    // the video "strh" tag
    size_t indxAt = 0;                    // the "indx" tag (OpenDML)
    std::vector<size_t> standardIndexAt;  // each "ix" chunk's tag
    size_t moviAt = 0;                    // the first "movi" list's tag ("LIST")
    size_t idx1At = 0;                    // the "idx1" tag
};

inline void DefaultFill(const DvAviLayout& layout, uint32_t frame, uint8_t* data, size_t size) {
    data[3] = layout.pal ? 0xBF : 0x3F;
    if (size >= 7 * kDifSequence) {
        DvStamp s;
        s.tcHours = 0;
        s.tcMinutes = 0;
        s.tcSeconds = static_cast<int>(frame / 25 % 60);
        s.tcFrames = static_cast<int>(frame % 25);
        StampSequence(data + 6 * kDifSequence, s);
    }
}

inline BuiltAvi BuildDvAvi(const DvAviLayout& layout) {
    BuiltAvi out;
    RiffBuffer b;
    const bool odml = layout.index == DvAviLayout::Index::OpenDml;
    const size_t frameBytes = layout.frameBytes ? layout.frameBytes : (layout.pal ? kDvFramePal : kDvFrameNtsc);
    const uint32_t perSegment =
        odml && layout.framesPerSegment ? layout.framesPerSegment : (layout.frames ? layout.frames : 1);
    const uint32_t segments = layout.frames ? (layout.frames + perSegment - 1) / perSegment : 1;
    const uint32_t avihTotal = layout.avihFrames >= 0 ? static_cast<uint32_t>(layout.avihFrames) : layout.frames;
    const uint32_t strhLength = layout.strhLength >= 0 ? static_cast<uint32_t>(layout.strhLength) : layout.frames;
    const int streams = 1 + (layout.audioStreamFirst || layout.audioChunks ? 1 : 0) + (layout.otherVideoFirst ? 1 : 0);
    int videoStream = (layout.audioStreamFirst ? 1 : 0) + (layout.otherVideoFirst ? 1 : 0);
    int audioStream = layout.audioStreamFirst ? 0 : videoStream + 1;
    char videoId[5], audioId[5], ixId[5];
    snprintf(videoId, sizeof videoId, "%02d%s", videoStream,
             !layout.videoChunkKind.empty() ? layout.videoChunkKind.c_str() : layout.dvType == 1 ? "db" : "dc");
    snprintf(audioId, sizeof audioId, "%02dwb", audioStream);
    snprintf(ixId, sizeof ixId, "ix%02d", videoStream);

    size_t riff = b.BeginList("RIFF", "AVI ");
    size_t hdrl = b.BeginList("LIST", "hdrl");
    out.hdrlSizeAt = hdrl;
    size_t avih = b.BeginChunk("avih");
    b.U32(layout.pal ? 40000 : 33367);
    b.U32(3600000);
    b.U32(0);
    b.U32(0x10); // has index
    b.U32(avihTotal);
    b.U32(0);
    b.U32(static_cast<uint32_t>(streams));
    b.U32(static_cast<uint32_t>(frameBytes));
    b.U32(720);
    b.U32(layout.pal ? 576 : 480);
    b.Zeros(16);
    b.EndChunk(avih);

    auto audioStrl = [&] {
        size_t strl = b.BeginList("LIST", "strl");
        size_t strh = b.BeginChunk("strh");
        b.Tag("auds");
        b.Zeros(4);
        b.Zeros(12);
        b.U32(1);
        b.U32(48000);
        b.Zeros(4);
        b.U32(48000);
        b.Zeros(20);
        b.EndChunk(strh);
        size_t strf = b.BeginChunk("strf");
        b.U16(1);
        b.U16(2);
        b.U32(48000);
        b.U32(192000);
        b.U16(4);
        b.U16(16);
        b.EndChunk(strf);
        b.EndChunk(strl);
    };
    auto videoStrl = [&](const char* type, const char* handler, const char* compression, bool withStrf,
                         bool withIndx) {
        size_t strl = b.BeginList("LIST", "strl");
        size_t strhTag = b.Size();
        size_t strh = b.BeginChunk("strh");
        b.Raw(type, 4);
        char h[4] = {0, 0, 0, 0};
        memcpy(h, handler, strlen(handler) < 4 ? strlen(handler) : 4);
        b.Raw(h, 4);
        b.Zeros(12);
        b.U32(layout.pal ? 1 : 1001);
        b.U32(layout.pal ? 25 : 30000);
        b.U32(0);
        b.U32(strhLength);
        b.U32(static_cast<uint32_t>(frameBytes));
        b.U32(0xFFFFFFFF);
        b.U32(0);
        b.U16(0);
        b.U16(0);
        b.U16(720);
        b.U16(layout.pal ? 576 : 480);
        b.EndChunk(strh);
        if (withStrf) {
            size_t strf = b.BeginChunk("strf");
            b.U32(40);
            b.U32(720);
            b.U32(layout.pal ? 576 : 480);
            b.U16(1);
            b.U16(24);
            char c[4] = {0, 0, 0, 0};
            memcpy(c, compression, strlen(compression) < 4 ? strlen(compression) : 4);
            b.Raw(c, 4);
            b.U32(static_cast<uint32_t>(frameBytes));
            b.Zeros(16);
            b.EndChunk(strf);
        }
        size_t indx = 0;
        if (withIndx) {
            out.indxAt = b.Size();
            indx = b.BeginChunk("indx");
            b.U16(4);
            b.U8(0);
            b.U8(0); // index of indexes
            b.U32(segments);
            b.Raw(videoId, 4);
            b.Zeros(12);
            b.Zeros(16 * static_cast<size_t>(segments)); // filled in below
            b.EndChunk(indx);
        }
        b.EndChunk(strl);
        return std::make_pair(strhTag, indx);
    };

    if (layout.audioStreamFirst)
        audioStrl();
    if (layout.otherVideoFirst)
        videoStrl("vids", "mjpg", "MJPG", true, false);
    const char* type = layout.streamType.empty() ? (layout.dvType == 1 ? "iavs" : "vids") : layout.streamType.c_str();
    auto [strhTag, indxSize] =
        videoStrl(type, layout.handler.c_str(), layout.compression.c_str(), layout.strf, odml);
    out.strhAt = strhTag;
    if (layout.audioChunks && !layout.audioStreamFirst)
        audioStrl();
    if (layout.dmlh) {
        size_t list = b.BeginList("LIST", "odml");
        size_t dm = b.BeginChunk("dmlh");
        b.U32(layout.dmlhFrames);
        b.Zeros(244);
        b.EndChunk(dm);
        b.EndChunk(list);
    }
    if (layout.reservedOdmlJunk) {
        size_t junk = b.BeginChunk("JUNK");
        b.Tag("odml");
        b.Tag("dmlh");
        b.U32(248);
        b.Zeros(248);
        b.EndChunk(junk);
    }
    b.EndChunk(hdrl);

    // Frames, segment by segment.
    std::vector<uint8_t> frame(frameBytes);
    const std::vector<uint8_t> audio(1920, 0x11);
    struct Idx1Entry {
        char id[4];
        uint32_t flags, offset, size;
    };
    std::vector<Idx1Entry> idx1;
    uint32_t next = 0;
    size_t riffSize = riff;
    for (uint32_t seg = 0; seg < segments; ++seg) {
        if (seg > 0) {
            riffSize = b.BeginList("RIFF", "AVIX");
        }
        size_t moviTag = b.Size();
        if (seg == 0)
            out.moviAt = moviTag;
        size_t movi = b.BeginList("LIST", "movi");
        const size_t moviType = moviTag + 8;
        const uint32_t count = layout.frames - next < perSegment ? layout.frames - next : perSegment;
        std::vector<uint64_t> positions;
        size_t early = 0; // standard index written ahead of the frames, entries patched later
        if (odml && layout.indexBeforeFrames) {
            early = b.Size();
            b.Tag(ixId);
            b.U32(static_cast<uint32_t>(24 + count * (layout.twoField ? 12 : 8)));
            b.Zeros(24 + count * (layout.twoField ? 12 : 8));
        }
        for (uint32_t i = 0; i < count; ++i, ++next) {
            if (layout.audioChunks) {
                idx1.push_back({{audioId[0], audioId[1], audioId[2], audioId[3]}, 0x10,
                                static_cast<uint32_t>(b.Size() - moviType), static_cast<uint32_t>(audio.size())});
                size_t a = b.BeginChunk(audioId);
                b.Raw(audio.data(), audio.size());
                b.EndChunk(a);
            }
            std::fill(frame.begin(), frame.end(), 0);
            if (layout.fill)
                layout.fill(next, frame.data(), frame.size());
            else
                DefaultFill(layout, next, frame.data(), frame.size());
            idx1.push_back({{videoId[0], videoId[1], videoId[2], videoId[3]}, 0x10,
                            static_cast<uint32_t>(b.Size() - moviType), static_cast<uint32_t>(frame.size())});
            size_t v = b.BeginChunk(videoId);
            out.framePositions.push_back(b.Size());
            positions.push_back(b.Size());
            b.Raw(frame.data(), frame.size());
            b.EndChunk(v);
        }
        if (odml) {
            // Standard index of this segment, based at the start of its movi list.
            const uint64_t base = moviTag;
            RiffBuffer ixb;
            size_t ix = ixb.BeginChunk(ixId);
            ixb.U16(layout.twoField ? 3 : 2);
            ixb.U8(layout.twoField ? 1 : 0);
            ixb.U8(1); // index of chunks
            ixb.U32(count);
            ixb.Raw(videoId, 4);
            ixb.U64(base);
            ixb.U32(0);
            for (uint64_t pos : positions) {
                ixb.U32(static_cast<uint32_t>(pos - base));
                ixb.U32(static_cast<uint32_t>(frameBytes));
                if (layout.twoField)
                    ixb.U32(static_cast<uint32_t>(pos - base + frameBytes / 2));
            }
            ixb.EndChunk(ix);
            const size_t ixStart = early ? early : b.Size();
            if (early)
                memcpy(b.bytes.data() + early, ixb.bytes.data(), ixb.Size());
            else
                b.Raw(ixb.bytes.data(), ixb.Size());
            out.standardIndexAt.push_back(ixStart);
            const size_t entry = indxSize + 4 + 24 + 16 * static_cast<size_t>(seg);
            b.Patch64(entry, ixStart);
            b.Patch32(entry + 8, static_cast<uint32_t>(ixb.Size()));
            b.Patch32(entry + 12, count);
        }
        b.EndChunk(movi);
        if (seg == 0 && !odml) {
            if (layout.junkBeforeIdx1) {
                size_t junk = b.BeginChunk("JUNK");
                b.Zeros(16);
                b.EndChunk(junk);
            }
            out.idx1At = b.Size();
            size_t ix = b.BeginChunk("idx1");
            for (const Idx1Entry& e : idx1) {
                b.Raw(e.id, 4);
                b.U32(e.flags);
                b.U32(e.offset);
                b.U32(e.size);
            }
            b.EndChunk(ix);
        }
        b.EndChunk(riffSize);
    }
    out.bytes = std::move(b.bytes);
    return out;
}

} // namespace camtag::test
