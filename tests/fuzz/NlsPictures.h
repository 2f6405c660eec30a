// Date and time pictures formatted the way GetDateFormatA and GetTimeFormatA do it for the
// English (United States) user locale, for the fuzzing harnesses' POSIX stand-in. The Windows
// test build checks these against the real calls (NlsPicturesTest.cpp), so the stand-in cannot
// drift from what the module meets at run time.
#pragma once

#include <windows.h>

namespace camtag::fuzz {

// As the Win32 calls with flags 0: the characters written with the terminator; with size 0 the
// characters needed. 0 on failure with the reason in *error (ERROR_INVALID_PARAMETER for a date
// or time out of range, ERROR_INSUFFICIENT_BUFFER when out is too small: out then holds the
// first size characters, unterminated). A null picture is the locale's default.
int FormatDatePicture(const SYSTEMTIME& date, const char* picture, char* out, int size,
                      DWORD* error);
int FormatTimePicture(const SYSTEMTIME& time, const char* picture, char* out, int size,
                      DWORD* error);

} // namespace camtag::fuzz
