// The execute selector: one frame, from the host's record to the stamped destination frame.
// Everything made here (pixel buffer, bitmap, GDI+ objects) is released before return; the
// source reader and the drawn stamp are kept for the next call in pools that hand each call its
// own. Besides those, nothing module-wide is written here except through the clip locator's tick
// cache and the one-time warning, all safe for calls on several threads.
#include "dv/DvAviReader.h"
#include "dv/KeptReader.h"
#include "module/Entry.h"
#include "host/ModuleState.h"
#include "module/ClipLocator.h"
#include "module/FrameText.h"
#include "module/InstanceRecord.h"
#include "render/FrameExchange.h"
#include "render/FrameStamp.h"
#include "render/KeptStamp.h"
#include "render/OverlayRenderer.h"
#include "settings/FilterSettings.h"
#include "text/OverlayText.h"

#include <windows.h>

#include <cstring>

namespace camtag {

namespace {

constexpr size_t kTextBytes = 256;
constexpr size_t kComposeCapacity = 254;

// The host's frame as the compositing code describes it; false when the host cannot say.
bool DescribeFrame(HostFrameTable* table, HostFrameHandle frame, FrameDesc* desc) {
    if (!frame || !*frame || !table->getBounds || !table->getRowBytes)
        return false;
    HostRect bounds{0, 0, 0, 0};
    table->getBounds(frame, &bounds);
    desc->width = static_cast<int32_t>(static_cast<int64_t>(bounds.right) - bounds.left);
    desc->height = static_cast<int32_t>(static_cast<int64_t>(bounds.bottom) - bounds.top);
    desc->rowBytes = table->getRowBytes(frame);
    desc->bitsPerPixel = (*frame)->bitsPerPixel;
    return true;
}

struct HostBuffer {
    HostMemoryTable* memory = nullptr;
    char* block = nullptr;
    ~HostBuffer() {
        if (block)
            memory->disposePtr(block);
    }
};

// A new stamp's drawing buffers from the host, as a frame drawn directly has its buffer.
struct HostStampMemory : StampMemory {
    explicit HostStampMemory(HostMemoryTable* table) {
        blocks[0].memory = blocks[1].memory = table;
    }
    uint32_t* Block(size_t bytes) override {
        if (used == 2 || bytes > 0x7FFFFFFF)
            return nullptr;
        blocks[used].block = blocks[used].memory->newPtr(static_cast<uint32_t>(bytes));
        return reinterpret_cast<uint32_t*>(blocks[used++].block);
    }
    HostBuffer blocks[2];
    int used = 0;
};

// Makes the reader hold the source for the text; may change mode and timecodemode of a non-DV
// source. `reader` may hold the source already, opened by the clip locator. False, with the
// error text, when the source cannot be opened.
bool PrepareSource(FilterSettings* settings, const char* sourcePath, DvAviReader& reader,
                   char* text) {
    if (settings->dvSource == 0) {
        // Only timecodes can be had without DV frames; the tape timecode cannot.
        reader.Close();
        KeepTimecodeOnly(*settings);
    } else if (!OpenOnPath(reader, sourcePath)) {
        std::memcpy(text, kErrorAviAccess, sizeof kErrorAviAccess);
        return false;
    }
    return true;
}

// Draws the text into the frame. Only the rows the overlay can change go through the host's
// buffer and the memory bitmap; the frame is the whole-frame exchange's all the same. -100 when
// the host gives no buffer (destination untouched).
int16_t DrawFrame(HostFilterRecord* rec, const FrameGeometry& geometry, const void* source,
                  void* destination, const char* text) {
    HostMemoryTable* memory = rec->suites->memory;
    if (!memory || !memory->newPtr || !memory->disposePtr)
        return kResultFailed;
    FilterSettings* settings = SettingsOf(rec);
    if (!settings)
        return kResultFailed;

    // The whole text: the composer's at most 255 characters and the terminator.
    WCHAR wide[kOverlayTextMax + 1] = {};
    if (MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, wide, kOverlayTextMax + 1) == 0)
        wide[0] = 0;

    // Mostly the text of the frame before: blended from the stamp kept for it.
    HostStampMemory stampMemory(memory);
    if (StampFromKept(geometry, *settings, wide, source, destination, &stampMemory))
        return kResultOk;
    // A text that changes at every frame (timecode with frames): the look's stamp redrawn where
    // the text changed.
    if (StampFromRunning(geometry, *settings, wide, source, destination, &stampMemory))
        return kResultOk;
    FrameStamp stamp(geometry, *settings, wide);
    const size_t bytes = stamp.BufferBytes();
    if (bytes == 0) {
        // Nothing to draw: the frame is the source.
        PassThrough(source, destination, geometry);
        return kResultOk;
    }
    if (bytes > 0x7FFFFFFF)
        return kResultFailed;
    HostBuffer buffer;
    buffer.memory = memory;
    buffer.block = memory->newPtr(static_cast<uint32_t>(bytes));
    if (!buffer.block)
        return kResultFailed;
    stamp.Draw(source, destination, reinterpret_cast<uint32_t*>(buffer.block));
    return kResultOk;
}

} // namespace

int16_t RunExecute(HostRecordHandle record) {
    HostFilterRecord* rec = record ? *record : nullptr;
    FilterSettings* settings = SettingsOf(rec);
    if (!settings || !rec->suites || !rec->suites->frame)
        return kResultFailed;

    FoundClip clip;
    std::memcpy(&clip.block, settings->sourcePath, sizeof clip.block);
    clip.dvSource = settings->dvSource;
    ClipBlock& block = clip.block;
    // A record from a damaged project may hold an unterminated path.
    block.sourcePath[sizeof block.sourcePath - 1] = '\0';

    const int32_t factor = FieldFactor(*rec);
    const bool parityFlag = (rec->sizeFlags & kSizeFlagParity) != 0;
    const int32_t parity =
        (rec->sizeFlags & kSizeFlagFieldsAlt) ? (parityFlag ? 1 : 0) : (parityFlag ? 0 : 1);

    HostFrameTable* frames = rec->suites->frame;
    FrameDesc destDesc{};
    FrameDesc sourceDesc{};
    if (!frames->getPixels || !DescribeFrame(frames, rec->destination, &destDesc) ||
        !DescribeFrame(frames, rec->source, &sourceDesc))
        return kResultFailed;
    FrameGeometry geometry;
    FrameAction action = PrepareFrameGeometry(destDesc, sourceDesc, factor, parity, &geometry);
    if (action == FrameAction::kLeave)
        return kResultFailed;
    const void* source = frames->getPixels(rec->source);
    void* destination = frames->getPixels(rec->destination);
    if (!source || !destination)
        return kResultFailed;
    if (action == FrameAction::kPassThrough) {
        PassThrough(source, destination, geometry);
        return kResultOk;
    }

    // The timebase: without a usable one there is no frame number. The frame still goes
    // through, with the error text on it so that the user sees why nothing is stamped.
    HostTimelineTable* timeline = rec->suites->timeline;
    uint32_t scale = 0;
    int32_t sampleSize = 0;
    // What the host writes is what counts: its result code carries no documented meaning.
    if (timeline && timeline->getTimebase)
        timeline->getTimebase(rec->timeline, &scale, &sampleSize);
    if (scale == 0 || sampleSize <= 0)
        return DrawFrame(rec, geometry, source, destination, kErrorReattach);

    char text[kTextBytes] = {};
    bool located = true;
    // The source file, kept open from the frame before while it is the same file; the clip
    // locator's check leaves it open for the text.
    ReaderLease lease(block.sourcePath);
    DvAviReader& sourceFile = lease.reader();
    if (hostVersion > kLastKnownHostVersion) {
        ShowNewHostWarningOnce();
    } else {
        // Without ticks per frame the host's timeline cannot be read at all.
        if (ClipLocator::TicksPerFrame(record) <= 0)
            return DrawFrame(rec, geometry, source, destination, kErrorReattach);
        located = ClipLocator::Locate(record, clip, &sourceFile) != 0;
        settings = SettingsOf(rec);
        if (!settings)
            return kResultFailed;
        if (located)
            StoreFoundClip(rec, clip);
        else
            std::memcpy(text, kErrorReattach, sizeof kErrorReattach);
    }

    if (located) {
        const uint32_t frameInClip = static_cast<uint32_t>(rec->position / factor / sampleSize);
        // A frame past the show duration passes before the source is touched.
        if (PastShowDuration(*settings, frameInClip, scale, sampleSize)) {
            PassThrough(source, destination, geometry);
            return kResultOk;
        }
        if (PrepareSource(settings, block.sourcePath, sourceFile, text))
            ComposeFrameText(*settings, frameInClip, scale, sampleSize, sourceFile,
                             FileNameTokenFor(hostVersion), text, kComposeCapacity);
    }
    return DrawFrame(rec, geometry, source, destination, text);
}

} // namespace camtag
