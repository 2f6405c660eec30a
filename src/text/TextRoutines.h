// Small text routines: bounded copies, the user's text with its escapes, space trimming and
// UTF-8 to code-page conversion.
#pragma once

#include <windows.h>

#include <cstddef>

namespace camtag {

// Appends text to the terminated string in out (size bytes), cutting what does not fit.
// Nothing happens for size 0; an unterminated out is treated as full.
void AppendBounded(char* out, size_t size, const char* text);
// Copies text into out, cut to size - 1 characters; nothing for size 0.
void CopyBounded(char* out, size_t size, const char* text);

// The user's text (at most the 31 characters of a 32-byte title field) with each backslash-n
// turned into a line break and, for hosts of interface version 8 or lower, each "%f" replaced
// by the file name of sourcePath (at most its 259 characters). Cut at size.
void ExpandUserText(const char* title, const char* sourcePath, char* out, size_t size);

// Removes trailing, then leading spaces (' ' only), in place.
void TrimSpaces(char* text);

// utf8 in the code page into dest, zero-filled over its size and cut to size - 1 bytes on a
// character boundary. Characters the code page lacks become its default character.
void Utf8ToCodePage(const char* utf8, char* dest, size_t size, UINT codePage);

} // namespace camtag
