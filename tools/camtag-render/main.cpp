// camtag-render: the host side of the command-line renderer. scripts/render.sh decodes a DV AVI
// with ffmpeg, pipes its frames through this program, which stamps each of them by calling the
// module's xFilter exactly as Premiere would, and pipes the result into ffmpeg's encoder.
//
//   camtag-render --probe INPUT.avi
//       checks that INPUT is a DV AVI the module can read (and the other options) and prints
//       "FRAMES SCALE SAMPLESIZE WIDTH HEIGHT" (timebase and DV frame size of its TV system).
//   camtag-render [options] INPUT.avi < frames > stamped
//       stdin and stdout carry raw 32-bit BGRA frames, bottom row first, as the host holds them,
//       or with --pixels yuv420p raw 4:2:0 frames, top row first, as ffmpeg decodes DV.
#include "FilterSession.h"
#include "FramePipeline.h"
#include "YuvFrames.h"
#include "SettingOverrides.h"
#include "SettingsFile.h"
#include "SourceProbe.h"
#include "settings/SettingsStore.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

using namespace camtag;

namespace {

const char kUsage[] =
    "usage: camtag-render [options] INPUT.avi  < raw frames > stamped frames\n"
    "       camtag-render --probe INPUT.avi\n"
    "  frames on stdin/stdout: 32-bit BGRA, bottom row first, WIDTH x HEIGHT each\n"
    "  --module PATH          the module to run (default: fl-Camtag.prm of the build)\n"
    "  --size WIDTHxHEIGHT    frame size of the decoded frames (default: the DV frame size)\n"
    "  --pixels bgra|yuv420p  frames on the pipes: 32-bit BGRA, bottom row first, as the host\n"
    "                         holds them (default); or raw 4:2:0 planes, top row first, as ffmpeg\n"
    "                         decodes DV: only the stamped rows come back converted\n"
    "  --frames N             stamp at most N frames\n"
    "  --set NAME=VALUE       change a setting of the instance (registry value names), repeatable\n"
    "  --time-format PICTURE  use this time picture (GetTimeFormat syntax) for this run\n"
    "  --date-format PICTURE  use this date picture (GetDateFormat syntax) for this run\n"
    "  --settings FILE        start from an instance's settings record saved before (506 bytes)\n"
    "  --dialog FRAME.bgra    open the module's settings dialog first, its preview showing FRAME\n"
    "                         (the clip's first frame, as on the pipes); Cancel renders nothing\n"
    "  --save-settings FILE   save the settings record the frames are stamped with\n";

int Fail(const std::string& message, int status = 1) {
    std::fprintf(stderr, "camtag-render: %s\n", message.c_str());
    return status;
}

// The picture lists are read from the registry when the module is loaded; a picture given for
// one run goes into slot 2 (value tf02/df02) and the previous value comes back afterwards.
class PictureSlot {
public:
    PictureSlot(const char* valueName) : name_(valueName) {}
    ~PictureSlot() {
        if (!installed_) return;
        if (previous_.empty()) SettingsStore::DeleteValue(name_);
        else SettingsStore::WriteString(name_, previous_.c_str());
    }
    void install(const std::string& picture) {
        char previous[64] = {};
        SettingsStore::ReadString(name_, previous, sizeof(previous), "");
        previous_ = previous;
        SettingsStore::WriteString(name_, picture.c_str());
        installed_ = true;
    }

private:
    const char* name_;
    std::string previous_;
    bool installed_ = false;
};

constexpr uint32_t kPictureSlot = 2;
// The lists read each picture into 29 bytes with its terminator.
constexpr size_t kMaxPicture = 28;

bool CheckPicture(const std::string& picture, bool isTime, std::string* error) {
    if (picture.empty() || picture.size() > kMaxPicture) {
        *error = std::string(isTime ? "time" : "date") + " picture must have 1 to " +
                 std::to_string(kMaxPicture) + " characters";
        return false;
    }
    SYSTEMTIME sample{};
    sample.wYear = 2024;
    sample.wMonth = 7;
    sample.wDay = 8;
    sample.wHour = 19;
    sample.wMinute = 55;
    sample.wSecond = 58;
    char out[256];
    int written = isTime ? GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &sample, picture.c_str(), out, sizeof(out))
                         : GetDateFormatA(LOCALE_USER_DEFAULT, 0, &sample, picture.c_str(), out, sizeof(out));
    if (written == 0) {
        *error = std::string("invalid ") + (isTime ? "time" : "date") + " picture \"" + picture + "\"";
        return false;
    }
    return true;
}

std::wstring DefaultModulePath() {
    wchar_t self[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return L"fl-Camtag.prm";
    std::wstring dir(self, length);
    dir.erase(dir.find_last_of(L"\\/") + 1);
    std::wstring beside = dir + L"fl-Camtag.prm";
    if (GetFileAttributesW(beside.c_str()) != INVALID_FILE_ATTRIBUTES) return beside;
    // The build tree: tools/camtag-render/ next to src/host/.
    return dir + L"..\\..\\src\\host\\fl-Camtag.prm";
}

struct Options {
    bool probe = false;
    std::wstring input;
    std::wstring module;
    int32_t width = 0;
    int32_t height = 0;
    bool yuv = false;
    int64_t maxFrames = -1;
    std::vector<std::string> overrides;
    std::string timePicture;
    std::string datePicture;
    std::wstring settingsFile;
    std::wstring saveSettingsFile;
    std::wstring dialogPicture;
};

bool ParseSize(const std::string& text, int32_t* width, int32_t* height) {
    int w = 0, h = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%dx%d%c", &w, &h, &tail) != 2) return false;
    if (w <= 0 || h <= 0 || w > 8192 || h > 8192) return false;
    *width = w;
    *height = h;
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
        std::wstring v;
        if (arg == L"--probe") {
            options->probe = true;
        } else if (arg == L"--module") {
            if (!value(&options->module)) return false;
        } else if (arg == L"--size") {
            if (!value(&v)) return false;
            if (!ParseSize(Utf8(v), &options->width, &options->height)) {
                *error = "bad --size \"" + Utf8(v) + "\" (expected WIDTHxHEIGHT)";
                return false;
            }
        } else if (arg == L"--pixels") {
            if (!value(&v)) return false;
            if (v != L"bgra" && v != L"yuv420p") {
                *error = "bad --pixels \"" + Utf8(v) + "\" (expected bgra or yuv420p)";
                return false;
            }
            options->yuv = v == L"yuv420p";
        } else if (arg == L"--frames") {
            if (!value(&v)) return false;
            wchar_t* end = nullptr;
            long long n = std::wcstoll(v.c_str(), &end, 10);
            if (v.empty() || *end != L'\0' || n < 0) {
                *error = "bad --frames \"" + Utf8(v) + "\"";
                return false;
            }
            options->maxFrames = n;
        } else if (arg == L"--set") {
            if (!value(&v)) return false;
            options->overrides.push_back(Utf8(v));
        } else if (arg == L"--time-format") {
            if (!value(&v)) return false;
            options->timePicture = Utf8(v);
        } else if (arg == L"--date-format") {
            if (!value(&v)) return false;
            options->datePicture = Utf8(v);
        } else if (arg == L"--settings") {
            if (!value(&options->settingsFile)) return false;
        } else if (arg == L"--save-settings") {
            if (!value(&options->saveSettingsFile)) return false;
        } else if (arg == L"--dialog") {
            if (!value(&options->dialogPicture)) return false;
        } else if (arg == L"--help" || arg == L"-h") {
            *error = "";
            return false;
        } else if (!arg.empty() && arg[0] == L'-' && arg != L"-") {
            *error = "unknown option " + Utf8(arg);
            return false;
        } else if (options->input.empty()) {
            options->input = arg;
        } else {
            *error = "more than one input file";
            return false;
        }
    }
    if (options->input.empty()) {
        *error = "no input file";
        return false;
    }
    return true;
}

int Run(const Options& options) {
    std::string error;
    SourceInfo source;
    if (!ProbeSource(options.input, &source, &error)) return Fail(Utf8(options.input) + ": " + error, 2);
    // Settings and pictures are checked before any frame moves, so that a typo fails at once.
    {
        FilterSettings scratch{};
        for (const std::string& assignment : options.overrides)
            if (!ApplySettingOverride(scratch, assignment, &error)) return Fail(error);
        if (!options.timePicture.empty() && !CheckPicture(options.timePicture, true, &error)) return Fail(error);
        if (!options.datePicture.empty() && !CheckPicture(options.datePicture, false, &error)) return Fail(error);
        if (!options.settingsFile.empty() && !LoadSettingsFile(options.settingsFile, scratch, &error))
            return Fail(Utf8(options.settingsFile) + ": " + error);
    }
    if (options.probe) {
        std::printf("%u %u %d %d %d\n", source.frames, source.scale, source.sampleSize, source.width,
                    source.height);
        return 0;
    }

    int32_t width = options.width ? options.width : source.width;
    int32_t height = options.height ? options.height : source.height;
    int64_t frames = source.frames;
    if (options.maxFrames >= 0 && options.maxFrames < frames) frames = options.maxFrames;
    if (frames <= 0) return Fail(Utf8(options.input) + ": no frames to stamp", 2);
    if (options.yuv && !YuvLayout{width, height}.Valid())
        return Fail("4:2:0 frames need an even width and height, not " + std::to_string(width) + "x" +
                    std::to_string(height));

    // Pictures first: the module reads the lists when it is loaded.
    PictureSlot timeSlot("tf02");
    PictureSlot dateSlot("df02");
    if (!options.timePicture.empty()) timeSlot.install(options.timePicture);
    if (!options.datePicture.empty()) dateSlot.install(options.datePicture);

    FilterSession session;
    std::wstring module = options.module.empty() ? DefaultModulePath() : options.module;
    if (!session.load(module, &error)) return Fail(error, 3);

    SessionClip clip;
    clip.sourcePathUtf8 = Utf8(source.fullPath);
    clip.scale = source.scale;
    clip.sampleSize = source.sampleSize;
    clip.width = width;
    clip.height = height;
    clip.frames = static_cast<int32_t>(frames);
    clip.slots = 3;
    if (!session.start(clip, &error)) return Fail(error, 3);

    FilterSettings& settings = *session.settings();
    if (!options.settingsFile.empty() && !LoadSettingsFile(options.settingsFile, settings, &error))
        return Fail(Utf8(options.settingsFile) + ": " + error);
    if (!options.timePicture.empty()) settings.timeformat = kPictureSlot;
    if (!options.datePicture.empty()) settings.dateformat = kPictureSlot;
    for (const std::string& assignment : options.overrides)
        if (!ApplySettingOverride(settings, assignment, &error)) return Fail(error);

    if (!options.dialogPicture.empty()) {
        std::vector<uint32_t> picture(static_cast<size_t>(width) * static_cast<size_t>(height));
        HANDLE file = CreateFileW(options.dialogPicture.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  0, nullptr);
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(picture.size() * 4);
        const bool read = file != INVALID_HANDLE_VALUE && ReadFile(file, picture.data(), want, &got, nullptr) && got == want;
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        if (!read) return Fail(Utf8(options.dialogPicture) + ": not a " + std::to_string(width) + "x" +
                               std::to_string(height) + " BGRA frame");
        switch (RunSettingsDialog(session, std::move(picture), width, height)) {
        case DialogOutcome::kOk: break;
        case DialogOutcome::kCancel: return Fail("settings dialog cancelled: nothing rendered", 4);
        case DialogOutcome::kNotShown: return Fail("the module's settings dialog could not be shown", 3);
        }
    }
    if (!options.saveSettingsFile.empty() && !SaveSettingsFile(options.saveSettingsFile, *session.settings(), &error))
        return Fail(Utf8(options.saveSettingsFile) + ": " + error);

    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    const size_t frameBytes = session.frameBytes();
    LARGE_INTEGER frequency, started, now, lastReport;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&started);
    lastReport = started;
    auto report = [&](int64_t done, bool final) {
        QueryPerformanceCounter(&now);
        double elapsed = double(now.QuadPart - started.QuadPart) / double(frequency.QuadPart);
        std::fprintf(stderr, "\rcamtag-render: %lld/%lld frames, %.1f frames/s%s",
                     static_cast<long long>(done), static_cast<long long>(frames),
                     elapsed > 0 ? double(done) / elapsed : 0.0, final ? "\n" : "");
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
    // is what is written.
    std::vector<std::vector<uint8_t>> planes;
    if (options.yuv) {
        const YuvLayout layout{width, height};
        sizes.inputBytes = sizes.outputBytes = layout.Bytes();
        planes.assign(slots.size(), std::vector<uint8_t>(layout.Bytes()));
        std::vector<PipelineSlot> host = slots;
        for (size_t slot = 0; slot < slots.size(); ++slot) slots[slot] = {planes[slot].data(), planes[slot].data()};
        sizes.prepareInput = [&planes, host, layout](int32_t slot) {
            YuvToHost(planes[static_cast<size_t>(slot)].data(), layout, host[static_cast<size_t>(slot)].input);
        };
        sizes.prepareOutput = [&planes, host, layout](int32_t slot) {
            StampedRowsToYuv(host[static_cast<size_t>(slot)].input, host[static_cast<size_t>(slot)].output, layout,
                             planes[static_cast<size_t>(slot)].data());
        };
    }
    short failure = 0;
    int64_t failedFrame = 0;
    const PipelineResult run = RunFramePipeline(
        input, output, sizes, frames, slots,
        [&](int64_t frame, int32_t slot) {
            failure = session.execute(static_cast<int32_t>(frame), slot);
            failedFrame = frame;
            return failure == 0;
        },
        [&](int64_t stamped) {
            QueryPerformanceCounter(&now);
            if (now.QuadPart - lastReport.QuadPart > frequency.QuadPart / 2) report(stamped, false);
        });
    const int64_t done = run.done;
    switch (run.status) {
    case PipelineStatus::kDone: break;
    case PipelineStatus::kPartialFrame: return Fail("input ended inside frame " + std::to_string(done));
    case PipelineStatus::kStampFailed:
        return Fail("the module failed on frame " + std::to_string(failedFrame) + " (result " +
                        std::to_string(failure) + ")", 3);
    case PipelineStatus::kOutputClosed: return Fail("cannot write frame " + std::to_string(done) + ": output closed");
    }
    report(done, true);
    if (done == 0) return Fail("no frames arrived on the input");
    if (done < frames)
        std::fprintf(stderr, "camtag-render: warning: the decoder delivered %lld of %lld frames\n",
                     static_cast<long long>(done), static_cast<long long>(frames));
    return 0;
}

} // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return Fail("cannot read the command line");
    Options options;
    std::string error;
    int status;
    if (!ParseArguments(argc, argv, &options, &error)) {
        if (!error.empty()) std::fprintf(stderr, "camtag-render: %s\n", error.c_str());
        std::fputs(kUsage, stderr);
        status = error.empty() ? 0 : 1;
    } else {
        status = Run(options);
    }
    LocalFree(argv);
    return status;
}
