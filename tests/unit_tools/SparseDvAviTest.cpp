// The benchmark's long files must be what they claim: OpenDML files whose every frame the
// module's reader finds through the super index, across all RIFF segments.
#include "SparseDvAvi.h"
#include "dv/DvAviReader.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace camtag {
namespace {

std::vector<uint8_t> TemplateFrame(const char* name = "pal-type2-idx1-ffmpeg.avi", uint32_t size = kPalDvFrameSize) {
    DvAviReader reader;
    EXPECT_TRUE(reader.Open(test::DataPath(name).c_str()));
    std::vector<uint8_t> frame(size);
    int64_t position = reader.FramePosition(0);
    EXPECT_EQ(reader.Seek(position, FILE_BEGIN), position);
    EXPECT_TRUE(reader.Read(frame.data(), size));
    return frame;
}

TEST(SparseDvAvi, EveryFrameIsFoundAcrossSegmentsAndDataFramesDecode) {
    SparseDvAviLayout layout;
    layout.totalFrames = 25;
    layout.framesPerSegment = 10; // segments of 10, 10 and 5 frames
    layout.framesWithData = {0, 9, 10, 24};
    ASSERT_EQ(SparseDvAviSegments(layout), 3u);
    test::TempFile file("spa");
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
    SparseDvAviLayout layout;
    layout.totalFrames = 3;
    layout.framesWithData = {0, 2};
    // The PAL flag and sequence 6, where the packs are; the picture's sequences stay holes.
    layout.writtenRanges = {{0, 4}, {72000, 12000}, {kPalDvFrameSize - 2, 100}};
    test::TempFile file("spr");
    std::string error;
    ASSERT_TRUE(WriteSparseDvAvi(file.WidePath(), layout, TemplateFrame(), &error)) << error;
    DvAviReader reader;
    ASSERT_TRUE(reader.Open(file.Path())) << reader.lastError;
    EXPECT_EQ(reader.isPal, 1);
    SYSTEMTIME when{};
    EXPECT_TRUE(reader.GetRecordingTime(2, &when));
    EXPECT_EQ(when.wYear, 2004);
    std::vector<uint8_t> frame(kPalDvFrameSize);
    const std::vector<uint8_t> original = TemplateFrame();
    const int64_t position = reader.FramePosition(2);
    ASSERT_EQ(reader.Seek(position, FILE_BEGIN), position);
    ASSERT_TRUE(reader.Read(frame.data(), frame.size()));
    EXPECT_TRUE(std::equal(frame.begin() + 72000, frame.begin() + 84000, original.begin() + 72000));
    EXPECT_TRUE(std::equal(frame.end() - 2, frame.end(), original.end() - 2)) << "a range past the end is cut";
    EXPECT_EQ(std::count(frame.begin() + 4, frame.begin() + 72000, 0), 72000 - 4) << "the rest is a hole";
    reader.Close();
}

TEST(SparseDvAvi, Avi10WithInterleavedAudioIndexesEveryVideoChunk) {
    const char* source = "ntsc-type2-idx1-dvgrab-camcorder.avi";
    SparseDvAviLayout layout;
    layout.totalFrames = 30;
    layout.pal = false;
    layout.openDml = false;
    layout.interleavedAudio = true;
    layout.framesWithData = {0, 29};
    ASSERT_EQ(SparseDvAviSegments(layout), 1u);
    test::TempFile file("spb");
    const std::wstring path = file.WidePath();
    std::string error;
    ASSERT_TRUE(WriteSparseDvAvi(path, layout, TemplateFrame(source, kNtscDvFrameSize), &error)) << error;

    SYSTEMTIME expected{};
    {
        DvAviReader original;
        ASSERT_TRUE(original.Open(test::DataPath(source).c_str()));
        ASSERT_TRUE(original.GetRecordingTime(0, &expected));
    }
    DvAviReader reader;
    ASSERT_TRUE(reader.Open(file.Path())) << reader.lastError;
    EXPECT_EQ(reader.frameCount, 30u);
    EXPECT_EQ(reader.indexKind, 1);
    EXPECT_EQ(reader.isPal, 0);
    // Each frame's video chunk follows its audio chunk (8 + 6400 bytes) in the movi list.
    for (uint32_t f = 1; f < 30; ++f)
        EXPECT_EQ(reader.FramePosition(f) - reader.FramePosition(f - 1), 8 + 6400 + 8 + int64_t(kNtscDvFrameSize))
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
    SparseDvAviLayout layout;
    std::string error;
    std::vector<uint8_t> frame(kPalDvFrameSize);
    test::TempFile file("spc");
    EXPECT_FALSE(WriteSparseDvAvi(file.WidePath(), layout, frame, &error));
    layout.totalFrames = 10;
    EXPECT_FALSE(WriteSparseDvAvi(file.WidePath(), layout, std::vector<uint8_t>(100), &error));
}

} // namespace
} // namespace camtag
