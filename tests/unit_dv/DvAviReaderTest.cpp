// The reader on files written by real tools, and its resource handling.
#include "dv/DvAviReader.h"
#include "support/TestSupport.h"
#include "timecode/TimecodeValue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace camtag;

namespace {

// Bytes in use in the process heap (where GlobalAlloc takes its blocks from).
size_t BusyHeapBytes() {
    HANDLE heap = GetProcessHeap();
    size_t total = 0;
    if (!HeapLock(heap))
        return 0;
    PROCESS_HEAP_ENTRY entry;
    entry.lpData = nullptr;
    while (HeapWalk(heap, &entry))
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
            total += entry.cbData;
    HeapUnlock(heap);
    return total;
}

using test::DataPath;

struct ExpectedFrame {
    const char* date; // nullptr: no valid date and time
    const char* time;
    const char* timecode;
};

struct Fixture {
    const char* file;
    int dvType;
    int indexKind;
    uint32_t frames;
    int isPal;
    std::vector<ExpectedFrame> expected;
};

std::string Smpte(const TimecodeValue& tc) {
    char text[32];
    snprintf(text, sizeof text, "%02d:%02d:%02d%c%02d", tc.hours, tc.minutes, tc.seconds,
             tc.separator, tc.frames);
    return text;
}

const std::vector<Fixture>& Fixtures() {
    static const std::vector<Fixture> all = {
        // Its hdrl reserves an OpenDML header in a JUNK chunk with a zero total.
        {"pal-type2-idx1-ffmpeg.avi",
         2,
         1,
         4,
         1,
         {{"2004-07-15", "14:23:05", "10:20:30:00"},
          {"2004-07-15", "14:23:05", "10:20:30:01"},
          {"2004-07-15", "14:23:05", "10:20:30:02"},
          {"2004-07-15", "14:23:05", "10:20:30:03"}}},
        {"ntsc-type2-idx1-ffmpeg-dropframe.avi",
         2,
         1,
         4,
         0,
         {{"1999-12-31", "23:59:59", "00:00:59;28"},
          {"1999-12-31", "23:59:59", "00:00:59;29"},
          {"1999-12-31", "23:59:59", "00:01:00;02"},
          {"1999-12-31", "23:59:59", "00:01:00;03"}}},
        // Recorded without drop-frame: the labels as the tape holds them.
        {"ntsc-type2-idx1-ffmpeg-nondropframe.avi",
         2,
         1,
         3,
         0,
         {{"2004-07-15", "14:23:05", "00:00:59:29"},
          {"2004-07-15", "14:23:05", "00:01:00:00"},
          {"2004-07-15", "14:23:05", "00:01:00:01"}}},
        {"ntsc-type1-indx-dvgrab-camcorder.avi",
         1,
         2,
         5,
         0,
         {{"2024-07-08", "19:55:58", "00:00:02;17"},
          {"2024-07-08", "19:55:58", "00:00:02;18"},
          {"2024-07-08", "19:55:58", "00:00:02;19"},
          {"2024-07-08", "19:55:58", "00:00:02;20"},
          {"2024-07-08", "19:55:58", "00:00:02;21"}}},
        // idx1 opens with a non-stream entry before the video entries.
        {"ntsc-type2-idx1-dvgrab-camcorder.avi",
         2,
         1,
         5,
         0,
         {{"2024-07-08", "19:55:58", "00:00:02;17"},
          {"2024-07-08", "19:55:58", "00:00:02;18"},
          {"2024-07-08", "19:55:58", "00:00:02;19"},
          {"2024-07-08", "19:55:58", "00:00:02;20"},
          {"2024-07-08", "19:55:58", "00:00:02;21"}}},
        {"ntsc-type2-indx-dvgrab-camcorder.avi",
         2,
         2,
         1,
         0,
         {{"2024-07-08", "19:55:58", "00:00:02;20"}}},
        {"ntsc-type2-idx1-ffmpeg-blank-tape.avi", 2, 1, 1, 0, {{nullptr, nullptr, "00:00:00;00"}}},
    };
    return all;
}

TEST(DvAviReaderFixtures, ContainerFactsAndEveryFrameMatchTheRecording) {
    for (const Fixture& f : Fixtures()) {
        SCOPED_TRACE(f.file);
        DvAviReader reader(DataPath(f.file).c_str());
        ASSERT_EQ(reader.isOpen, 1);
        EXPECT_EQ(reader.lastError, 0);
        EXPECT_EQ(reader.dvType, f.dvType);
        EXPECT_EQ(reader.indexKind, f.indexKind);
        EXPECT_EQ(reader.frameCount, f.frames);
        EXPECT_EQ(reader.isPal, f.isPal);
        for (uint32_t i = 0; i < f.expected.size(); ++i) {
            SCOPED_TRACE(i);
            const ExpectedFrame& e = f.expected[i];
            SYSTEMTIME st;
            memset(&st, 0xAB, sizeof st);
            TimecodeValue tc;
            const int ok = reader.GetRecordingTime(i, &st, &tc);
            EXPECT_EQ(Smpte(tc), e.timecode);
            if (!e.date) {
                EXPECT_EQ(ok, 0);
                EXPECT_EQ(st.wYear, 0xABAB) << "a failed decode leaves the SYSTEMTIME alone";
                continue;
            }
            ASSERT_EQ(ok, 1);
            char date[16], time[16];
            snprintf(date, sizeof date, "%04u-%02u-%02u", st.wYear, st.wMonth, st.wDay);
            snprintf(time, sizeof time, "%02u:%02u:%02u", st.wHour, st.wMinute, st.wSecond);
            EXPECT_STREQ(date, e.date);
            EXPECT_STREQ(time, e.time);
            EXPECT_EQ(st.wDayOfWeek, 0xFFFF);
            EXPECT_EQ(st.wMilliseconds, 0);
        }
        // One past the end, and negative frame numbers as the host passes them.
        DvFrameInfo info;
        memset(&info, 0x5A, sizeof info);
        EXPECT_EQ(reader.DecodeFrame(f.frames, &info), 0);
        EXPECT_EQ(reader.DecodeFrame(static_cast<uint32_t>(-1), &info), 0);
        EXPECT_EQ(info.year, 0x5A5A5A5A) << "an unreadable frame leaves the record alone";
        EXPECT_EQ(reader.FramePosition(static_cast<uint32_t>(-1)), -1);
    }
}

TEST(DvAviReaderFixtures, OpenDmlFramesAreAtTheirChunkData) {
    // dvgrab type-1 file: each frame's data starts right after a "00__" chunk header.
    const std::string path = DataPath("ntsc-type1-indx-dvgrab-camcorder.avi");
    DvAviReader reader(path.c_str());
    ASSERT_EQ(reader.isOpen, 1);
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    for (uint32_t i = 0; i < reader.frameCount; ++i) {
        const int64_t pos = reader.FramePosition(i);
        ASSERT_GT(pos, 8);
        LARGE_INTEGER at;
        at.QuadPart = pos - 8;
        ASSERT_TRUE(SetFilePointerEx(h, at, nullptr, FILE_BEGIN));
        char tag[4];
        DWORD got = 0;
        ASSERT_TRUE(ReadFile(h, tag, 4, &got, nullptr));
        EXPECT_EQ(std::string(tag, 4), "00__");
    }
    CloseHandle(h);
}

TEST(DvAviReaderFixtures, NotAviAndMissingFilesFailWithTheirReason) {
    DvAviReader raw(DataPath("ntsc-camcorder-5frames.dv").c_str());
    EXPECT_EQ(raw.isOpen, 0);
    EXPECT_EQ(raw.lastError, kDvErrorNotRiffAvi);
    EXPECT_STREQ(DvErrorMessage(raw.lastError), "This file is not RIFF AVI");
    EXPECT_EQ(raw.dvType, 0);
    EXPECT_EQ(raw.frameCount, 0u);
    EXPECT_EQ(raw.indexKind, 0);
    EXPECT_EQ(raw.isPal, -1);

    DvAviReader missing(DataPath("no-such-file.avi").c_str());
    EXPECT_EQ(missing.isOpen, 0);
    DvAviReader empty;
    EXPECT_EQ(empty.Open(""), 0);
    EXPECT_EQ(empty.Open(nullptr), 0);
    EXPECT_EQ(empty.ReadSequence(0, 6), nullptr);
    EXPECT_EQ(empty.FramePosition(0), -1);
}

TEST(DvAviReaderFixtures, ReopeningReplacesTheFormerFile) {
    DvAviReader reader(DataPath("pal-type2-idx1-ffmpeg.avi").c_str());
    ASSERT_EQ(reader.isOpen, 1);
    ASSERT_NE(reader.ReadSequence(0, 6), nullptr);
    ASSERT_EQ(reader.Open(DataPath("ntsc-type1-indx-dvgrab-camcorder.avi").c_str()), 1);
    EXPECT_EQ(reader.isPal, 0);
    EXPECT_EQ(reader.frameCount, 5u);
    DvFrameInfo info;
    ASSERT_EQ(reader.DecodeFrame(0, &info), 1);
    EXPECT_EQ(info.year, 124) << "not served from the former file's cache";
    reader.Close();
    EXPECT_EQ(reader.isOpen, 0);
    EXPECT_EQ(reader.isPal, -1);
    EXPECT_EQ(reader.DecodeFrame(0, &info), 0);
}

TEST(DvAviReaderResources, OpenAndCloseReleaseHandlesAndMemory) {
    const std::string good = DataPath("ntsc-type1-indx-dvgrab-camcorder.avi");
    const std::string good1 = DataPath("pal-type2-idx1-ffmpeg.avi");
    const std::string bad = DataPath("ntsc-camcorder-5frames.dv");
    auto round = [&] {
        {
            DvAviReader a(good.c_str());
            DvFrameInfo info;
            a.DecodeFrame(1, &info);
        }
        DvAviReader b(good1.c_str());
        b.ReadSequence(2, 6);
        b.Close();
        DvAviReader c(bad.c_str());
    };
    for (int i = 0; i < 20; ++i)
        round();
    DWORD before = 0, after = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &before));
    const size_t heapBefore = BusyHeapBytes();
    for (int i = 0; i < 1000; ++i)
        round();
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &after));
    EXPECT_LE(after, before + 2);
    // Movable global memory comes from the process heap: 1000 rounds leaking even one small
    // header buffer would show as tens of kilobytes.
    EXPECT_LT(BusyHeapBytes(), heapBefore + 16 * 1024);
}

} // namespace
