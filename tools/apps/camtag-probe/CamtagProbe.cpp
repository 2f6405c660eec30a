// camtag-probe [options] FILE
// What the camcorder wrote into each frame of a DV AVI file: one line per frame (frame, date,
// time, tape timecode, tab-separated); or the container facts (--info); or the recordings the
// file holds (--breaks, --facts); and subtitle files of the stamped text (--srt, --vtt).
// Exit status 0; 2 for bad arguments and files that cannot be read, 3 for a file the module's
// reader refuses (scripts/camtag-probe then tries it remuxed); 1 when an output file cannot be
// written.
#include "Cues.h"
#include "FilterSession.h"
#include "Recordings.h"
#include "SettingsFile.h"
#include "SourceProbe.h"
#include "StampOptions.h"
#include "StampText.h"
#include "dv/DvAviReader.h"
#include "settings/FormatLists.h"

#include <windows.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace camtag;

namespace {

int Usage() {
    std::fprintf(
        stderr,
        "usage: camtag-probe [options] FILE\n"
        "  prints frame, date, time and tape timecode of each frame of a DV AVI file\n"
        "  --info        print DV type, index kind, frame count and TV system instead\n"
        "  --frames A-B  only frames A to B (or --frames A for one frame)\n"
        "  --breaks      one line per recording instead: first and last frame, start and end\n"
        "                date and time, start timecode\n"
        "  --facts       the recordings and the frames as tab-separated lines instead (for the\n"
        "                camtag front, which writes them as JSON):\n"
        "                  file FRAMECOUNT SCALE SAMPLESIZE PAL|NTSC\n"
        "                  recording FIRST LAST START END TIMECODE (- for none)\n"
        "                  frame N RECORDED TIMECODE (- for none)\n"
        "  --srt FILE    write the stamped text as SRT subtitles (one cue per run of equal text;\n"
        "                - for the standard output)\n"
        "  --vtt FILE    the same as WebVTT\n"
        "  --name NAME   name the file so in messages (the path the user gave)\n"
        "  the text is the filter's with the instance defaults, changed by:\n"
        "  --settings FILE        an instance's settings record saved by the renderer (506 "
        "bytes)\n%s",
        kStampOptionsUsage);
    return 2;
}

bool ParseNumber(const wchar_t* text, const wchar_t** end, unsigned long* out) {
    if (*text < L'0' || *text > L'9')
        return false;
    errno = 0;
    wchar_t* stop = nullptr;
    *out = std::wcstoul(text, &stop, 10);
    if (errno != 0 || *out > 0x7FFFFFFFul)
        return false;
    *end = stop;
    return true;
}

bool ParseRange(const wchar_t* text, unsigned long* first, unsigned long* last) {
    const wchar_t* p = nullptr;
    if (!ParseNumber(text, &p, first))
        return false;
    if (*p == L'\0') {
        *last = *first;
        return true;
    }
    if (*p != L'-' || !ParseNumber(p + 1, &p, last) || *p != L'\0')
        return false;
    return *first <= *last;
}

struct Options {
    bool info = false;
    bool ranged = false;
    unsigned long first = 0, last = 0;
    bool breaks = false;
    bool facts = false;
    std::wstring srt, vtt;
    StampOptions stamp;
    std::wstring path;
    std::wstring name;
    std::wstring settingsFile;
};

// 0 parsed, else the exit status.
int ParseArguments(int argc, wchar_t** argv, Options* o) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        std::string error;
        const int taken = TakeStampOption(argc, argv, &i, &o->stamp, &error);
        if (taken < 0) {
            std::fprintf(stderr, "camtag-probe: %s\n", error.c_str());
            return Usage();
        }
        if (taken > 0)
            continue;
        if (arg == L"--info") {
            o->info = true;
        } else if (arg == L"--breaks") {
            o->breaks = true;
        } else if (arg == L"--facts") {
            o->facts = true;
        } else if (arg == L"--frames" || arg.rfind(L"--frames=", 0) == 0) {
            const wchar_t* value =
                arg == L"--frames" ? (++i < argc ? argv[i] : nullptr) : argv[i] + 9;
            if (!value || !ParseRange(value, &o->first, &o->last))
                return Usage();
            o->ranged = true;
        } else if (arg == L"--srt" || arg == L"--vtt" || arg == L"--name" || arg == L"--settings") {
            if (++i >= argc)
                return Usage();
            (arg == L"--srt"    ? o->srt
             : arg == L"--vtt"  ? o->vtt
             : arg == L"--name" ? o->name
                                : o->settingsFile) = argv[i];
        } else if (arg.size() > 1 && arg[0] == L'-') {
            return Usage();
        } else if (o->path.empty()) {
            o->path = arg;
        } else {
            return Usage();
        }
    }
    return o->path.empty() ? Usage() : 0;
}

// "-" is the standard output.
bool WriteFile(const std::wstring& path, const std::string& text) {
    if (path == L"-")
        return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() &&
               std::fflush(stdout) == 0;
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (!file)
        return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && ok;
}

} // namespace

int main() {
    // Plain '\n' line ends, also when the output goes to a Linux pipe through Wine.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);

    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv)
        return 2;
    Options o;
    int status = ParseArguments(argc, argv, &o);
    LocalFree(argv);
    if (status != 0)
        return status;
    const std::string name = Utf8(o.name.empty() ? o.path : o.name);
    auto fail = [&](const std::string& why, int code) {
        std::fprintf(stderr, "camtag-probe: %s\n", why.c_str());
        return code;
    };

    std::string error;
    if (!CheckStampOptions(&o.stamp, CP_ACP, &error))
        return fail(error, 2);
    Look look;
    if (!o.settingsFile.empty() && !ReadLookFile(o.settingsFile, &look, &error))
        return fail(Utf8(o.settingsFile) + ": " + error, 2);
    TakeLookPictures(look, &o.stamp);
    SourceInfo source;
    bool refused = false;
    if (!ProbeSource(o.path, &source, &error, &refused))
        return fail(name + ": " + error, refused ? 3 : 2);
    DvAviReader reader(source.ansiPath.c_str());
    if (!reader.isOpen)
        return fail(name + ": " + DvErrorMessage(reader.lastError), 3);

    if (o.info) {
        std::printf("DV type\t%d (%s)\n", reader.dvType, reader.dvType == 1 ? "iavs" : "vids");
        std::printf("Index\t%s\n", reader.indexKind == 1 ? "idx1" : "OpenDML");
        std::printf("Frames\t%lu\n", static_cast<unsigned long>(reader.frameCount));
        std::printf("TV system\t%s\n",
                    reader.isPal == 1 ? "625/50 (PAL, 25 fps)" : "525/60 (NTSC, 29.97 fps)");
        return 0;
    }
    if (!o.ranged) {
        o.first = 0;
        o.last = reader.frameCount - 1;
    }
    // A range past the end would write nothing and look like a file without a stamp.
    if (reader.frameCount == 0)
        return fail(name + ": the file holds no frames", 2);
    if (o.first >= reader.frameCount)
        return fail(name + ": --frames " + std::to_string(o.first) + "-" + std::to_string(o.last) +
                        ": the file has frames 0 to " + std::to_string(reader.frameCount - 1),
                    2);
    if (o.last >= reader.frameCount)
        o.last = reader.frameCount - 1;

    // The stamp's settings, as a new instance on a clip from frame `first` gets them: the
    // defaults and picture lists of the registry (with this run's pictures in a private copy).
    const bool cues = !o.srt.empty() || !o.vtt.empty();
    FilterSettings settings{};
    if (cues) {
        SettingsView view;
        if (!view.begin(o.stamp, &error))
            return fail(error, 1);
        LoadFormatLists();
        settings = ClipSettings(source.ansiPath.c_str(), static_cast<int32_t>(o.first),
                                source.width, source.height, source.scale, source.sampleSize);
        view.end();
        if (!o.settingsFile.empty())
            ApplyLookRecord(look, settings);
        ApplyStampOptions(o.stamp, settings, CP_ACP);
    }
    StampText stampText(settings, source.scale, source.sampleSize);
    CueBuilder cueBuilder;

    const bool table = !o.breaks && !o.facts && !cues;
    std::vector<FrameFacts> frames;
    uint32_t unreadable = 0, firstUnreadable = 0;
    RewrittenDates rewritten;
    for (uint32_t f = o.first;; ++f) {
        const FrameFacts facts = ReadFrameFacts(reader, f);
        if (!facts.readable && unreadable++ == 0)
            firstUnreadable = f;
        rewritten.Add(facts);
        if (table) {
            char date[16] = "-";
            char time[16] = "-";
            if (facts.dated) {
                std::snprintf(date, sizeof date, "%04u-%02u-%02u", facts.when.wYear,
                              facts.when.wMonth, facts.when.wDay);
                std::snprintf(time, sizeof time, "%02u:%02u:%02u", facts.when.wHour,
                              facts.when.wMinute, facts.when.wSecond);
            }
            // A frame without a timecode pack has none to show: zero is a label a tape can carry.
            std::printf("%lu\t%s\t%s\t%s\n", static_cast<unsigned long>(f), date, time,
                        facts.hasTimecode ? facts.timecode : "-");
        } else {
            frames.push_back(facts);
        }
        // The frame's data is still in the reader: the text costs no second read.
        if (cues)
            cueBuilder.Add(stampText.Frame(reader, f - static_cast<uint32_t>(o.first)));
        if (f == o.last)
            break;
    }
    if (unreadable)
        std::fprintf(stderr,
                     "camtag-probe: warning: %s: %lu frames could not be read (the first: %lu)\n",
                     name.c_str(), static_cast<unsigned long>(unreadable),
                     static_cast<unsigned long>(firstUnreadable));
    if (rewritten.Likely())
        std::fprintf(stderr, "camtag-probe: warning: %s: %s\n", name.c_str(), kRewrittenDates);

    const std::vector<Recording> recordings =
        o.breaks || o.facts ? FindRecordings(frames, static_cast<uint32_t>(o.first), source.scale,
                                             static_cast<uint32_t>(source.sampleSize), source.pal)
                            : std::vector<Recording>();
    if (o.facts) {
        std::printf("file\t%lu\t%u\t%d\t%s\n", static_cast<unsigned long>(reader.frameCount),
                    source.scale, source.sampleSize, source.pal ? "PAL" : "NTSC");
        for (const Recording& r : recordings)
            std::printf("recording\t%u\t%u\t%s\t%s\t%s\n", r.first, r.last,
                        r.dated ? IsoDateTimeText(r.start).c_str() : "-",
                        r.dated ? IsoDateTimeText(r.end).c_str() : "-",
                        r.startTimecode.empty() ? "-" : r.startTimecode.c_str());
        for (size_t i = 0; i < frames.size(); ++i)
            std::printf("frame\t%lu\t%s\t%s\n", static_cast<unsigned long>(o.first + i),
                        frames[i].dated ? IsoDateTimeText(frames[i].when).c_str() : "-",
                        frames[i].hasTimecode ? frames[i].timecode : "-");
    } else if (o.breaks) {
        for (const Recording& r : recordings)
            std::printf("%u\t%u\t%s\t%s\t%s\n", r.first, r.last,
                        r.dated ? DateTimeText(r.start).c_str() : "-",
                        r.dated ? DateTimeText(r.end).c_str() : "-",
                        r.startTimecode.empty() ? "-" : r.startTimecode.c_str());
    }

    const std::vector<Cue> cueList = cueBuilder.Cues();
    if (!o.srt.empty() &&
        !WriteFile(o.srt, SrtText(cueList, source.scale, static_cast<uint32_t>(source.sampleSize))))
        return fail(Utf8(o.srt) + ": cannot write the file", 1);
    if (!o.vtt.empty() &&
        !WriteFile(o.vtt, VttText(cueList, source.scale, static_cast<uint32_t>(source.sampleSize))))
        return fail(Utf8(o.vtt) + ": cannot write the file", 1);
    return 0;
}
