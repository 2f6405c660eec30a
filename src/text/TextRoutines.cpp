#include "text/TextRoutines.h"

#include <cstring>
#include <memory>
#include <new>

namespace camtag {

namespace {

constexpr size_t kTitleChars = 31; // a 32-byte field with its terminator
constexpr size_t kPathChars = 259; // a MAX_PATH field with its terminator

// Bytes of the character starting at p in the code page (1 or 2; up to 4 for UTF-8).
size_t CharBytes(const unsigned char* p, UINT codePage) {
    if (codePage == CP_UTF8) {
        if (*p >= 0xF0)
            return 4;
        if (*p >= 0xE0)
            return 3;
        if (*p >= 0xC0)
            return 2;
        return 1;
    }
    return IsDBCSLeadByteEx(codePage, *p) ? 2 : 1;
}

} // namespace

void AppendBounded(char* out, size_t size, const char* text) {
    if (!out || size == 0 || !text)
        return;
    size_t used = strnlen(out, size);
    if (used >= size) {
        out[size - 1] = '\0';
        return;
    }
    size_t room = size - 1 - used;
    size_t n = strnlen(text, room);
    memcpy(out + used, text, n);
    out[used + n] = '\0';
}

void CopyBounded(char* out, size_t size, const char* text) {
    if (!out || size == 0)
        return;
    out[0] = '\0';
    AppendBounded(out, size, text);
}

void ExpandUserText(const char* title, const char* sourcePath, FileNameToken fileNameToken,
                    char* out, size_t size) {
    if (!out || size == 0)
        return;
    out[0] = '\0';
    if (!title)
        return;
    char escaped[kTitleChars + 1];
    size_t length = strnlen(title, kTitleChars);
    size_t n = 0;
    for (size_t i = 0; i < length; ++i) {
        if (title[i] == '\\' && i + 1 < length && title[i + 1] == 'n') {
            escaped[n++] = '\n';
            ++i;
        } else {
            escaped[n++] = title[i];
        }
    }
    escaped[n] = '\0';

    if (fileNameToken == FileNameToken::kKept) {
        CopyBounded(out, size, escaped);
        return;
    }
    char path[kPathChars + 1];
    CopyBounded(path, sizeof path, sourcePath ? sourcePath : "");
    const char* slash = strrchr(path, '\\');
    const char* fileName = slash ? slash + 1 : path;

    size_t used = 0;
    for (size_t i = 0; i < n && used + 1 < size; ++i) {
        if (escaped[i] == '%' && escaped[i + 1] == 'f') {
            out[used] = '\0';
            AppendBounded(out, size, fileName);
            used = strlen(out);
            ++i;
        } else {
            out[used++] = escaped[i];
        }
    }
    out[used] = '\0';
}

void TrimSpaces(char* text) {
    if (!text)
        return;
    size_t length = strlen(text);
    while (length > 0 && text[length - 1] == ' ')
        text[--length] = '\0';
    size_t lead = 0;
    while (text[lead] == ' ')
        ++lead;
    if (lead)
        memmove(text, text + lead, length - lead + 1);
}

void Utf8ToCodePage(const char* utf8, char* dest, size_t size, UINT codePage) {
    if (!dest || size == 0)
        return;
    memset(dest, 0, size);
    if (!utf8)
        return;
    int wideCount = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    if (wideCount <= 0)
        return;
    std::unique_ptr<wchar_t[]> wide(new (std::nothrow) wchar_t[wideCount]);
    if (!wide || MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide.get(), wideCount) != wideCount)
        return;
    int byteCount = WideCharToMultiByte(codePage, 0, wide.get(), -1, nullptr, 0, nullptr, nullptr);
    if (byteCount <= 0)
        return;
    std::unique_ptr<char[]> bytes(new (std::nothrow) char[byteCount]);
    if (!bytes || WideCharToMultiByte(codePage, 0, wide.get(), -1, bytes.get(), byteCount, nullptr,
                                      nullptr) != byteCount)
        return;
    // Cut on a character boundary, so a double-byte character is never left half.
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.get());
    size_t length = strnlen(bytes.get(), static_cast<size_t>(byteCount));
    size_t limit = size - 1;
    size_t kept = 0;
    while (kept < length) {
        size_t step = CharBytes(p + kept, codePage);
        if (kept + step > limit || kept + step > length)
            break;
        kept += step;
    }
    memcpy(dest, bytes.get(), kept);
}

} // namespace camtag
