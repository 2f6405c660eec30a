// A read-only Win32 file: open, 64-bit size, 64-bit seek, exact-length read, close.
#pragma once

#include <windows.h>

#include <cstdint>

namespace camtag {

class SourceFile {
public:
    SourceFile();
    virtual ~SourceFile();
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    // 1 on success. Closes any open file first.
    int Open(const char* path, DWORD access);
    void Close();
    // Asks the system; 0 when closed or on error.
    uint64_t Size() const;
    // The new position, or -1.
    int64_t Seek(int64_t distance, DWORD method);
    // 1 only when exactly count bytes were read.
    int Read(void* buffer, DWORD count);

    bool IsFileOpen() const { return handle != INVALID_HANDLE_VALUE; }
    const char* Path() const { return path; }
    // The size taken right after opening.
    uint64_t OpenedSize() const { return fileSize; }
    // The last write time taken right after opening (zero when the system gives none).
    FILETIME OpenedWriteTime() const { return writeTime; }

protected:
    void ResetFile();

    char path[MAX_PATH];
    HANDLE handle;
    uint64_t fileSize;
    FILETIME writeTime;
};

} // namespace camtag
