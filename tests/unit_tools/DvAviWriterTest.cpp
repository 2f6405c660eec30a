// The benchmark's long files must be what they claim: OpenDML files whose every frame the
// module's reader finds through the super index, across all RIFF segments, and the same files
// the tests build in memory.
#include "DvAviWriter.h"
#include "dv/DvAviReader.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace camtag::test {
namespace {

std::vector<uint8_t> TemplateFrame(const char* name = "pal-type2-idx1-ffmpeg.avi",
                                   size_t size = kDvFramePal) {
    DvAviReader reader;
    EXPECT_TRUE(reader.Open(DataPath(name).c_str()));
    std::vector<uint8_t> frame(size);
    int64_t position = reader.FramePosition(0);
    EXPECT_EQ(reader.Seek(position, FILE_BEGIN), position);
    EXPECT_TRUE(reader.Read(frame.data(), size));
    return frame;
}

TEST(SparseDvAvi, EveryFrameIsFoundAcrossSegmentsAndDataFramesDecode) {
    DvAviLayout layout = CaptureLayout(25);
    layout.framesPerSegment = 10; // segments of 10, 10 and 5 frames
    layout.framesWithData = {0, 9, 10, 24};
    ASSERT_EQ(DvAviSegments(layout), 3u);
    TempFile file("spa");
    const std::wstring path = file.WidePath();
    std::string error;
    ASSERT_TRUE(WriteSparseDvAvi(path, layout, TemplateFrame(), &error)) << error;

    DvAviReader reader;
    ASSERT_TRUE(reader.Open(file.Path())) << reader.lastError;
    EXPECT_EQ(reader.frameCount, 25u);
    EXPECT_EQ(reader.dvType, 2);
    EXPECT_EQ(reader.indexKind, 2);
    EXPECT_EQ(reader.isPal, 1);
    int64_t previous = 0;
    for (uint32_t f = 0; f < 25; ++f) {
        int64_t position = reader.FramePosition(f);
        EXPECT_GT(position, previous) << "frame " << f;
        previous = position;
    }
    EXPECT_EQ(reader.FramePosition(25), -1);
    for (uint32_t f : layout.framesWithData) {
        SYSTEMTIME when{};
        ASSERT_TRUE(reader.GetRecordingTime(f, &when)) << "frame " << f;
        EXPECT_EQ(when.wYear, 2004);
        EXPECT_EQ(when.wHour, 14);
    }
    SYSTEMTIME hole{};
    EXPECT_FALSE(reader.GetRecordingTime(5, &hole)); // a hole holds zeros: no date
    reader.Close();
}

TEST(SparseDvAvi, OnlyTheRangesAskedForAreWritten) {
    DvAviLayout layout = CaptureLayout(3);
    layout.framesWithData = {0, 2};
    // The PAL flag and sequence 6, where the packs are; the picture's sequences stay holes.
    layout.writtenRanges = {{0, 4}, {72000, 12000}, {kDvFramePal - 2, 100}};
    TempFile file("spr");
    std::string error;
    ASSERT_TRUE(WriteSparseDvAvi(file.WidePath(), layout, TemplateFrame(), &error)) << error;
    DvAviReader reader;
    ASSERT_TRUE(reader.Open(file.Path())) << reader.lastError;
    EXPECT_EQ(reader.isPal, 1);
    SYSTEMTIME when{};
    EXPECT_TRUE(reader.GetRecordingTime(2, &when));
    EXPECT_EQ(when.wYear, 2004);
    std::vector<uint8_t> frame(kDvFramePal);
    const std::vector<uint8_t> original = TemplateFrame();
    const int64_t position = reader.FramePosition(2);
    ASSERT_EQ(reader.Seek(position, FILE_BEGIN), position);
    ASSERT_TRUE(reader.Read(frame.data(), frame.size()));
    EXPECT_TRUE(std::equal(frame.begin() + 72000, frame.begin() + 84000, original.begin() + 72000));
    EXPECT_TRUE(std::equal(frame.end() - 2, frame.end(), original.end() - 2))
        << "a range past the end is cut";
    EXPECT_EQ(std::count(frame.begin() + 4, frame.begin() + 72000, 0), 72000 - 4)
        << "the rest is a hole";
    reader.Close();
}

TEST(SparseDvAvi, Avi10WithInterleavedAudioIndexesEveryVideoChunk) {
    const char* source = "ntsc-type2-idx1-dvgrab-camcorder.avi";
    DvAviLayout layout = CaptureLayout(30, false);
    layout.pal = false;
    layout.audioChunks = true;
    layout.framesWithData = {0, 29};
    ASSERT_EQ(DvAviSegments(layout), 1u);
    TempFile file("spb");
    const std::wstring path = file.WidePath();
    std::string error;
    ASSERT_TRUE(WriteSparseDvAvi(path, layout, TemplateFrame(source, kDvFrameNtsc), &error))
        << error;

    SYSTEMTIME expected{};
    {
        DvAviReader original;
        ASSERT_TRUE(original.Open(DataPath(source).c_str()));
        ASSERT_TRUE(original.GetRecordingTime(0, &expected));
    }
    DvAviReader reader;
    ASSERT_TRUE(reader.Open(file.Path())) << reader.lastError;
    EXPECT_EQ(reader.frameCount, 30u);
    EXPECT_EQ(reader.indexKind, 1);
    EXPECT_EQ(reader.isPal, 0);
    // Each frame's video chunk follows its audio chunk (8 + 6400 bytes) in the movi list.
    for (uint32_t f = 1; f < 30; ++f)
        EXPECT_EQ(reader.FramePosition(f) - reader.FramePosition(f - 1),
                  8 + 6400 + 8 + int64_t(kDvFrameNtsc))
            << "frame " << f;
    for (uint32_t f : layout.framesWithData) {
        SYSTEMTIME when{};
        ASSERT_TRUE(reader.GetRecordingTime(f, &when)) << "frame " << f;
        EXPECT_EQ(when.wYear, expected.wYear);
        EXPECT_EQ(when.wSecond, expected.wSecond);
    }
    reader.Close();
}

TEST(SparseDvAvi, RefusesAnUnusableLayout) {
    DvAviLayout layout = CaptureLayout(0);
    std::string error;
    std::vector<uint8_t> frame(kDvFramePal);
    TempFile file("spc");
    EXPECT_FALSE(WriteSparseDvAvi(file.WidePath(), layout, frame, &error));
    layout.frames = 10;
    EXPECT_FALSE(WriteSparseDvAvi(file.WidePath(), layout, std::vector<uint8_t>(100), &error));
}

// A sparse file whose every frame carries data holds the bytes BuildDvAvi makes of its layout.
TEST(SparseDvAvi, WithEveryFrameWrittenItIsTheFileBuiltInMemory) {
    DvAviLayout odml = CaptureLayout(7);
    odml.framesPerSegment = 3;
    odml.audioChunks = odml.twoField = odml.indexBeforeFrames = true;
    DvAviLayout avi = CaptureLayout(4, false);
    avi.pal = avi.strf = false;
    avi.dvType = 1;
    avi.audioChunks = avi.junkBeforeIdx1 = true;
    for (DvAviLayout layout : {odml, avi}) {
        layout.framesWithData = SpreadFrames(layout.frames, layout.frames);
        TempFile file("spe");
        std::string error;
        ASSERT_TRUE(WriteSparseDvAvi(file.WidePath(), layout, &error)) << error;
        std::ifstream written(file.Path(), std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(written), {}};
        EXPECT_TRUE(bytes == BuildDvAvi(layout).bytes) << layout.frames << " frames";
    }
}

} // namespace
} // namespace camtag::test
