// camtag-render: the host side of the command-line renderer. scripts/render.sh decodes a DV AVI
// with ffmpeg, pipes its frames through this program, which stamps each of them by calling the
// module's xFilter exactly as Premiere would, and pipes the result into ffmpeg's encoder.
//
//   camtag-render --probe [options] INPUT...
//       checks each INPUT (a DV AVI the module can read?) and the options, and prints one line per
//       input (see the usage text); with --dialog it first opens the module's settings dialog on
//       the first input; with --save-settings it keeps the record the inputs will be stamped with.
//   camtag-render [options] INPUT < frames > stamped
//       stdin and stdout carry raw 32-bit BGRA frames, bottom row first, as the host holds them,
//       or with --pixels yuv420p raw 4:2:0 frames, top row first, as ffmpeg decodes DV; with
//       --bands as well, each frame's band of rows the renderer asked for (FrameBands.h).
//   camtag-render --arguments-on-stdin < arguments, then frames > stamped frames
//       the same, started before its work is known; a probe may come first (SpareExchange.h).
#include "FilterSession.h"
#include "FrameBands.h"
#include "FramePipeline.h"
#include "Recordings.h"
#include "SettingOverrides.h"
#include "SettingsFile.h"
#include "SourceProbe.h"
#include "SpareExchange.h"
#include "StampOptions.h"
#include "StampText.h"
#include "YuvFrames.h"
#include "dv/DvAviReader.h"
#include "settings/FormatLists.h"
#include "text/RecordingDateTime.h"

#include <windows.h>
#include <gdiplus.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

using namespace camtag;

namespace {

const char kUsageHead[] =
    "usage: camtag-render [options] INPUT.avi  < raw frames > stamped frames\n"
    "       camtag-render --probe [options] INPUT.avi...\n"
    "  frames on stdin/stdout: 32-bit BGRA, bottom row first, WIDTH x HEIGHT each\n"
    "  --module PATH          the module to run (default: fl-Camtag.prm of the build)\n"
    "  --size WIDTHxHEIGHT    frame size of the decoded frames (default: the DV frame size)\n"
    "  --pixels bgra|yuv420p  frames on the pipes: 32-bit BGRA, bottom row first, as the host\n"
    "                         holds them (default); or raw 4:2:0 planes, top row first, as ffmpeg\n"
    "                         decodes DV: only the stamped rows come back converted\n"
    "  --bands                with yuv420p: each frame comes as a band of rows with a header, and\n"
    "                         goes back with the band wanted next (the camtag front's exchange)\n"
    "  --in N                 the clip starts at frame N of the file (default 0)\n"
    "  --frames N             stamp at most N frames\n"
    "  --name NAME            call the input so in messages (the path the user gave)\n"
    "  --progress             \"camtag-render: progress DONE TOTAL\" lines on stderr while "
    "stamping\n"
    "                         (for the camtag front); without it one line at the end\n"
    "  --list-settings        print every setting --set takes: name, meaning, default, values\n";
const char kUsageTail[] =
    "  --settings FILE        start from an instance's settings record saved before (506 bytes)\n"
    "  --dialog FRAME.bgra    open the module's settings dialog first, its preview showing FRAME\n"
    "                         (the clip's first frame, as on the pipes); Cancel renders nothing\n"
    "  --save-settings FILE   save the look the frames are stamped with (record and pictures)\n"
    "  --own-reference        with --settings: the font sized for this clip's frame, as a new\n"
    "                         instance on it would be (a look made from defaults on another clip)\n"
    "  --probe: one line per input on stdout, tab-separated:\n"
    "    ok FRAMES SCALE SAMPLESIZE WIDTH HEIGHT CREATED RECORDINGS\n"
    "      CREATED: the first recording date and time, adjusted as the settings say\n"
    "      (YYYY-MM-DDTHH:MM:SS), or -; RECORDINGS: how many recording lines follow (with\n"
    "      --recordings, else 0), each:\n"
    "    recording FIRST LAST START END ASPECT TIMECODE-IN TIMECODE-OUT TITLE\n"
    "      START, END adjusted as CREATED (or -), ASPECT 4:3 or 16:9, TITLE the start as the\n"
    "      stamp's pictures write it (a chapter's title)\n"
    "    refused REASON     the module's reader cannot read it (it may remux into one it can)\n"
    "    failed REASON      it cannot be used at all\n"
    "    exit status 2 when any input is not ok\n";

int Fail(const std::string& message, int status = 1) {
    std::fprintf(stderr, "camtag-render: %s\n", message.c_str());
    return status;
}

void Usage() {
    std::fputs(kUsageHead, stderr);
    std::fputs(kStampOptionsUsage, stderr);
    std::fputs(kUsageTail, stderr);
}

std::wstring DefaultModulePath() {
    wchar_t self[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return L"fl-Camtag.prm";
    std::wstring dir(self, length);
    dir.erase(dir.find_last_of(L"\\/") + 1);
    std::wstring beside = dir + L"fl-Camtag.prm";
    if (GetFileAttributesW(beside.c_str()) != INVALID_FILE_ATTRIBUTES)
        return beside;
    // The build tree: tools/camtag-render/ next to src/host/.
    return dir + L"..\\..\\src\\host\\fl-Camtag.prm";
}

struct Options {
    bool probe = false;
    bool recordings = false;
    std::vector<std::wstring> inputs;
    std::wstring name;
    std::wstring module;
    int32_t width = 0;
    int32_t height = 0;
    bool yuv = false;
    bool bands = false;
    int64_t inPoint = 0;
    int64_t maxFrames = -1;
    bool progress = false;
    StampOptions stamp;
    std::wstring settingsFile;
    Look look; // read from settingsFile
    // The look was made from the defaults and options on another clip: the font keeps the
    // size a new instance on this clip gives it, as if the clip were stamped alone.
    bool ownReference = false;
    std::wstring saveSettingsFile;
    std::wstring dialogPicture;
};

bool ParseSize(const std::string& text, int32_t* width, int32_t* height) {
    int w = 0, h = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%dx%d%c", &w, &h, &tail) != 2)
        return false;
    if (w <= 0 || h <= 0 || w > 8192 || h > 8192)
        return false;
    *width = w;
    *height = h;
    return true;
}

bool ParseCount(const std::wstring& text, int64_t* out) {
    wchar_t* end = nullptr;
    const long long n = std::wcstoll(text.c_str(), &end, 10);
    if (text.empty() || *end != L'\0' || n < 0 || n > 0x7FFFFFFF)
        return false;
    *out = n;
    return true;
}

bool ParseArguments(int argc, wchar_t** argv, Options* options, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        auto value = [&](std::wstring* out) {
            if (i + 1 >= argc) {
                *error = "option " + Utf8(arg) + " needs a value";
                return false;
            }
            *out = argv[++i];
            return true;
        };
        const int taken = TakeStampOption(argc, argv, &i, &options->stamp, error);
        if (taken < 0)
            return false;
        if (taken > 0)
            continue;
        std::wstring v;
        if (arg == L"--probe") {
            options->probe = true;
        } else if (arg == L"--own-reference") {
            options->ownReference = true;
        } else if (arg == L"--recordings") {
            options->recordings = true;
        } else if (arg == L"--progress") {
            options->progress = true;
        } else if (arg == L"--bands") {
            options->bands = true;
        } else if (arg == L"--module") {
            if (!value(&options->module))
                return false;
        } else if (arg == L"--name") {
            if (!value(&options->name))
                return false;
        } else if (arg == L"--size") {
            if (!value(&v))
                return false;
            if (!ParseSize(Utf8(v), &options->width, &options->height)) {
                *error = "bad --size \"" + Utf8(v) + "\" (expected WIDTHxHEIGHT)";
                return false;
            }
        } else if (arg == L"--pixels") {
            if (!value(&v))
                return false;
            if (v != L"bgra" && v != L"yuv420p") {
                *error = "bad --pixels \"" + Utf8(v) + "\" (expected bgra or yuv420p)";
                return false;
            }
            options->yuv = v == L"yuv420p";
        } else if (arg == L"--frames" || arg == L"--in") {
            if (!value(&v))
                return false;
            if (!ParseCount(v, arg == L"--in" ? &options->inPoint : &options->maxFrames)) {
                *error = "bad " + Utf8(arg) + " \"" + Utf8(v) + "\"";
                return false;
            }
        } else if (arg == L"--settings") {
            if (!value(&options->settingsFile))
                return false;
        } else if (arg == L"--save-settings") {
            if (!value(&options->saveSettingsFile))
                return false;
        } else if (arg == L"--dialog") {
            if (!value(&options->dialogPicture))
                return false;
        } else if (arg == L"--help" || arg == L"-h") {
            *error = "";
            return false;
        } else if (!arg.empty() && arg[0] == L'-' && arg != L"-") {
            *error = "unknown option " + Utf8(arg);
            return false;
        } else {
            options->inputs.push_back(arg);
        }
    }
    if (options->inputs.empty()) {
        *error = "no input file";
        return false;
    }
    if (!options->probe && options->inputs.size() > 1) {
        *error = "more than one input file (only --probe takes several)";
        return false;
    }
    // The dialog's picture lists are the user's, saved as the editor saves them; a picture of
    // this run alone would be saved with them.
    if (!options->dialogPicture.empty() && (options->stamp.timeGiven || options->stamp.dateGiven)) {
        *error = "--dialog with --time-format or --date-format: choose or edit the pictures in the "
                 "dialog instead";
        return false;
    }
    return true;
}

// The dialog's picture: the clip's first frame as the pipes carry BGRA frames.
bool ReadDialogPicture(const std::wstring& path, int32_t width, int32_t height,
                       std::vector<uint32_t>* picture, std::string* error) {
    picture->assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(picture->size() * 4);
    const bool read = file != INVALID_HANDLE_VALUE &&
                      ReadFile(file, picture->data(), want, &got, nullptr) && got == want;
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (!read)
        *error = Utf8(path) + ": not a " + std::to_string(width) + "x" + std::to_string(height) +
                 " BGRA frame";
    return read;
}

// A filter instance on the clip, with the look the options give it: the registry defaults (with
// this run's pictures in the module's lists, and in this program's own copy of them, which the
// subtitles and checks use), then the settings file, then the options, then the dialog. 0, or
// the exit status after saying why.
// `slots`: the pairs of host frames the render keeps in flight (one for a look or bands);
// `inPlace`: each pair is one frame, stamped in place.
int StartInstance(const Options& options, FilterSession& session, const SourceInfo& source,
                  int32_t width, int32_t height, int32_t frames, int32_t inPoint, int32_t slots = 1,
                  bool inPlace = false) {
    std::string error;
    {
        SettingsView view;
        if (!view.begin(options.stamp, &error))
            return Fail(error);
        LoadFormatLists();
        std::wstring module = options.module.empty() ? DefaultModulePath() : options.module;
        if (!session.load(module, &error))
            return Fail(error, 3);
        SessionClip clip;
        clip.sourcePathUtf8 = Utf8(source.fullPath);
        clip.scale = source.scale;
        clip.sampleSize = source.sampleSize;
        clip.width = width;
        clip.height = height;
        clip.frames = frames;
        clip.sourceIn = inPoint;
        clip.slots = slots;
        clip.inPlace = inPlace;
        if (!session.start(clip, &error))
            return Fail(error, 3);
    }
    FilterSettings& settings = *session.settings();
    if (!options.settingsFile.empty()) {
        const uint32_t own = settings.referenceHeight;
        ApplyLookRecord(options.look, settings);
        if (options.ownReference)
            settings.referenceHeight = own;
    }
    ApplyStampOptions(options.stamp, settings, CP_ACP);
    if (!options.dialogPicture.empty()) {
        std::vector<uint32_t> picture;
        if (!ReadDialogPicture(options.dialogPicture, width, height, &picture, &error))
            return Fail(error);
        switch (RunSettingsDialog(session, std::move(picture), width, height)) {
        case DialogOutcome::kOk:
            // The lists as the dialog left them (its list editor saves them), unless this run's
            // pictures stand in them.
            if (options.stamp.timePictureAnsi.empty() && options.stamp.datePictureAnsi.empty())
                LoadFormatLists();
            break;
        case DialogOutcome::kCancel:
            return Fail("settings dialog cancelled: nothing rendered", 4);
        case DialogOutcome::kNotShown:
            return Fail("the module's settings dialog could not be shown", 3);
        }
    }
    if (!options.saveSettingsFile.empty() &&
        !SaveLookFile(options.saveSettingsFile, *session.settings(), &error))
        return Fail(Utf8(options.saveSettingsFile) + ": " + error);
    return 0;
}

// "2024-07-08T19:55:58" with the record's adjustment, or "-".
std::string AdjustedIso(const FilterSettings& settings, SYSTEMTIME t) {
    ApplyAdjustment(&t, settings.timeadjust, settings.dateadjust);
    return t.wYear == 0 ? "-" : IsoDateTimeText(t);
}

// Whether the camcorder marked the frame 16:9: the display field of the video control pack
// (0x61) in the VAUX blocks of DIF sequence 0, read as ffmpeg's DV decoder reads it.
bool WideFrame(DvAviReader& reader, uint32_t frame) {
    const uint8_t* sequence = reader.ReadSequence(frame, 0);
    if (!sequence)
        return false;
    const uint8_t apt = sequence[4] & 0x07;
    for (int block = 3; block <= 5; ++block) {
        for (int pack = 0; pack < 15; ++pack) {
            const uint8_t* p = sequence + block * 80 + 3 + pack * 5;
            if (p[0] != 0x61)
                continue;
            const uint8_t display = p[2] & 0x07;
            return display == 2 || (apt == 0 && display == 7);
        }
    }
    return false;
}

// What ProbeSource said of one input.
struct ProbedInput {
    bool readable = false;
    bool refused = false;
    SourceInfo source;
    std::string error;
};

// One input's line for --probe.
// A chapter's title: the recording's start as the stamp writes it with the look's pictures, date
// first, on one line (UTF-8); a stretch without a date by its tape timecode.
std::string ChapterTitle(const FilterSettings& settings, const Recording& r) {
    if (!r.dated)
        return r.startTimecode.empty() ? "No recording date" : r.startTimecode;
    FilterSettings look = settings;
    look.title[0] = '\0';
    look.timeup = 0;
    look.lines = 2;
    std::string title = DateTimeStampText(look, r.start);
    for (char& c : title)
        if (c == '\n' || c == '\t' || c == '\r')
            c = ' ';
    return title.empty() ? "No recording date" : title;
}

// One input's lines for --probe: its own, then one per recording with --recordings.
std::string ProbeLine(const Options& options, const std::wstring& input, const ProbedInput& probed,
                      const FilterSettings& settings) {
    if (!probed.readable) {
        std::fprintf(stderr, "camtag-render: %s: %s\n", Utf8(input).c_str(), probed.error.c_str());
        return std::string(probed.refused ? "refused\t" : "failed\t") + probed.error;
    }
    const SourceInfo& source = probed.source;
    DvAviReader reader(source.ansiPath.c_str());
    // The first recording date, and with --recordings every recording, read frame by frame.
    std::string created = "-";
    std::vector<FrameFacts> frames;
    for (uint32_t f = 0; reader.isOpen && f < source.frames; ++f) {
        FrameFacts facts = ReadFrameFacts(reader, f);
        if (facts.dated && created == "-")
            created = AdjustedIso(settings, facts.when);
        if (!options.recordings) {
            if (created != "-")
                break;
            continue;
        }
        frames.push_back(facts);
    }
    std::string recordings;
    size_t count = 0;
    if (options.recordings) {
        for (const Recording& r : FindRecordings(
                 frames, 0, source.scale, static_cast<uint32_t>(source.sampleSize), source.pal)) {
            const FrameFacts& last = frames[r.last];
            recordings +=
                "\nrecording\t" + std::to_string(r.first) + "\t" + std::to_string(r.last) + "\t" +
                (r.dated ? AdjustedIso(settings, r.start) : "-") + "\t" +
                (r.dated ? AdjustedIso(settings, r.end) : "-") + "\t" +
                (WideFrame(reader, r.first) ? "16:9" : "4:3") + "\t" +
                (r.startTimecode.empty() ? "-" : r.startTimecode) + "\t" +
                (last.hasTimecode ? last.timecode : "-") + "\t" + ChapterTitle(settings, r);
            ++count;
        }
    }
    char line[128];
    std::snprintf(line, sizeof line, "ok\t%u\t%u\t%d\t%d\t%d\t", source.frames, source.scale,
                  source.sampleSize, source.width, source.height);
    return line + created + "\t" + std::to_string(count) + recordings;
}

// The probe's lines go to `out`, each ended by '\n'.
int Probe(const Options& options, std::string* out) {
    std::vector<ProbedInput> probed(options.inputs.size());
    for (size_t i = 0; i < probed.size(); ++i)
        probed[i].readable =
            ProbeSource(options.inputs[i], &probed[i].source, &probed[i].error, &probed[i].refused);
    // The look every input will be stamped with, made by the module on the first input it can
    // read (so that a saved record is the module's own), or from the defaults if none.
    FilterSession session;
    FilterSettings settings{};
    bool made = false;
    for (const ProbedInput& input : probed) {
        if (!input.readable)
            continue;
        const SourceInfo& source = input.source;
        const int32_t width = options.width ? options.width : source.width;
        const int32_t height = options.height ? options.height : source.height;
        if (const int status = StartInstance(options, session, source, width, height,
                                             static_cast<int32_t>(source.frames), 0))
            return status;
        settings = *session.settings();
        made = true;
        break;
    }
    if (!made && !options.dialogPicture.empty())
        return Fail("no input the module can read for the settings dialog", 2);
    int status = 0;
    for (size_t i = 0; i < probed.size(); ++i) {
        const std::string line = ProbeLine(options, options.inputs[i], probed[i], settings);
        *out += line + '\n';
        if (line.rfind("ok\t", 0) != 0)
            status = 2;
    }
    return status;
}

int Run(const Options& options) {
    std::string error;
    const std::wstring& path = options.inputs[0];
    const std::string name = Utf8(options.name.empty() ? path : options.name);
    SourceInfo source;
    if (!ProbeSource(path, &source, &error))
        return Fail(name + ": " + error, 2);

    int32_t width = options.width ? options.width : source.width;
    int32_t height = options.height ? options.height : source.height;
    if (options.inPoint >= source.frames)
        return Fail(name + ": --in " + std::to_string(options.inPoint) + ": the file has " +
                        std::to_string(source.frames) + " frames",
                    2);
    int64_t frames = source.frames - options.inPoint;
    if (options.maxFrames >= 0 && options.maxFrames < frames)
        frames = options.maxFrames;
    if (frames <= 0)
        return Fail(name + ": no frames to stamp", 2);
    if (options.bands && !options.yuv)
        return Fail("--bands needs --pixels yuv420p");
    if (options.yuv && !YuvLayout{width, height}.Valid())
        return Fail("4:2:0 frames need an even width and height, not " + std::to_string(width) +
                    "x" + std::to_string(height));

    FilterSession session;
    if (const int status = StartInstance(
            options, session, source, width, height, static_cast<int32_t>(frames),
            static_cast<int32_t>(options.inPoint), options.bands ? 1 : 3, options.bands))
        return status;

    // What the frames will show, composed as the module composes it, for the checks at the end:
    // a clip without any recording date, a stamp that does not fit the frame.
    const FilterSettings look = *session.settings();
    StampText stampText(look, source.scale, source.sampleSize);
    DvAviReader texts(source.ansiPath.c_str());
    bool anyDated = false;
    bool measured = false;
    StampOverflow overflow;
    ULONG_PTR gdiplus = 0;
    Gdiplus::GdiplusStartupInput gdiplusInput;
    const bool canMeasure =
        Gdiplus::GdiplusStartup(&gdiplus, &gdiplusInput, nullptr) == Gdiplus::Ok;
    // In date mode the frames are looked at until one holds a date other than 1970-01-01, which
    // a camcorder's clock hardly gives but a remux with ffmpeg -f dv gives every frame.
    RewrittenDates rewritten;
    auto check = [&](int64_t frame) {
        if (!texts.isOpen ||
            (measured && (look.mode != kModeDateTime || (anyDated && !rewritten.Likely()))))
            return;
        bool dated = false;
        const std::string text = stampText.Frame(texts, static_cast<uint32_t>(frame), &dated);
        anyDated = anyDated || dated;
        // The frame's data is still in the reader: its date costs no second read.
        FrameFacts facts;
        const uint32_t source =
            static_cast<uint32_t>(frame) + static_cast<uint32_t>(look.startFrame);
        facts.dated = dated && texts.GetRecordingTime(source, &facts.when) != 0;
        rewritten.Add(facts);
        if (!measured && !text.empty()) {
            if (canMeasure)
                MeasureStampOverflow(look, width, height, text, &overflow);
            measured = true;
        }
    };

    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    const size_t frameBytes = session.frameBytes();
    LARGE_INTEGER frequency, started, now, lastReport;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&started);
    lastReport = started;
    auto seconds = [&] {
        QueryPerformanceCounter(&now);
        return double(now.QuadPart - started.QuadPart) / double(frequency.QuadPart);
    };
    // For the front that started this program: it shows progress in its own words.
    auto report = [&](int64_t done) {
        std::fprintf(stderr, "camtag-render: progress %lld %lld\n", static_cast<long long>(done),
                     static_cast<long long>(frames));
        std::fflush(stderr);
        lastReport = now;
    };

    // One frame being read, one stamped, one written.
    PipelineFrames sizes;
    sizes.inputBytes = frameBytes;
    sizes.outputBytes = frameBytes;
    std::vector<PipelineSlot> slots;
    for (int32_t slot = 0; slot < session.slots(); ++slot)
        slots.push_back({session.sourcePixels(slot), session.destinationPixels(slot)});
    // 4:2:0 on the pipes: each slot's frame is read into its own buffer, goes into the host's
    // source frame whole, and only the rows the module changed go back into the buffer, which
    // is what is written. (Bands have a loop of their own.)
    std::vector<std::vector<uint8_t>> planes;
    if (options.yuv && !options.bands) {
        const YuvLayout layout{width, height};
        sizes.inputBytes = sizes.outputBytes = layout.Bytes();
        planes.assign(slots.size(), std::vector<uint8_t>(layout.Bytes()));
        std::vector<PipelineSlot> host = slots;
        for (size_t slot = 0; slot < slots.size(); ++slot)
            slots[slot] = {planes[slot].data(), planes[slot].data()};
        sizes.prepareInput = [&planes, host, layout](int32_t slot) {
            YuvToHost(planes[static_cast<size_t>(slot)].data(), layout,
                      host[static_cast<size_t>(slot)].input);
        };
        sizes.prepareOutput = [&planes, host, layout](int32_t slot) {
            StampedRowsToYuv(host[static_cast<size_t>(slot)].input,
                             host[static_cast<size_t>(slot)].output, layout,
                             planes[static_cast<size_t>(slot)].data());
        };
    }
    short failure = 0;
    int64_t failedFrame = 0;
    auto stampFrame = [&](int64_t frame, int32_t slot) {
        failure = session.execute(static_cast<int32_t>(frame), slot);
        failedFrame = frame;
        check(frame);
        return failure == 0;
    };
    auto progress = [&](int64_t stamped) {
        if (!options.progress)
            return;
        QueryPerformanceCounter(&now);
        if (now.QuadPart - lastReport.QuadPart > frequency.QuadPart / 2)
            report(stamped);
    };
    PipelineResult run;
    if (options.bands) {
        const YuvLayout layout{width, height};
        BandStamper stamper(layout, session.sourcePixels(0));
        run = RunBandPipeline(
            input, output, layout, stamper, frames,
            [&](int64_t frame) { return stampFrame(frame, 0); }, progress);
    } else {
        run = RunFramePipeline(input, output, sizes, frames, slots, stampFrame, progress);
    }
    if (canMeasure)
        Gdiplus::GdiplusShutdown(gdiplus);
    const int64_t done = run.done;
    switch (run.status) {
    case PipelineStatus::kDone:
        break;
    case PipelineStatus::kPartialFrame:
        return Fail(name + ": input ended inside frame " + std::to_string(done));
    case PipelineStatus::kStampFailed:
        return Fail(name + ": the module failed on frame " + std::to_string(failedFrame) +
                        " (result " + std::to_string(failure) + ")",
                    3);
    case PipelineStatus::kBadBand:
        return Fail(name + ": frame " + std::to_string(done) + " came as rows outside the frame");
    case PipelineStatus::kOutputClosed:
        return Fail(name + ": cannot write frame " + std::to_string(done) + ": output closed");
    }
    const double elapsed = seconds();
    if (options.progress)
        report(done);
    // Each frame written must be the frame planned: a short delivery is a failed render.
    if (done < frames)
        return Fail(name + ": the decoder delivered " + std::to_string(done) + " of " +
                        std::to_string(frames) + " frames",
                    5);
    if (look.mode == kModeDateTime && !anyDated && texts.isOpen)
        std::fprintf(
            stderr,
            "camtag-render: warning: %s: no frame holds a recording date and time, so nothing was "
            "stamped (blank tape, or DV made by software); --set mode=timecode stamps timecodes\n",
            name.c_str());
    if (look.mode == kModeDateTime && rewritten.Likely())
        std::fprintf(stderr, "camtag-render: warning: %s: %s\n", name.c_str(), kRewrittenDates);
    if (overflow.any())
        std::fprintf(stderr, "camtag-render: warning: %s: %s\n", name.c_str(),
                     StampOverflowAdvice(look, width, height, overflow).c_str());
    if (!options.progress)
        std::fprintf(stderr, "camtag-render: %s: %lld frames in %.1f s (%.1f frames/s)\n",
                     name.c_str(), static_cast<long long>(done), elapsed,
                     elapsed > 0 ? double(done) / elapsed : 0.0);
    return 0;
}

} // namespace

// The settings table, one tab-separated line each (the README's table is checked against it).
int ListSettings() {
    for (const SettingInfo& s : SettingTable())
        std::printf("%s\t%s\t%s\t%s\n", s.name, s.meaning, s.defaultValue, s.values);
    return 0;
}

// A spare's next block of arguments from standard input (SpareExchange.h). False when the input
// ends first: the front needed no render.
bool ArgumentsFromInput(std::vector<std::wstring>* args) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    auto readAll = [input](void* to, DWORD size) {
        DWORD done = 0, got = 0;
        while (done < size &&
               ReadFile(input, static_cast<uint8_t*>(to) + done, size - done, &got, nullptr) &&
               got > 0)
            done += got;
        return done == size;
    };
    uint8_t length[4];
    if (!readAll(length, 4))
        return false;
    const DWORD size = WordAt(length);
    if (size > (1u << 20))
        return false;
    std::string block(size, '\0');
    if (!readAll(block.data(), size))
        return false;
    size_t start = 0;
    for (size_t end; (end = block.find('\0', start)) != std::string::npos; start = end + 1) {
        const int chars = end == start
                              ? 0
                              : MultiByteToWideChar(CP_UTF8, 0, block.data() + start,
                                                    static_cast<int>(end - start), nullptr, 0);
        std::wstring arg(static_cast<size_t>(chars), L'\0');
        if (chars > 0)
            MultiByteToWideChar(CP_UTF8, 0, block.data() + start, static_cast<int>(end - start),
                                arg.data(), chars);
        args->push_back(std::move(arg));
    }
    return start == block.size();
}

// One run of the program on its arguments; a probe's lines go to `probeOut`.
int RunArguments(int argc, wchar_t** args, std::string* probeOut) {
    if (argc == 2 && std::wstring(args[1]) == L"--list-settings")
        return ListSettings();
    Options options;
    std::string error;
    if (!ParseArguments(argc, args, &options, &error)) {
        if (!error.empty())
            std::fprintf(stderr, "camtag-render: %s\n", error.c_str());
        Usage();
        return error.empty() ? 0 : 1;
    }
    if (!CheckStampOptions(&options.stamp, CP_ACP, &error))
        return Fail(error);
    if (!options.settingsFile.empty() && !ReadLookFile(options.settingsFile, &options.look, &error))
        return Fail(Utf8(options.settingsFile) + ": " + error);
    TakeLookPictures(options.look, &options.stamp);
    return options.probe ? Probe(options, probeOut) : Run(options);
}

// A spare's answer to a probe, on standard output, where its frames go later (SpareExchange.h).
bool SendProbeReply(int status, const std::string& lines) {
    std::string reply;
    AppendWord(&reply, static_cast<uint32_t>(status));
    AppendWord(&reply, static_cast<uint32_t>(lines.size()));
    reply += lines;
    return std::fwrite(reply.data(), 1, reply.size(), stdout) == reply.size() &&
           std::fflush(stdout) == 0;
}

int main() {
    // Plain '\n' line ends in messages and probe lines, also through Wine into a Linux pipe.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv)
        return Fail("cannot read the command line");
    if (argc != 2 || std::wstring(argv[1]) != L"--arguments-on-stdin") {
        std::string lines;
        const int status = RunArguments(argc, argv, &lines);
        std::fwrite(lines.data(), 1, lines.size(), stdout);
        LocalFree(argv);
        return status;
    }
    // A spare: the look at the inputs (a block with --probe) may come first, so
    // that the run waits for one Wine process start instead of two; then the render.
    const std::wstring program = argv[0];
    LocalFree(argv);
    for (;;) {
        std::vector<std::wstring> given{program};
        if (!ArgumentsFromInput(&given))
            return 0;
        std::vector<wchar_t*> pointers;
        for (std::wstring& arg : given)
            pointers.push_back(arg.data());
        pointers.push_back(nullptr);
        const bool probe = std::find(given.begin() + 1, given.end(), L"--probe") != given.end();
        std::string lines;
        const int status = RunArguments(static_cast<int>(given.size()), pointers.data(), &lines);
        if (!probe)
            return status;
        if (!SendProbeReply(status, lines))
            return 1;
    }
}
