// The DV AVI writer of the tests and the developer tools. One layout describes a file: AVI 1.0
// with "idx1" or OpenDML with a super index and RIFF segments, DV type-1 or type-2, with the
// layouts real writers produce and the odd ones they do not (JUNK before idx1, two-field indexes,
// reserved OpenDML headers, ...), and DIF sequences carrying hand-made date, time and timecode
// packs. BuildDvAvi makes the file in memory with every frame filled; WriteSparseDvAvi writes the
// same file as a sparse file of any length (gigabytes for the benchmarks), where only the frames
// asked for carry data and every other chunk is a hole. Readers that go through the index see a
// complete file either way.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
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
};

// --- DIF sequence packs -------------------------------------------------------------------

inline uint8_t Bcd(int v) {
    return static_cast<uint8_t>(((v / 10) << 4) | (v % 10));
}

// Sequence offsets of the packs the decoder looks at (pack byte 0 = pack id).
constexpr size_t kVauxDatePack = 458; // VAUX block 5, pack 11
constexpr size_t kVauxTimePack = 463; // VAUX block 5, pack 12
inline size_t SsybPack(int k) {
    return 86 + 8 * static_cast<size_t>(k);
}

inline void PutPack(uint8_t* seq, size_t at, uint8_t id, uint8_t b1, uint8_t b2, uint8_t b3,
                    uint8_t b4) {
    seq[at] = id;
    seq[at + 1] = b1;
    seq[at + 2] = b2;
    seq[at + 3] = b3;
    seq[at + 4] = b4;
}
// Camcorders set the unused high bits; the decoder must mask them away.
inline void PutDatePack(uint8_t* seq, size_t at, int day, int month, int year) {
    PutPack(seq, at, 0x62, 0xFF, static_cast<uint8_t>(0xC0 | Bcd(day)),
            static_cast<uint8_t>(0xE0 | Bcd(month)), Bcd(year % 100));
}
inline void PutTimePack(uint8_t* seq, size_t at, int hour, int minute, int second) {
    PutPack(seq, at, 0x63, 0xFF, static_cast<uint8_t>(0x80 | Bcd(second)),
            static_cast<uint8_t>(0x80 | Bcd(minute)), static_cast<uint8_t>(0xC0 | Bcd(hour)));
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

// DIF sequence n of a frame as camcorders write it: StampSequence's packs, with the VAUX date
// and time of odd sequences in VAUX block 3 (pack 2 and 3) instead of block 5.
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

    int dvType = 2; // 1: "iavs" stream, 2: "vids" stream
    bool pal = true;
    uint32_t frames = 3;
    std::string streamType;           // overrides "iavs"/"vids" when set
    std::string handler = "dvsd";     // stream header handler
    std::string compression = "dvsd"; // "strf" compression field
    std::string videoChunkKind;       // chunk id after the stream number; "" = "db"/"dc"
    bool strf = true;                 // write "strf" (a type-1 stream may go without)
    bool audioStreamFirst = false;    // an audio stream before the video stream
    bool audioChunks = false;         // a silent audio chunk before every frame (in movi and
                                      // idx1; OpenDML standard indexes list the video only)
    bool otherVideoFirst = false;     // a non-DV "vids" stream (MJPG) before the DV stream
    Index index = Index::Idx1;
    bool junkBeforeIdx1 = false;
    bool twoField = false;          // OpenDML standard indexes of subtype 1 (12-byte entries)
    bool indexBeforeFrames = false; // OpenDML: each standard index at the start of its movi,
                                    // so that the last frame ends the file
    uint32_t framesPerSegment = 0;  // OpenDML: frames per RIFF segment, 0 = all in one
    bool dmlh = false;              // a "LIST odml" with "dmlh"
    int64_t dmlhFrames = -1;        // its total, -1 = frames
    bool reservedOdmlJunk = false;  // a JUNK chunk holding "odml" "dmlh" and a zero total
    int64_t avihFrames = -1;        // main header total, -1 = the first RIFF segment's frames
    int64_t strhLength = -1;        // stream header length, -1 = frames
    size_t frameBytes = 0;          // 0 = the system's frame size
    // Fills one frame's data, zeros on entry; the default stamps sequence 6 with DvStamp,
    // timecode = frame.
    std::function<void(uint32_t frame, uint8_t* data, size_t size)> fill;
    // WriteSparseDvAvi only: the frames that carry data (the others stay holes) and of each only
    // these byte ranges (offset, length), the whole frame with its chunk headers when empty.
    std::vector<uint32_t> framesWithData;
    std::vector<std::pair<uint32_t, uint32_t>> writtenRanges;
};

// A long file as capture tools write it: OpenDML in RIFF segments of about 1 GiB with the
// total in "dmlh", or AVI 1.0 with idx1 (which stays below 4 GiB).
inline DvAviLayout CaptureLayout(uint32_t frames, bool openDml = true) {
    DvAviLayout l;
    l.frames = frames;
    l.index = openDml ? DvAviLayout::Index::OpenDml : DvAviLayout::Index::Idx1;
    l.framesPerSegment = openDml ? 7400 : 0;
    l.dmlh = openDml;
    return l;
}

inline size_t DvFrameBytes(const DvAviLayout& l) {
    return l.frameBytes ? l.frameBytes : l.pal ? kDvFramePal : kDvFrameNtsc;
}
// Frames per RIFF segment: only OpenDML files have more than one segment.
inline uint32_t DvAviSegmentFrames(const DvAviLayout& l) {
    if (l.index == DvAviLayout::Index::OpenDml && l.framesPerSegment)
        return l.framesPerSegment;
    return l.frames ? l.frames : 1;
}
inline uint32_t DvAviSegments(const DvAviLayout& l) {
    const uint32_t per = DvAviSegmentFrames(l);
    return l.frames ? (l.frames + per - 1) / per : 1;
}

// `count` frames spread evenly over a file of `totalFrames`, from the first to the last.
inline std::vector<uint32_t> SpreadFrames(uint32_t totalFrames, uint32_t count) {
    std::vector<uint32_t> frames;
    if (totalFrames == 0)
        return frames;
    for (uint32_t i = 0; i < count; ++i)
        frames.push_back(count > 1 ? uint32_t(uint64_t(i) * (totalFrames - 1) / (count - 1)) : 0);
    return frames;
}

// A written file and where its parts lie.
struct BuiltAvi {
    std::vector<uint8_t> bytes;            // BuildDvAvi only
    uint64_t length = 0;                   // the file's length
    std::vector<uint64_t> framePositions;  // absolute position of each frame's data
    size_t hdrlSizeAt = 0;                 // where the "hdrl" list's size field is
    size_t strhAt = 0;                     // the video "strh" tag
    size_t indxAt = 0;                     // the "indx" tag (OpenDML)
    std::vector<uint64_t> standardIndexAt; // each "ix" chunk's tag
    uint64_t moviAt = 0;                   // the first "movi" list's tag ("LIST")
    uint64_t idx1At = 0;                   // the "idx1" tag
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

namespace detail {

// The chunks of one frame: its audio chunk (48 kHz 16-bit stereo silence) when the layout has
// them, then its video chunk. `Put` writes their headers; the video data follows at `data`.
struct FrameChunks {
    explicit FrameChunks(const DvAviLayout& l)
        : frameBytes(DvFrameBytes(l)), audioBytes(l.audioChunks ? AudioBytes(l) : 0),
          data(audioBytes ? 16 + audioBytes : 8), size(data + frameBytes) {
        const int videoStream = (l.audioStreamFirst ? 1 : 0) + (l.otherVideoFirst ? 1 : 0);
        const char* kind = !l.videoChunkKind.empty() ? l.videoChunkKind.c_str()
                           : l.dvType == 1           ? "db"
                                                     : "dc";
        snprintf(videoId, sizeof videoId, "%02d%s", videoStream, kind);
        snprintf(audioId, sizeof audioId, "%02dwb", l.audioStreamFirst ? 0 : videoStream + 1);
        snprintf(ixId, sizeof ixId, "ix%02d", videoStream);
    }
    // 1920 samples a PAL frame, 1600 an NTSC frame.
    static uint32_t AudioBytes(const DvAviLayout& l) { return l.pal ? 7680 : 6400; }
    void Put(uint8_t* at) const {
        RiffBuffer b;
        if (audioBytes) {
            b.Tag(audioId);
            b.U32(audioBytes);
            b.Zeros(audioBytes);
        }
        b.Tag(videoId);
        b.U32(static_cast<uint32_t>(frameBytes));
        memcpy(at, b.bytes.data(), b.Size());
    }

    size_t frameBytes;
    uint32_t audioBytes;
    size_t data; // where the video data starts in the chunks
    size_t size;
    char videoId[5], audioId[5], ixId[5];
};

// A piece of the file other than the frames' chunks.
struct Piece {
    uint64_t at;
    std::vector<uint8_t> bytes;
};

// The file without the frames' chunks: the headers, each RIFF segment's lists and indexes.
// Fills in where everything lies.
inline std::vector<Piece> DvAviStructure(const DvAviLayout& l, BuiltAvi* out) {
    const FrameChunks chunks(l);
    const bool odml = l.index == DvAviLayout::Index::OpenDml;
    const uint32_t perSegment = DvAviSegmentFrames(l);
    const uint32_t segments = DvAviSegments(l);
    const uint32_t scale = l.pal ? 1 : 1001, rate = l.pal ? 25 : 30000;
    const uint16_t height = l.pal ? 576 : 480;
    const bool audioStream = l.audioStreamFirst || l.audioChunks;
    const uint32_t ixEntry = l.twoField ? 12 : 8;
    auto indexBytes = [&](uint32_t count) { return 32 + uint64_t(ixEntry) * count; };

    RiffBuffer b;
    const size_t riff = b.BeginList("RIFF", "AVI ");
    out->hdrlSizeAt = b.BeginList("LIST", "hdrl");
    size_t chunk = b.BeginChunk("avih");
    b.U32(uint32_t(1000000ull * scale / rate)); // microseconds per frame
    b.U32(uint32_t(uint64_t(chunks.size) * rate / scale));
    b.U32(0);
    b.U32(chunks.audioBytes ? 0x110 : 0x10); // has index (, is interleaved)
    b.U32(l.avihFrames >= 0 ? uint32_t(l.avihFrames) : std::min(l.frames, perSegment));
    b.U32(0);
    b.U32(1 + (audioStream ? 1 : 0) + (l.otherVideoFirst ? 1 : 0));
    b.U32(static_cast<uint32_t>(chunks.size));
    b.U32(720);
    b.U32(height);
    b.Zeros(16);
    b.EndChunk(chunk);

    auto audioStrl = [&] {
        const uint32_t perFrame = FrameChunks::AudioBytes(l);
        const size_t strl = b.BeginList("LIST", "strl");
        size_t at = b.BeginChunk("strh");
        b.Tag("auds");
        b.Zeros(16); // handler, flags, priority and language, initial frames
        b.U32(1);    // scale: one sample
        b.U32(48000);
        b.U32(0);
        b.U32(uint32_t(uint64_t(l.frames) * perFrame / 4)); // samples
        b.U32(perFrame);
        b.U32(0xFFFFFFFF);
        b.U32(4); // bytes per sample
        b.Zeros(8);
        b.EndChunk(at);
        at = b.BeginChunk("strf");
        b.U16(1); // PCM
        b.U16(2);
        b.U32(48000);
        b.U32(192000);
        b.U16(4);
        b.U16(16);
        b.EndChunk(at);
        b.EndChunk(strl);
    };
    auto fourCc = [&](const std::string& code) {
        char c[4] = {0, 0, 0, 0};
        memcpy(c, code.data(), std::min<size_t>(code.size(), 4));
        b.Raw(c, 4);
    };
    size_t superEntries = 0;
    auto videoStrl = [&](const std::string& type, const std::string& handler,
                         const std::string& compression, bool withStrf, bool withIndx) {
        const size_t strl = b.BeginList("LIST", "strl");
        const size_t strh = b.Size();
        size_t at = b.BeginChunk("strh");
        fourCc(type);
        fourCc(handler);
        b.Zeros(12);
        b.U32(scale);
        b.U32(rate);
        b.U32(0);
        b.U32(l.strhLength >= 0 ? uint32_t(l.strhLength) : l.frames);
        b.U32(static_cast<uint32_t>(chunks.frameBytes + 8));
        b.U32(0xFFFFFFFF);
        b.U32(0);
        b.U16(0);
        b.U16(0);
        b.U16(720);
        b.U16(height);
        b.EndChunk(at);
        if (withStrf) {
            at = b.BeginChunk("strf");
            b.U32(40);
            b.U32(720);
            b.U32(height);
            b.U16(1);
            b.U16(24);
            fourCc(compression);
            b.U32(static_cast<uint32_t>(chunks.frameBytes));
            b.Zeros(16);
            b.EndChunk(at);
        }
        if (withIndx) {
            out->indxAt = b.Size();
            at = b.BeginChunk("indx");
            b.U16(4);
            b.U8(0);
            b.U8(0); // index of indexes
            b.U32(segments);
            b.Tag(chunks.videoId);
            b.Zeros(12);
            superEntries = b.Size();
            b.Zeros(16 * size_t(segments)); // filled in below
            b.EndChunk(at);
        }
        b.EndChunk(strl);
        return strh;
    };

    if (l.audioStreamFirst)
        audioStrl();
    if (l.otherVideoFirst)
        videoStrl("vids", "mjpg", "MJPG", true, false);
    const std::string type = !l.streamType.empty() ? l.streamType : l.dvType == 1 ? "iavs" : "vids";
    out->strhAt = videoStrl(type, l.handler, l.compression, l.strf, odml);
    if (l.audioChunks && !l.audioStreamFirst)
        audioStrl();
    if (l.dmlh) {
        const size_t list = b.BeginList("LIST", "odml");
        chunk = b.BeginChunk("dmlh");
        b.U32(l.dmlhFrames >= 0 ? uint32_t(l.dmlhFrames) : l.frames);
        b.Zeros(244);
        b.EndChunk(chunk);
        b.EndChunk(list);
    }
    if (l.reservedOdmlJunk) {
        chunk = b.BeginChunk("JUNK");
        b.Tag("odml");
        b.Tag("dmlh");
        b.U32(248);
        b.Zeros(248);
        b.EndChunk(chunk);
    }
    b.EndChunk(out->hdrlSizeAt);

    // The segments one after the other; the frames' chunks are left out.
    std::vector<Piece> pieces(1);
    uint64_t at = b.Size();
    uint32_t next = 0;
    for (uint32_t seg = 0; seg < segments; ++seg) {
        const uint32_t count = std::min(perSegment, l.frames - next);
        RiffBuffer lists;
        const uint64_t riffAt = at;
        if (seg > 0)
            lists.BeginList("RIFF", "AVIX");
        const uint64_t movi = at + lists.Size();
        if (seg == 0)
            out->moviAt = movi;
        lists.BeginList("LIST", "movi");
        at = movi + 12;
        const uint64_t early = at;
        if (odml && l.indexBeforeFrames)
            at += indexBytes(count);
        std::vector<uint64_t> positions;
        for (uint32_t i = 0; i < count; ++i, at += chunks.size)
            positions.push_back(at + chunks.data);
        out->framePositions.insert(out->framePositions.end(), positions.begin(), positions.end());

        RiffBuffer index;
        if (odml) {
            // Standard index of this segment, based at the start of its movi list.
            const uint64_t ixAt = l.indexBeforeFrames ? early : at;
            index.Tag(chunks.ixId);
            index.U32(static_cast<uint32_t>(indexBytes(count) - 8));
            index.U16(l.twoField ? 3 : 2);
            index.U8(l.twoField ? 1 : 0);
            index.U8(1); // index of chunks
            index.U32(count);
            index.Tag(chunks.videoId);
            index.U64(movi);
            index.U32(0);
            for (uint64_t pos : positions) {
                index.U32(static_cast<uint32_t>(pos - movi));
                index.U32(static_cast<uint32_t>(chunks.frameBytes));
                if (l.twoField)
                    index.U32(static_cast<uint32_t>(pos - movi + chunks.frameBytes / 2));
            }
            pieces.push_back({ixAt, std::move(index.bytes)});
            out->standardIndexAt.push_back(ixAt);
            b.Patch64(superEntries + 16 * size_t(seg), ixAt);
            b.Patch32(superEntries + 16 * size_t(seg) + 8,
                      static_cast<uint32_t>(indexBytes(count)));
            b.Patch32(superEntries + 16 * size_t(seg) + 12, count);
            if (!l.indexBeforeFrames)
                at += indexBytes(count);
        }
        lists.Patch32(seg > 0 ? 16 : 4, static_cast<uint32_t>(at - movi - 8));
        if (!odml) {
            if (l.junkBeforeIdx1) {
                RiffBuffer junk;
                junk.Tag("JUNK");
                junk.U32(16);
                junk.Zeros(16);
                pieces.push_back({at, std::move(junk.bytes)});
                at += 24;
            }
            out->idx1At = at;
            const size_t size = index.BeginChunk("idx1");
            for (uint64_t pos : positions) {
                // Offsets of the chunk headers, from the "movi" type.
                const uint32_t video = static_cast<uint32_t>(pos - 8 - (movi + 8));
                if (chunks.audioBytes) {
                    index.Tag(chunks.audioId);
                    index.U32(0);
                    index.U32(video - 8 - chunks.audioBytes);
                    index.U32(chunks.audioBytes);
                }
                index.Tag(chunks.videoId);
                index.U32(0x10); // key frame
                index.U32(video);
                index.U32(static_cast<uint32_t>(chunks.frameBytes));
            }
            index.EndChunk(size);
            at += index.Size();
            pieces.push_back({out->idx1At, std::move(index.bytes)});
        }
        if (seg > 0)
            lists.Patch32(4, static_cast<uint32_t>(at - riffAt - 8));
        else
            b.Patch32(riff, static_cast<uint32_t>(at - 8));
        pieces.push_back({riffAt, std::move(lists.bytes)});
        next += count;
    }
    pieces[0] = {0, std::move(b.bytes)};
    out->length = at;
    return pieces;
}

} // namespace detail

// The file in memory, every frame filled.
inline BuiltAvi BuildDvAvi(const DvAviLayout& layout) {
    BuiltAvi out;
    const std::vector<detail::Piece> pieces = detail::DvAviStructure(layout, &out);
    out.bytes.assign(static_cast<size_t>(out.length), 0);
    for (const detail::Piece& piece : pieces)
        memcpy(out.bytes.data() + piece.at, piece.bytes.data(), piece.bytes.size());
    const detail::FrameChunks chunks(layout);
    for (uint32_t frame = 0; frame < layout.frames; ++frame) {
        uint8_t* data = out.bytes.data() + out.framePositions[frame];
        chunks.Put(data - chunks.data);
        if (layout.fill)
            layout.fill(frame, data, chunks.frameBytes);
        else
            DefaultFill(layout, frame, data, chunks.frameBytes);
    }
    return out;
}

// Writes the file as a sparse file (on Windows marked so, elsewhere its holes come by
// themselves), with data only in the layout's framesWithData; false with `error` set when the
// layout is unusable (no frames, a segment too big for its 32-bit sizes) or writing fails.
bool WriteSparseDvAvi(const std::wstring& path, const DvAviLayout& layout, std::string* error);

// The same with every data frame a copy of `templateFrame` (of the layout's frame size).
bool WriteSparseDvAvi(const std::wstring& path, const DvAviLayout& layout,
                      const std::vector<uint8_t>& templateFrame, std::string* error);

// The first frame of a PAL DV AVI file the module's reader opens, as such a template.
bool ReadPalTemplateFrame(const std::string& path, std::vector<uint8_t>* frame, std::string* error);

} // namespace camtag::test
