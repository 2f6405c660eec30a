// Small text routines: bounded copies, the user's text with its escapes, space trimming and
// UTF-8 to code-page conversion.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace camtag {

// Appends text to the terminated string in out (size bytes), cutting what does not fit.
// Nothing happens for size 0; an unterminated out is treated as full.
void AppendBounded(char* out, size_t size, const char* text);
// Copies text into out, cut to size - 1 characters; nothing for size 0.
void CopyBounded(char* out, size_t size, const char* text);

// What a "%f" in the user's text becomes: the file name of the source, or "%f" as typed.
enum class FileNameToken { kReplaced, kKept };

// Hosts up to interface version 8 leave "%f" to the module; later ones get the title as typed.
inline FileNameToken FileNameTokenFor(int32_t hostInterfaceVersion) {
    return hostInterfaceVersion > 8 ? FileNameToken::kKept : FileNameToken::kReplaced;
}

// The user's text (at most the 31 characters of a 32-byte title field) with each backslash-n
// turned into a line break and, when fileNameToken is kReplaced, each "%f" replaced by the file
// name of sourcePath (at most its 259 characters). Cut at size.
void ExpandUserText(const char* title, const char* sourcePath, FileNameToken fileNameToken,
                    char* out, size_t size);

// Removes trailing, then leading spaces (' ' only), in place.
void TrimSpaces(char* text);

// utf8 in the code page into dest, zero-filled over its size and cut to size - 1 bytes on a
// character boundary. Characters the code page lacks become its default character.
void Utf8ToCodePage(const char* utf8, char* dest, size_t size, UINT codePage);

} // namespace camtag
