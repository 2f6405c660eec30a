// The Premiere video filter interface as the module uses it: the per-call record, the frame
// descriptor, the host's operation tables and suites, timeline segments and nodes.
//
// These are the host's own memory layouts. In the 32-bit product every offset is checked at
// compile time below; a wrong offset would make the module read or write the wrong bytes of a
// real host's memory. The x86_64 test build uses the same declarations with natural pointer
// widths (the host emulator is built from them too).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace camtag {

struct HostFilterRecord;
struct HostFrame;
struct HostSegment;
struct HostNode;

using HostFrameHandle = HostFrame**;
using HostRecordHandle = HostFilterRecord**;
using HostMemoryHandle = char**;
using HostTimelineId = void*;

// Selectors the host calls the entry with.
constexpr int16_t kSelectorExecute = 0;
constexpr int16_t kSelectorSetup = 1;
constexpr int16_t kSelectorQueryFlags = 4;
constexpr int16_t kSelectorPixelFormats = 6;
constexpr int16_t kSelectorIdle = 8;

// What the entry answers a selector with.
constexpr int16_t kResultOk = 0;
constexpr int16_t kResultFailed = -100;

// What the basic and time suites' operations return.
constexpr int32_t kSuiteOk = 0;
constexpr int32_t kSuiteError = -1;

// The time suite, acquired by name and version through the basic suite.
constexpr char kTimeSuiteName[] = "Premiere Time Suite";
constexpr int32_t kTimeSuiteVersion = 1;
// Ticks of the time suite: one second.
constexpr int64_t kHostTicksPerSecond = 254016000000LL;
// Frame-rate codes of the time suite; kRateCodeNone for a rate it has no code for.
constexpr int32_t kRateCode25 = 3;
constexpr int32_t kRateCode2997 = 4;
constexpr int32_t kRateCode30 = 5;
constexpr int32_t kRateCodeNone = -1;

#pragma pack(push, 1)

// Host rectangle: left, top, right, bottom.
struct HostRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// What a frame handle finally points to.
struct HostFrame {
    HostRect bounds;      // 0
    int32_t rowBytes;     // 16
    int16_t bitsPerPixel; // 20
    uint8_t reserved[10]; // the host's own
};

// The time record: a position and the timebase of the sequence.
struct HostTimeRecord {
    int32_t value;      // 0
    uint32_t scale;     // 4: units per second
    int32_t sampleSize; // 8: units per frame
};

using HostNewPtrFn = char* (*)(uint32_t size);
using HostSetPtrSizeFn = void (*)(char* ptr, uint32_t size);
using HostGetPtrSizeFn = int32_t (*)(char* ptr);
using HostDisposePtrFn = void (*)(char* ptr);
using HostNewHandleFn = HostMemoryHandle (*)(uint32_t size);
using HostSetHandleSizeFn = int16_t (*)(HostMemoryHandle handle, uint32_t size);
using HostGetHandleSizeFn = int32_t (*)(HostMemoryHandle handle);

struct HostMemoryTable {
    HostNewPtrFn newPtr;               // slot 0
    HostSetPtrSizeFn setPtrSize;       // slot 1
    HostGetPtrSizeFn getPtrSize;       // slot 2
    HostDisposePtrFn disposePtr;       // slot 3
    HostNewHandleFn newHandle;         // slot 4
    HostSetHandleSizeFn setHandleSize; // slot 5
    HostGetHandleSizeFn getHandleSize; // slot 6: bytes of the handle's block
    void* unused[5];
};

struct HostWindowTable {
    void* slot0;
    HWND (*getMainWindow)(); // slot 1
    void* unused[6];
};

struct HostFrameTable {
    char* (*getPixels)(HostFrameHandle frame);                  // slot 0
    void (*getBounds)(HostFrameHandle frame, HostRect* bounds); // slot 1
    int32_t (*getRowBytes)(HostFrameHandle frame);              // slot 2
    HostFrameHandle (*newFrame)(HostRect* bounds);              // slot 3
    void (*disposeFrame)(HostFrameHandle frame);                // slot 4
    void (*lockFrame)(HostFrameHandle frame);                   // slot 5
    void (*unlockFrame)(HostFrameHandle frame);                 // slot 6
    void* unused[5];
};

// Basic suite and the time suite acquired through it.
struct HostBasicSuite {
    int32_t (*acquireSuite)(const char* name, int32_t version, const void** suite); // slot 0
    int32_t (*releaseSuite)(const char* name, int32_t version);                     // slot 1
    void* unused[4];
};

struct HostTimeSuite {
    int32_t (*getTicksPerSecond)(int64_t* ticks);                            // slot 0
    int32_t (*getTicksPerVideoFrame)(int32_t frameRateCode, int64_t* ticks); // slot 1
    int32_t (*getTicksPerAudioSample)(uint32_t sampleRate, int64_t* ticks);  // slot 2
};

// Host settings asked through utility slot 0.
enum HostSetting : int32_t {
    kHostFrameWidth = 1,
    kHostFrameHeight = 2,
    kHostRateDenominator = 11,
    kHostRateNumerator = 12,
};

struct HostUtilityTable {
    int32_t (*getSetting)(int32_t which); // slot 0
    void* slots1to6[6];
    HostBasicSuite* (*getBasicSuite)(); // slot 7
    void* unused[4];
};

struct HostTimelineTable {
    HostSegment* (*getSegment)(int32_t time, HostTimelineId timeline, int32_t flags); // slot 0
    void (*releaseSegment)(HostSegment* segment);                                     // slot 1
    void* slots2to9[8];
    int32_t (*getTimebase)(HostTimelineId timeline, uint32_t* scale, int32_t* sampleSize); // 10
    void* unused[5];
};

struct HostSuites {
    int32_t interfaceVersion;    // 0
    HostMemoryTable* memory;     // 4
    HostWindowTable* window;     // 8
    HostFrameTable* frame;       // 12
    HostUtilityTable* utility;   // 16
    HostTimelineTable* timeline; // 20
    void* unused[4];
};

using HostSourceFrameCallback = int32_t (*)(int32_t frame, HostFrameHandle target, HostRect* bounds,
                                            void* privateData);

// Size flags.
constexpr int16_t kSizeFlagFields = 0x0100;
constexpr int16_t kSizeFlagFieldsAlt = 0x0200;
constexpr int16_t kSizeFlagParity = 0x1000;

struct HostFilterRecord {
    HostMemoryHandle settings;              // 0
    HostFrameHandle source;                 // 4
    HostFrameHandle destination;            // 8
    int32_t position;                       // 12: timebase units, doubled for fields
    int32_t total;                          // 16
    uint8_t previewing;                     // 20
    void* privateData;                      // 21
    HostSourceFrameCallback sourceCallback; // 25
    void* bottlenecks;                      // 29
    int16_t version;                        // 33
    int16_t sizeFlags;                      // 35
    int32_t flags;                          // 37
    HostTimeRecord* timeRecord;             // 41
    void* privateStuff;                     // 45
    HostSuites* suites;                     // 49
    HostTimelineId timeline;                // 53
    char altName[32];                       // 57
    uint32_t pixelFormat;                   // 89: written on selector 6
    int32_t pixelFormatIndex;               // 93: read on selector 6
    int32_t instanceId;                     // 97
    int32_t offsetNumerator;                // 101
    int32_t reserved105;                    // 105
    int32_t offsetDenominator;              // 109
    uint8_t reserved113[16];
};

// A timeline segment from timeline slot 0.
struct HostSegment {
    uint8_t reserved0[16];
    int64_t endTicks; // 16: the scan goes on one frame after it
    HostNode* root;   // 24
    uint8_t reserved[16];
};

// Node kinds.
enum HostNodeKind : int32_t {
    kNodeMedia = 0,
    kNodeFilter = 1,
    kNodePair = 2,
    kNodeBranch = 3,
};

constexpr size_t kHostNodeNameOffset = 20;

// A node is one of four shapes sharing the kind field at offset 8.
struct HostNodeMedia {
    uint8_t reserved0[8];
    int32_t kind; // 8
    uint8_t reserved12[8];
    char fileName[272]; // 20
    int64_t ticksIn;    // 292
    int64_t ticksStart; // 300
};

struct HostNodeFilter {
    uint8_t reserved0[8];
    int32_t kind; // 8
    uint8_t reserved12[8];
    char matchName[256]; // 20
    int32_t instanceId;  // 276
    uint8_t reserved280[4];
    HostNode* child; // 284
    uint8_t reserved288[296 - 284 - 4];
    int64_t ticksStart; // 296
};

struct HostNodePair {
    uint8_t reserved0[8];
    int32_t kind; // 8
    uint8_t reserved12[268];
    HostNode* second; // 280
    HostNode* first;  // 284
};

struct HostNodeBranch {
    uint8_t reserved0[8];
    int32_t kind; // 8
    uint8_t reserved12[8];
    HostNode* first;  // 20
    HostNode* second; // 24
};

struct HostNode {
    union {
        struct {
            uint8_t reserved0[8];
            int32_t kind; // 8
        } head;
        HostNodeMedia media;
        HostNodeFilter filter;
        HostNodePair pair;
        HostNodeBranch branch;
    };
};

#pragma pack(pop)

// 2 while the host renders fields (each call brings one field, positions count doubled), else 1.
inline int32_t FieldFactor(const HostFilterRecord& record) {
    return (record.sizeFlags & (kSizeFlagFields | kSizeFlagFieldsAlt)) ? 2 : 1;
}

// Pixel format declared on selector 6: the bytes 'b','g','r','a' in memory order.
constexpr uint32_t kPixelFormatBgra = 0x61726762;

#if defined(__i386__)
static_assert(offsetof(HostFrame, rowBytes) == 16 && offsetof(HostFrame, bitsPerPixel) == 20);
static_assert(offsetof(HostTimeRecord, scale) == 4 && offsetof(HostTimeRecord, sampleSize) == 8);
static_assert(offsetof(HostMemoryTable, disposePtr) == 12 &&
              offsetof(HostMemoryTable, newHandle) == 16 &&
              offsetof(HostMemoryTable, getHandleSize) == 24 && sizeof(HostMemoryTable) == 48);
static_assert(offsetof(HostWindowTable, getMainWindow) == 4);
static_assert(offsetof(HostFrameTable, getBounds) == 4 &&
              offsetof(HostFrameTable, getRowBytes) == 8 &&
              offsetof(HostFrameTable, newFrame) == 12 &&
              offsetof(HostFrameTable, disposeFrame) == 16 &&
              offsetof(HostFrameTable, lockFrame) == 20 &&
              offsetof(HostFrameTable, unlockFrame) == 24);
static_assert(offsetof(HostUtilityTable, getBasicSuite) == 28);
static_assert(offsetof(HostTimelineTable, releaseSegment) == 4 &&
              offsetof(HostTimelineTable, getTimebase) == 40);
static_assert(offsetof(HostBasicSuite, releaseSuite) == 4);
static_assert(offsetof(HostTimeSuite, getTicksPerVideoFrame) == 4);
static_assert(offsetof(HostSuites, memory) == 4 && offsetof(HostSuites, window) == 8 &&
              offsetof(HostSuites, frame) == 12 && offsetof(HostSuites, utility) == 16 &&
              offsetof(HostSuites, timeline) == 20);
static_assert(
    offsetof(HostFilterRecord, source) == 4 && offsetof(HostFilterRecord, destination) == 8 &&
    offsetof(HostFilterRecord, position) == 12 && offsetof(HostFilterRecord, total) == 16 &&
    offsetof(HostFilterRecord, privateData) == 21 &&
    offsetof(HostFilterRecord, sourceCallback) == 25 &&
    offsetof(HostFilterRecord, sizeFlags) == 35 && offsetof(HostFilterRecord, timeRecord) == 41 &&
    offsetof(HostFilterRecord, suites) == 49 && offsetof(HostFilterRecord, timeline) == 53 &&
    offsetof(HostFilterRecord, pixelFormat) == 89 &&
    offsetof(HostFilterRecord, pixelFormatIndex) == 93 &&
    offsetof(HostFilterRecord, instanceId) == 97 &&
    offsetof(HostFilterRecord, offsetNumerator) == 101 &&
    offsetof(HostFilterRecord, offsetDenominator) == 109);
static_assert(offsetof(HostSegment, endTicks) == 16 && offsetof(HostSegment, root) == 24);
static_assert(offsetof(HostNodeMedia, kind) == 8 && offsetof(HostNodeMedia, fileName) == 20 &&
              offsetof(HostNodeMedia, ticksIn) == 292 &&
              offsetof(HostNodeMedia, ticksStart) == 300);
static_assert(offsetof(HostNodeFilter, matchName) == 20 &&
              offsetof(HostNodeFilter, instanceId) == 276 &&
              offsetof(HostNodeFilter, child) == 284 &&
              offsetof(HostNodeFilter, ticksStart) == 296);
static_assert(offsetof(HostNodePair, second) == 280 && offsetof(HostNodePair, first) == 284);
static_assert(offsetof(HostNodeBranch, first) == 20 && offsetof(HostNodeBranch, second) == 24);
#endif

} // namespace camtag
