// Finds the clip this filter instance is applied to: the host only tells the filter its
// position inside the clip, so the locator asks the host's timeline for the segments around
// the current time and searches each segment's node tree for this instance's filter node and
// the media node beneath it. It fills the clip block (source file, source frame under clip
// position 0, timeline frame where the filter starts) and says whether the source is DV; the
// caller stores what was found.
#pragma once

#include "host/HostInterface.h"
#include "module/InstanceRecord.h"
#include "settings/FilterSettings.h"

#include <cstdint>

namespace camtag {

class DvAviReader;

// Ticks per video frame as the host's time suite last gave them, and the frame-rate code they
// belong to. One cache for all instances; refreshed when the code changes or while it is empty.
// Code and ticks live in one atomic word, so that a host calling execute on several threads at
// once can never pair one rate's code with another rate's ticks.
class TickCache {
public:
    // The cached ticks for `code`; 0 when the cache holds none for it.
    static int64_t Get(int32_t code);
    // Caches positive ticks below 2^55 (every frame rate has far fewer); others are not kept.
    static void Put(int32_t code, int64_t ticks);
    static void Clear();
};

// The match name under which the host reports this filter in its node trees.
constexpr char kFilterMatchName[] = "PR.Camtag";

class ClipLocator {
public:
    // Searches the timeline around the record's position. Non-zero when the clip was found;
    // only then does `clip` hold the clip's values and the source's kind (it may be partly
    // written otherwise); on entry its block holds the values found last time. Not found when
    // the host lacks the segment slots or a time record, or gives no ticks per frame for the
    // timebase. With `source`, the reader
    // that found the clip's file to be DV is left open there, so that the caller reads the
    // frame without opening the file a second time; otherwise (or when it is not DV) it is
    // closed.
    static int Locate(HostRecordHandle record, FoundClip& clip, DvAviReader* source = nullptr);

    // Searches one node tree. `inside` is set below a filter node of this instance. 1 when a
    // media node was taken. Trees deeper than kMaxNodeDepth, or with more than kMaxNodeVisits
    // nodes (a cyclic tree), are given up on those branches.
    static int SearchNode(HostSegment* segment, HostNode* node, HostRecordHandle record,
                          FoundClip& clip, int inside);

    // Ticks per video frame at the record's timebase, from the cache or the host's time suite;
    // 0 when the host gives none.
    static int64_t TicksPerFrame(HostRecordHandle record);

    // 3 for 25, 4 for 29.97, 5 for 30 frames per second; -1 for any other rate, a null record
    // or a zero sample size.
    static int32_t FrameRateCode(const HostTimeRecord* timeRecord);

    static constexpr int kMaxNodeDepth = 256;
    static constexpr int kMaxNodeVisits = 4096;
    // The scan gives up after this many hours of timeline.
    static constexpr int64_t kScanSeconds = 360000;
};

} // namespace camtag
