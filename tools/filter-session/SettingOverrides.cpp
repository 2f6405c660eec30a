#include "SettingOverrides.h"

#include <windows.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace camtag {

namespace {

bool ParseInteger(const std::string& text, long long low, long long high, long long* value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long long parsed = std::strtoll(text.c_str(), &end, 0);
    if (errno != 0 || end == text.c_str() || *end != '\0') return false;
    if (parsed < low || parsed > high) return false;
    *value = parsed;
    return true;
}

bool ParseDouble(const std::string& text, double* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    double parsed = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || !std::isfinite(parsed)) return false;
    *value = parsed;
    return true;
}

// "a:b:c[:d]" into exactly `count` signed parts, each within [low, high].
bool ParseParts(const std::string& text, size_t count, long long low, long long high, std::vector<long long>* parts) {
    parts->clear();
    size_t start = 0;
    while (true) {
        size_t colon = text.find(':', start);
        long long part = 0;
        if (!ParseInteger(text.substr(start, colon == std::string::npos ? std::string::npos : colon - start),
                          low, high, &part))
            return false;
        parts->push_back(part);
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    return parts->size() == count;
}

bool ParseColour(const std::string& text, uint32_t* colour) {
    long long value = 0;
    if (!text.empty() && text[0] == '#') {
        if (text.size() != 7 || !ParseInteger("0x" + text.substr(1), 0, 0xFFFFFF, &value)) return false;
        uint32_t rgb = static_cast<uint32_t>(value);
        *colour = RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
        return true;
    }
    if (!ParseInteger(text, 0, 0xFFFFFF, &value)) return false;
    *colour = static_cast<uint32_t>(value);
    return true;
}

bool ParseFlag(const std::string& text, int32_t* flag) {
    long long value = 0;
    if (!ParseInteger(text, 0, 1, &value)) return false;
    *flag = static_cast<int32_t>(value);
    return true;
}

// Copies text into a fixed field, which must hold it with its terminator.
bool CopyText(const std::string& text, char* field, size_t size) {
    if (text.size() >= size) return false;
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), text.size());
    return true;
}

int32_t PackSignedBytes(int8_t b0, int8_t b1, int8_t b2, int8_t b3) {
    uint32_t packed = static_cast<uint8_t>(b0) | static_cast<uint32_t>(static_cast<uint8_t>(b1)) << 8 |
                      static_cast<uint32_t>(static_cast<uint8_t>(b2)) << 16 |
                      static_cast<uint32_t>(static_cast<uint8_t>(b3)) << 24;
    return static_cast<int32_t>(packed);
}

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

// Applies to a scratch copy; false means the value did not fit the field.
bool Apply(FilterSettings& s, const std::string& name, const std::string& value, bool* known) {
    *known = true;
    long long n = 0;
    std::vector<long long> parts;
    if (name == "mode") {
        if (value == "date") s.mode = 0;
        else if (value == "timecode") s.mode = 1;
        else if (ParseInteger(value, 0, 1, &n)) s.mode = static_cast<int32_t>(n);
        else return false;
    } else if (name == "title") {
        return CopyText(value, s.title, sizeof(s.title));
    } else if (name == "timeformat" || name == "dateformat") {
        if (!ParseInteger(value, 0, 6, &n)) return false;
        (name == "timeformat" ? s.timeformat : s.dateformat) = static_cast<uint32_t>(n);
    } else if (name == "color") {
        return ParseColour(value, &s.color);
    } else if (name == "outlinecolor") {
        return ParseColour(value, &s.outlinecolor);
    } else if (name == "colorshadow") {
        return ParseColour(value, &s.colorshadow);
    } else if (name == "colorbkground") {
        return ParseColour(value, &s.colorbkground);
    } else if (name == "x" || name == "y") {
        double d = 0;
        if (!ParseDouble(value, &d) || d < -1.0 || d > 2.0) return false;
        (name == "x" ? s.x : s.y) = d;
    } else if (name == "angle") {
        if (!ParseInteger(value, -360, 360, &n)) return false;
        s.angle = static_cast<int32_t>(n);
    } else if (name == "align") {
        if (value == "left") s.align = 0;
        else if (value == "centre" || value == "center") s.align = 1;
        else if (value == "right") s.align = 2;
        else if (ParseInteger(value, 0, 2, &n)) s.align = static_cast<int32_t>(n);
        else return false;
    } else if (name == "transparency") {
        if (!ParseInteger(value, 0, 100, &n)) return false;
        s.transparency = static_cast<uint32_t>(n);
    } else if (name == "drawoutline") {
        return ParseFlag(value, &s.drawoutline);
    } else if (name == "drawshadow") {
        return ParseFlag(value, &s.drawshadow);
    } else if (name == "bkground") {
        return ParseFlag(value, &s.bkground);
    } else if (name == "timeup") {
        return ParseFlag(value, &s.timeup);
    } else if (name == "lines") {
        if (!ParseInteger(value, 1, 2, &n)) return false;
        s.lines = static_cast<int32_t>(n);
    } else if (name == "timecodemode") {
        if (!ParseInteger(value, 0, 63, &n)) return false;
        s.timecodemode = static_cast<int32_t>(n);
    } else if (name == "timecodestart") {
        if (ParseParts(value, 4, 0, 99, &parts)) {
            if (parts[0] > 23 || parts[1] > 59 || parts[2] > 59 || parts[3] > 29) return false;
            s.timecodestart = PackSignedBytes(static_cast<int8_t>(parts[3]), static_cast<int8_t>(parts[2]),
                                              static_cast<int8_t>(parts[1]), static_cast<int8_t>(parts[0]));
        } else if (ParseInteger(value, INT32_MIN, INT32_MAX, &n)) {
            s.timecodestart = static_cast<int32_t>(n);
        } else {
            return false;
        }
    } else if (name == "flags") {
        if (!ParseInteger(value, 0, 7, &n)) return false;
        s.flags = static_cast<int32_t>(n);
    } else if (name == "showduration") {
        if (!ParseInteger(value, 0, UINT32_MAX, &n)) return false;
        s.showduration = static_cast<uint32_t>(n);
    } else if (name == "timeadjust") {
        // hours:minutes:seconds, stored as the bytes seconds, minutes, hours, 0
        if (ParseParts(value, 3, -128, 127, &parts)) {
            s.timeadjust = PackSignedBytes(static_cast<int8_t>(parts[2]), static_cast<int8_t>(parts[1]),
                                           static_cast<int8_t>(parts[0]), 0);
        } else if (ParseInteger(value, INT32_MIN, INT32_MAX, &n)) {
            s.timeadjust = static_cast<int32_t>(n);
        } else {
            return false;
        }
    } else if (name == "dateadjust") {
        // years:months:days, stored as the bytes days, months, then years as 16 bits
        if (ParseParts(value, 3, -32768, 32767, &parts)) {
            if (parts[1] < -128 || parts[1] > 127 || parts[2] < -128 || parts[2] > 127) return false;
            uint16_t years = static_cast<uint16_t>(static_cast<int16_t>(parts[0]));
            s.dateadjust = PackSignedBytes(static_cast<int8_t>(parts[2]), static_cast<int8_t>(parts[1]),
                                           static_cast<int8_t>(years & 0xFF), static_cast<int8_t>(years >> 8));
        } else if (ParseInteger(value, INT32_MIN, INT32_MAX, &n)) {
            s.dateadjust = static_cast<int32_t>(n);
        } else {
            return false;
        }
    } else if (name == "font") {
        return !value.empty() && CopyText(value, s.font.lfFaceName, sizeof(s.font.lfFaceName));
    } else if (name == "fontsize") {
        if (!ParseInteger(value, 1, 500, &n)) return false;
        s.font.lfHeight = -MulDiv(static_cast<int>(n), ScreenDpi(), 72);
    } else if (name == "bold") {
        int32_t flag = 0;
        if (!ParseFlag(value, &flag)) return false;
        s.font.lfWeight = flag ? FW_BOLD : FW_NORMAL;
    } else if (name == "italic") {
        int32_t flag = 0;
        if (!ParseFlag(value, &flag)) return false;
        s.font.lfItalic = static_cast<BYTE>(flag);
    } else {
        *known = false;
        return false;
    }
    return true;
}

} // namespace

const char* SettingOverrideNames() {
    return "mode title timeformat dateformat color outlinecolor colorshadow colorbkground x y angle "
           "align transparency drawoutline drawshadow bkground lines timeup timecodemode timecodestart "
           "flags showduration timeadjust dateadjust font fontsize bold italic";
}

bool ApplySettingOverride(FilterSettings& settings, const std::string& assignment, std::string* error) {
    size_t equals = assignment.find('=');
    if (equals == std::string::npos || equals == 0) {
        *error = "expected NAME=VALUE, got \"" + assignment + "\"";
        return false;
    }
    std::string name = assignment.substr(0, equals);
    std::string value = assignment.substr(equals + 1);
    FilterSettings scratch = settings;
    bool known = false;
    if (!Apply(scratch, name, value, &known)) {
        *error = known ? "bad value \"" + value + "\" for " + name
                       : "unknown setting \"" + name + "\" (known: " + SettingOverrideNames() + ")";
        return false;
    }
    settings = scratch;
    return true;
}

} // namespace camtag
