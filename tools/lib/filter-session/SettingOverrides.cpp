#include "SettingOverrides.h"

#include "FilterSession.h"

#include <windows.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <type_traits>
#include <vector>

namespace camtag {

namespace {

bool ParseInteger(const std::string& text, long long low, long long high, long long* value) {
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    // Decimal, leading zeros and all ("0:08:00" is eight minutes); hex only with 0x.
    const char* digits = text.c_str();
    const bool negative = *digits == '-';
    const char* magnitude = digits + (negative || *digits == '+' ? 1 : 0);
    const bool hex = magnitude[0] == '0' && (magnitude[1] == 'x' || magnitude[1] == 'X');
    long long parsed = std::strtoll(digits, &end, hex ? 16 : 10);
    if (errno != 0 || end == text.c_str() || *end != '\0')
        return false;
    if (parsed < low || parsed > high)
        return false;
    *value = parsed;
    return true;
}

bool ParseDouble(const std::string& text, double* value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    double parsed = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || !std::isfinite(parsed))
        return false;
    *value = parsed;
    return true;
}

// "a:b:c[:d]" into exactly `count` signed parts, each within [low, high].
bool ParseParts(const std::string& text, size_t count, long long low, long long high,
                std::vector<long long>* parts) {
    parts->clear();
    size_t start = 0;
    while (true) {
        size_t colon = text.find(':', start);
        long long part = 0;
        if (!ParseInteger(
                text.substr(start, colon == std::string::npos ? std::string::npos : colon - start),
                low, high, &part))
            return false;
        parts->push_back(part);
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    return parts->size() == count;
}

bool ParseColour(const std::string& text, uint32_t* colour) {
    long long value = 0;
    if (!text.empty() && text[0] == '#') {
        if (text.size() != 7 || !ParseInteger("0x" + text.substr(1), 0, 0xFFFFFF, &value))
            return false;
        uint32_t rgb = static_cast<uint32_t>(value);
        *colour = RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
        return true;
    }
    if (!ParseInteger(text, 0, 0xFFFFFF, &value))
        return false;
    *colour = static_cast<uint32_t>(value);
    return true;
}

bool ParseFlag(const std::string& text, int32_t* flag) {
    long long value = 0;
    if (!ParseInteger(text, 0, 1, &value))
        return false;
    *flag = static_cast<int32_t>(value);
    return true;
}

// Copies text into a fixed field, which must hold it with its terminator.
bool CopyText(const std::string& text, char* field, size_t size) {
    if (text.size() >= size)
        return false;
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), text.size());
    return true;
}

int32_t PackSignedBytes(int8_t b0, int8_t b1, int8_t b2, int8_t b3) {
    uint32_t packed = static_cast<uint8_t>(b0) |
                      static_cast<uint32_t>(static_cast<uint8_t>(b1)) << 8 |
                      static_cast<uint32_t>(static_cast<uint8_t>(b2)) << 16 |
                      static_cast<uint32_t>(static_cast<uint8_t>(b3)) << 24;
    return static_cast<int32_t>(packed);
}

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

// A setting's parser: false when the value is not one the setting takes; `why` may then give
// the whole reason instead of the table's values (a character the code page lacks).
using Parser = bool (*)(FilterSettings& s, const std::string& value, UINT codePage,
                        std::string* why);

struct Setting {
    SettingInfo info;
    Parser parse;
};

// A field that takes a whole number from Low to High.
template <auto Field, long long Low, long long High>
bool WholeNumber(FilterSettings& s, const std::string& value, UINT, std::string*) {
    long long n = 0;
    if (!ParseInteger(value, Low, High, &n))
        return false;
    s.*Field = static_cast<std::remove_reference_t<decltype(s.*Field)>>(n);
    return true;
}

bool ParseColourInto(uint32_t* field, const std::string& value) {
    return ParseColour(value, field);
}

// Text for a fixed ANSI field: converted to the code page, then it must fit with its terminator.
bool ParseText(const std::string& value, UINT codePage, char* field, size_t size, bool mayBeEmpty,
               std::string* why) {
    std::string converted;
    if (!Utf8ToModuleCodePage(value, codePage, &converted, why))
        return false;
    if (converted.empty() && !mayBeEmpty)
        return false;
    if (!CopyText(converted, field, size)) {
        *why = "at most " + std::to_string(size - 1) +
               " characters (given: " + std::to_string(converted.size()) + ")";
        return false;
    }
    return true;
}

const std::vector<Setting>& Settings() {
    static const std::vector<Setting> table = {
        {{"mode", "what is stamped: the recording date and time of each frame, or timecodes",
          "date", "date or timecode (0 or 1)"},
         [](FilterSettings& s, const std::string& v, UINT, std::string*) {
             long long n = 0;
             if (v == "date")
                 s.mode = kModeDateTime;
             else if (v == "timecode")
                 s.mode = kModeTimecode;
             else if (ParseInteger(v, 0, 1, &n))
                 s.mode = static_cast<int32_t>(n);
             else
                 return false;
             return true;
         }},
        {{"title", "text before the stamp; \\n starts a new line, %f is the source file's name",
          "(none)", "at most 31 characters"},
         [](FilterSettings& s, const std::string& v, UINT cp, std::string* why) {
             return ParseText(v, cp, s.title, sizeof(s.title), true, why);
         }},
        {{"timeformat", "the time picture, by its place in the time list", "1 (HH':'mm':'ss)",
          "0 (no time), 1 (the built-in picture), 2 to 6 (the user's pictures; --time-format uses "
          "2)"},
         WholeNumber<&FilterSettings::timeformat, 0, 6>},
        {{"dateformat", "the date picture, by its place in the date list", "1 (dd.MM.yy)",
          "0 (no date), 1 (the built-in picture), 2 to 6 (the user's pictures; --date-format uses "
          "2)"},
         WholeNumber<&FilterSettings::dateformat, 0, 6>},
        {{"color", "text colour", "#E0E0E0 (light grey)",
          "#RRGGBB, or a COLORREF number 0x00BBGGRR"},
         [](FilterSettings& s, const std::string& v, UINT, std::string*) {
             return ParseColourInto(&s.color, v);
         }},
        {{"outlinecolor", "outline colour", "#000000", "#RRGGBB, or a COLORREF number 0x00BBGGRR"},
         [](FilterSettings& s, const std::string& v, UINT, std::string*) {
             return ParseColourInto(&s.outlinecolor, v);
         }},
        {{"colorshadow", "shadow colour", "#000000", "#RRGGBB, or a COLORREF number 0x00BBGGRR"},
         [](FilterSettings& s, const std::string& v, UINT, std::string*) {
             return ParseColourInto(&s.colorshadow, v);
         }},
        {{"colorbkground", "background box colour", "#000000",
          "#RRGGBB, or a COLORREF number 0x00BBGGRR"},
         [](FilterSettings& s, const std::string& v, UINT, std::string*) {
             return ParseColourInto(&s.colorbkground, v);
         }},
        {{"x",
          "where the text starts (align left), is centred (centre) or ends (right), as a fraction "
          "of the "
          "frame's width",
          "0.08", "a number from -1 to 2 (0 left edge, 1 right edge)"},
         [](FilterSettings& s, const std::string& v, UINT, std::string*) {
             double d = 0;
             if (!ParseDouble(v, &d) || d < -1.0 || d > 2.0)
                 return false;
             s.x = d;
             return true;
         }},
        {{"y", "the top of the first line, as a fraction of the frame's height", "0.75",
          "a number from -1 to 2 (0 top edge, 1 bottom edge)"},
         [](FilterSettings& s, const std::string& v, UINT, std::string*) {
             double d = 0;
             if (!ParseDouble(v, &d) || d < -1.0 || d > 2.0)
                 return false;
             s.y = d;
             return true;
         }},
        {{"angle", "rotation about (x, y), clockwise, in degrees", "0", "-360 to 360"},
         WholeNumber<&FilterSettings::angle, -360, 360>},
        {{"align", "how the lines stand to x", "left",
          "left, centre (or center) or right (0, 1 or 2)"},
         [](FilterSettings& s, const std::string& v, UINT, std::string*) {
             long long n = 0;
             if (v == "left")
                 s.align = 0;
             else if (v == "centre" || v == "center")
                 s.align = 1;
             else if (v == "right")
                 s.align = 2;
             else if (ParseInteger(v, 0, 2, &n))
                 s.align = static_cast<int32_t>(n);
             else
                 return false;
             return true;
         }},
        {{"transparency", "transparency of text, outline, shadow and box", "0 (opaque)",
          "0 to 100 (percent)"},
         WholeNumber<&FilterSettings::transparency, 0, 100>},
        {{"drawoutline", "draw an outline around the letters", "1", "0 or 1"},
         [](FilterSettings& s, const std::string& v, UINT, std::string*) {
             return ParseFlag(v, &s.drawoutline);
         }},
        {{"drawshadow", "draw a shadow below right of the letters", "1", "0 or 1"},
         [](FilterSettings& s, const std::string& v, UINT, std::string*) {
             return ParseFlag(v, &s.drawshadow);
         }},
        {{"bkground", "draw a box behind the text", "0", "0 or 1"},
         [](FilterSettings& s, const std::string& v, UINT, std::string*) {
             return ParseFlag(v, &s.bkground);
         }},
        {{"lines", "time and date (or the timecodes) on one line or on lines of their own", "2",
          "1 or 2"},
         WholeNumber<&FilterSettings::lines, 1, 2>},
        {{"timeup", "the time before the date", "1", "0 (date first) or 1 (time first)"},
         [](FilterSettings& s, const std::string& v, UINT, std::string*) {
             return ParseFlag(v, &s.timeup);
         }},
        {{"timecodemode", "timecode mode: which timecodes, in which form",
          "11 (Timeline, clip and tape, SMPTE)",
          "0 to 63: the sum of 1 Timeline, 2 clip, 4 source file, 8 tape, and 16 for the Time form "
          "or 32 for "
          "Frames"},
         WholeNumber<&FilterSettings::timecodemode, 0, 63>},
        {{"timecodestart", "timecode mode: the value the Timeline and clip timecodes start from",
          "00:00:00:00", "HH:MM:SS:FF (hours 0 to 23, frames 0 to 29)"},
         [](FilterSettings& s, const std::string& v, UINT, std::string*) {
             std::vector<long long> parts;
             long long n = 0;
             if (ParseParts(v, 4, 0, 99, &parts)) {
                 if (parts[0] > 23 || parts[1] > 59 || parts[2] > 59 || parts[3] > 29)
                     return false;
                 s.timecodestart =
                     PackSignedBytes(static_cast<int8_t>(parts[3]), static_cast<int8_t>(parts[2]),
                                     static_cast<int8_t>(parts[1]), static_cast<int8_t>(parts[0]));
             } else if (ParseInteger(v, INT32_MIN, INT32_MAX, &n)) {
                 s.timecodestart = static_cast<int32_t>(n);
             } else {
                 return false;
             }
             return true;
         }},
        {{"flags", "timecode mode: what the timecodes show", "7 (all)",
          "0 to 7: the sum of 1 frames, 2 hours, 4 the TL#/CL#/FL#/TP# prefixes"},
         WholeNumber<&FilterSettings::flags, 0, 7>},
        {{"showduration", "stamp only the first seconds of the clip", "0 (the whole clip)",
          "0 to 4294967295 (seconds; 0: the whole clip)"},
         WholeNumber<&FilterSettings::showduration, 0, UINT32_MAX>},
        {{"timeadjust", "added to the recording time (a camcorder clock that was wrong)", "0:0:0",
          "H:M:S, each part -128 to 127"},
         [](FilterSettings& s, const std::string& v, UINT, std::string*) {
             // hours:minutes:seconds, stored as the bytes seconds, minutes, hours, 0
             std::vector<long long> parts;
             long long n = 0;
             if (ParseParts(v, 3, -128, 127, &parts)) {
                 s.timeadjust =
                     PackSignedBytes(static_cast<int8_t>(parts[2]), static_cast<int8_t>(parts[1]),
                                     static_cast<int8_t>(parts[0]), 0);
             } else if (ParseInteger(v, INT32_MIN, INT32_MAX, &n)) {
                 s.timeadjust = static_cast<int32_t>(n);
             } else {
                 return false;
             }
             return true;
         }},
        {{"dateadjust", "added to the recording date", "0:0:0",
          "Y:M:D, years -32768 to 32767, months and days -128 to 127"},
         [](FilterSettings& s, const std::string& v, UINT, std::string*) {
             // years:months:days, stored as the bytes days, months, then years as 16 bits
             std::vector<long long> parts;
             long long n = 0;
             if (ParseParts(v, 3, -32768, 32767, &parts)) {
                 if (parts[1] < -128 || parts[1] > 127 || parts[2] < -128 || parts[2] > 127)
                     return false;
                 uint16_t years = static_cast<uint16_t>(static_cast<int16_t>(parts[0]));
                 s.dateadjust = PackSignedBytes(
                     static_cast<int8_t>(parts[2]), static_cast<int8_t>(parts[1]),
                     static_cast<int8_t>(years & 0xFF), static_cast<int8_t>(years >> 8));
             } else if (ParseInteger(v, INT32_MIN, INT32_MAX, &n)) {
                 s.dateadjust = static_cast<int32_t>(n);
             } else {
                 return false;
             }
             return true;
         }},
        {{"font", "the typeface", "Arial", "a font name of 1 to 31 characters"},
         [](FilterSettings& s, const std::string& v, UINT cp, std::string* why) {
             return ParseText(v, cp, s.font.lfFaceName, sizeof(s.font.lfFaceName), false, why);
         }},
        {{"fontsize", "the letters' size on a frame of the height the settings were made for", "24",
          "1 to 500 (points)"},
         [](FilterSettings& s, const std::string& v, UINT, std::string*) {
             long long n = 0;
             if (!ParseInteger(v, 1, 500, &n))
                 return false;
             s.font.lfHeight = -MulDiv(static_cast<int>(n), ScreenDpi(), 72);
             return true;
         }},
        {{"bold", "bold letters", "0", "0 or 1"},
         [](FilterSettings& s, const std::string& v, UINT, std::string*) {
             int32_t flag = 0;
             if (!ParseFlag(v, &flag))
                 return false;
             s.font.lfWeight = flag ? FW_BOLD : FW_NORMAL;
             return true;
         }},
        {{"italic", "italic letters", "0", "0 or 1"},
         [](FilterSettings& s, const std::string& v, UINT, std::string*) {
             int32_t flag = 0;
             if (!ParseFlag(v, &flag))
                 return false;
             s.font.lfItalic = static_cast<BYTE>(flag);
             return true;
         }},
    };
    return table;
}

// The code point starting at text[i] (UTF-16), and how many units it takes.
uint32_t CodePointAt(const std::wstring& text, size_t i, size_t* units) {
    const uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
        *units = 2;
        return 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
    }
    *units = 1;
    return c;
}

} // namespace

bool Utf8ToModuleCodePage(const std::string& utf8, UINT codePage, std::string* out,
                          std::string* error) {
    out->clear();
    if (utf8.empty())
        return true;
    const int wideSize = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                             static_cast<int>(utf8.size()), nullptr, 0);
    if (wideSize <= 0) {
        *error = "\"" + utf8 + "\" is not UTF-8 text";
        return false;
    }
    std::wstring wide(static_cast<size_t>(wideSize), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                        wide.data(), wideSize);
    if (codePage == CP_ACP)
        codePage = GetACP();
    // Character by character, so that the first one the code page lacks can be named.
    for (size_t i = 0; i < wide.size();) {
        size_t units = 1;
        const uint32_t codePoint = CodePointAt(wide, i, &units);
        char bytes[8];
        BOOL lossy = FALSE;
        const int n =
            WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data() + i,
                                static_cast<int>(units), bytes, sizeof bytes, nullptr, &lossy);
        if (n <= 0 || lossy) {
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(codePoint));
            *error = "the character \"" + Utf8(wide.substr(i, units)) + "\" (" + code +
                     ") is not in the module's code page " + std::to_string(codePage);
            out->clear();
            return false;
        }
        out->append(bytes, static_cast<size_t>(n));
        i += units;
    }
    return true;
}

const std::vector<SettingInfo>& SettingTable() {
    static const std::vector<SettingInfo> infos = [] {
        std::vector<SettingInfo> out;
        for (const Setting& setting : Settings())
            out.push_back(setting.info);
        return out;
    }();
    return infos;
}

std::string SettingOverrideNames() {
    std::string names;
    for (const Setting& setting : Settings())
        names += (names.empty() ? "" : " ") + std::string(setting.info.name);
    return names;
}

bool ApplySettingOverride(FilterSettings& settings, const std::string& assignment,
                          std::string* error, UINT codePage) {
    size_t equals = assignment.find('=');
    if (equals == std::string::npos || equals == 0) {
        *error = "expected NAME=VALUE, got \"" + assignment + "\"";
        return false;
    }
    const std::string name = assignment.substr(0, equals);
    const std::string value = assignment.substr(equals + 1);
    for (const Setting& setting : Settings()) {
        if (name != setting.info.name)
            continue;
        FilterSettings scratch = settings;
        std::string why;
        if (!setting.parse(scratch, value, codePage, &why)) {
            *error = name + ": " +
                     (why.empty() ? std::string(setting.info.values) + " (given: \"" + value + "\")"
                                  : why);
            return false;
        }
        settings = scratch;
        return true;
    }
    *error = "unknown setting \"" + name + "\" (known: " + SettingOverrideNames() + ")";
    return false;
}

} // namespace camtag
