#include "StampText.h"

#include "FilterSession.h"
#include "dv/DvAviReader.h"
#include "module/FrameText.h"
#include "settings/SettingsDefaults.h"
#include "render/OverlayRenderer.h"
#include "text/OverlayText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace camtag {

namespace {

// The module composes into 254 characters.
constexpr size_t kComposeCapacity = 254;
// "%f" as the module gives it on the hosts it knows.
constexpr FileNameToken kFileName = FileNameToken::kReplaced;

std::string AnsiToUtf8(const char* text) {
    const int size = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, nullptr, 0);
    if (size <= 1)
        return {};
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, wide.data(), size);
    wide.resize(static_cast<size_t>(size) - 1);
    return Utf8(wide);
}

} // namespace

FilterSettings ClipSettings(const char* sourcePathAnsi, int32_t inPoint, int32_t width,
                            int32_t height, uint32_t scale, int32_t sampleSize) {
    FilterSettings settings{};
    ReadDefaults(settings);
    // What the host's project gives a new record.
    settings.frameWidth = width;
    settings.frameHeight = height;
    settings.referenceHeight = static_cast<uint32_t>(height);
    std::strncpy(settings.sourcePath, sourcePathAnsi, sizeof(settings.sourcePath) - 1);
    settings.startFrame = inPoint;
    settings.timelineOffset = 0;
    settings.dvSource = 1;
    settings.projectRateNumerator = scale;
    settings.projectRateDenominator = static_cast<uint32_t>(sampleSize);
    return settings;
}

StampText::StampText(const FilterSettings& settings, uint32_t scale, int32_t sampleSize)
    : settings_(settings), scale_(scale), sampleSize_(sampleSize) {}

std::string StampText::Frame(DvAviReader& reader, uint32_t frameInClip, bool* dated) {
    char text[kComposeCapacity + 2] = {};
    if (!ComposeFrameText(settings_, frameInClip, scale_, sampleSize_, reader, kFileName, text,
                          kComposeCapacity, dated))
        return {};
    return AnsiToUtf8(text);
}

std::string DateTimeStampText(const FilterSettings& settings, const SYSTEMTIME& when) {
    char text[kComposeCapacity + 2] = {};
    ComposeDateTimeText(&settings, when, kFileName, text, kComposeCapacity);
    return AnsiToUtf8(text);
}

bool MeasureStampOverflow(const FilterSettings& settings, int32_t width, int32_t height,
                          const std::string& text, StampOverflow* out) {
    *out = StampOverflow();
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (size <= 1 || width <= 0 || height <= 0)
        return false;
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), size);
    // As the module draws a whole frame: the font scaled to its rows, the anchor at (x, y) of it.
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc)
        return false;
    StampPlacement place = PlaceStamp(settings, width, height, GetDeviceCaps(dc, LOGPIXELSY));
    Gdiplus::GpFont* gpFont = nullptr;
    bool known = false;
    if (Gdiplus::DllExports::GdipCreateFontFromLogfontA(dc, &place.font, &gpFont) == Gdiplus::Ok &&
        gpFont) {
        OverlayShape shape(settings, gpFont, place.originX, place.originY, wide.c_str());
        Gdiplus::DllExports::GdipDeleteFont(gpFont);
        Gdiplus::RectF bounds;
        if (shape.PaintedBounds(&bounds)) {
            known = true;
            out->left = std::max(0.0, -static_cast<double>(bounds.X));
            out->top = std::max(0.0, -static_cast<double>(bounds.Y));
            out->right = std::max(0.0, static_cast<double>(bounds.X) + bounds.Width - width);
            out->bottom = std::max(0.0, static_cast<double>(bounds.Y) + bounds.Height - height);
        }
    }
    DeleteDC(dc);
    return known;
}

std::string StampOverflowAdvice(const FilterSettings& s, int32_t width, int32_t height,
                                const StampOverflow& o) {
    // The side that is out furthest, and where x or y would bring it in (a little to spare).
    struct Side {
        double pixels;
        const char* where;
        const char* setting;
        double now;
        double fit;
        const char* bound;
    };
    const double w = width, h = height;
    const Side sides[] = {
        {o.bottom, "below the frame", "y", s.y, s.y - (o.bottom + 2) / h, "or less"},
        {o.top, "above the frame", "y", s.y, s.y + (o.top + 2) / h, "or more"},
        {o.right, "beyond the frame's right edge", "x", s.x, s.x - (o.right + 2) / w, "or less"},
        {o.left, "beyond the frame's left edge", "x", s.x, s.x + (o.left + 2) / w, "or more"},
    };
    const Side* worst = &sides[0];
    for (const Side& side : sides)
        if (side.pixels > worst->pixels)
            worst = &side;
    // Rounded to two places away from the edge.
    const double fit =
        (worst->fit < worst->now ? std::floor(worst->fit * 100) : std::ceil(worst->fit * 100)) /
        100;
    char text[256];
    std::snprintf(
        text, sizeof text,
        "the stamp reaches %.0f pixels %s: set %s to %.2f %s (now %.2f), or a smaller fontsize",
        std::ceil(worst->pixels), worst->where, worst->setting, fit, worst->bound, worst->now);
    return text;
}

} // namespace camtag
