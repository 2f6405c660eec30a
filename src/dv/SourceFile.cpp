#include "dv/SourceFile.h"

#include <cstring>

namespace camtag {

SourceFile::SourceFile() {
    ResetFile();
}

SourceFile::~SourceFile() {
    SourceFile::Close();
}

void SourceFile::ResetFile() {
    handle = INVALID_HANDLE_VALUE;
    path[0] = '\0';
    fileSize = 0;
    writeTime = FILETIME{};
}

int SourceFile::Open(const char* newPath, DWORD access) {
    SourceFile::Close();
    if (!newPath || !newPath[0])
        return 0;
    // A reader may stay open between frames: the user can still move, delete or rewrite the file.
    HANDLE h = CreateFileA(newPath, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        SourceFile::Close();
        return 0;
    }
    handle = h;
    size_t n = strnlen(newPath, sizeof path - 1);
    memcpy(path, newPath, n);
    path[n] = '\0';
    fileSize = Size();
    if (!GetFileTime(handle, nullptr, nullptr, &writeTime))
        writeTime = FILETIME{};
    return 1;
}

void SourceFile::Close() {
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }
    path[0] = '\0';
    fileSize = 0;
    writeTime = FILETIME{};
}

uint64_t SourceFile::Size() const {
    if (handle == INVALID_HANDLE_VALUE)
        return 0;
    DWORD high = 0;
    SetLastError(NO_ERROR);
    DWORD low = GetFileSize(handle, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return 0;
    return (static_cast<uint64_t>(high) << 32) | low;
}

int64_t SourceFile::Seek(int64_t distance, DWORD method) {
    if (handle == INVALID_HANDLE_VALUE)
        return -1;
    LONG high = static_cast<LONG>(static_cast<uint64_t>(distance) >> 32);
    SetLastError(NO_ERROR);
    DWORD low =
        SetFilePointer(handle, static_cast<LONG>(static_cast<uint32_t>(distance)), &high, method);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
        return -1;
    return static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | low);
}

int SourceFile::Read(void* buffer, DWORD count) {
    if (handle == INVALID_HANDLE_VALUE || !buffer)
        return 0;
    DWORD got = 0;
    if (!ReadFile(handle, buffer, count, &got, nullptr))
        return 0;
    return got == count ? 1 : 0;
}

} // namespace camtag
