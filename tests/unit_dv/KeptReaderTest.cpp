// Readers kept open between calls: the file of the frame before is not opened again while it is
// the same file, the user can still move, delete or rewrite it, and a changed file is opened anew.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "dv/KeptReader.h"
#include "support/TestSupport.h"

namespace camtag {
namespace {

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::vector<uint8_t> data;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return data;
    data.resize(GetFileSize(h, nullptr));
    DWORD got = 0;
    if (!data.empty())
        ReadFile(h, data.data(), static_cast<DWORD>(data.size()), &got, nullptr);
    CloseHandle(h);
    data.resize(got);
    return data;
}

// Rewrites the file in place while a reader may hold it, as the sharing allows.
bool Rewrite(const char* path, const std::vector<uint8_t>& data) {
    HANDLE h =
        CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
                    written == data.size() && SetEndOfFile(h);
    CloseHandle(h);
    return ok;
}

// Opens the clip's file through a lease and gives the reader back, as an execute call does.
bool UseOnce(const char* path) {
    ReaderLease lease(path);
    return OpenOnPath(lease.reader(), path) == 1 && lease.reader().dvType != 0;
}

// Whether the next lease on `path` finds the reader still open there.
bool KeptOpen(const char* path) {
    ReaderLease lease(path);
    return lease.reader().isOpen != 0;
}

TEST(KeptReader, TheSameFileStaysOpenAndAChangedOneIsOpenedAnew) {
    const std::vector<uint8_t> avi = ReadAll(test::DataPath("pal-type2-idx1-ffmpeg.avi"));
    ASSERT_FALSE(avi.empty());
    struct Case {
        const char* name;
        // What happens to the file between two calls; false when it could not be done.
        bool (*change)(test::TempFile& file, const std::vector<uint8_t>& avi,
                       std::string* leasePath);
        int keptOpen; // -1: either (whether a deleted file's name lingers while open is the
                      // system's)
    };
    const Case cases[] = {
        {"nothing", [](test::TempFile&, const std::vector<uint8_t>&, std::string*) { return true; },
         1},
        {"another clip's file",
         [](test::TempFile&, const std::vector<uint8_t>&, std::string* p) {
             *p = test::DataPath("ntsc-type2-idx1-ffmpeg-dropframe.avi");
             return true;
         },
         0},
        {"longer",
         [](test::TempFile& f, const std::vector<uint8_t>& a, std::string*) {
             std::vector<uint8_t> longer = a;
             longer.resize(a.size() + 16, 0);
             return Rewrite(f.Path(), longer);
         },
         0},
        {"written again, same size",
         [](test::TempFile& f, const std::vector<uint8_t>& a, std::string*) {
             HANDLE h = CreateFileA(f.Path(), FILE_WRITE_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
             FILETIME t;
             const bool ok = h != INVALID_HANDLE_VALUE && GetFileTime(h, nullptr, nullptr, &t) &&
                             (++t.dwHighDateTime, SetFileTime(h, nullptr, nullptr, &t)) &&
                             Rewrite(f.Path(), a);
             if (h != INVALID_HANDLE_VALUE)
                 CloseHandle(h);
             return ok;
         },
         0},
        {"deleted",
         [](test::TempFile& f, const std::vector<uint8_t>&, std::string*) {
             return DeleteFileA(f.Path()) != 0;
         },
         -1},
        {"moved",
         [](test::TempFile& f, const std::vector<uint8_t>&, std::string*) {
             const std::string moved = std::string(f.Path()) + ".moved";
             const bool ok = MoveFileA(f.Path(), moved.c_str()) != 0;
             DeleteFileA(moved.c_str());
             return ok;
         },
         0},
    };
    for (const Case& c : cases) {
        CloseIdleReaders(true);
        test::TempFile file("kr");
        ASSERT_TRUE(file.Write(avi));
        ASSERT_TRUE(UseOnce(file.Path())) << c.name;
        std::string leasePath = file.Path();
        // The user's change happens while the reader holds the file.
        ASSERT_TRUE(c.change(file, avi, &leasePath))
            << c.name << ": refused while the reader held the file";
        const bool kept = KeptOpen(leasePath.c_str());
        if (c.keptOpen >= 0) {
            EXPECT_EQ(kept, c.keptOpen == 1) << c.name;
        }
    }
    CloseIdleReaders(true);
    EXPECT_EQ(OpenKeptReaders(), 0);
}

TEST(KeptReader, IdleReadersAreClosedAndRecentOnesKept) {
    CloseIdleReaders(true);
    const std::string path = test::DataPath("pal-type2-idx1-ffmpeg.avi");
    ASSERT_TRUE(UseOnce(path.c_str()));
    CloseIdleReaders();
    EXPECT_EQ(OpenKeptReaders(), 1) << "just used";
    Sleep(kReaderIdleMs + 100);
    CloseIdleReaders();
    EXPECT_EQ(OpenKeptReaders(), 0) << "unused for longer than the idle time";
}

} // namespace
} // namespace camtag
