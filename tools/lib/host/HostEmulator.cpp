#include "HostEmulator.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace camtag {

namespace {

// Per thread, so that emulators on different threads can drive the module at the same time.
thread_local HostEmulator* activeEmulator = nullptr;

// Bytes around every block handed to the module, and what they hold until it writes there.
constexpr size_t kGuardBytes = 256;
constexpr uint8_t kGuardByte = 0xA5;

void FillGuard(uint8_t* at) {
    std::memset(at, kGuardByte, kGuardBytes);
}

bool GuardIntact(const uint8_t* at) {
    for (size_t i = 0; i < kGuardBytes; ++i)
        if (at[i] != kGuardByte)
            return false;
    return true;
}

// A block of `size` bytes between two guards; returns where the block starts.
uint8_t* Guarded(uint8_t* base, size_t size) {
    FillGuard(base);
    FillGuard(base + kGuardBytes + size);
    return base + kGuardBytes;
}

bool GuardsIntact(const uint8_t* block, size_t size) {
    return GuardIntact(block - kGuardBytes) && GuardIntact(block + size);
}

// A name in a fixed field of a node, cut short to keep its terminator.
template <size_t N> void CopyName(char (&field)[N], const char* name) {
    if (name)
        std::memcpy(field, name, std::min(std::strlen(name), N - 1));
}

// Trampolines: the host's tables hold plain function pointers, so each one forwards to the
// active emulator. Without one, every operation answers as a host with nothing to give.
char* NewPtr(uint32_t size) {
    return activeEmulator ? activeEmulator->newPtr(size) : nullptr;
}
void SetPtrSize(char*, uint32_t) {}
int32_t GetPtrSize(char* ptr) {
    return activeEmulator ? activeEmulator->getPtrSize(ptr) : 0;
}
void DisposePtr(char* ptr) {
    if (activeEmulator)
        activeEmulator->disposePtr(ptr);
}
HostMemoryHandle NewHandle(uint32_t size) {
    return activeEmulator ? activeEmulator->newHandle(size) : nullptr;
}
int32_t GetHandleSize(HostMemoryHandle handle) {
    return activeEmulator ? activeEmulator->getHandleSize(handle) : 0;
}

HWND GetMainWindow() {
    return activeEmulator ? activeEmulator->mainWindow() : nullptr;
}

char* GetPixels(HostFrameHandle frame) {
    return activeEmulator ? activeEmulator->framePixels(frame) : nullptr;
}
void GetBounds(HostFrameHandle frame, HostRect* bounds) {
    if (activeEmulator)
        activeEmulator->frameBounds(frame, bounds);
}
int32_t GetRowBytes(HostFrameHandle frame) {
    return activeEmulator ? activeEmulator->frameRowBytes(frame) : 0;
}
HostFrameHandle NewFrame(HostRect* bounds) {
    return activeEmulator ? activeEmulator->newHostFrame(bounds) : nullptr;
}
void DisposeFrame(HostFrameHandle frame) {
    if (activeEmulator)
        activeEmulator->disposeHostFrame(frame);
}
void LockFrame(HostFrameHandle frame) {
    if (activeEmulator)
        activeEmulator->lockFrame(frame);
}
void UnlockFrame(HostFrameHandle frame) {
    if (activeEmulator)
        activeEmulator->unlockFrame(frame);
}
// The host hands its own private data back to the callback: that is how it finds itself.
int32_t SourceFrame(int32_t frame, HostFrameHandle target, HostRect* bounds, void* privateData) {
    auto* host = static_cast<HostEmulator*>(privateData);
    return host ? host->renderSourceFrame(frame, target, bounds) : kSuiteError;
}

int32_t GetSetting(int32_t which) {
    return activeEmulator ? activeEmulator->setting(which) : 0;
}
HostBasicSuite* GetBasicSuite() {
    return activeEmulator ? activeEmulator->basicSuite() : nullptr;
}
int32_t AcquireSuite(const char* name, int32_t version, const void** suite) {
    if (suite)
        *suite = nullptr;
    return activeEmulator ? activeEmulator->acquireSuite(name, version, suite) : kSuiteError;
}
int32_t ReleaseSuite(const char* name, int32_t version) {
    return activeEmulator ? activeEmulator->releaseSuite(name, version) : kSuiteError;
}
int32_t GetTicksPerSecond(int64_t* ticks) {
    if (!ticks)
        return kSuiteError;
    *ticks = kHostTicksPerSecond;
    return kSuiteOk;
}
int32_t GetTicksPerVideoFrame(int32_t code, int64_t* ticks) {
    return activeEmulator ? activeEmulator->ticksPerVideoFrame(code, ticks) : kSuiteError;
}
int32_t GetTicksPerAudioSample(uint32_t sampleRate, int64_t* ticks) {
    if (!ticks || sampleRate == 0)
        return kSuiteError;
    *ticks = kHostTicksPerSecond / sampleRate;
    return kSuiteOk;
}

HostSegment* GetSegment(int32_t time, HostTimelineId timeline, int32_t) {
    return activeEmulator ? activeEmulator->segmentAt(time, timeline) : nullptr;
}
void ReleaseSegment(HostSegment* segment) {
    if (activeEmulator)
        activeEmulator->releaseSegment(segment);
}
int32_t GetTimebase(HostTimelineId timeline, uint32_t* scale, int32_t* sampleSize) {
    return activeEmulator ? activeEmulator->timebase(timeline, scale, sampleSize) : kSuiteError;
}

} // namespace

HostEmulator::HostEmulator() {
    memoryTable_.newPtr = NewPtr;
    memoryTable_.setPtrSize = SetPtrSize;
    memoryTable_.getPtrSize = GetPtrSize;
    memoryTable_.disposePtr = DisposePtr;
    memoryTable_.newHandle = NewHandle;
    memoryTable_.getHandleSize = GetHandleSize;
    windowTable_.getMainWindow = GetMainWindow;
    frameTable_.getPixels = GetPixels;
    frameTable_.getBounds = GetBounds;
    frameTable_.getRowBytes = GetRowBytes;
    frameTable_.newFrame = NewFrame;
    frameTable_.disposeFrame = DisposeFrame;
    frameTable_.lockFrame = LockFrame;
    frameTable_.unlockFrame = UnlockFrame;
    utilityTable_.getSetting = GetSetting;
    utilityTable_.getBasicSuite = GetBasicSuite;
    timelineTable_.getSegment = GetSegment;
    timelineTable_.releaseSegment = ReleaseSegment;
    timelineTable_.getTimebase = GetTimebase;
    basicSuite_.acquireSuite = AcquireSuite;
    basicSuite_.releaseSuite = ReleaseSuite;
    timeSuite_.getTicksPerSecond = GetTicksPerSecond;
    timeSuite_.getTicksPerVideoFrame = GetTicksPerVideoFrame;
    timeSuite_.getTicksPerAudioSample = GetTicksPerAudioSample;

    suites_.interfaceVersion = 8;
    suites_.memory = &memoryTable_;
    suites_.window = &windowTable_;
    suites_.frame = &frameTable_;
    suites_.utility = &utilityTable_;
    suites_.timeline = &timelineTable_;

    record_.total = 1;
    record_.privateData = this;
    record_.sourceCallback = SourceFrame;
    record_.timeRecord = &timeRecord_;
    record_.suites = &suites_;
    record_.timeline = &timelineIdentity_;
    record_.offsetNumerator = 0;
    record_.offsetDenominator = 1;
    record_.instanceId = 1;
    setTimebase(25, 1);

    // A PAL DV project.
    settings_[kHostFrameWidth] = 720;
    settings_[kHostFrameHeight] = 576;
    settings_[kHostRateNumerator] = 25;
    settings_[kHostRateDenominator] = 1;

    activate();
}

HostEmulator::~HostEmulator() {
    if (activeEmulator == this)
        activeEmulator = nullptr;
    for (auto& spare : spareBlocks_)
        ::operator delete(spare.second - kGuardBytes);
}

void HostEmulator::activate() {
    activeEmulator = this;
}

HostEmulator* HostEmulator::active() {
    return activeEmulator;
}

void HostEmulator::setTimebase(uint32_t scale, int32_t sampleSize) {
    timeRecord_.scale = scale;
    timeRecord_.sampleSize = sampleSize;
    setTimelineTimebase(scale, sampleSize);
}

void HostEmulator::setTimelineTimebase(uint32_t scale, int32_t sampleSize) {
    timelineScale_ = scale;
    timelineSampleSize_ = sampleSize;
}

void HostEmulator::setOffsetSeed(int32_t numerator, int32_t denominator) {
    record_.offsetNumerator = numerator;
    record_.offsetDenominator = denominator;
}

// --- Memory ---

char* HostEmulator::newPtr(uint32_t size) {
    lastPointerRequest_ = size;
    if (failAllocations_)
        return nullptr;
    char* block = nullptr;
    for (auto spare = spareBlocks_.begin(); spare != spareBlocks_.end(); ++spare) {
        if (spare->first == size) {
            block = spare->second;
            spareBlocks_.erase(spare);
            break;
        }
    }
    if (!block) {
        auto base = static_cast<uint8_t*>(::operator new(size + 2 * kGuardBytes));
        block = reinterpret_cast<char*>(Guarded(base, size));
    }
    pointers_[block] = size;
    ++pointerAllocations_;
    return block;
}

void HostEmulator::disposePtr(char* ptr) {
    auto found = pointers_.find(ptr);
    if (found == pointers_.end()) {
        ++badDisposals_;
        return;
    }
    auto block = reinterpret_cast<uint8_t*>(ptr);
    if (!GuardsIntact(block, found->second))
        ++damagedGuards_;
    // A block given back is kept for the next request of its size, as a host's memory manager
    // keeps its frame-sized blocks: the next frame's buffer then costs no fresh pages.
    // Its guards are laid anew for the next user.
    if (spareBlocks_.size() < kSpareBlocks) {
        Guarded(block - kGuardBytes, found->second);
        spareBlocks_.emplace_back(found->second, ptr);
    } else {
        ::operator delete(block - kGuardBytes);
    }
    pointers_.erase(found);
}

int32_t HostEmulator::getPtrSize(char* ptr) {
    auto found = pointers_.find(ptr);
    return found == pointers_.end() ? 0 : static_cast<int32_t>(found->second);
}

HostMemoryHandle HostEmulator::newHandle(uint32_t size) {
    if (failAllocations_)
        return nullptr;
    auto block = std::make_unique<HandleBlock>();
    block->data.reset(new char[size + 2 * kGuardBytes]());
    block->master =
        reinterpret_cast<char*>(Guarded(reinterpret_cast<uint8_t*>(block->data.get()), size));
    block->size = size;
    HostMemoryHandle result = &block->master;
    handles_.push_back(std::move(block));
    return result;
}

int32_t HostEmulator::getHandleSize(HostMemoryHandle handle) {
    if (!handleSizeAvailable_)
        return 0;
    for (const auto& block : handles_)
        if (&block->master == handle)
            return static_cast<int32_t>(block->size);
    return 0;
}

bool HostEmulator::guardsIntact() const {
    if (damagedGuards_)
        return false;
    for (const auto& [block, size] : pointers_)
        if (!GuardsIntact(reinterpret_cast<const uint8_t*>(block), size))
            return false;
    for (const auto& block : handles_)
        if (!GuardsIntact(reinterpret_cast<const uint8_t*>(block->master), block->size))
            return false;
    for (const auto& frame : frames_)
        if (!frame->memory.empty() &&
            !GuardsIntact(frame->memory.data() + kGuardBytes, frame->bytes))
            return false;
    return true;
}

FilterSettings* HostEmulator::settings() {
    if (!record_.settings || !*record_.settings)
        return nullptr;
    return reinterpret_cast<FilterSettings*>(*record_.settings);
}

FilterSettings* HostEmulator::installSettings(const FilterSettings& settings) {
    return installSettings(settings, sizeof(FilterSettings));
}

FilterSettings* HostEmulator::installSettings(const FilterSettings& settings, uint32_t size) {
    bool failing = failAllocations_;
    failAllocations_ = false;
    HostMemoryHandle handle = newHandle(size);
    failAllocations_ = failing;
    std::memcpy(*handle, &settings, std::min<size_t>(size, sizeof(FilterSettings)));
    record_.settings = handle;
    return this->settings();
}

// --- Frames ---

bool HostEmulator::FrameBlock::allocate(size_t bytes, bool watched) {
    clear();
    watched_ = watched;
    if (watched) {
        base_ = static_cast<uint8_t*>(VirtualAlloc(
            nullptr, bytes, MEM_RESERVE | MEM_COMMIT | MEM_WRITE_WATCH, PAGE_READWRITE));
    } else {
        base_ = static_cast<uint8_t*>(::operator new(bytes, std::nothrow));
        if (base_)
            std::memset(base_, 0, bytes);
    }
    return base_ != nullptr;
}

void HostEmulator::FrameBlock::clear() {
    if (base_ && watched_)
        VirtualFree(base_, 0, MEM_RELEASE);
    else
        ::operator delete(base_);
    base_ = nullptr;
}

HostFrameHandle HostEmulator::makeFrame(int32_t width, int32_t height, int32_t rowBytes,
                                        int16_t bitsPerPixel, bool watched) {
    return makeFrame(HostRect{0, 0, width, height}, rowBytes, bitsPerPixel, watched);
}

HostFrameHandle HostEmulator::makeFrame(const HostRect& bounds, int32_t rowBytes,
                                        int16_t bitsPerPixel, bool watched) {
    auto store = std::make_unique<FrameStore>();
    store->descriptor.bounds = bounds;
    store->descriptor.rowBytes = rowBytes;
    store->descriptor.bitsPerPixel = bitsPerPixel;
    store->descriptorPtr = &store->descriptor;
    int64_t height = static_cast<int64_t>(bounds.bottom) - bounds.top;
    if (rowBytes > 0 && height > 0) {
        store->bytes = static_cast<size_t>(rowBytes) * height;
        if (store->memory.allocate(store->bytes + 2 * kGuardBytes, watched))
            Guarded(store->memory.data(), store->bytes);
        else
            store->bytes = 0;
    }
    HostFrameHandle handle = &store->descriptorPtr;
    frames_.push_back(std::move(store));
    return handle;
}

HostEmulator::FrameStore* HostEmulator::findFrame(HostFrameHandle frame) {
    for (auto& store : frames_)
        if (&store->descriptorPtr == frame && store->descriptorPtr)
            return store.get();
    return nullptr;
}

uint8_t* HostEmulator::pixels(HostFrameHandle frame) {
    FrameStore* store = findFrame(frame);
    return store && !store->memory.empty() ? store->memory.data() + kGuardBytes : nullptr;
}

size_t HostEmulator::pixelBytes(HostFrameHandle frame) {
    FrameStore* store = findFrame(frame);
    return store ? store->bytes : 0;
}

uint32_t HostEmulator::pixel(HostFrameHandle frame, int32_t x, int32_t y) {
    FrameStore* store = findFrame(frame);
    if (!store || x < 0 || y < 0)
        return 0;
    size_t offset =
        static_cast<size_t>(y) * store->descriptor.rowBytes + static_cast<size_t>(x) * 4;
    if (offset + 4 > store->bytes)
        return 0;
    uint32_t value;
    std::memcpy(&value, pixels(frame) + offset, 4);
    return value;
}

void HostEmulator::setPixel(HostFrameHandle frame, int32_t x, int32_t y, uint32_t value) {
    FrameStore* store = findFrame(frame);
    if (!store || x < 0 || y < 0)
        return;
    size_t offset =
        static_cast<size_t>(y) * store->descriptor.rowBytes + static_cast<size_t>(x) * 4;
    if (offset + 4 > store->bytes)
        return;
    std::memcpy(pixels(frame) + offset, &value, 4);
}

void HostEmulator::fill(HostFrameHandle frame, uint32_t value) {
    FrameStore* store = findFrame(frame);
    if (!store)
        return;
    uint8_t* base = pixels(frame);
    for (size_t offset = 0; offset + 4 <= store->bytes; offset += 4)
        std::memcpy(base + offset, &value, 4);
}

char* HostEmulator::framePixels(HostFrameHandle frame) {
    return reinterpret_cast<char*>(pixels(frame));
}

void HostEmulator::frameBounds(HostFrameHandle frame, HostRect* bounds) {
    if (!bounds)
        return;
    FrameStore* store = findFrame(frame);
    *bounds = store ? store->descriptor.bounds : HostRect{0, 0, 0, 0};
}

int32_t HostEmulator::frameRowBytes(HostFrameHandle frame) {
    FrameStore* store = findFrame(frame);
    return store ? store->descriptor.rowBytes : 0;
}

HostFrameHandle HostEmulator::newHostFrame(HostRect* bounds) {
    if (!bounds || failAllocations_)
        return nullptr;
    int32_t width = bounds->right - bounds->left;
    if (width <= 0 || width > (1 << 20))
        return nullptr;
    HostFrameHandle frame = makeFrame(*bounds, width * 4, 32);
    findFrame(frame)->hostMade = true;
    ++hostFrames_;
    return frame;
}

void HostEmulator::disposeHostFrame(HostFrameHandle frame) {
    FrameStore* store = findFrame(frame);
    if (!store || !store->hostMade)
        return;
    store->descriptorPtr = nullptr;
    // A frame given back keeps no pixels; its guards are checked one last time.
    if (!store->memory.empty() && !GuardsIntact(store->memory.data() + kGuardBytes, store->bytes))
        ++damagedGuards_;
    store->memory.clear();
    store->bytes = 0;
    --hostFrames_;
}

void HostEmulator::lockFrame(HostFrameHandle frame) {
    if (findFrame(frame))
        ++lockedFrames_;
}

void HostEmulator::unlockFrame(HostFrameHandle frame) {
    if (findFrame(frame))
        --lockedFrames_;
}

int32_t HostEmulator::renderSourceFrame(int32_t frame, HostFrameHandle target, HostRect*) {
    ++sourceFrameRequests_;
    FrameStore* store = findFrame(target);
    if (!store || store->memory.empty() || !sourceFrameRenderer_)
        return kSuiteError;
    const HostRect& b = store->descriptor.bounds;
    return sourceFrameRenderer_(frame, store->memory.data() + kGuardBytes, b.right - b.left,
                                b.bottom - b.top, store->descriptor.rowBytes)
               ? 0
               : kSuiteError;
}

// --- Utility and suites ---

int32_t HostEmulator::setting(int32_t which) const {
    auto found = settings_.find(which);
    return found == settings_.end() ? 0 : found->second;
}

HostBasicSuite* HostEmulator::basicSuite() {
    return basicSuiteAvailable_ ? &basicSuite_ : nullptr;
}

int32_t HostEmulator::acquireSuite(const char* name, int32_t version, const void** suite) {
    if (!name || !suite)
        return kSuiteError;
    *suite = nullptr;
    if (!timeSuiteAvailable_ || std::strcmp(name, kTimeSuiteName) != 0 ||
        version != kTimeSuiteVersion)
        return kSuiteError;
    *suite = &timeSuite_;
    ++acquiredSuites_;
    return kSuiteOk;
}

int32_t HostEmulator::releaseSuite(const char* name, int32_t version) {
    if (!name || std::strcmp(name, kTimeSuiteName) != 0 || version != kTimeSuiteVersion ||
        acquiredSuites_ == 0)
        return kSuiteError;
    --acquiredSuites_;
    return kSuiteOk;
}

int64_t HostEmulator::TicksForRateCode(int32_t code) {
    switch (code) {
    case kRateCode25:
        return kHostTicksPerSecond / 25;
    case kRateCode2997:
        return kHostTicksPerSecond * 1001 / 30000;
    case kRateCode30:
        return kHostTicksPerSecond / 30;
    default:
        return 0;
    }
}

int32_t HostEmulator::ticksPerVideoFrame(int32_t code, int64_t* ticks) {
    ++ticksQueries_;
    int64_t value = TicksForRateCode(code);
    // An unknown code is an error and leaves the output as it was.
    if (!ticks || value == 0)
        return kSuiteError;
    *ticks = value;
    return kSuiteOk;
}

int32_t HostEmulator::rateCode() const {
    if (timeRecord_.sampleSize == 0)
        return kRateCodeNone;
    double fps = static_cast<double>(timeRecord_.scale) / timeRecord_.sampleSize;
    if (fps > 24.99 && fps < 25.01)
        return kRateCode25;
    if (fps > 29.96 && fps < 29.98)
        return kRateCode2997;
    if (fps > 29.99 && fps < 30.01)
        return kRateCode30;
    return kRateCodeNone;
}

int64_t HostEmulator::ticksOfFrames(int64_t frames) const {
    return frames * TicksForRateCode(rateCode());
}

// --- Timeline ---

void HostEmulator::setSegmentLookupAvailable(bool available) {
    timelineTable_.getSegment = available ? GetSegment : nullptr;
    timelineTable_.releaseSegment = available ? ReleaseSegment : nullptr;
}

void HostEmulator::setTimebaseLookupAvailable(bool available) {
    timelineTable_.getTimebase = available ? GetTimebase : nullptr;
}

HostNode* HostEmulator::nodeOfKind(int32_t kind) {
    auto node = std::make_unique<HostNode>();
    std::memset(node.get(), 0, sizeof(HostNode));
    node->head.kind = kind;
    nodes_.push_back(std::move(node));
    return nodes_.back().get();
}

HostNode* HostEmulator::mediaNode(const char* fileName, int64_t ticksIn, int64_t ticksStart) {
    HostNode* node = nodeOfKind(kNodeMedia);
    CopyName(node->media.fileName, fileName);
    node->media.ticksIn = ticksIn;
    node->media.ticksStart = ticksStart;
    return node;
}

HostNode* HostEmulator::rawMediaNode(const void* name, size_t size, int64_t ticksIn,
                                     int64_t ticksStart) {
    HostNode* node = mediaNode(nullptr, ticksIn, ticksStart);
    std::memcpy(node->media.fileName, name, std::min(size, sizeof(node->media.fileName)));
    return node;
}

HostNode* HostEmulator::filterNode(const char* matchName, int32_t instanceId, int64_t ticksStart,
                                   HostNode* child) {
    HostNode* node = nodeOfKind(kNodeFilter);
    CopyName(node->filter.matchName, matchName);
    node->filter.instanceId = instanceId;
    node->filter.child = child;
    node->filter.ticksStart = ticksStart;
    return node;
}

HostNode* HostEmulator::pairNode(HostNode* first, HostNode* second) {
    HostNode* node = nodeOfKind(kNodePair);
    node->pair.first = first;
    node->pair.second = second;
    return node;
}

HostNode* HostEmulator::branchNode(HostNode* first, HostNode* second) {
    HostNode* node = nodeOfKind(kNodeBranch);
    node->branch.first = first;
    node->branch.second = second;
    return node;
}

void HostEmulator::addClip(int32_t startFrame, int32_t endFrame, HostNode* root) {
    clips_.push_back(Clip{startFrame, endFrame, root});
    std::sort(clips_.begin(), clips_.end(),
              [](const Clip& a, const Clip& b) { return a.start < b.start; });
}

HostNode* HostEmulator::addFilteredClip(int32_t startFrame, int32_t endFrame, const char* fileName,
                                        int32_t sourceIn) {
    HostNode* media = mediaNode(fileName, ticksOfFrames(sourceIn), ticksOfFrames(startFrame));
    HostNode* filter =
        filterNode("PR.Camtag", record_.instanceId, ticksOfFrames(startFrame), media);
    addClip(startFrame, endFrame, filter);
    return filter;
}

void HostEmulator::clearTimeline() {
    clips_.clear();
    timelineLength_ = -1;
}

HostSegment* HostEmulator::segmentAt(int32_t time, HostTimelineId timeline) {
    segmentRequests_.push_back(time);
    if (segmentHook_)
        segmentHook_(time);
    if (timeline != &timelineIdentity_ || time < 0)
        return nullptr;
    int64_t frame = timelineSampleSize_ > 0 ? time / timelineSampleSize_ : time;
    int64_t length = timelineLength_;
    if (length < 0)
        for (const Clip& clip : clips_)
            length = std::max<int64_t>(length, clip.end);
    if (frame >= length)
        return nullptr;

    // The clip under the frame, or the gap up to the next clip.
    int64_t segmentEnd = length;
    HostNode* root = nullptr;
    for (const Clip& clip : clips_) {
        if (frame >= clip.start && frame < clip.end) {
            segmentEnd = clip.end;
            root = clip.root;
            break;
        }
        if (clip.start > frame) {
            segmentEnd = clip.start;
            break;
        }
    }
    auto segment = std::make_unique<HostSegment>();
    std::memset(segment.get(), 0, sizeof(HostSegment));
    segment->endTicks = ticksOfFrames(segmentEnd - 1);
    segment->root = root;
    HostSegment* result = segment.get();
    segments_[result] = std::move(segment);
    return result;
}

void HostEmulator::releaseSegment(HostSegment* segment) {
    if (segments_.erase(segment) == 0)
        ++badReleases_;
}

int32_t HostEmulator::timebase(HostTimelineId timeline, uint32_t* scale, int32_t* sampleSize) {
    if (timeline != &timelineIdentity_ || !scale || !sampleSize)
        return kSuiteError;
    *scale = timelineScale_;
    *sampleSize = timelineSampleSize_;
    return kSuiteOk;
}

} // namespace camtag
