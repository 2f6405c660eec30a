// The settings record the host keeps with each filter instance. Its bytes are stored in users'
// projects, so the layout is fixed: 506 bytes, packed, little-endian, the same on every build.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace camtag {

#pragma pack(push, 1)
struct FilterSettings {
    uint16_t changeCount;            // 0
    uint32_t color;                  // 2: COLORREF
    uint32_t outlinecolor;           // 6
    uint32_t colorshadow;            // 10
    uint32_t transparency;           // 14: percent, 0 opaque .. 100 invisible
    char sourcePath[260];            // 18: start of the clip block
    int32_t startFrame;              // 278
    int32_t timelineOffset;          // 282: end of the clip block
    int32_t frameLeft;               // 286
    int32_t frameTop;                // 290
    int32_t frameWidth;              // 294
    int32_t frameHeight;             // 298
    int32_t mode;                    // 302: 0 date and time, 1 timecode
    LOGFONTA font;                   // 306
    int32_t align;                   // 366: 0 left, 1 centre, 2 right
    double x;                        // 370: fraction of the frame width
    double y;                        // 378: fraction of the frame height
    uint32_t timeformat;             // 386: slot in the time picture list
    uint32_t dateformat;             // 390: slot in the date picture list
    int32_t timeup;                  // 394
    int32_t drawoutline;             // 398
    int32_t lines;                   // 402: 1 single line, 2 two lines
    int32_t drawshadow;              // 406
    int32_t bkground;                // 410
    uint32_t colorbkground;          // 414
    int32_t timecodemode;            // 418
    int32_t timecodestart;           // 422: packed label
    int32_t dvSource;                // 426
    uint32_t projectRateNumerator;   // 430
    uint32_t projectRateDenominator; // 434
    uint32_t referenceHeight;        // 438
    uint32_t reserved442;            // 442
    char title[32];                  // 446
    int32_t angle;                   // 478
    uint32_t showduration;           // 482: seconds, 0 always
    int32_t flags;                   // 486
    int32_t timeadjust;              // 490
    int32_t dateadjust;              // 494
    uint8_t reserved498[8];          // 498
};

// The part of the record the clip locator refreshes, copied out and back as one unit.
struct ClipBlock {
    char sourcePath[260];
    int32_t startFrame;
    int32_t timelineOffset;
};
#pragma pack(pop)

constexpr size_t kFilterSettingsSize = 506;
constexpr size_t kClipBlockOffset = 18;
constexpr size_t kClipBlockSize = 268;

// What the stamp shows (mode).
enum OverlayMode : int32_t {
    kModeDateTime = 0,
    kModeTimecode = 1,
};
// timecodemode bits.
constexpr int32_t kTimecodeTimeline = 1;
constexpr int32_t kTimecodeClip = 2;
constexpr int32_t kTimecodeSourceFile = 4;
constexpr int32_t kTimecodeTape = 8;
// flags bits.
constexpr int32_t kFlagShowFrames = 1;
constexpr int32_t kFlagShowHours = 2;
constexpr int32_t kFlagShowPrefix = 4;

static_assert(sizeof(LOGFONTA) == 60);
static_assert(sizeof(FilterSettings) == kFilterSettingsSize);
static_assert(sizeof(ClipBlock) == kClipBlockSize);
static_assert(
    offsetof(FilterSettings, color) == 2 && offsetof(FilterSettings, outlinecolor) == 6 &&
    offsetof(FilterSettings, colorshadow) == 10 && offsetof(FilterSettings, transparency) == 14 &&
    offsetof(FilterSettings, sourcePath) == kClipBlockOffset &&
    offsetof(FilterSettings, startFrame) == 278 &&
    offsetof(FilterSettings, timelineOffset) == 282 && offsetof(FilterSettings, frameLeft) == 286 &&
    offsetof(FilterSettings, frameTop) == 290 && offsetof(FilterSettings, frameWidth) == 294 &&
    offsetof(FilterSettings, frameHeight) == 298 && offsetof(FilterSettings, mode) == 302 &&
    offsetof(FilterSettings, font) == 306 && offsetof(FilterSettings, align) == 366 &&
    offsetof(FilterSettings, x) == 370 && offsetof(FilterSettings, y) == 378 &&
    offsetof(FilterSettings, timeformat) == 386 && offsetof(FilterSettings, dateformat) == 390 &&
    offsetof(FilterSettings, timeup) == 394 && offsetof(FilterSettings, drawoutline) == 398 &&
    offsetof(FilterSettings, lines) == 402 && offsetof(FilterSettings, drawshadow) == 406 &&
    offsetof(FilterSettings, bkground) == 410 && offsetof(FilterSettings, colorbkground) == 414 &&
    offsetof(FilterSettings, timecodemode) == 418 &&
    offsetof(FilterSettings, timecodestart) == 422 && offsetof(FilterSettings, dvSource) == 426 &&
    offsetof(FilterSettings, projectRateNumerator) == 430 &&
    offsetof(FilterSettings, projectRateDenominator) == 434 &&
    offsetof(FilterSettings, referenceHeight) == 438 && offsetof(FilterSettings, title) == 446 &&
    offsetof(FilterSettings, angle) == 478 && offsetof(FilterSettings, showduration) == 482 &&
    offsetof(FilterSettings, flags) == 486 && offsetof(FilterSettings, timeadjust) == 490 &&
    offsetof(FilterSettings, dateadjust) == 494 && offsetof(FilterSettings, reserved498) == 498);
static_assert(offsetof(FilterSettings, timelineOffset) + 4 - kClipBlockOffset == kClipBlockSize);

} // namespace camtag
