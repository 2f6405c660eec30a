// What every test area shares: where the test data lies, temporary files, the test font.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace camtag::test {

// A file of tests/data as a Windows path with backslashes (as a host names media files: the
// module takes the file name after the last backslash).
inline std::string DataPath(const char* name) {
    std::string path = std::string(CAMTAG_TEST_DATA) + "/" + name;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

// A new empty file in the temp folder, deleted when the object goes.
class TempFile {
public:
    explicit TempFile(const char* tag) {
        char dir[MAX_PATH];
        GetTempPathA(sizeof dir, dir);
        char name[MAX_PATH];
        GetTempFileNameA(dir, tag, 0, name);
        path_ = name;
    }
    ~TempFile() { DeleteFileA(path_.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // Replaces the file's content with the first `length` bytes of data (all of it by default).
    bool Write(const std::vector<uint8_t>& data, size_t length = static_cast<size_t>(-1)) const {
        if (length > data.size())
            length = data.size();
        HANDLE h = CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        DWORD written = 0;
        BOOL ok =
            length == 0 || WriteFile(h, data.data(), static_cast<DWORD>(length), &written, nullptr);
        CloseHandle(h);
        return ok && written == length;
    }
    const char* Path() const { return path_.c_str(); }
    std::wstring WidePath() const { return std::wstring(path_.begin(), path_.end()); }

private:
    std::string path_;
};

// The font the tests draw with: a face (Arial resolves to Liberation Sans under Wine) at a
// LOGFONT height, normal weight, default character set.
inline LOGFONTA TestFont(LONG height, const char* face = "Arial") {
    LOGFONTA lf{};
    lf.lfHeight = height;
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    std::strncpy(lf.lfFaceName, face, sizeof lf.lfFaceName - 1);
    return lf;
}

} // namespace camtag::test
