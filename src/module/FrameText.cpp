#include "module/FrameText.h"

#include "dv/DvAviReader.h"
#include "text/OverlayText.h"

namespace camtag {

bool PastShowDuration(const FilterSettings& settings, uint32_t frameInClip, uint32_t scale,
                      int32_t sampleSize) {
    if (settings.showduration == 0 || sampleSize <= 0)
        return false;
    // 64-bit: seconds x units per second overflows 32 bits at fine timebases.
    const uint64_t lastShown =
        static_cast<uint64_t>(settings.showduration) * scale / static_cast<uint32_t>(sampleSize);
    return frameInClip > lastShown;
}

bool ComposeFrameText(const FilterSettings& settings, uint32_t frameInClip, uint32_t scale,
                      int32_t sampleSize, DvAviReader& reader, FileNameToken fileName, char* text,
                      size_t capacity, bool* dated) {
    if (text && capacity > 0)
        text[0] = '\0';
    const uint32_t sourceFrame = frameInClip + static_cast<uint32_t>(settings.startFrame);
    SYSTEMTIME recorded{};
    bool hasDate = false;
    if (dated)
        *dated = hasDate = reader.GetRecordingTime(sourceFrame, &recorded, nullptr) != 0;
    if (PastShowDuration(settings, frameInClip, scale, sampleSize))
        return false;
    // Only date mode shows the date: timecode mode does not send the reader looking for it.
    if (settings.mode == kModeDateTime && !dated)
        hasDate = reader.GetRecordingTime(sourceFrame, &recorded, nullptr) != 0;
    ComposeOverlayText(settings, hasDate ? &recorded : nullptr, &reader,
                       static_cast<int32_t>(sourceFrame), fileName, text, capacity);
    return true;
}

} // namespace camtag
