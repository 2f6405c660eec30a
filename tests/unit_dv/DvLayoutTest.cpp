// The reader on hand-built layouts: stream choice, both index kinds, odd and hostile files.
#include "DvAviWriter.h"
#include "dv/DvAviReader.h"
#include "support/TestSupport.h"
#include "timecode/TimecodeValue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

using namespace camtag;
using namespace camtag::test;

namespace {

std::vector<int> raised;
void RecordReason(int reason) {
    raised.push_back(reason);
}

// Writes the layout to a temp file and opens a reader on it.
class Opened {
public:
    explicit Opened(const BuiltAvi& avi, size_t length = static_cast<size_t>(-1)) : file("dv") {
        EXPECT_TRUE(file.Write(avi.bytes, length));
        reader.Open(file.Path());
    }
    TempFile file;
    DvAviReader reader;
};

void ExpectPositions(DvAviReader& reader, const BuiltAvi& avi) {
    ASSERT_EQ(reader.frameCount, avi.framePositions.size());
    for (uint32_t i = 0; i < reader.frameCount; ++i)
        EXPECT_EQ(reader.FramePosition(i), static_cast<int64_t>(avi.framePositions[i]))
            << "frame " << i;
}

TEST(DvLayoutStreams, TheFirstVideoStreamDecidesTheDvType) {
    struct Case {
        const char* name;
        DvAviLayout layout;
        int dvType; // 0: rejected
        int reason;
    };
    std::vector<Case> cases;
    auto add = [&](const char* name, auto change, int dvType, int reason) {
        DvAviLayout l;
        l.frames = 2;
        change(l);
        cases.push_back({name, l, dvType, reason});
    };
    add(
        "vids dvsd", [](DvAviLayout&) {}, 2, 0);
    add(
        "audio stream first, then DV vids", [](DvAviLayout& l) { l.audioStreamFirst = true; }, 2,
        0);
    add(
        "non-DV video stream before a DV one", [](DvAviLayout& l) { l.otherVideoFirst = true; }, 0,
        kDvErrorNotDv);
    add(
        "iavs dvsd without strf",
        [](DvAviLayout& l) {
            l.dvType = 1;
            l.strf = false;
        },
        1, 0);
    add(
        "iavs CDVC without strf",
        [](DvAviLayout& l) {
            l.dvType = 1;
            l.strf = false;
            l.handler = "CDVC";
        },
        1, 0);
    add(
        "iavs other handler, DV strf",
        [](DvAviLayout& l) {
            l.dvType = 1;
            l.handler = "abcd";
        },
        2, 0);
    add(
        "iavs other handler, no strf",
        [](DvAviLayout& l) {
            l.dvType = 1;
            l.handler = "abcd";
            l.strf = false;
        },
        0, kDvErrorStreamHeader);
    add(
        "iavs other handler, MJPG strf",
        [](DvAviLayout& l) {
            l.dvType = 1;
            l.handler = "abcd";
            l.compression = "MJPG";
        },
        0, kDvErrorNotDv);
    add(
        "vids without strf", [](DvAviLayout& l) { l.strf = false; }, 0, kDvErrorStreamHeader);
    add(
        "vids MJPG", [](DvAviLayout& l) { l.compression = "MJPG"; }, 0, kDvErrorNotDv);
    // Several writers store the codes in capitals; case does not matter.
    add(
        "vids DVSD", [](DvAviLayout& l) { l.compression = "DVSD"; }, 2, 0);
    add(
        "vids cdvc", [](DvAviLayout& l) { l.compression = "cdvc"; }, 2, 0);
    add(
        "vids dvhd, dsvd, dvsl handler ignored",
        [](DvAviLayout& l) {
            l.compression = "dvhd";
            l.handler = "xxxx";
        },
        2, 0);
    add(
        "iavs DVSD handler",
        [](DvAviLayout& l) {
            l.dvType = 1;
            l.strf = false;
            l.handler = "DVSD";
        },
        1, 0);
    add(
        "only an audio stream", [](DvAviLayout& l) { l.streamType = "auds"; }, 0,
        kDvErrorStreamHeader);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BuiltAvi avi = BuildDvAvi(c.layout);
        Opened o(avi);
        EXPECT_EQ(o.reader.isOpen, c.dvType != 0);
        EXPECT_EQ(o.reader.dvType, c.dvType);
        EXPECT_EQ(o.reader.lastError, c.reason);
        if (c.dvType)
            ExpectPositions(o.reader, avi);
    }
}

TEST(DvLayoutIdx1, OnlyVideoEntriesEnterTheTableInFileOrder) {
    DvAviLayout l;
    l.frames = 4;
    l.audioChunks = true;
    BuiltAvi avi = BuildDvAvi(l);
    Opened o(avi);
    ASSERT_EQ(o.reader.isOpen, 1);
    EXPECT_EQ(o.reader.indexKind, 1);
    EXPECT_EQ(o.reader.isPal, 1);
    ExpectPositions(o.reader, avi);

    // Audio stream first: video entries are "01dc".
    l.audioStreamFirst = true;
    BuiltAvi second = BuildDvAvi(l);
    Opened p(second);
    ASSERT_EQ(p.reader.isOpen, 1);
    ExpectPositions(p.reader, second);
}

TEST(DvLayoutIdx1, InterleavedChunksNamedWithUnderscoresAreFrames) {
    DvAviLayout l;
    l.frames = 3;
    l.dvType = 1;
    l.strf = false;
    l.audioChunks = true;
    l.videoChunkKind = "__";
    BuiltAvi avi = BuildDvAvi(l);
    Opened o(avi);
    ASSERT_EQ(o.reader.isOpen, 1);
    ExpectPositions(o.reader, avi);

    // A type-2 stream's chunks are "dc"; "__" entries there are not video.
    l.dvType = 2;
    l.strf = true;
    Opened p(BuildDvAvi(l));
    EXPECT_EQ(p.reader.frameCount, 0u);
}

TEST(DvLayoutIdx1, JunkBetweenMoviAndIdx1FailsAsAnIndexError) {
    DvAviLayout l;
    l.junkBeforeIdx1 = true;
    Opened o(BuildDvAvi(l));
    EXPECT_EQ(o.reader.isOpen, 0);
    EXPECT_EQ(o.reader.lastError, kDvErrorIndex);
}

TEST(DvLayoutIdx1, FewerEntriesThanPromisedShortenTheFrameCount) {
    DvAviLayout l;
    l.frames = 3;
    l.avihFrames = 50;
    l.strhLength = 50;
    BuiltAvi avi = BuildDvAvi(l);
    Opened o(avi);
    ASSERT_EQ(o.reader.isOpen, 1);
    ExpectPositions(o.reader, avi);
    EXPECT_EQ(o.reader.ReadSequence(3, 6), nullptr);
    EXPECT_EQ(o.reader.ReadSequence(49, 6), nullptr);
}

TEST(DvLayoutIdx1, MainHeaderTotalLimitsTheTable) {
    DvAviLayout l;
    l.frames = 5;
    l.avihFrames = 2;
    BuiltAvi avi = BuildDvAvi(l);
    Opened o(avi);
    ASSERT_EQ(o.reader.isOpen, 1);
    EXPECT_EQ(o.reader.frameCount, 2u);
    EXPECT_EQ(o.reader.FramePosition(1), static_cast<int64_t>(avi.framePositions[1]));
    EXPECT_EQ(o.reader.FramePosition(2), -1);
}

TEST(DvLayoutFrameCount, DmlhTotalWinsUnlessZero) {
    // dmlh 100, headers 40 (as in the first RIFF of a long file).
    DvAviLayout l;
    l.pal = false;
    l.frames = 100;
    l.index = DvAviLayout::Index::OpenDml;
    l.framesPerSegment = 40;
    l.dmlh = true;
    l.dmlhFrames = 100;
    l.avihFrames = 40;
    l.strhLength = 40;
    l.fill = [](uint32_t, uint8_t* data, size_t) { data[3] = 0x3F; };
    BuiltAvi avi = BuildDvAvi(l);
    Opened o(avi);
    ASSERT_EQ(o.reader.isOpen, 1);
    EXPECT_EQ(o.reader.frameCount, 100u);
    EXPECT_EQ(o.reader.FramePosition(99), static_cast<int64_t>(avi.framePositions[99]));
    EXPECT_NE(o.reader.ReadSequence(99, 6), nullptr);
    EXPECT_EQ(o.reader.FramePosition(100), -1);

    // A reserved OpenDML header with a zero total (as ffmpeg leaves it): the stream length counts.
    DvAviLayout r;
    r.frames = 3;
    r.reservedOdmlJunk = true;
    Opened z(BuildDvAvi(r));
    ASSERT_EQ(z.reader.isOpen, 1);
    EXPECT_EQ(z.reader.frameCount, 3u);
    // ... and without a stream length, the main header's total.
    r.strhLength = 0;
    Opened m(BuildDvAvi(r));
    ASSERT_EQ(m.reader.isOpen, 1);
    EXPECT_EQ(m.reader.frameCount, 3u);
}

TEST(DvLayoutOpenDml, SegmentsAndTwoFieldIndexesAreAddressed) {
    for (bool twoField : {false, true}) {
        for (int dvType : {1, 2}) {
            SCOPED_TRACE(twoField ? "two-field" : "frame index");
            SCOPED_TRACE(dvType);
            DvAviLayout l;
            l.dvType = dvType;
            l.strf = dvType == 2;
            l.frames = 7;
            l.index = DvAviLayout::Index::OpenDml;
            l.framesPerSegment = 3;
            l.twoField = twoField;
            l.audioChunks = true;
            BuiltAvi avi = BuildDvAvi(l);
            ASSERT_EQ(avi.standardIndexAt.size(), 3u);
            Opened o(avi);
            ASSERT_EQ(o.reader.isOpen, 1);
            EXPECT_EQ(o.reader.indexKind, 2);
            EXPECT_EQ(o.reader.dvType, dvType);
            ExpectPositions(o.reader, avi);
            DvFrameInfo info;
            EXPECT_EQ(o.reader.DecodeFrame(6, &info), 1);
        }
    }
}

TEST(DvLayoutOpenDml, BrokenStandardIndexesFailTheirFramesOnly) {
    DvAviLayout l;
    l.frames = 6;
    l.index = DvAviLayout::Index::OpenDml;
    l.framesPerSegment = 3;
    BuiltAvi avi = BuildDvAvi(l);
    // Second standard index: wrong index type.
    avi.bytes[avi.standardIndexAt[1] + 11] = 0;
    Opened o(avi);
    ASSERT_EQ(o.reader.isOpen, 1);
    EXPECT_EQ(o.reader.FramePosition(2), static_cast<int64_t>(avi.framePositions[2]));
    raised.clear();
    SetDvErrorHook(RecordReason);
    EXPECT_EQ(o.reader.FramePosition(3), -1);
    EXPECT_EQ(o.reader.ReadSequence(4, 6), nullptr);
    SetDvErrorHook(nullptr);
    EXPECT_EQ(raised, (std::vector<int>{kDvErrorIndex, kDvErrorIndex, kDvErrorFramePosition}));
    EXPECT_EQ(o.reader.lastError, kDvErrorFramePosition);
}

// A damaged first standard index costs its own frames only: the file opens, the TV system comes
// from the first frame that has a position, and the later segments keep their dates.
TEST(DvLayoutOpenDml, AFirstIndexWithoutPositionsKeepsTheLaterSegments) {
    DvAviLayout l;
    l.pal = true;
    l.frames = 6;
    l.index = DvAviLayout::Index::OpenDml;
    l.framesPerSegment = 3;
    struct Case {
        const char* name;
        std::function<void(BuiltAvi&)> damage;
        uint32_t firstPlaced; // 6: no frame has a position
        int isPal;
    };
    const std::vector<Case> cases = {
        {"first standard index of the wrong type",
         [](BuiltAvi& a) { a.bytes[a.standardIndexAt[0] + 11] = 0; }, 3, 1},
        {"first standard index past the end",
         [](BuiltAvi& a) { std::memset(&a.bytes[a.indxAt + 8 + 24], 0xFF, 8); }, 3, 1},
        {"first standard index holds no entry",
         [](BuiltAvi& a) { std::memset(&a.bytes[a.standardIndexAt[0] + 12], 0, 4); }, 3, 1},
        {"no super index entry in use",
         [](BuiltAvi& a) { std::memset(&a.bytes[a.indxAt + 8 + 4], 0, 4); }, 6, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BuiltAvi avi = BuildDvAvi(l);
        c.damage(avi);
        Opened o(avi);
        ASSERT_EQ(o.reader.isOpen, 1);
        EXPECT_EQ(o.reader.lastError, 0) << "the open succeeded: no failure stands";
        EXPECT_EQ(o.reader.dvType, 2);
        EXPECT_EQ(o.reader.isPal, c.isPal);
        for (uint32_t i = 0; i < 6; ++i) {
            DvFrameInfo info;
            const bool placed = i >= c.firstPlaced;
            EXPECT_EQ(o.reader.FramePosition(i),
                      placed ? static_cast<int64_t>(avi.framePositions[i]) : -1)
                << i;
            EXPECT_EQ(o.reader.DecodeFrame(i, &info), placed ? 1 : 0) << i;
        }
    }
}

// Size and count fields that lie: nothing may be read outside the data, nothing may loop.
TEST(DvLayoutHostile, LyingSizesAndCountsFailCleanly) {
    DvAviLayout idx;
    idx.frames = 3;
    idx.audioChunks = true;
    DvAviLayout odml = idx;
    odml.index = DvAviLayout::Index::OpenDml;
    odml.framesPerSegment = 2;

    struct Case {
        const char* name;
        const DvAviLayout* layout;
        std::function<void(BuiltAvi&)> damage;
        int opens;  // 1: open succeeds
        int reason; // of the open
        uint32_t frames;
    };
    const std::vector<Case> cases = {
        {"hdrl size 0xFFFFFFF0", &idx,
         [](BuiltAvi& a) {
             std::memset(&a.bytes[a.hdrlSizeAt], 0xFF, 4);
             a.bytes[a.hdrlSizeAt] = 0xF0;
         },
         0, kDvErrorHeader, 0},
        {"hdrl size 0", &idx, [](BuiltAvi& a) { std::memset(&a.bytes[a.hdrlSizeAt], 0, 4); }, 0,
         kDvErrorHeader, 0},
        {"strh size huge", &idx, [](BuiltAvi& a) { std::memset(&a.bytes[a.strhAt + 4], 0xFF, 4); },
         0, kDvErrorStreamHeader, 0},
        {"movi size wraps", &idx,
         [](BuiltAvi& a) {
             std::memset(&a.bytes[a.moviAt + 4], 0xFF, 4);
             std::memset(&a.bytes[a.moviAt + 4], 0xF8, 1);
         },
         0, kDvErrorIndex, 0},
        {"movi size 0", &idx, [](BuiltAvi& a) { std::memset(&a.bytes[a.moviAt + 4], 0, 4); }, 0,
         kDvErrorIndex, 0},
        {"idx1 size huge", &idx, [](BuiltAvi& a) { std::memset(&a.bytes[a.idx1At + 4], 0xFF, 4); },
         1, 0, 3},
        {"idx1 size cuts the last frame", &idx, [](BuiltAvi& a) { a.bytes[a.idx1At + 4] -= 16; }, 1,
         0, 2},
        {"indx size huge", &odml, [](BuiltAvi& a) { std::memset(&a.bytes[a.indxAt + 4], 0xFF, 4); },
         1, 0, 3},
        {"indx size below its header", &odml,
         [](BuiltAvi& a) {
             std::memset(&a.bytes[a.indxAt + 4], 0, 4);
             a.bytes[a.indxAt + 4] = 12;
         },
         0, kDvErrorIndex, 0},
        {"super index entries in use huge", &odml,
         [](BuiltAvi& a) { std::memset(&a.bytes[a.indxAt + 12], 0xFF, 4); }, 1, 0, 3},
        {"super index frame counts huge", &odml,
         [](BuiltAvi& a) { std::memset(&a.bytes[a.indxAt + 8 + 24 + 12], 0xFF, 4); }, 1, 0, 3},
        {"standard index entries in use huge", &odml,
         [](BuiltAvi& a) { std::memset(&a.bytes[a.standardIndexAt[1] + 12], 0xFF, 4); }, 1, 0, 3},
        {"standard index size 0", &odml,
         [](BuiltAvi& a) { std::memset(&a.bytes[a.standardIndexAt[1] + 4], 0, 4); }, 1, 0, 3},
        {"super index points past the end", &odml,
         [](BuiltAvi& a) { std::memset(&a.bytes[a.indxAt + 8 + 24 + 16], 0xFF, 8); }, 1, 0, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BuiltAvi avi = BuildDvAvi(*c.layout);
        c.damage(avi);
        Opened o(avi);
        EXPECT_EQ(o.reader.isOpen, c.opens);
        EXPECT_EQ(o.reader.lastError, c.reason);
        if (!c.opens)
            continue;
        EXPECT_EQ(o.reader.frameCount, c.frames);
        // Every frame either reads its own data or fails; none reads elsewhere.
        for (uint32_t i = 0; i < o.reader.frameCount + 2; ++i) {
            const int64_t pos = o.reader.FramePosition(i);
            if (pos != -1) {
                ASSERT_LT(i, avi.framePositions.size());
                EXPECT_EQ(pos, static_cast<int64_t>(avi.framePositions[i]));
            }
            o.reader.ReadSequence(i, 6);
        }
    }
}

TEST(DvLayoutHostile, TruncatedFilesNeverReadBeyondTheirEnd) {
    for (auto kind : {DvAviLayout::Index::Idx1, DvAviLayout::Index::OpenDml}) {
        DvAviLayout l;
        l.pal = false;
        l.frames = 2;
        l.index = kind;
        l.indexBeforeFrames = true; // so that cuts through the last frame leave the index whole
        BuiltAvi avi = BuildDvAvi(l);
        const size_t full = avi.bytes.size();
        std::vector<size_t> cuts;
        for (size_t n = 0; n < 2048; n += 7)
            cuts.push_back(n);
        for (size_t n : {avi.framePositions[1] + 6 * kDifSequence + kDifSequence,
                         avi.framePositions[1] + 6 * kDifSequence + kDifSequence + 1, full - 1})
            cuts.push_back(n);
        size_t opened = 0;
        size_t sequencesRead = 0;
        for (size_t n : cuts) {
            SCOPED_TRACE(n);
            Opened o(avi, n);
            if (!o.reader.isOpen)
                continue;
            ++opened;
            for (uint32_t i = 0; i < o.reader.frameCount; ++i) {
                const uint8_t* seq = o.reader.ReadSequence(i, 6);
                // The sequence must end strictly before the end of the file, and be there when
                // it does.
                const bool fits = avi.framePositions[i] + 7 * kDifSequence < n;
                EXPECT_EQ(seq != nullptr, fits) << "frame " << i;
                sequencesRead += seq != nullptr;
            }
        }
        // idx1 ends the file, so only the cut of its last byte opens (with one frame left); the
        // OpenDML file opens whenever its first frame's header byte is there.
        const size_t expected = kind == DvAviLayout::Index::Idx1 ? 1 : 3;
        EXPECT_GE(opened, expected);
        EXPECT_GE(sequencesRead, expected);
    }
}

TEST(DvLayoutHostile, RandomDamageToTheHeadersNeverCrashes) {
    std::mt19937 random(20261208);
    for (auto kind : {DvAviLayout::Index::Idx1, DvAviLayout::Index::OpenDml}) {
        DvAviLayout l;
        l.frames = 3;
        l.index = kind;
        l.framesPerSegment = 2;
        l.audioChunks = true;
        const BuiltAvi clean = BuildDvAvi(l);
        // Header bytes, and the index chunks (standard indexes and idx1) at the end of segments.
        std::vector<size_t> spots;
        for (size_t i = 0; i < clean.framePositions[0]; ++i)
            spots.push_back(i);
        for (size_t at : clean.standardIndexAt)
            for (size_t i = at; i < at + 64 && i < clean.bytes.size(); ++i)
                spots.push_back(i);
        if (clean.idx1At)
            for (size_t i = clean.idx1At; i < clean.bytes.size(); ++i)
                spots.push_back(i);
        BuiltAvi avi = clean;
        TempFile file("dz");
        for (int round = 0; round < 300; ++round) {
            avi.bytes = clean.bytes;
            for (int k = 0; k < 4; ++k)
                avi.bytes[spots[random() % spots.size()]] = static_cast<uint8_t>(random());
            ASSERT_TRUE(file.Write(avi.bytes));
            DvAviReader reader(file.Path());
            for (uint32_t i = 0; reader.isOpen && i < 4; ++i) {
                DvFrameInfo info;
                reader.DecodeFrame(i, &info);
            }
        }
    }
}

TEST(DvLayoutSequence, SequenceMustFitInsideTheFrameAndBeforeTheEnd) {
    DvAviLayout l;
    l.pal = false;
    l.frames = 3;
    BuiltAvi avi = BuildDvAvi(l);
    {
        // Shorten frame 1's idx1 length field only: the data is there, the chunk says it is not.
        RiffBuffer b;
        b.bytes = avi.bytes;
        const size_t entry1 = avi.idx1At + 8 + 16;
        b.Patch32(entry1 + 12, 1000);
        avi.bytes = b.bytes;
    }
    Opened o(avi);
    ASSERT_EQ(o.reader.isOpen, 1);
    EXPECT_NE(o.reader.ReadSequence(0, 6), nullptr);
    EXPECT_EQ(o.reader.ReadSequence(1, 6), nullptr);
    EXPECT_EQ(o.reader.lastError, kDvErrorFramePosition);
    EXPECT_NE(o.reader.ReadSequence(2, 6), nullptr);
    EXPECT_NE(o.reader.ReadSequence(2, 9), nullptr);
    EXPECT_EQ(o.reader.ReadSequence(2, 10), nullptr) << "an NTSC frame has 10 sequences";
    EXPECT_EQ(o.reader.ReadSequence(2, -1), nullptr);

    // A last frame whose sequence 6 ends exactly at the end of the file is refused.
    DvAviLayout e = l;
    e.index = DvAviLayout::Index::OpenDml;
    e.indexBeforeFrames = true;
    BuiltAvi atEnd = BuildDvAvi(e);
    const size_t endOfSeq6 = atEnd.framePositions[2] + 7 * kDifSequence;
    Opened cut(atEnd, endOfSeq6);
    ASSERT_EQ(cut.reader.isOpen, 1);
    EXPECT_EQ(cut.reader.ReadSequence(2, 6), nullptr);
    EXPECT_EQ(cut.reader.lastError, kDvErrorFramePosition);
    EXPECT_NE(cut.reader.ReadSequence(2, 5), nullptr);
    Opened oneMore(atEnd, endOfSeq6 + 1);
    EXPECT_NE(oneMore.reader.ReadSequence(2, 6), nullptr);
}

TEST(DvLayoutSequence, TheSameSequenceIsServedFromTheCache) {
    DvAviLayout l;
    l.frames = 2;
    l.fill = [](uint32_t frame, uint8_t* data, size_t) {
        data[3] = 0xBF;
        data[6 * kDifSequence + 100] = static_cast<uint8_t>(0x40 + frame);
        data[7 * kDifSequence + 100] = static_cast<uint8_t>(0x70 + frame);
    };
    Opened o(BuildDvAvi(l));
    ASSERT_EQ(o.reader.isOpen, 1);
    const uint8_t* first = o.reader.ReadSequence(1, 6);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first[100], 0x41);
    // Mark the cache: a second read of the same key must not go to the file.
    const_cast<uint8_t*>(first)[100] = 0xEE;
    EXPECT_EQ(o.reader.ReadSequence(1, 6)[100], 0xEE);
    EXPECT_EQ(o.reader.ReadSequence(1, 7)[100], 0x71);
    EXPECT_EQ(o.reader.ReadSequence(0, 6)[100], 0x40);
    EXPECT_EQ(o.reader.ReadSequence(1, 6)[100], 0x41);
}

TEST(DvLayoutFrames, CamcorderFramesWrappedInEveryLayoutDecodeAlike) {
    // Real frames from a raw capture, in layouts no tool wrote.
    std::vector<uint8_t> raw;
    {
        HANDLE h = CreateFileA(DataPath("ntsc-camcorder-5frames.dv").c_str(), GENERIC_READ,
                               FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        raw.resize(5 * kDvFrameNtsc);
        DWORD got = 0;
        ReadFile(h, raw.data(), static_cast<DWORD>(raw.size()), &got, nullptr);
        CloseHandle(h);
        ASSERT_EQ(got, raw.size());
    }
    auto fill = [&raw](uint32_t frame, uint8_t* data, size_t size) {
        memcpy(data, raw.data() + frame * kDvFrameNtsc, size);
    };
    for (int variant = 0; variant < 3; ++variant) {
        SCOPED_TRACE(variant);
        DvAviLayout l;
        l.pal = false;
        l.frames = 5;
        l.fill = fill;
        l.dvType = variant == 0 ? 1 : 2;
        l.strf = variant != 0;
        l.index = variant == 2 ? DvAviLayout::Index::OpenDml : DvAviLayout::Index::Idx1;
        l.framesPerSegment = 2;
        l.audioChunks = variant == 1;
        Opened o(BuildDvAvi(l));
        ASSERT_EQ(o.reader.isOpen, 1);
        EXPECT_EQ(o.reader.isPal, 0);
        for (uint32_t i = 0; i < 5; ++i) {
            SYSTEMTIME st;
            TimecodeValue tc;
            ASSERT_EQ(o.reader.GetRecordingTime(i, &st, &tc), 1);
            EXPECT_EQ(st.wYear, 2024);
            EXPECT_EQ(st.wHour, 19);
            EXPECT_EQ(tc.frames, static_cast<int>(17 + i));
        }
    }
}

} // namespace
