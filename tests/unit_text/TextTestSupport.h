// Shared helpers of the text tests.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace camtag::test {

inline SYSTEMTIME MakeTime(int year, int month, int day, int hour = 0, int minute = 0,
                           int second = 0, int millisecond = 0) {
    SYSTEMTIME t = {};
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    t.wHour = static_cast<WORD>(hour);
    t.wMinute = static_cast<WORD>(minute);
    t.wSecond = static_cast<WORD>(second);
    t.wMilliseconds = static_cast<WORD>(millisecond);
    t.wDayOfWeek = 0xFFFF; // as the DV decoding delivers it
    return t;
}

inline std::string Show(const SYSTEMTIME& t) {
    char text[64];
    snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay,
             t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}

// The runtime's local time zone for the life of the object; UTC0 again afterwards.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz) {
        std::string setting = std::string("TZ=") + tz;
        _putenv(setting.c_str());
        _tzset();
    }
    ~ScopedTimeZone() {
        _putenv("TZ=UTC0");
        _tzset();
    }
};

// dateadjust / timeadjust values as the settings store them.
inline int32_t DateAdjust(int years, int months, int days) {
    return static_cast<int32_t>((static_cast<uint32_t>(static_cast<uint16_t>(years)) << 16) |
                                (static_cast<uint32_t>(static_cast<uint8_t>(months)) << 8) |
                                static_cast<uint8_t>(days));
}
inline int32_t TimeAdjust(int hours, int minutes, int seconds) {
    return static_cast<int32_t>((static_cast<uint32_t>(static_cast<uint8_t>(hours)) << 16) |
                                (static_cast<uint32_t>(static_cast<uint8_t>(minutes)) << 8) |
                                static_cast<uint8_t>(seconds));
}

} // namespace camtag::test
