#include "timecode/TimecodeValue.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace camtag {

namespace {

// Floor division and modulo, so that positions before zero wrap into the previous day instead
// of producing negative label fields.
int64_t FloorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

int64_t FloorMod(int64_t a, int64_t b) {
    return a - FloorDiv(a, b) * b;
}

void AppendBounded(char* buf, size_t size, const char* piece) {
    size_t used = strnlen(buf, size);
    if (used + 1 >= size)
        return;
    size_t room = size - used - 1;
    size_t n = strlen(piece);
    if (n > room)
        n = room;
    memcpy(buf + used, piece, n);
    buf[used + n] = '\0';
}

} // namespace

int32_t TimecodeValue::Pack(int h, int m, int s, int f) {
    return static_cast<int32_t>(
        (static_cast<uint32_t>(h & 0xFF) << 24) | (static_cast<uint32_t>(m & 0xFF) << 16) |
        (static_cast<uint32_t>(s & 0xFF) << 8) | static_cast<uint32_t>(f & 0xFF));
}

void TimecodeValue::SetRate(double fps) {
    if (fps > 27.0) {
        rate = 29.97;
        rateNumerator = 2997;
        rateDenominator = 100;
        separator = showFrames ? ';' : ':';
    } else {
        rate = 25.0;
        rateNumerator = 25;
        rateDenominator = 1;
        separator = ':';
    }
    nonDropFrame = 0;
}

void TimecodeValue::SetRateRatio(int numerator, int denominator) {
    if (denominator == 0)
        return;
    rateNumerator = numerator;
    rateDenominator = denominator;
    rate = static_cast<double>(numerator) / denominator;
    separator = denominator != 1 ? ';' : ':';
    nonDropFrame = 0;
}

void TimecodeValue::SetNonDropFrame() {
    nonDropFrame = 1;
    separator = ':';
}

void TimecodeValue::SetFrames(int n) {
    frameCount = n;
    const int64_t num = rateNumerator;
    const int64_t den = rateDenominator;

    // Label count: drop-frame numbering for fractional rates, unless the labels were recorded
    // without dropping. 64-bit throughout, so that no
    // ratio the host hands over can overflow or divide by zero.
    int64_t label = n;
    if (!nonDropFrame && den != 0 && num % den != 0) {
        const int64_t perTenMinutes = num * 600 / den;
        const int64_t perMinute = num * 60 / den;
        if (perTenMinutes > 0 && perMinute > 0) {
            const int64_t d = FloorDiv(n, perTenMinutes);
            const int64_t m = FloorMod(n, perTenMinutes);
            label = n + 18 * d + 2 * ((m - 2) / perMinute);
        }
    }

    const double roundedRate = rate + 0.5;
    const int64_t perSecond =
        (roundedRate >= 1.0 && roundedRate < 1e6) ? static_cast<int64_t>(roundedRate) : 0;
    if (perSecond > 0) {
        frames = static_cast<int32_t>(FloorMod(label, perSecond));
        const int64_t totalSeconds = FloorDiv(label, perSecond);
        seconds = static_cast<int32_t>(FloorMod(totalSeconds, 60));
        minutes = static_cast<int32_t>(FloorMod(FloorDiv(totalSeconds, 60), 60));
        hours = static_cast<int32_t>(FloorMod(FloorDiv(totalSeconds, 3600), 24));
    } else {
        frames = seconds = minutes = hours = 0;
    }

    elapsedSeconds =
        num != 0 ? static_cast<double>(den) * static_cast<double>(n) / static_cast<double>(num)
                 : 0.0;
    const double fraction = elapsedSeconds - std::floor(elapsedSeconds);
    milliseconds = static_cast<int32_t>(fraction * 1000.0 + 0.5);
    // A fraction just below the next second would round to 1000 and print four digits.
    if (milliseconds > 999)
        milliseconds = 999;
}

int32_t TimecodeValue::SetFromPacked(int32_t packed) {
    if (!(rate > 0.0) || rate > 1e6)
        return 0;
    const int64_t perSecond = static_cast<int64_t>(std::ceil(rate));
    const uint32_t bits = static_cast<uint32_t>(packed);
    int64_t f = static_cast<int8_t>(bits & 0xFF);
    int64_t s = static_cast<int8_t>((bits >> 8) & 0xFF);
    int64_t m = static_cast<int8_t>((bits >> 16) & 0xFF);
    int64_t h = static_cast<int8_t>((bits >> 24) & 0xFF);
    if (f >= perSecond) {
        s += f / perSecond;
        f %= perSecond;
    }
    if (s >= 60) {
        m += s / 60;
        s %= 60;
    }
    if (m >= 60) {
        h += m / 60;
        m %= 60;
    }
    const int64_t totalMinutes = h * 60 + m;
    const int64_t totalSeconds = totalMinutes * 60 + s;
    int64_t count;
    const int64_t num = rateNumerator;
    const int64_t den = rateDenominator;
    if (den != 0 && num % den == 0) {
        // A whole number of frames per second is counted straight, at its own rate.
        count = totalSeconds * (num / den) + f;
    } else if (nonDropFrame) {
        count = totalSeconds * perSecond + f;
    } else {
        // Drop-frame skips labels ;00 and ;01 at the start of every minute not divisible by ten;
        // such a label stands for the next frame that exists, ;02. The labels of every tenth
        // minute exist and are taken as they are.
        if (m % 10 != 0 && s == 0 && f < 2)
            f = 2;
        count = totalSeconds * 30 + f - 2 * (totalMinutes - totalMinutes / 10);
    }
    SetFrames(static_cast<int>(count));
    return Pack(hours, minutes, seconds, frames);
}

int TimecodeValue::SetTimecode(int h, int m, int s, int f) {
    if (h < 0 || m < 0 || s < 0 || f < 0 || h > 99 || m > 59 || s > 59 || f > rate)
        return 0;
    SetFromPacked(Pack(h, m, s, f));
    return 1;
}

double TimecodeValue::SetSeconds(double x) {
    double n = rate * x;
    // Out-of-range or undefined results saturate instead of invoking an undefined conversion.
    if (!(n == n))
        n = 0.0;
    if (n > 2147483647.0)
        n = 2147483647.0;
    if (n < -2147483648.0)
        n = -2147483648.0;
    SetFrames(static_cast<int>(n));
    return elapsedSeconds;
}

void TimecodeValue::Format(char* buf, size_t size, int style) const {
    if (!buf || size == 0)
        return;
    buf[0] = '\0';
    char piece[32];
    switch (style) {
    case kTimecodeSmpte:
    case kTimecodeTime: {
        int h = hours, m = minutes, s = seconds;
        if (style == kTimecodeTime) {
            // The real time of the frame throughout, as its milliseconds are: a drop-frame label
            // runs up to two frames behind the clock before each dropped pair, and its seconds
            // would then step back a second against the milliseconds.
            const double whole = std::floor(elapsedSeconds);
            const int64_t total = std::fabs(whole) < 9e15 ? static_cast<int64_t>(whole) : 0;
            s = static_cast<int>(FloorMod(total, 60));
            m = static_cast<int>(FloorMod(FloorDiv(total, 60), 60));
            h = static_cast<int>(FloorMod(FloorDiv(total, 3600), 24));
        }
        if (showHours) {
            snprintf(piece, sizeof piece, "%02d%c", h, separator);
            AppendBounded(buf, size, piece);
        }
        snprintf(piece, sizeof piece, "%02d%c%02d", m, separator, s);
        AppendBounded(buf, size, piece);
        if (showFrames) {
            if (style == kTimecodeSmpte)
                snprintf(piece, sizeof piece, "%c%02d", separator, frames);
            else
                snprintf(piece, sizeof piece, ".%03d", milliseconds);
            AppendBounded(buf, size, piece);
        }
        break;
    }
    case kTimecodeFrames:
        snprintf(buf, size, "%d", frameCount);
        break;
    default:
        break;
    }
}

void TimecodeValue::FormatFrames(int n, char* buf, size_t size, int style) {
    SetFrames(n);
    Format(buf, size, style);
}

} // namespace camtag
