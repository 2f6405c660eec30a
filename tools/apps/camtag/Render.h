// camtag render and camtag probe: the runs, from a parsed command line to the exit status.
#pragma once

#include "Plan.h"
#include "Worker.h"

#include <string>
#include <vector>

namespace camtag::front {

// Exit statuses, one table for both commands (the README lists it).
enum ExitStatus {
    kExitOk = 0,
    kExitFailed = 1,        // a file failed (a batch goes on with the next and names it at the end)
    kExitUsage = 2,         // bad arguments, or a run refused before anything was written
    kExitCancelled = 4,     // the settings dialog was cancelled: nothing rendered
    kExitInterrupted = 130, // SIGINT (Ctrl-C); 143 for SIGTERM
};

// --set, --time-format, --date-format and --settings as the Windows programs take them.
struct LookOptions {
    std::vector<std::string> args; // in the order given
    bool pictures = false;         // --time-format or --date-format given
    std::string settings;          // --settings FILE, or ""
    // The whole look as camtag-render takes it: the settings file, then the options.
    std::vector<std::string> WindowsArgs() const;
};

struct RenderOptions {
    PlanRequest plan;
    LookOptions look;
    bool dialog = false;
    bool subtitles = false;
    bool stamp = true;
    bool deinterlace = false;
    bool chapters = true;  // one chapter per recording in each video
    long long frames = -1; // --frames N: at most N frames of each input
    std::string report;    // --report DIR: a report of the inputs beside the render
};

struct ProbeOptions {
    std::string file;
    std::vector<std::string> files; // --report and --contact-sheet take several
    std::string report, contactSheet;
    std::vector<std::string> show; // --info, --breaks, --frames A-B as the program takes them
    bool json = false;
    std::string srt, vtt; // files, "-" for the standard output
    bool overwrite = false;
    LookOptions look;
};

// How a video is encoded, shared with the benchmarks' plain transcode (camtag encoding): the
// filters between the picture and the encoder (DV's fields are bottom first, PAL and NTSC
// alike: marked so and kept, or woven into progressive frames by bwdif), H.264 (medium, CRF 18,
// 4:2:0, interlaced bottom field first unless deinterlaced) and AAC at 192 kbit/s.
struct Encoding {
    std::string pictureFilter;
    std::vector<std::string> video;
    std::vector<std::string> audio;
};
Encoding EncodingFor(bool deinterlace);

int Render(const RenderOptions& options, const Workers& workers);
int Probe(const ProbeOptions& options, const Workers& workers);

// "0010" -> 10: decimal whatever the leading zeros; false for anything else or above `limit`.
bool ParseDecimal(const std::string& text, long long limit, long long* value);

} // namespace camtag::front
