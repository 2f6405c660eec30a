#include "module/InstanceRecord.h"

#include "settings/SettingsDefaults.h"

#include <cstring>

namespace camtag {

FilterSettings* SettingsOf(HostFilterRecord* rec) {
    if (!rec || !rec->settings || !*rec->settings)
        return nullptr;
    HostMemoryTable* memory = rec->suites ? rec->suites->memory : nullptr;
    if (memory && memory->getHandleSize) {
        const int32_t size = memory->getHandleSize(rec->settings);
        if (size > 0 && static_cast<uint32_t>(size) < kFilterSettingsSize)
            return nullptr;
    }
    return reinterpret_cast<FilterSettings*>(*rec->settings);
}

int CreateSettings(HostRecordHandle record) {
    if (!record || !*record)
        return kResultFailed;
    HostFilterRecord& host = **record;
    if (host.settings)
        return kResultOk;
    if (host.total == 0)
        return kResultFailed;
    // Every table is checked before the handle is asked for: the host offers no way to give a
    // handle back, so a failure after the allocation would leak it.
    HostSuites* suites = host.suites;
    if (!suites || !suites->memory || !suites->memory->newHandle || !suites->utility ||
        !suites->utility->getSetting)
        return kResultFailed;
    HostMemoryHandle handle = suites->memory->newHandle(static_cast<uint32_t>(kFilterSettingsSize));
    if (!handle || !*handle)
        return kResultFailed;
    memset(*handle, 0, kFilterSettingsSize);
    auto& s = *reinterpret_cast<FilterSettings*>(*handle);

    auto setting = suites->utility->getSetting;
    // A zero denominator (a host that leaves the field unset) starts the guess at frame 0.
    int64_t numerator = host.offsetNumerator;
    int64_t denominator = host.offsetDenominator;
    s.timelineOffset = denominator ? static_cast<int32_t>(numerator / denominator) : 0;
    s.frameLeft = 0;
    s.frameWidth = setting(kHostFrameWidth);
    s.frameTop = 0;
    s.frameHeight = setting(kHostFrameHeight);

    ReadDefaults(s);

    s.projectRateNumerator = static_cast<uint32_t>(setting(kHostRateNumerator));
    s.projectRateDenominator = static_cast<uint32_t>(setting(kHostRateDenominator));
    s.referenceHeight = static_cast<uint32_t>(setting(kHostFrameHeight));

    host.settings = handle;
    return kResultOk;
}

bool StoreFoundClip(HostFilterRecord* rec, const FoundClip& clip) {
    FilterSettings* settings = SettingsOf(rec);
    if (!settings)
        return false;
    std::memcpy(settings->sourcePath, &clip.block, sizeof clip.block);
    settings->dvSource = clip.dvSource;
    return true;
}

void KeepTimecodeOnly(FilterSettings& settings) {
    if (settings.mode == kModeDateTime)
        settings.mode = kModeTimecode;
    settings.timecodemode &= ~kTimecodeTape;
}

void StoreEdits(HostFilterRecord* rec, const FilterSettings& before, const FilterSettings& edited) {
    FilterSettings* settings = SettingsOf(rec);
    if (!settings)
        return;
    std::memcpy(settings, &edited, sizeof edited);
    if (std::memcmp(&before, settings, sizeof before) != 0)
        settings->changeCount = static_cast<uint16_t>(settings->changeCount + 1);
}

} // namespace camtag
