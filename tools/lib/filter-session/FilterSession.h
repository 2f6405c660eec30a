// Runs the built module outside Premiere: loads fl-Camtag.prm, lets the host emulator place one
// clip of a source file on a timeline with the filter applied, creates the instance's settings
// through the setup selector and then stamps frames through the execute selector, exactly as
// the host would call it. Used by the command-line renderer and the execute benchmark.
#pragma once

#include "HostEmulator.h"
#include "settings/FilterSettings.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace camtag {

// UTF-8 of a wide string (empty if it does not convert): for messages and the media node's name.
std::string Utf8(const std::wstring& text);

// Seconds on the performance counter, for timing calls.
double PerformanceSeconds();

// The program's "--name value" pairs, each name one of `names`; false with `error` set for
// another name, or a name without its value.
bool CommandLineOptions(std::initializer_list<const wchar_t*> names,
                        std::map<std::wstring, std::wstring>* options, std::string* error);

// The module's entry as the host sees it.
using XFilterFn = short (*)(short selector, HostRecordHandle record);
// Makes one call of the entry; a test may put its own in, to check each call.
using EntryCaller = short (*)(XFilterFn entry, short selector, HostRecordHandle record);

// What the host knows about the clip and the sequence it sits in.
struct SessionClip {
    std::string
        sourcePathUtf8;     // Windows path of the source file, as the host's media node names it
    uint32_t scale = 25;    // timebase: units per second
    int32_t sampleSize = 1; // timebase: units per frame
    int32_t width = 720;
    int32_t height = 576;
    int32_t frames = 1;   // length of the clip on the timeline
    int32_t sourceIn = 0; // the file's frame under the clip's first frame
    int32_t slots = 1;    // pairs of host frames (source, destination), for frames in flight
    bool inPlace = false; // each slot's destination is its source frame, stamped in place
};

class FilterSession {
public:
    FilterSession() = default;
    ~FilterSession();
    FilterSession(const FilterSession&) = delete;
    FilterSession& operator=(const FilterSession&) = delete;

    // Loads the module and finds its entry. On failure `error` says why.
    bool load(const std::wstring& modulePath, std::string* error);
    // The module's instance handle (for its string table), or null before load().
    HMODULE module() const { return module_; }

    // Builds the host side for the clip and creates the instance's settings from the registry
    // defaults (the first setup call, which shows no dialog).
    bool start(const SessionClip& clip, std::string* error);

    // The instance's settings record, to be adjusted before the first execute; null before start().
    FilterSettings* settings() { return host_.settings(); }

    // The host's source frame of a slot (bottom row first, 32-bit BGRA, rows of width x 4 bytes),
    // filled by the caller before each execute, and the destination the module stamps into. The
    // pointers stay valid until the session ends, so other threads may fill and read them while
    // the session's thread executes another slot.
    uint8_t* sourcePixels(int32_t slot = 0);
    const uint8_t* destinationPixels(int32_t slot = 0);
    int32_t slots() const { return static_cast<int32_t>(frames_.size()); }
    size_t frameBytes() const { return frameBytes_; }

    // Execute for the clip's frame `frame` (0-based) on a slot's frames: the module's result, 0
    // on success, -100 for a slot that does not exist.
    short execute(int32_t frame, int32_t slot = 0);

    // The picture the host delivers when the module asks for a clip frame at any size (the
    // settings dialog's preview): width x height pixels, bottom row first, scaled to the size
    // asked for.
    void setClipPicture(std::vector<uint32_t> pixels, int32_t width, int32_t height);
    // The setup call that opens the module's settings dialog (as the host makes it when the user
    // asks for the instance's settings). The module's result; the record tells what was chosen.
    short openSettings();

    // One call of the entry with the host's record as it stands; the module's result.
    short call(short selector);
    void setEntryCaller(EntryCaller caller) { caller_ = caller; }

    HostEmulator& host() { return host_; }

private:
    HostEmulator host_;
    HMODULE module_ = nullptr;
    XFilterFn entry_ = nullptr;
    EntryCaller caller_ = nullptr;
    struct FramePair {
        HostFrameHandle source;
        HostFrameHandle destination;
    };
    std::vector<FramePair> frames_;
    size_t frameBytes_ = 0;
    int32_t sampleSize_ = 1;
};

} // namespace camtag
