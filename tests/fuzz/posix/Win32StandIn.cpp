// The Win32 calls of windows.h in this folder, as Windows documents them, for the native
// fuzzing build. Files are read-only memory files (StandIn.h); local time is UTC, as the tests
// run Wine with TZ=UTC0.
#include <windows.h>

#include "../NlsPictures.h"
#include "StandIn.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>

namespace camtag::fuzz::posix {

namespace {

thread_local DWORD lastError = NO_ERROR;

struct MemoryFile {
    const uint8_t* data;
    size_t size;
};

struct OpenFile {
    MemoryFile file;
    uint64_t position;
};

struct GlobalBlock {
    void* data;
    SIZE_T size;
    unsigned locks;
};

std::map<std::string, MemoryFile>& Files() {
    static std::map<std::string, MemoryFile> files;
    return files;
}

std::set<OpenFile*>& Handles() {
    static std::set<OpenFile*> handles;
    return handles;
}

// Movable blocks by handle, and the handle of each block's data.
std::map<GlobalBlock*, bool>& Blocks() {
    static std::map<GlobalBlock*, bool> blocks;
    return blocks;
}

std::map<const void*, GlobalBlock*>& BlockOfData() {
    static std::map<const void*, GlobalBlock*> owners;
    return owners;
}

OpenFile* FileOf(HANDLE handle) {
    auto file = static_cast<OpenFile*>(handle);
    return Handles().count(file) ? file : nullptr;
}

GlobalBlock* BlockOf(HGLOBAL handle) {
    auto block = static_cast<GlobalBlock*>(handle);
    return Blocks().count(block) ? block : nullptr;
}

[[noreturn]] void NotStoodIn(const char* call) {
    fprintf(stderr, "%s is not stood in for: no fuzzing harness may reach it\n", call);
    abort();
}

// Days since 1970-01-01 of a Gregorian date, for any year.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yoe = year - era * 400;
    const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t days, int64_t* year, int* month, int* day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t doe = days - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *year = yoe + era * 400 + (*month <= 2);
}

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// The latest instant the runtime converts: 3000-12-31 23:59:59 UTC.
constexpr int64_t kMaxTime64 = 32535215999LL;

void FillFields(int64_t seconds, struct tm* out) {
    const int64_t days = FloorDiv(seconds, 86400);
    const int64_t rest = seconds - days * 86400;
    int64_t year = 0;
    int month = 0;
    int day = 0;
    CivilFromDays(days, &year, &month, &day);
    out->tm_year = static_cast<int>(year - 1900);
    out->tm_mon = month - 1;
    out->tm_mday = day;
    out->tm_hour = static_cast<int>(rest / 3600);
    out->tm_min = static_cast<int>(rest / 60 % 60);
    out->tm_sec = static_cast<int>(rest % 60);
    out->tm_wday = static_cast<int>((days % 7 + 11) % 7); // 1970-01-01 was a Thursday
    out->tm_yday = static_cast<int>(days - DaysFromCivil(year, 1, 1));
    out->tm_isdst = 0;
}

// UTF-8 to code points, each invalid stretch (its longest start of a valid sequence, or one
// byte) becoming U+FFFD, as Windows converts since Vista.
template <typename Sink> void DecodeUtf8(const unsigned char* p, size_t n, Sink sink) {
    size_t i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            sink(c);
            ++i;
            continue;
        }
        size_t need = 0;
        uint32_t value = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            need = 1;
            value = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            need = 2;
            value = c & 0x0F;
            if (c == 0xE0)
                low = 0xA0;
            if (c == 0xED)
                high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            need = 3;
            value = c & 0x07;
            if (c == 0xF0)
                low = 0x90;
            if (c == 0xF4)
                high = 0x8F;
        } else {
            sink(0xFFFD);
            ++i;
            continue;
        }
        size_t k = 1;
        for (; k <= need && i + k < n; ++k) {
            const unsigned char b = p[i + k];
            if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF))
                break;
            value = (value << 6) | (b & 0x3F);
        }
        if (k <= need) {
            sink(0xFFFD);
            i += k;
            continue;
        }
        sink(value);
        i += need + 1;
    }
}

// GetDateFormatA and GetTimeFormatA with flags 0 and a date or time given.
int FormatPicture(const char* call, DWORD flags, const SYSTEMTIME* t, LPCSTR format, LPSTR out,
                  int size, int (*picture)(const SYSTEMTIME&, const char*, char*, int, DWORD*)) {
    if (flags || !t)
        NotStoodIn(flags ? call : "the current date or time");
    // The caller's size is checked too: a size larger than its buffer must show.
    if (out && size > 0)
        static_cast<void>(*static_cast<volatile char*>(out + size - 1));
    DWORD error = NO_ERROR;
    const int written = picture(*t, format, out, size, &error);
    if (!written)
        SetLastError(error);
    return written;
}

} // namespace

void AddMemoryFile(const char* path, const uint8_t* data, size_t size) {
    Files()[path] = MemoryFile{data, size};
}

void RemoveMemoryFile(const char* path) {
    Files().erase(path);
}

size_t OpenFileHandles() {
    return Handles().size();
}

size_t LiveGlobalBlocks() {
    return Blocks().size();
}

} // namespace camtag::fuzz::posix

using namespace camtag::fuzz::posix;

extern "C" {

DWORD GetLastError() {
    return lastError;
}

void SetLastError(DWORD code) {
    lastError = code;
}

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD, HANDLE) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    // Memory files are read-only and exist already.
    if ((access & GENERIC_WRITE) || disposition != OPEN_EXISTING) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    auto found = Files().find(name);
    if (found == Files().end()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto file = new OpenFile{found->second, 0};
    Handles().insert(file);
    return file;
}

BOOL CloseHandle(HANDLE handle) {
    OpenFile* file = FileOf(handle);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Handles().erase(file);
    delete file;
    return TRUE;
}

// The inputs have no times: the stand-in says so, as a file system without them would.
BOOL GetFileTime(HANDLE handle, LPFILETIME, LPFILETIME, LPFILETIME) {
    SetLastError(FileOf(handle) ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
}

DWORD GetFileSize(HANDLE handle, LPDWORD high) {
    OpenFile* file = FileOf(handle);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    const uint64_t size = file->file.size;
    if (high)
        *high = static_cast<DWORD>(size >> 32);
    else if (size >> 32) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_FILE_SIZE;
    }
    return static_cast<DWORD>(size);
}

DWORD SetFilePointer(HANDLE handle, LONG distance, PLONG distanceHigh, DWORD method) {
    OpenFile* file = FileOf(handle);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    // Without the high part the distance is a signed 32-bit value.
    int64_t move = distanceHigh
                       ? static_cast<int64_t>(
                             (static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                             static_cast<uint32_t>(distance))
                       : static_cast<int64_t>(distance);
    int64_t base = 0;
    if (method == FILE_CURRENT)
        base = static_cast<int64_t>(file->position);
    else if (method == FILE_END)
        base = static_cast<int64_t>(file->file.size);
    else if (method != FILE_BEGIN) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if ((move > 0 && base > INT64_MAX - move) || base + move < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    const uint64_t position = static_cast<uint64_t>(base + move);
    if (!distanceHigh && (position >> 32)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    file->position = position;
    if (distanceHigh)
        *distanceHigh = static_cast<LONG>(static_cast<uint32_t>(position >> 32));
    return static_cast<DWORD>(position);
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD count, LPDWORD got, LPOVERLAPPED overlapped) {
    if (overlapped)
        NotStoodIn("ReadFile with OVERLAPPED");
    OpenFile* file = FileOf(handle);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!got || (!buffer && count)) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    const uint64_t size = file->file.size;
    const uint64_t available = file->position < size ? size - file->position : 0;
    const DWORD n = available < count ? static_cast<DWORD>(available) : count;
    if (n)
        memcpy(buffer, file->file.data + file->position, n);
    file->position += n;
    *got = n;
    return TRUE;
}

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
    if (!(flags & GMEM_MOVEABLE))
        NotStoodIn("GlobalAlloc of fixed memory");
    void* data = nullptr;
    if (bytes) {
        data = (flags & GMEM_ZEROINIT) ? calloc(1, bytes) : malloc(bytes);
        if (!data) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
    }
    auto block = new GlobalBlock{data, bytes, 0};
    Blocks()[block] = true;
    if (data)
        BlockOfData()[data] = block;
    return block;
}

LPVOID GlobalLock(HGLOBAL memory) {
    GlobalBlock* block = BlockOf(memory);
    if (!block) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!block->data)
        return nullptr; // a block of 0 bytes has nothing to lock
    ++block->locks;
    return block->data;
}

BOOL GlobalUnlock(HGLOBAL memory) {
    GlobalBlock* block = BlockOf(memory);
    if (!block) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (block->locks == 0) {
        SetLastError(ERROR_NOT_LOCKED);
        return FALSE;
    }
    --block->locks;
    if (block->locks == 0)
        SetLastError(NO_ERROR);
    return block->locks != 0;
}

HGLOBAL GlobalHandle(LPCVOID pointer) {
    auto found = BlockOfData().find(pointer);
    if (found == BlockOfData().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return found->second;
}

HGLOBAL GlobalFree(HGLOBAL memory) {
    GlobalBlock* block = BlockOf(memory);
    if (!block) {
        SetLastError(ERROR_INVALID_HANDLE);
        return memory;
    }
    if (block->data)
        BlockOfData().erase(block->data);
    free(block->data);
    Blocks().erase(block);
    delete block;
    return nullptr;
}

int GetDateFormatA(LCID, DWORD flags, const SYSTEMTIME* date, LPCSTR format, LPSTR out, int size) {
    return FormatPicture("GetDateFormatA", flags, date, format, out, size,
                         camtag::fuzz::FormatDatePicture);
}

int GetTimeFormatA(LCID, DWORD flags, const SYSTEMTIME* time, LPCSTR format, LPSTR out, int size) {
    return FormatPicture("GetTimeFormatA", flags, time, format, out, size,
                         camtag::fuzz::FormatTimePicture);
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH text, int bytes, LPWSTR out, int size) {
    if (codePage != CP_UTF8)
        NotStoodIn("MultiByteToWideChar outside UTF-8");
    if (flags & ~MB_ERR_INVALID_CHARS)
        NotStoodIn("MultiByteToWideChar with these flags");
    if (!text || size < 0 || (!out && size) || bytes == 0 || bytes < -1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const size_t length = bytes == -1 ? strlen(text) + 1 : static_cast<size_t>(bytes);
    std::u16string units;
    bool invalid = false;
    DecodeUtf8(reinterpret_cast<const unsigned char*>(text), length, [&](uint32_t c) {
        if (c == 0xFFFD)
            invalid = true;
        if (c >= 0x10000) {
            units += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            units += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            units += static_cast<char16_t>(c);
        }
    });
    if (invalid && (flags & MB_ERR_INVALID_CHARS)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    const int needed = static_cast<int>(units.size());
    if (size == 0)
        return needed;
    if (needed > size) {
        for (int i = 0; i < size; ++i)
            out[i] = static_cast<WCHAR>(units[static_cast<size_t>(i)]);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (int i = 0; i < needed; ++i)
        out[i] = static_cast<WCHAR>(units[static_cast<size_t>(i)]);
    return needed;
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH text, int units, LPSTR out, int size,
                        LPCCH defaultChar, LPBOOL usedDefault) {
    if (codePage != CP_UTF8)
        NotStoodIn("WideCharToMultiByte outside UTF-8");
    // UTF-8 takes neither flags nor a default character.
    if (flags || defaultChar || usedDefault || !text || size < 0 || (!out && size) || units == 0 ||
        units < -1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length = 0;
    if (units == -1)
        while (text[length++] != 0) {
        }
    else
        length = static_cast<size_t>(units);
    std::string bytes;
    for (size_t i = 0; i < length; ++i) {
        uint32_t c = static_cast<uint32_t>(text[i]) & 0xFFFF;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length &&
            (static_cast<uint32_t>(text[i + 1]) & 0xFC00) == 0xDC00) {
            c = 0x10000 + ((c - 0xD800) << 10) +
                ((static_cast<uint32_t>(text[i + 1]) & 0xFFFF) - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD; // a lone surrogate
        }
        if (c < 0x80) {
            bytes += static_cast<char>(c);
        } else if (c < 0x800) {
            bytes += static_cast<char>(0xC0 | (c >> 6));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            bytes += static_cast<char>(0xE0 | (c >> 12));
            bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            bytes += static_cast<char>(0xF0 | (c >> 18));
            bytes += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    const int needed = static_cast<int>(bytes.size());
    if (size == 0)
        return needed;
    if (needed > size) {
        memcpy(out, bytes.data(), static_cast<size_t>(size));
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    memcpy(out, bytes.data(), bytes.size());
    return needed;
}

BOOL IsDBCSLeadByteEx(UINT, BYTE) {
    NotStoodIn("IsDBCSLeadByteEx");
}

DWORD GetModuleFileNameA(HMODULE, LPSTR, DWORD) {
    NotStoodIn("GetModuleFileNameA");
}

__time64_t _mktime64(struct tm* fields) {
    if (!fields) {
        errno = EINVAL;
        return -1;
    }
    // Local time is UTC here, so daylight saving never applies.
    const int64_t months = static_cast<int64_t>(fields->tm_year) * 12 + fields->tm_mon;
    const int64_t year = FloorDiv(months, 12) + 1900;
    const int64_t month = months - FloorDiv(months, 12) * 12 + 1;
    const int64_t days = DaysFromCivil(year, month, 1) + static_cast<int64_t>(fields->tm_mday) - 1;
    const int64_t seconds = days * 86400 + static_cast<int64_t>(fields->tm_hour) * 3600 +
                            static_cast<int64_t>(fields->tm_min) * 60 + fields->tm_sec;
    if (seconds < 0 || seconds > kMaxTime64)
        return -1;
    FillFields(seconds, fields);
    return seconds;
}

int _localtime64_s(struct tm* out, const __time64_t* time) {
    if (!out || !time || *time < 0 || *time > kMaxTime64) {
        if (out) {
            out->tm_sec = out->tm_min = out->tm_hour = out->tm_mday = out->tm_mon = out->tm_year =
                -1;
            out->tm_wday = out->tm_yday = out->tm_isdst = -1;
        }
        errno = EINVAL;
        return EINVAL;
    }
    FillFields(*time, out);
    return 0;
}

} // extern "C"
