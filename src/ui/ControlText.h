// Reading numbers and texts out of dialog controls, and writing them back, the way the pages
// take what the user typed: a leading decimal number of the first few characters, or the text cut
// to its field.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace camtag {

// The leading decimal number of text: leading blanks and one sign allowed, digits up to the first
// other character; 0 when there is none. Held within the 32-bit range.
int32_t LeadingNumber(const char* text);

// LeadingNumber of at most the first maxChars characters of a control's text.
int32_t ControlNumber(HWND dialog, int id, int maxChars);

// At most maxChars characters of a control's text into out (size bytes), always terminated.
void ControlText(HWND dialog, int id, char* out, size_t size, int maxChars);

// Sets a control's text to a whole number (never cut).
void SetControlNumber(HWND dialog, int id, int64_t value);

// A zero-terminated copy of a fixed text field that need not be terminated (a record's title).
template <size_t N> struct FieldText {
    explicit FieldText(const char (&field)[N]) {
        size_t n = 0;
        while (n < N && field[n]) {
            text[n] = field[n];
            ++n;
        }
        text[n] = '\0';
    }
    char text[N + 1];
};

// The whole pixel a fraction of a frame size names, cut toward zero. A fraction stored as n / size
// names pixel n even where the product rounds just below n (999 / 1920 x 1920).
double PixelOf(double fraction, int32_t size);

// A fraction of a frame size held below 1, so that fraction x size, cut to a whole pixel, is
// always a pixel of the frame (at most size - 1). Fractions below 1 and sizes below 1 are kept.
double FractionInsideFrame(double fraction, int32_t size);

} // namespace camtag
