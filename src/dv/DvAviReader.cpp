#include "dv/DvAviReader.h"

#include "dv/DvBytes.h"

#include <cstring>

namespace camtag {

namespace {

// A header list larger than this is not a header list: refuse it instead of allocating it.
constexpr uint32_t kMaxHeaderList = 64u * 1024 * 1024;
// The AVI 1.0 index is read in blocks of this size: the filter opens the file for every
// rendered frame, and long files have idx1 chunks of a megabyte and more.
constexpr uint32_t kIdx1Block = 64u * 1024;
constexpr uint32_t kMaxFrames = 0x7FFFFFFFu;

void* AllocLocked(uint64_t bytes) {
    if (bytes == 0 || bytes > SIZE_MAX)
        return nullptr;
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(bytes));
    if (!h)
        return nullptr;
    void* p = GlobalLock(h);
    if (!p)
        GlobalFree(h);
    return p;
}

void FreeLocked(void* p) {
    if (!p)
        return;
    HGLOBAL h = GlobalHandle(p);
    if (h) {
        GlobalUnlock(h);
        GlobalFree(h);
    }
}

// Owns a locked movable block for the length of a scope.
struct LockedBlock {
    explicit LockedBlock(uint64_t bytes) : p(static_cast<uint8_t*>(AllocLocked(bytes))) {}
    ~LockedBlock() { Release(); }
    LockedBlock(const LockedBlock&) = delete;
    LockedBlock& operator=(const LockedBlock&) = delete;
    void Release() {
        FreeLocked(p);
        p = nullptr;
    }
    uint8_t* Detach() {
        uint8_t* q = p;
        p = nullptr;
        return q;
    }
    uint8_t* p;
};

} // namespace

DvAviReader::DvAviReader() : lastError(0), index(nullptr) {
    Reset();
}

DvAviReader::DvAviReader(const char* path) : DvAviReader() {
    Open(path);
}

DvAviReader::~DvAviReader() {
    Close();
}

void DvAviReader::Reset() {
    ResetFile();
    isOpen = 0;
    index = nullptr;
    indexBytes = 0;
    memset(mainHeader, 0, sizeof mainHeader);
    memset(streamHeader, 0, sizeof streamHeader);
    memset(streamFormat, 0, sizeof streamFormat);
    dvType = 0;
    indexKind = 0;
    frameCount = 0;
    memset(sequence, 0, sizeof sequence);
    cachedFrame = -1;
    cachedSequence = -1;
    isPal = -1;
}

int DvAviReader::Fail(int reason) {
    lastError = reason;
    RaiseDvError(reason);
    return 0;
}

int DvAviReader::Open(const char* path) {
    Close();
    lastError = 0;
    if (!path || !path[0])
        return 0;
    if (!SourceFile::Open(path, GENERIC_READ))
        return 0;
    if (!Parse()) {
        Close();
        return 0;
    }
    // Looking for the first frame with a position may have failed on damaged standard indexes
    // before one was found: the file opened all the same, so no failure stands.
    lastError = 0;
    isOpen = 1;
    return 1;
}

void DvAviReader::Close() {
    SourceFile::Close();
    FreeLocked(index);
    Reset();
}

int DvAviReader::Parse() {
    if (!IsFileOpen())
        return 0;
    const uint64_t total = fileSize;

    uint8_t head[12];
    if (Seek(0, FILE_BEGIN) != 0 || !Read(head, sizeof head))
        return Fail(kDvErrorHeader);
    if (!TagIs(head, "RIFF") || !TagIs(head + 8, "AVI "))
        return Fail(kDvErrorNotRiffAvi);
    if (!Read(head, sizeof head))
        return Fail(kDvErrorHeader);
    if (!TagIs(head, "LIST") || !TagIs(head + 8, "hdrl"))
        return Fail(kDvErrorHeader);

    // The buffer holds the list body from just past "hdrl" plus the 4 bytes after the list.
    // Its size comes from the file: it must lie inside the file before anything is allocated.
    const uint32_t listSize = Rd32(head + 4);
    if (listSize < 4 || listSize > kMaxHeaderList || 24 + static_cast<uint64_t>(listSize) > total)
        return Fail(kDvErrorHeader);
    LockedBlock header(listSize);
    if (!header.p)
        return Fail(kDvErrorMemory);
    if (!Read(header.p, listSize))
        return Fail(kDvErrorHeader);
    const uint8_t* b = header.p;
    const size_t len = listSize;

    const size_t avih = FindTag(b, 0, len, "avih");
    if (avih == kNoTag || avih + 8 + sizeof mainHeader > len)
        return Fail(kDvErrorHeader);
    memcpy(mainHeader, b + avih + 8, sizeof mainHeader);

    // The first stream header of a video kind is the one; later streams are never considered.
    size_t strh = 0;
    for (size_t from = 0;; from = strh + 1) {
        strh = FindTag(b, from, len, "strh");
        if (strh == kNoTag)
            return Fail(kDvErrorStreamHeader);
        if (strh + 12 <= len && (TagIs(b + strh + 8, "iavs") || TagIs(b + strh + 8, "vids")))
            break;
    }
    // The copy takes the stream header and the 8 bytes after it; the header may be the last
    // chunk of the list, so only the fields used (through the length at +36) must be present.
    if (strh + 4 + 40 > len)
        return Fail(kDvErrorStreamHeader);
    const size_t strhAvail = len - (strh + 4);
    memcpy(streamHeader, b + strh + 4,
           strhAvail < sizeof streamHeader ? strhAvail : sizeof streamHeader);

    const uint64_t next = strh + 8 + static_cast<uint64_t>(Rd32(streamHeader));
    if (TagIs(streamHeader + 4, "iavs") && IsDvCode(streamHeader + 8)) {
        dvType = 1;
    } else {
        // The compression field (payload offset 16) must lie inside the buffer.
        if (next + 8 + 20 > len || !TagIs(b + next, "strf"))
            return Fail(kDvErrorStreamHeader);
        const size_t payload = static_cast<size_t>(next) + 8;
        const size_t n = len - payload < sizeof streamFormat ? len - payload : sizeof streamFormat;
        memcpy(streamFormat, b + payload, n);
        if (!IsDvCode(streamFormat + 16)) {
            dvType = 0;
            return Fail(kDvErrorNotDv);
        }
        dvType = 2;
    }

    // Frame count. A "dmlh" total of 0 is what a reserved, never completed OpenDML header
    // holds (writers keep room for one inside a JUNK chunk); it means the total is not there.
    uint32_t count = 0;
    const size_t odml = FindTag(b, 0, len, "odml");
    if (odml != kNoTag && odml + 16 <= len && TagIs(b + odml + 4, "dmlh"))
        count = Rd32(b + odml + 12);
    if (count == 0)
        count = Rd32(streamHeader + 36);
    if (count == 0)
        count = Rd32(mainHeader + 16);
    // Frame numbers come in as signed ints from the host; keeping the count below 2^31 means a
    // negative number can never turn into a valid frame.
    frameCount = count > kMaxFrames ? kMaxFrames : count;

    // OpenDML super index, searched inside the chosen stream's "strl" list.
    if (strh >= 12) {
        const size_t strl = strh - 12;
        const uint64_t strlEnd = strl + static_cast<uint64_t>(Rd32(b + strl + 4));
        const size_t end = strlEnd < len ? static_cast<size_t>(strlEnd) : len;
        const size_t indx = FindTag(b, strl, end, "indx");
        if (indx != kNoTag) {
            indexKind = 2;
            // The copy stays inside the header buffer; a super index without its 24-byte
            // header cannot address anything.
            const uint32_t declared = indx + 8 <= len ? Rd32(b + indx + 4) : 0;
            const size_t avail = indx + 8 <= len ? len - (indx + 8) : 0;
            const uint32_t bytes = declared < avail ? declared : static_cast<uint32_t>(avail);
            if (bytes < 24)
                return Fail(kDvErrorIndex);
            LockedBlock copy(bytes);
            if (!copy.p)
                return Fail(kDvErrorMemory);
            memcpy(copy.p, b + indx + 8, bytes);
            index = copy.Detach();
            indexBytes = bytes;
            header.Release();
        }
    }
    if (indexKind != 2) {
        const uint32_t mainTotal = Rd32(mainHeader + 16);
        header.Release();
        if (!ParseIdx1(mainTotal))
            return 0;
    }

    // TV system from the header block of the first frame that has a position. A damaged first
    // standard index must not cost the whole file (its later segments keep their dates): only
    // the frames without a position fail later. A file without such a frame opens as 525/60.
    isPal = 0;
    const int64_t first = FirstPlacedFrame();
    if (first >= 0) {
        uint8_t format = 0;
        if (Seek(first + 3, FILE_BEGIN) != first + 3 || !Read(&format, 1))
            return Fail(kDvErrorHeader);
        isPal = format == 0xBF ? 1 : 0;
    }
    return 1;
}

int64_t DvAviReader::FirstPlacedFrame() {
    if (frameCount == 0)
        return -1;
    if (indexKind != 2)
        return FramePosition(0);
    // Every standard index covers a run of frames; its first frame stands for the run. Only the
    // first few runs are tried, so that a hostile super index of millions of entries cannot
    // make every open read millions of chunks.
    constexpr uint32_t kRunsTried = 64;
    uint32_t inUse = Rd32(index + 4);
    const uint32_t present = (indexBytes - 24) / 16;
    if (inUse > present)
        inUse = present;
    uint64_t runStart = 0;
    for (uint32_t i = 0; i < inUse && i < kRunsTried && runStart < frameCount; ++i) {
        const uint32_t covers = Rd32(index + 24 + static_cast<size_t>(i) * 16 + 12);
        if (covers > 0) {
            const int64_t position = FramePosition(static_cast<uint32_t>(runStart));
            if (position >= 0)
                return position;
        }
        runStart += covers;
    }
    return -1;
}

int DvAviReader::ParseIdx1(uint32_t mainTotal) {
    const uint64_t total = fileSize;

    // Walk the top-level chunks to the end of the "movi" list. Every step advances by at least
    // 8 bytes and positions are 64-bit, so no size field can make the walk loop or wrap.
    uint64_t p = 12;
    uint64_t moviType = 0;
    for (;;) {
        uint8_t chunk[12];
        if (Seek(static_cast<int64_t>(p), FILE_BEGIN) != static_cast<int64_t>(p) ||
            !Read(chunk, sizeof chunk))
            return Fail(kDvErrorHeader);
        const uint64_t z = Rd32(chunk + 4);
        if (p + z - 4 >= total)
            return Fail(kDvErrorIndex);
        const uint64_t after = p + 8 + z;
        if (TagIs(chunk, "LIST") && TagIs(chunk + 8, "movi")) {
            moviType = p + 8;
            p = after;
            break;
        }
        p = after;
    }

    uint8_t idx1[8];
    if (Seek(static_cast<int64_t>(p), FILE_BEGIN) != static_cast<int64_t>(p) ||
        !Read(idx1, sizeof idx1) || !TagIs(idx1, "idx1"))
        return Fail(kDvErrorIndex);
    const uint64_t dataPos = p + 8;
    uint64_t bytes = Rd32(idx1 + 4);
    // Only what the file actually holds is read.
    const uint64_t inFile = dataPos < total ? total - dataPos : 0;
    if (bytes > inFile)
        bytes = inFile;
    const uint64_t entries = bytes / 16;

    // The table gets one entry per video chunk, as many as the main header promises (or the
    // frame count when the main header leaves its total at 0), never more than idx1 holds.
    uint64_t wanted = mainTotal != 0 ? mainTotal : frameCount;
    if (wanted > entries)
        wanted = entries;
    LockedBlock table(wanted > 0 ? wanted * 16 : 16);
    if (!table.p)
        return Fail(kDvErrorMemory);

    const uint32_t base = static_cast<uint32_t>(moviType + 8);
    uint64_t accepted = 0;
    if (wanted > 0) {
        LockedBlock block(entries * 16 < kIdx1Block ? entries * 16 : kIdx1Block);
        if (!block.p)
            return Fail(kDvErrorMemory);
        if (Seek(static_cast<int64_t>(dataPos), FILE_BEGIN) != static_cast<int64_t>(dataPos))
            return Fail(kDvErrorIndex);
        uint64_t left = entries * 16;
        while (left > 0 && accepted < wanted) {
            const uint32_t chunk = static_cast<uint32_t>(left < kIdx1Block ? left : kIdx1Block);
            if (!Read(block.p, chunk))
                return Fail(kDvErrorIndex);
            left -= chunk;
            for (uint32_t at = 0; at < chunk && accepted < wanted; at += 16) {
                const uint8_t* e = block.p + at;
                // Any stream's video chunk ("00dc", "01db", ...); audio and others are skipped.
                // Interleaved DV streams are also stored as "00__" (as dvgrab writes them):
                // without those, such a file would open with no frames at all.
                const bool interleaved = dvType == 1 && e[2] == '_' && e[3] == '_';
                if (e[2] != 'd' && !interleaved)
                    continue;
                uint8_t* out = table.p + accepted * 16;
                memcpy(out, e, 8);
                Wr32(out + 8, Rd32(e + 8) + base);
                memcpy(out + 12, e + 12, 4);
                ++accepted;
            }
        }
    }

    indexKind = 1;
    index = table.Detach();
    indexBytes = static_cast<uint32_t>(accepted * 16);
    // An index that lists fewer frames than the headers promise limits the frames to those
    // it lists.
    if (frameCount > accepted)
        frameCount = static_cast<uint32_t>(accepted);
    return 1;
}

int DvAviReader::LocateFrame(uint32_t frame, uint64_t* position, uint32_t* length) {
    if (!IsFileOpen() || indexKind == 0 || !index || frame >= frameCount)
        return 0;

    if (indexKind == 1) {
        if (static_cast<uint64_t>(frame) * 16 + 16 > indexBytes)
            return 0;
        const uint8_t* e = index + static_cast<size_t>(frame) * 16;
        *position = Rd32(e + 8);
        *length = Rd32(e + 12);
        return 1;
    }

    // Super index: find the standard index that covers the frame. Entries in use are bounded
    // by what the copied chunk holds.
    uint32_t inUse = Rd32(index + 4);
    const uint32_t present = (indexBytes - 24) / 16;
    if (inUse > present)
        inUse = present;
    uint32_t rest = frame;
    uint32_t i = 0;
    for (; i < inUse; ++i) {
        const uint32_t covers = Rd32(index + 24 + static_cast<size_t>(i) * 16 + 12);
        if (rest < covers)
            break;
        rest -= covers;
    }
    if (i >= inUse)
        return 0;
    const uint64_t chunkPos = Rd64(index + 24 + static_cast<size_t>(i) * 16);

    // Standard index: only its 32-byte header and the one entry needed are read.
    const uint64_t total = fileSize;
    uint8_t head[32];
    if (chunkPos > total || total - chunkPos < sizeof head ||
        chunkPos > static_cast<uint64_t>(INT64_MAX))
        return Fail(kDvErrorIndex);
    if (Seek(static_cast<int64_t>(chunkPos), FILE_BEGIN) != static_cast<int64_t>(chunkPos) ||
        !Read(head, sizeof head))
        return Fail(kDvErrorIndex);
    if (head[11] != 1)
        return Fail(kDvErrorIndex);
    const uint32_t entrySize = head[10] == 1 ? 12 : 8;
    uint64_t chunkEnd = chunkPos + 8 + static_cast<uint64_t>(Rd32(head + 4));
    if (chunkEnd > total)
        chunkEnd = total;
    const uint64_t present2 = chunkEnd > chunkPos + 32 ? (chunkEnd - chunkPos - 32) / entrySize : 0;
    if (rest >= Rd32(head + 12) || rest >= present2)
        return Fail(kDvErrorIndex);
    const int64_t entryPos =
        static_cast<int64_t>(chunkPos + 32 + static_cast<uint64_t>(rest) * entrySize);
    uint8_t entry[8];
    if (Seek(entryPos, FILE_BEGIN) != entryPos || !Read(entry, sizeof entry))
        return Fail(kDvErrorIndex);
    const uint64_t where = Rd64(head + 20) + Rd32(entry);
    if (where > static_cast<uint64_t>(INT64_MAX))
        return Fail(kDvErrorIndex);
    *position = where;
    *length = Rd32(entry + 4) & 0x7FFFFFFFu; // bit 31 marks a delta frame
    return 1;
}

int64_t DvAviReader::FramePosition(uint32_t frame) {
    uint64_t position = 0;
    uint32_t length = 0;
    if (!LocateFrame(frame, &position, &length))
        return -1;
    return static_cast<int64_t>(position);
}

const uint8_t* DvAviReader::ReadSequence(uint32_t frame, int seq) {
    if (!IsFileOpen() || frame >= frameCount)
        return nullptr;
    if (static_cast<int>(frame) == cachedFrame && seq == cachedSequence)
        return sequence;

    uint64_t position = 0;
    uint32_t length = 0;
    if (seq < 0 || !LocateFrame(frame, &position, &length)) {
        Fail(kDvErrorFramePosition);
        return nullptr;
    }
    // The sequence must lie inside the frame's own chunk: a dropped or cut frame (shorter
    // chunk) would otherwise yield the bytes of whatever follows it.
    const uint64_t offset = static_cast<uint64_t>(seq) * kDifSequenceSize;
    const uint64_t at = position + offset;
    const uint64_t now = Size();
    if (offset + kDifSequenceSize > length || now < kDifSequenceSize ||
        at >= now - kDifSequenceSize) {
        Fail(kDvErrorFramePosition);
        return nullptr;
    }
    if (Seek(static_cast<int64_t>(at), FILE_BEGIN) != static_cast<int64_t>(at) ||
        !Read(sequence, kDifSequenceSize)) {
        // The cache may be partly overwritten: it no longer holds what its keys say.
        cachedFrame = -1;
        cachedSequence = -1;
        Fail(kDvErrorFrameRead);
        return nullptr;
    }
    cachedFrame = static_cast<int>(frame);
    cachedSequence = seq;
    return sequence;
}

} // namespace camtag
