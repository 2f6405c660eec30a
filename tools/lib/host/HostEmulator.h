// A stand-in for the Premiere host: it owns the per-call record, the suites and operation
// tables, frames, a settings handle and a timeline of clips, and serves them the way the
// video filter interface does. Tests drive the module through it, and the command-line renderer
// uses it to run the filter outside Premiere.
//
// The host's tables hold plain C function pointers without a context argument, so calls are
// routed to the active emulator of the calling thread: the one constructed last on that thread
// (or made active there with activate()). One emulator must not be used by two threads at once,
// but each thread may drive the module through its own emulator.
#pragma once

#include "host/HostInterface.h"
#include "settings/FilterSettings.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace camtag {

class HostEmulator {
public:
    HostEmulator();
    ~HostEmulator();
    HostEmulator(const HostEmulator&) = delete;
    HostEmulator& operator=(const HostEmulator&) = delete;

    // Routes the table calls to this emulator (the constructor does it already).
    void activate();
    static HostEmulator* active();

    // The record as the module sees it.
    HostRecordHandle handle() { return &recordPtr_; }
    HostFilterRecord& record() { return record_; }
    HostSuites& suites() { return suites_; }

    // --- Record fields ---
    void setInterfaceVersion(int version) { suites_.interfaceVersion = version; }
    // Both the record's time record and the timeline's timebase (timeline slot 10).
    void setTimebase(uint32_t scale, int32_t sampleSize);
    // Only the timeline's timebase, when a test needs the two to differ.
    void setTimelineTimebase(uint32_t scale, int32_t sampleSize);
    void setPosition(int32_t position) { record_.position = position; }
    void setSizeFlags(int16_t flags) { record_.sizeFlags = flags; }
    void setInstanceId(int32_t id) { record_.instanceId = id; }
    void setTotal(int32_t total) { record_.total = total; }
    // Record offsets 101 and 109: a new settings record's first timeline offset is their quotient.
    void setOffsetSeed(int32_t numerator, int32_t denominator);
    void setPixelFormatIndex(int32_t index) { record_.pixelFormatIndex = index; }

    // --- Memory (memory table) ---
    void failAllocations(bool fail) { failAllocations_ = fail; }
    // Blocks from slot 0 not yet given back with slot 3.
    size_t outstandingPointers() const { return pointers_.size(); }
    // Handles from slot 4 (the host keeps them; the module never frees them).
    size_t handleCount() const { return handles_.size(); }
    size_t pointerAllocations() const { return pointerAllocations_; }
    // Pointers given to slot 3 that the host never handed out, or handed back twice.
    size_t badDisposals() const { return badDisposals_; }
    // Size the last slot 0 request asked for (0 before any).
    uint32_t lastPointerRequest() const { return lastPointerRequest_; }
    // Slot 6 (a handle's size) answers 0, as a host that cannot tell, while this is off.
    void setHandleSizeAvailable(bool available) { handleSizeAvailable_ = available; }
    // Frame pixels, pointer blocks and handle blocks lie between guard bytes; false once any
    // guard was written, in a block still held or in one given back since.
    bool guardsIntact() const;

    // The record's settings, or null while it holds no handle.
    FilterSettings* settings();
    // Gives the record a settings handle holding a copy of the given bytes.
    FilterSettings* installSettings(const FilterSettings& settings);
    // The same with a block of `size` bytes holding the record's first bytes: a record of the
    // wrong size, as a damaged project could hand it over.
    FilterSettings* installSettings(const FilterSettings& settings, uint32_t size);
    // Drops the record's settings handle (a new filter instance).
    void clearSettings() { record_.settings = nullptr; }

    // --- Window table ---
    void setMainWindow(HWND window) { mainWindow_ = window; }

    // --- Utility table ---
    // Slot 0 values: 1 width, 2 height, 12/11 frame-rate numerator/denominator.
    void setSetting(int which, int value) { settings_[which] = value; }
    // Slot 7: without it the host has no basic suite.
    void setBasicSuiteAvailable(bool available) { basicSuiteAvailable_ = available; }
    void setTimeSuiteAvailable(bool available) { timeSuiteAvailable_ = available; }
    // Suites acquired and not released.
    int outstandingSuites() const { return acquiredSuites_; }
    // Calls to the time suite's ticks-per-frame operation.
    int ticksQueries() const { return ticksQueries_; }
    // The time suite's answer for a frame-rate code: 0 for codes it does not know.
    static int64_t TicksForRateCode(int32_t code);

    // --- Frame table ---
    // A frame with bounds (0, 0, width, height), the given row bytes and bits per pixel, and
    // pixel memory of rowBytes x height bytes (none when that is not positive), zero-filled.
    // `watched`: the memory is the system's with write watching, so that the caller can ask
    // which of its pages the module wrote (GetWriteWatch).
    HostFrameHandle makeFrame(int32_t width, int32_t height, int32_t rowBytes,
                              int16_t bitsPerPixel = 32, bool watched = false);
    HostFrameHandle makeFrame(const HostRect& bounds, int32_t rowBytes, int16_t bitsPerPixel = 32,
                              bool watched = false);
    void setSource(HostFrameHandle frame) { record_.source = frame; }
    void setDestination(HostFrameHandle frame) { record_.destination = frame; }
    // The frame's pixel memory, or null.
    uint8_t* pixels(HostFrameHandle frame);
    size_t pixelBytes(HostFrameHandle frame);
    // A 32-bit pixel at column x of memory row y (y counts rows of rowBytes from the start).
    uint32_t pixel(HostFrameHandle frame, int32_t x, int32_t y);
    void setPixel(HostFrameHandle frame, int32_t x, int32_t y, uint32_t value);
    // Every 32-bit unit of the frame's memory set to value.
    void fill(HostFrameHandle frame, uint32_t value);
    // Frames made through slot 3 and not disposed with slot 4.
    size_t outstandingHostFrames() const { return hostFrames_; }
    // Frames locked with slot 5 and not unlocked with slot 6.
    int lockedFrames() const { return lockedFrames_; }

    // --- Source frames: the record's callback that renders a clip frame into a host frame ---
    // Fills the pixels (rows of rowBytes, the picture's bottom row first, as the host's frames
    // are laid out) of a frame of width x height for clip frame `frame`; false when it cannot.
    using SourceFrameRenderer = std::function<bool(int32_t frame, uint8_t* pixels, int32_t width,
                                                   int32_t height, int32_t rowBytes)>;
    // Without a renderer the callback fails and leaves the frame as it is.
    void setSourceFrameRenderer(SourceFrameRenderer renderer) {
        sourceFrameRenderer_ = std::move(renderer);
    }
    // Calls of the source-frame callback so far.
    int sourceFrameRequests() const { return sourceFrameRequests_; }

    // --- Timeline ---
    // Tables and slots the module must cope without.
    void setSegmentLookupAvailable(bool available);
    void setTimebaseLookupAvailable(bool available);
    void setTimelineAvailable(bool available) {
        suites_.timeline = available ? &timelineTable_ : nullptr;
    }

    // Node builders: the emulator owns the nodes; they live until it is destroyed.
    HostNode* mediaNode(const char* fileName, int64_t ticksIn, int64_t ticksStart);
    // A media node whose name field is filled with the given bytes without a terminator check.
    HostNode* rawMediaNode(const void* name, size_t size, int64_t ticksIn, int64_t ticksStart);
    HostNode* filterNode(const char* matchName, int32_t instanceId, int64_t ticksStart,
                         HostNode* child);
    // Kind 2: `first` is visited first (offset 284), then `second` (offset 280).
    HostNode* pairNode(HostNode* first, HostNode* second);
    // Kind 3: `first` at offset 20, `second` at offset 24.
    HostNode* branchNode(HostNode* first, HostNode* second);
    HostNode* nodeOfKind(int32_t kind);

    // Ticks of `frames` frames at the record's current frame rate (0 when the rate has no code).
    int64_t ticksOfFrames(int64_t frames) const;
    int32_t rateCode() const;

    // A clip on timeline frames [startFrame, endFrame): slot 0 answers times inside it with a
    // fresh segment whose root is `root` and whose end is the tick of its last frame.
    void addClip(int32_t startFrame, int32_t endFrame, HostNode* root);
    // The usual clip with this filter applied: a filter node ("PR.Camtag", the record's instance
    // id) starting at startFrame over a media node whose frame sourceIn lies under the clip's
    // first frame.
    HostNode* addFilteredClip(int32_t startFrame, int32_t endFrame, const char* fileName,
                              int32_t sourceIn);
    void clearTimeline();
    // Times before this frame that no clip covers give empty segments (no root) reaching to the
    // next clip; from this frame on, slot 0 gives nothing. Defaults to the end of the last clip.
    void setTimelineLength(int32_t frames) { timelineLength_ = frames; }

    // Called with the time of each slot 0 request before it is answered, so that a test can
    // change the timeline under the module's search.
    void setSegmentHook(std::function<void(int32_t time)> hook) { segmentHook_ = std::move(hook); }

    size_t outstandingSegments() const { return segments_.size(); }
    // Times asked of slot 0, in order.
    const std::vector<int32_t>& segmentRequests() const { return segmentRequests_; }
    void clearSegmentRequests() { segmentRequests_.clear(); }
    // Segments given to slot 1 that slot 0 never handed out, or handed back twice.
    size_t badReleases() const { return badReleases_; }

    // --- Slot implementations (the tables point at static trampolines calling these) ---
    char* newPtr(uint32_t size);
    void disposePtr(char* ptr);
    int32_t getPtrSize(char* ptr);
    HostMemoryHandle newHandle(uint32_t size);
    int32_t getHandleSize(HostMemoryHandle handle);
    HWND mainWindow() const { return mainWindow_; }
    char* framePixels(HostFrameHandle frame);
    void frameBounds(HostFrameHandle frame, HostRect* bounds);
    int32_t frameRowBytes(HostFrameHandle frame);
    HostFrameHandle newHostFrame(HostRect* bounds);
    void disposeHostFrame(HostFrameHandle frame);
    void lockFrame(HostFrameHandle frame);
    void unlockFrame(HostFrameHandle frame);
    int32_t renderSourceFrame(int32_t frame, HostFrameHandle target, HostRect* bounds);
    int32_t setting(int32_t which) const;
    HostBasicSuite* basicSuite();
    int32_t acquireSuite(const char* name, int32_t version, const void** suite);
    int32_t releaseSuite(const char* name, int32_t version);
    int32_t ticksPerVideoFrame(int32_t code, int64_t* ticks);
    HostSegment* segmentAt(int32_t time, HostTimelineId timeline);
    void releaseSegment(HostSegment* segment);
    int32_t timebase(HostTimelineId timeline, uint32_t* scale, int32_t* sampleSize);

private:
    // A frame's memory: guard, pixels, guard.
    class FrameBlock {
    public:
        FrameBlock() = default;
        FrameBlock(const FrameBlock&) = delete;
        FrameBlock& operator=(const FrameBlock&) = delete;
        ~FrameBlock() { clear(); }
        // Zero-filled; false when there is no memory for it.
        bool allocate(size_t bytes, bool watched);
        void clear();
        bool empty() const { return !base_; }
        uint8_t* data() const { return base_; }

    private:
        uint8_t* base_ = nullptr;
        bool watched_ = false;
    };
    struct FrameStore {
        HostFrame descriptor{};
        HostFrame* descriptorPtr = nullptr;
        FrameBlock memory;
        size_t bytes = 0; // of pixels
        bool hostMade = false;
    };
    struct Clip {
        int32_t start;
        int32_t end;
        HostNode* root;
    };

    FrameStore* findFrame(HostFrameHandle frame);

    HostFilterRecord record_{};
    HostFilterRecord* recordPtr_ = &record_;
    HostTimeRecord timeRecord_{};
    HostSuites suites_{};
    HostMemoryTable memoryTable_{};
    HostWindowTable windowTable_{};
    HostFrameTable frameTable_{};
    HostUtilityTable utilityTable_{};
    HostTimelineTable timelineTable_{};
    HostBasicSuite basicSuite_{};
    HostTimeSuite timeSuite_{};
    char timelineIdentity_ = 0;

    bool failAllocations_ = false;
    std::map<char*, uint32_t> pointers_;
    static constexpr size_t kSpareBlocks = 4;
    std::vector<std::pair<uint32_t, char*>> spareBlocks_; // given back, kept for reuse
    size_t damagedGuards_ = 0;
    bool handleSizeAvailable_ = true;
    size_t pointerAllocations_ = 0;
    size_t badDisposals_ = 0;
    uint32_t lastPointerRequest_ = 0;
    struct HandleBlock {
        std::unique_ptr<char[]> data; // guard, block, guard
        char* master = nullptr;
        uint32_t size = 0;
    };
    std::vector<std::unique_ptr<HandleBlock>> handles_;

    HWND mainWindow_ = nullptr;
    std::map<int, int> settings_;
    bool basicSuiteAvailable_ = true;
    bool timeSuiteAvailable_ = true;
    int acquiredSuites_ = 0;
    int ticksQueries_ = 0;

    std::vector<std::unique_ptr<FrameStore>> frames_;
    size_t hostFrames_ = 0;
    int lockedFrames_ = 0;
    SourceFrameRenderer sourceFrameRenderer_;
    int sourceFrameRequests_ = 0;

    uint32_t timelineScale_ = 25;
    int32_t timelineSampleSize_ = 1;
    std::vector<std::unique_ptr<HostNode>> nodes_;
    std::vector<Clip> clips_;
    int32_t timelineLength_ = -1;
    std::map<HostSegment*, std::unique_ptr<HostSegment>> segments_;
    std::vector<int32_t> segmentRequests_;
    std::function<void(int32_t)> segmentHook_;
    size_t badReleases_ = 0;
};

} // namespace camtag
