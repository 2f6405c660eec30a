#include "module/ClipLocator.h"

#include "dv/DvAviReader.h"
#include "dv/KeptReader.h"
#include "host/ModuleState.h"
#include "text/TextRoutines.h"

#include <atomic>
#include <climits>
#include <cstring>

namespace camtag {

namespace {

// Ticks in the upper 56 bits, the code's low byte below them; 0 is the empty cache.
std::atomic<uint64_t> tickWord{0};
static_assert(std::atomic<uint64_t>::is_always_lock_free, "the tick cache must not need a lock");
constexpr int64_t kMaxCachedTicks = int64_t{1} << 55;

constexpr int32_t kUtf8NamesVersion = 8;
// Iterations of the timeline scan beyond which a host that keeps answering is not believed.
constexpr int kMaxScanSteps = 1 << 20;

HostFilterRecord* RecordOf(HostRecordHandle record) {
    return record ? *record : nullptr;
}

HostTimelineTable* TimelineOf(HostFilterRecord* rec) {
    return rec && rec->suites ? rec->suites->timeline : nullptr;
}

bool FitsInt32(int64_t value) {
    return value >= INT32_MIN && value <= INT32_MAX;
}

struct SearchBudget {
    int visits = 0;
    // Where the taken media's file stays open (as DV), for the caller; null: closed again.
    DvAviReader* source = nullptr;
};

// The media node's file name as an ANSI path that fits the clip block with its terminator.
// The host's field is read only within its size. A name that does not fit is refused: a cut
// path would name another file.
bool TakeFileName(const HostNodeMedia& media, char (&path)[sizeof(ClipBlock::sourcePath)]) {
    constexpr size_t kField = sizeof(media.fileName);
    char name[kField + 1];
    std::memcpy(name, media.fileName, kField);
    name[kField] = '\0';
    size_t length = std::strlen(name);
    if (hostVersion == kUtf8NamesVersion) {
        // Converted into a larger buffer first, so that a name which only fits when cut is seen.
        char converted[2 * kField];
        Utf8ToCodePage(name, converted, sizeof converted, ansiCodePage);
        length = std::strlen(converted);
        if (length >= sizeof path)
            return false;
        std::memset(path, 0, sizeof path);
        std::memcpy(path, converted, length);
        return true;
    }
    if (length >= sizeof path)
        return false;
    std::memset(path, 0, sizeof path);
    std::memcpy(path, name, length);
    return true;
}

// Takes a media node below this instance's filter node. Kept out of the recursive search, so
// that the reader and the name buffers do not weigh on every level of a deep tree.
[[gnu::noinline]] int TakeMedia(const HostNodeMedia& media, HostRecordHandle record,
                                FoundClip& clip, DvAviReader* source) {
    ClipBlock& block = clip.block;
    int64_t ticks = ClipLocator::TicksPerFrame(record);
    if (ticks <= 0)
        return 0;
    char path[sizeof(ClipBlock::sourcePath)];
    if (!TakeFileName(media, path))
        return 0;
    std::memcpy(block.sourcePath, path, sizeof path);
    block.startFrame =
        static_cast<int32_t>((media.ticksIn - media.ticksStart) / ticks) + block.timelineOffset;

    int dv = 0;
    {
        DvAviReader local;
        DvAviReader& reader = source ? *source : local;
        if (source ? OpenOnPath(reader, block.sourcePath) : reader.Open(block.sourcePath))
            dv = reader.dvType != 0 ? 1 : 0;
        if (!source || dv == 0)
            reader.Close();
    }
    clip.dvSource = dv;
    return 1;
}

int Search(HostSegment* segment, HostNode* node, HostRecordHandle record, FoundClip& clip,
           int inside, int depth, SearchBudget& budget) {
    if (!node || depth > ClipLocator::kMaxNodeDepth ||
        ++budget.visits > ClipLocator::kMaxNodeVisits)
        return 0;
    switch (node->head.kind) {
    case kNodeBranch:
        return Search(segment, node->branch.first, record, clip, inside, depth + 1, budget) ||
                       Search(segment, node->branch.second, record, clip, inside, depth + 1, budget)
                   ? 1
                   : 0;
    case kNodePair:
        return Search(segment, node->pair.first, record, clip, inside, depth + 1, budget) ||
                       Search(segment, node->pair.second, record, clip, inside, depth + 1, budget)
                   ? 1
                   : 0;
    case kNodeFilter: {
        HostFilterRecord* rec = RecordOf(record);
        bool matched =
            rec &&
            std::memcmp(node->filter.matchName, kFilterMatchName, sizeof kFilterMatchName) == 0 &&
            node->filter.instanceId == rec->instanceId;
        if (matched) {
            int64_t ticks = ClipLocator::TicksPerFrame(record);
            if (ticks <= 0)
                return 0;
            clip.block.timelineOffset = static_cast<int32_t>(node->filter.ticksStart / ticks);
        }
        return Search(segment, node->filter.child, record, clip, inside || matched, depth + 1,
                      budget);
    }
    case kNodeMedia:
        return inside ? TakeMedia(node->media, record, clip, budget.source) : 0;
    default:
        return 0;
    }
}

// Asks the host for the segment at `time`, searches it and releases it. 1 found, 0 not found
// (the segment, if any, is handed back either way); *segmentEnd gets the segment's end ticks.
int SearchSegmentAt(HostTimelineTable* timeline, HostFilterRecord* rec, HostRecordHandle record,
                    int64_t time, FoundClip& clip, DvAviReader* source, bool* gotSegment,
                    int64_t* segmentEnd) {
    *gotSegment = false;
    if (!FitsInt32(time))
        return 0;
    HostSegment* segment = timeline->getSegment(static_cast<int32_t>(time), rec->timeline, 0);
    if (!segment)
        return 0;
    *gotSegment = true;
    *segmentEnd = segment->endTicks;
    int found = 0;
    if (segment->root) {
        SearchBudget budget;
        budget.source = source;
        found = Search(segment, segment->root, record, clip, 0, 0, budget);
    }
    timeline->releaseSegment(segment);
    return found;
}

} // namespace

int32_t ClipLocator::FrameRateCode(const HostTimeRecord* timeRecord) {
    if (!timeRecord || timeRecord->sampleSize == 0)
        return kRateCodeNone;
    double fps = static_cast<double>(timeRecord->scale) / timeRecord->sampleSize;
    if (fps > 24.99 && fps < 25.01)
        return kRateCode25;
    if (fps > 29.96 && fps < 29.98)
        return kRateCode2997;
    if (fps > 29.99 && fps < 30.01)
        return kRateCode30;
    return kRateCodeNone;
}

int64_t ClipLocator::TicksPerFrame(HostRecordHandle record) {
    HostFilterRecord* rec = RecordOf(record);
    if (!rec)
        return 0;
    int32_t code = FrameRateCode(rec->timeRecord);
    if (int64_t cached = TickCache::Get(code))
        return cached;

    // A failed or missing answer leaves the cache empty, so the next call asks again; ticks of
    // another rate must never stand for this one.
    TickCache::Clear();
    HostUtilityTable* utility = rec->suites ? rec->suites->utility : nullptr;
    HostBasicSuite* basic = utility && utility->getBasicSuite ? utility->getBasicSuite() : nullptr;
    if (!basic || !basic->acquireSuite)
        return 0;
    const void* acquired = nullptr;
    if (basic->acquireSuite(kTimeSuiteName, kTimeSuiteVersion, &acquired) != kSuiteOk || !acquired)
        return 0;
    auto suite = static_cast<const HostTimeSuite*>(acquired);
    int64_t ticks = 0;
    if (!suite->getTicksPerVideoFrame || suite->getTicksPerVideoFrame(code, &ticks) != kSuiteOk ||
        ticks <= 0)
        ticks = 0;
    if (basic->releaseSuite)
        basic->releaseSuite(kTimeSuiteName, kTimeSuiteVersion);
    TickCache::Put(code, ticks);
    return ticks;
}

int64_t TickCache::Get(int32_t code) {
    const uint64_t word = tickWord.load(std::memory_order_relaxed);
    if (word == 0 || static_cast<uint8_t>(word) != static_cast<uint8_t>(code))
        return 0;
    return static_cast<int64_t>(word >> 8);
}

void TickCache::Put(int32_t code, int64_t ticks) {
    if (ticks <= 0 || ticks >= kMaxCachedTicks)
        return;
    tickWord.store(static_cast<uint64_t>(ticks) << 8 | static_cast<uint8_t>(code),
                   std::memory_order_relaxed);
}

void TickCache::Clear() {
    tickWord.store(0, std::memory_order_relaxed);
}

int ClipLocator::SearchNode(HostSegment* segment, HostNode* node, HostRecordHandle record,
                            FoundClip& clip, int inside) {
    SearchBudget budget;
    return Search(segment, node, record, clip, inside ? 1 : 0, 0, budget);
}

int ClipLocator::Locate(HostRecordHandle record, FoundClip& clip, DvAviReader* source) {
    HostFilterRecord* rec = RecordOf(record);
    HostTimelineTable* timeline = TimelineOf(rec);
    if (!timeline || !timeline->getSegment || !timeline->releaseSegment || !rec->timeRecord)
        return 0;
    // Every step below divides by the ticks per frame.
    int64_t ticks = TicksPerFrame(record);
    if (ticks <= 0)
        return 0;

    const int64_t sampleSize = rec->timeRecord->sampleSize;
    const int64_t scale = rec->timeRecord->scale;
    const int64_t inClip = rec->position / FieldFactor(*rec);
    bool gotSegment = false;
    int64_t segmentEnd = 0;

    // First guess: the timeline frame where the filter started last time.
    if (SearchSegmentAt(timeline, rec, record, inClip + sampleSize * clip.block.timelineOffset,
                        clip, source, &gotSegment, &segmentEnd))
        return 1;

    // Scan the timeline segment by segment, at most 100 hours of frames.
    if (sampleSize <= 0 || scale <= 0)
        return 0;
    const int64_t limit = (kScanSeconds * scale + sampleSize / 2) / sampleSize;
    int64_t time = inClip;
    int64_t previous = INT64_MIN;
    for (int step = 0; step < kMaxScanSteps; ++step) {
        if (SearchSegmentAt(timeline, rec, record, time, clip, source, &gotSegment, &segmentEnd))
            return 1;
        if (!gotSegment)
            return 0;
        int64_t next = static_cast<int32_t>(segmentEnd / ticks + 1);
        // A host whose segments do not move forward would keep the scan on the same spot.
        if (next >= limit || next <= previous)
            return 0;
        previous = next;
        time = sampleSize * next + inClip;
    }
    return 0;
}

} // namespace camtag
