#include "settings/SettingsDefaults.h"

#include "settings/FormatLists.h"
#include "settings/SettingsStore.h"

#include <cmath>
#include <cstring>

namespace camtag {

namespace {

// LOGPIXELSY of the screen; 96 when no screen context can be had.
int ScreenDpiY() {
    HDC dc = GetDC(nullptr);
    if (!dc)
        return 96;
    int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    return dpi > 0 ? dpi : 96;
}

LOGFONTA ReadFont() {
    LOGFONTA font;
    LOGFONTA stored;
    DWORD size = sizeof stored;
    // Only a value of exactly 60 bytes is a font; anything else would leave parts unset.
    if (SettingsStore::ReadBinary("font", &stored, &size) && size == sizeof stored) {
        stored.lfFaceName[LF_FACESIZE - 1] = '\0';
        return stored;
    }
    memset(&font, 0, sizeof font);
    font.lfHeight = -MulDiv(kDefaultFontPoints, ScreenDpiY(), 72);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    strcpy(font.lfFaceName, "Arial");
    return font;
}

// A position fraction: 8 bytes holding a finite double, else the default.
double ReadFraction(const char* name, double defaultValue) {
    double value = 0;
    DWORD size = sizeof value;
    if (SettingsStore::ReadBinary(name, &value, &size) && size == sizeof value &&
        std::isfinite(value))
        return value;
    return defaultValue;
}

int32_t ReadInt(const char* name, uint32_t defaultValue) {
    return static_cast<int32_t>(SettingsStore::ReadDword(name, defaultValue));
}

} // namespace

void ReadDefaults(FilterSettings& s) {
    s.font = ReadFont();
    s.mode = ReadInt("mode", 0);
    s.color = SettingsStore::ReadDword("color", kDefaultColor);
    s.align = ReadInt("align", 0);
    s.outlinecolor = SettingsStore::ReadDword("outlinecolor", 0);
    s.drawoutline = ReadInt("drawoutline", 1);
    s.drawshadow = ReadInt("drawshadow", 1);
    s.colorshadow = SettingsStore::ReadDword("colorshadow", 0);
    // "Save as default" writes "transparency"; older registries only have "transp".
    s.transparency =
        SettingsStore::ReadDword("transparency", SettingsStore::ReadDword("transp", 0));
    s.x = ReadFraction("x", kDefaultX);
    s.y = ReadFraction("y", kDefaultY);
    s.timeformat = ClampFormatIndex(timeFormats, SettingsStore::ReadDword("timeformat", 1));
    s.dateformat = ClampFormatIndex(dateFormats, SettingsStore::ReadDword("dateformat", 1));
    s.timeup = ReadInt("timeup", 1);
    s.lines = ReadInt("lines", 2) == 1 ? 1 : 2;
    s.bkground = ReadInt("bkground", 0);
    s.colorbkground = SettingsStore::ReadDword("colorbkground", 0);
    s.timecodemode = ReadInt("timecodemode", kDefaultTimecodeMode);
    s.timecodestart = ReadInt("timecodestart", 0);
    s.dvSource = 0;
    SettingsStore::ReadString("title", s.title, sizeof s.title, "");
    s.angle = ReadInt("angle", 0);
    s.showduration = SettingsStore::ReadDword("showduration", 0);
    s.flags = ReadInt("flags", kDefaultFlags);
    s.timeadjust = ReadInt("timeadjust", 0);
    s.dateadjust = ReadInt("dateadjust", 0);
}

void SaveAsDefault(const FilterSettings& s) {
    SettingsStore::WriteDword("mode", static_cast<uint32_t>(s.mode));
    LOGFONTA font = s.font;
    SettingsStore::WriteBinary("font", &font, sizeof font);
    SettingsStore::WriteDword("color", s.color);
    SettingsStore::WriteDword("align", static_cast<uint32_t>(s.align));
    SettingsStore::WriteDword("outlinecolor", s.outlinecolor);
    SettingsStore::WriteDword("drawoutline", static_cast<uint32_t>(s.drawoutline));
    SettingsStore::WriteDword("drawshadow", static_cast<uint32_t>(s.drawshadow));
    SettingsStore::WriteDword("colorshadow", s.colorshadow);
    double x = s.x;
    double y = s.y;
    SettingsStore::WriteBinary("x", &x, sizeof x);
    SettingsStore::WriteBinary("y", &y, sizeof y);
    SettingsStore::WriteDword("timeformat", s.timeformat);
    SettingsStore::WriteDword("dateformat", s.dateformat);
    SettingsStore::WriteDword("timeup", static_cast<uint32_t>(s.timeup));
    SettingsStore::WriteDword("lines", static_cast<uint32_t>(s.lines));
    SettingsStore::WriteDword("transparency", s.transparency);
    SettingsStore::WriteDword("bkground", static_cast<uint32_t>(s.bkground));
    SettingsStore::WriteDword("colorbkground", s.colorbkground);
    SettingsStore::WriteDword("timecodemode", static_cast<uint32_t>(s.timecodemode));
    SettingsStore::WriteDword("timecodestart", static_cast<uint32_t>(s.timecodestart));
    // The record's title need not be terminated: at most its 31 characters go out. Its spaces
    // stay: a trailing one is what parts the title from the time. Spaces alone are no title.
    char title[sizeof s.title];
    size_t n = strnlen(s.title, sizeof title - 1);
    memcpy(title, s.title, n);
    title[n] = '\0';
    if (strspn(title, " ") == n)
        title[0] = '\0';
    SettingsStore::WriteString("title", title);
    SettingsStore::WriteDword("angle", static_cast<uint32_t>(s.angle));
    SettingsStore::WriteDword("showduration", s.showduration);
    SettingsStore::WriteDword("flags", static_cast<uint32_t>(s.flags));
    SettingsStore::WriteDword("timeadjust", static_cast<uint32_t>(s.timeadjust));
    SettingsStore::WriteDword("dateadjust", static_cast<uint32_t>(s.dateadjust));
}

} // namespace camtag
