#include "ui/ControlText.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace camtag {

int32_t LeadingNumber(const char* text) {
    if (!text)
        return 0;
    while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\r' || *text == '\v' ||
           *text == '\f')
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-')
        negative = *text++ == '-';
    int64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > INT32_MAX + int64_t{1})
            value = INT32_MAX + int64_t{1};
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX)
        value = INT32_MAX;
    return static_cast<int32_t>(value);
}

void ControlText(HWND dialog, int id, char* out, size_t size, int maxChars) {
    if (!out || size == 0)
        return;
    out[0] = '\0';
    if (maxChars < 0)
        maxChars = 0;
    if (static_cast<size_t>(maxChars) + 1 < size)
        size = static_cast<size_t>(maxChars) + 1;
    GetDlgItemTextA(dialog, id, out, static_cast<int>(size));
    out[size - 1] = '\0';
}

int32_t ControlNumber(HWND dialog, int id, int maxChars) {
    char text[32];
    ControlText(dialog, id, text, sizeof text, maxChars);
    return LeadingNumber(text);
}

void SetControlNumber(HWND dialog, int id, int64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%lld", static_cast<long long>(value));
    SetDlgItemTextA(dialog, id, text);
}

double PixelOf(double fraction, int32_t size) {
    const double exact = fraction * size;
    const double nearest = std::round(exact);
    return std::fabs(exact - nearest) < 1e-6 ? nearest : std::trunc(exact);
}

double FractionInsideFrame(double fraction, int32_t size) {
    if (size < 1 || !(fraction >= 1.0))
        return fraction;
    // The largest double below 1, lowered further while the product still rounds up to the size.
    double below = std::nextafter(1.0, 0.0);
    for (int step = 0; step < 64 && below * size >= size; ++step)
        below = std::nextafter(below, 0.0);
    if (below * size >= size)
        below = (size - 0.5) / size;
    return below;
}

} // namespace camtag
