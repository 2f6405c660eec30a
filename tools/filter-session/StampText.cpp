#include "StampText.h"

#include "FilterSession.h"
#include "dv/DvAviReader.h"
#include "settings/SettingsDefaults.h"
#include "text/OverlayText.h"

#include <cstring>

namespace camtag {

namespace {

// The module composes into 254 characters.
constexpr size_t kComposeCapacity = 254;

std::string AnsiToUtf8(const char* text) {
    const int size = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, nullptr, 0);
    if (size <= 1) return {};
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, wide.data(), size);
    wide.resize(static_cast<size_t>(size) - 1);
    return Utf8(wide);
}

} // namespace

FilterSettings ClipSettings(const char* sourcePathAnsi, int32_t inPoint, uint32_t scale, int32_t sampleSize) {
    FilterSettings settings{};
    ReadDefaults(settings);
    std::strncpy(settings.sourcePath, sourcePathAnsi, sizeof(settings.sourcePath) - 1);
    settings.startFrame = inPoint;
    settings.timelineOffset = 0;
    settings.dvSource = 1;
    settings.projectRateNumerator = scale;
    settings.projectRateDenominator = static_cast<uint32_t>(sampleSize);
    return settings;
}

StampText::StampText(const FilterSettings& settings, uint32_t scale, int32_t sampleSize) : settings_(settings) {
    // As the module decides: frames after the show duration's last one pass unstamped.
    if (settings_.showduration != 0 && sampleSize > 0)
        lastShown_ = static_cast<uint64_t>(settings_.showduration) * scale / static_cast<uint32_t>(sampleSize);
}

std::string StampText::Frame(DvAviReader& reader, uint32_t frameInClip) {
    if (frameInClip > lastShown_) return {};
    const int32_t sourceFrame =
        static_cast<int32_t>(frameInClip + static_cast<uint32_t>(settings_.startFrame));
    char text[kComposeCapacity + 2] = {};
    if (settings_.mode == 0) {
        SYSTEMTIME recorded{};
        if (reader.GetRecordingTime(static_cast<uint32_t>(sourceFrame), &recorded, nullptr))
            ComposeDateTimeText(&settings_, recorded, text, kComposeCapacity);
    } else if (settings_.mode == 1) {
        ComposeTimecodeText(&settings_, &reader, sourceFrame, text, kComposeCapacity);
    }
    return AnsiToUtf8(text);
}

} // namespace camtag
