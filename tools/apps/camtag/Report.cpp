#include "Report.h"

#include "Output.h"
#include "Process.h"
#include "Tape.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>

namespace camtag::front {

namespace {

constexpr int kThumbnailWidth = 320;
constexpr int kStripWidth = 960;
constexpr char kLabelFont[] = "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf";

struct Tape {
    std::string shown; // the path the user gave
    std::string input; // what the module and the decoder read
    Source source;
    std::vector<std::string>
        pictures; // per recording: its picture's file name in the folder, or ""
};

class Reporter {
public:
    Reporter(const ReportOptions& options, const Workers& workers)
        : options_(options), workers_(workers) {}
    int Run();

private:
    void Say(const std::string& line) const {
        std::fprintf(stderr, "%s: %s\n", options_.say, line.c_str());
    }
    bool Probe(std::vector<Tape>& tapes);
    bool Remux(Tape& tape, size_t index);
    bool Picture(const Tape& tape, const Recording& r, const std::string& png, std::string* error);
    bool ContactSheet(const Tape& tape, const std::string& pictures, const std::string& out,
                      std::string* error);

    const ReportOptions& options_;
    const Workers& workers_;
    WorkFolder work_;
    MessageNames names_;
    std::string look_;
};

// The look the pictures are stamped with: made once, from the defaults and options, on the first
// tape the module reads (each tape's font then sized for its own frame, as a render does).
bool Reporter::Probe(std::vector<Tape>& tapes) {
    look_ = work_.path() + "/look.bin";
    std::vector<std::string> args{"--probe", "--recordings", "--save-settings", WindowsPath(look_)};
    const std::vector<std::string> look = options_.look.WindowsArgs();
    args.insert(args.end(), look.begin(), look.end());
    for (const Tape& tape : tapes)
        args.push_back(WindowsPath(tape.input));
    std::string out, messages;
    const int status = RunWindows(workers_, workers_.renderer(), args, names_, &out, &messages);
    if (status != 0 && status != 2) {
        Relay(messages, "camtag-render", options_.say);
        return false;
    }
    const std::vector<Source> sources = ParseProbe(out, tapes.size());
    for (size_t i = 0; i < tapes.size(); ++i)
        tapes[i].source = sources[i];
    struct stat st;
    if (stat(look_.c_str(), &st) != 0)
        look_.clear();
    return true;
}

bool Reporter::Remux(Tape& tape, size_t index) {
    const std::string folder = work_.path() + "/remux-" + std::to_string(index);
    mkdir(folder.c_str(), 0700);
    const std::string remuxed = folder + "/" + FileNameOf(tape.input);
    std::string why;
    if (!RemuxDv(tape.shown, remuxed, &why)) {
        tape.source.reason += ", and it cannot be remuxed: " + why;
        tape.source.state = "failed";
        return false;
    }
    names_.Add(remuxed, tape.shown);
    names_.Add(WindowsPath(remuxed), tape.shown);
    tape.input = remuxed;
    std::vector<std::string> args{"--probe", "--recordings"};
    if (look_.empty()) {
        look_ = work_.path() + "/look.bin";
        args.insert(args.end(), {"--save-settings", WindowsPath(look_)});
        const std::vector<std::string> look = options_.look.WindowsArgs();
        args.insert(args.end(), look.begin(), look.end());
    } else {
        args.insert(args.end(), {"--settings", WindowsPath(look_), "--own-reference"});
    }
    args.push_back(WindowsPath(remuxed));
    std::string out, messages;
    RunWindows(workers_, workers_.renderer(), args, names_, &out, &messages);
    tape.source = ParseProbe(out, 1).front();
    return tape.source.state == "ok";
}

// The recording's first frame, stamped by the module as a render stamps it, with square pixels.
bool Reporter::Picture(const Tape& tape, const Recording& r, const std::string& png,
                       std::string* error) {
    const Source& s = tape.source;
    const std::string size = std::to_string(s.width) + "x" + std::to_string(s.height);
    const std::vector<std::string> decode{
        "ffmpeg",    "-nostdin",    "-v",   "error",
        "-i",        tape.input,    "-map", "0:v:0",
        "-fps_mode", "passthrough", "-vf",  "select=gte(n\\," + std::to_string(r.first) + "),vflip",
        "-frames:v", "1",           "-f",   "rawvideo",
        "-pix_fmt",  "bgra",        "-"};
    std::vector<std::string> stamp{workers_.wine, workers_.renderer(),
                                   "--module",    WindowsPath(workers_.module()),
                                   "--size",      size,
                                   "--pixels",    "bgra",
                                   "--name",      tape.shown,
                                   "--in",        std::to_string(r.first),
                                   "--frames",    "1",
                                   "--settings",  WindowsPath(look_)};
    if (options_.look.settings.empty())
        stamp.push_back("--own-reference");
    stamp.push_back(WindowsPath(tape.input));
    std::vector<std::string> encode = RawFramesInput("bgra", size);
    encode.insert(encode.end(),
                  {"-vf",
                   "vflip,scale=trunc(iw*" + SampleAspect(s.pal(), r.wide) +
                       "/2)*2:ih,scale=" + std::to_string(kThumbnailWidth) + ":-2,setsar=1",
                   "-frames:v", "1", "-f", "image2", png});
    EnsureWineServer(workers_);
    int first[2], second[2];
    if (pipe2(first, O_CLOEXEC) != 0 || pipe2(second, O_CLOEXEC) != 0) {
        *error = std::string("cannot make a pipe: ") + std::strerror(errno);
        return false;
    }
    const int none = open("/dev/null", O_WRONLY | O_CLOEXEC);
    Child decoder, renderer, encoder;
    const bool started = Spawn(decode, -1, first[1], none, &decoder, error) &&
                         Spawn(stamp, first[0], second[1], none, &renderer, error) &&
                         Spawn(encode, second[0], -1, none, &encoder, error);
    for (int fd : {first[0], first[1], second[0], second[1], none})
        close(fd);
    const bool ended = WaitAll({&decoder, &renderer, &encoder});
    if (!started || !ended)
        return false;
    if (decoder.status != 0 || renderer.status != 0 || encoder.status != 0) {
        *error = "its picture of frame " + std::to_string(r.first) + " could not be made";
        return false;
    }
    return true;
}

std::string DateText(const std::string& iso) {
    if (iso == "-")
        return "no recording date";
    std::string text = iso;
    std::replace(text.begin(), text.end(), 'T', ' ');
    return text;
}

// The whole tape as a strip: each recording a segment as long as it is, stretches without a date
// grey between them.
std::string Strip(const Tape& tape) {
    const double total = std::max<long long>(tape.source.frames, 1);
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                      std::to_string(kStripWidth) + "\" height=\"36\" viewBox=\"0 0 " +
                      std::to_string(kStripWidth) + " 36\">\n" +
                      "<rect width=\"100%\" height=\"36\" fill=\"#eeeeee\"/>\n";
    int dated = 0;
    for (const Recording& r : tape.source.recordings) {
        const double x = r.first / total * kStripWidth;
        const double w = std::max(1.0, (r.last - r.first + 1) / total * kStripWidth);
        const char* fill = !r.dated() ? "#b8b8b8" : dated++ % 2 ? "#5b9bd5" : "#2e6aa8";
        char rect[160];
        std::snprintf(rect, sizeof rect,
                      "<rect x=\"%.2f\" y=\"2\" width=\"%.2f\" height=\"32\" fill=\"%s\">", x, w,
                      fill);
        svg += rect;
        svg += "<title>" + HtmlText(DateText(r.start)) + ", frames " + std::to_string(r.first) +
               " to " + std::to_string(r.last) + "</title></rect>\n";
    }
    return svg + "</svg>\n";
}

std::string Page(const std::vector<Tape>& tapes);

} // namespace

std::string HtmlText(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string Duration(long long frames, long long scale, long long sampleSize) {
    const long long seconds = scale > 0 ? frames * sampleSize / scale : 0;
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                      seconds % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
    return text;
}

namespace {

std::string Page(const std::vector<Tape>& tapes) {
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Camtag "
        "report</title>\n"
        "<style>\nbody{font-family:sans-serif;margin:2em;color:#222}h2{margin-top:2em}"
        "table{border-collapse:collapse}td,th{border:1px solid #ccc;padding:4px "
        "8px;text-align:left;"
        "vertical-align:top}th{background:#f4f4f4}.failed{color:#a00}.strip{display:block;max-"
        "width:100%;"
        "margin:0.5em 0 1em}img.frame{display:block}\n</style>\n</head>\n<body>\n<h1>Camtag "
        "report</h1>\n";
    int number = 0;
    for (const Tape& tape : tapes) {
        ++number;
        html += "<section class=\"tape\" data-file=\"" + HtmlText(tape.shown) + "\">\n<h2>" +
                HtmlText(FileNameOf(tape.shown)) + "</h2>\n";
        const Source& s = tape.source;
        if (s.state != "ok") {
            html += "<p class=\"failed\">" + HtmlText(tape.shown) + ": " + HtmlText(s.reason) +
                    "</p>\n</section>\n";
            continue;
        }
        std::string first = "-", last = "-";
        bool narrow = false, wide = false;
        for (const Recording& r : s.recordings) {
            if (r.dated() && first == "-")
                first = r.start;
            if (r.dated())
                last = r.end;
            (r.wide ? wide : narrow) = true;
        }
        html += "<p class=\"summary\">" + Duration(s.frames, s.scale, s.sampleSize) + " (" +
                std::to_string(s.frames) + " frames), " + std::to_string(s.recordings.size()) +
                (s.recordings.size() == 1 ? " recording" : " recordings") + ", recorded " +
                HtmlText(DateText(first)) + " to " + HtmlText(DateText(last)) + ", " +
                (s.pal() ? "PAL" : "NTSC") + ", " +
                (narrow && wide ? "4:3 and 16:9"
                 : wide         ? "16:9"
                                : "4:3") +
                "</p>\n<img class=\"strip\" src=\"tape-" + std::to_string(number) +
                "-strip.svg\" alt=\"the recordings along the "
                "tape\">\n<table>\n<tr><th>Start</th><th>End</th>"
                "<th>Duration</th><th>Timecode in</th><th>Timecode "
                "out</th><th>Frames</th><th>First frame</th></tr>\n";
        for (size_t i = 0; i < s.recordings.size(); ++i) {
            const Recording& r = s.recordings[i];
            html += "<tr class=\"recording\" data-first=\"" + std::to_string(r.first) +
                    "\" data-last=\"" + std::to_string(r.last) + "\"><td>" +
                    HtmlText(DateText(r.start)) + "</td><td>" + HtmlText(DateText(r.end)) +
                    "</td><td>" + Duration(r.last - r.first + 1, s.scale, s.sampleSize) +
                    "</td><td>" + HtmlText(r.timecodeIn) + "</td><td>" + HtmlText(r.timecodeOut) +
                    "</td><td>" + std::to_string(r.first) + " to " + std::to_string(r.last) +
                    "</td><td>" +
                    (tape.pictures[i].empty()
                         ? std::string("-")
                         : "<img class=\"frame\" src=\"" + HtmlText(tape.pictures[i]) +
                               "\" alt=\"" + HtmlText(r.title) + "\">") +
                    "</td></tr>\n";
        }
        html += "</table>\n</section>\n";
    }
    return html + "</body>\n</html>\n";
}

} // namespace

bool Reporter::ContactSheet(const Tape& tape, const std::string& pictures, const std::string& out,
                            std::string* error) {
    // Each picture with its start and duration below it, all of one size, then tiled.
    const Source& s = tape.source;
    int count = 0;
    for (size_t i = 0; i < s.recordings.size(); ++i) {
        if (tape.pictures[i].empty())
            continue;
        const Recording& r = s.recordings[i];
        const std::string label = work_.path() + "/label-" + std::to_string(count) + ".txt";
        const std::string text = (r.dated() ? r.title : DateText(r.start)) + "  (" +
                                 Duration(r.last - r.first + 1, s.scale, s.sampleSize) + ")";
        if (!WriteOutput(label, text, true, error))
            return false;
        char name[32];
        std::snprintf(name, sizeof name, "/cell-%03d.png", count++);
        std::string why;
        if (RunCommand({"ffmpeg", "-nostdin", "-v", "error", "-y", "-i",
                        pictures + "/" + tape.pictures[i], "-vf",
                        "scale=320:240:force_original_aspect_ratio=decrease,pad=320:240:(ow-iw)/"
                        "2:(oh-ih)/2:white,"
                        "pad=320:272:0:0:white,drawtext=fontfile=" +
                            std::string(kLabelFont) + ":textfile=" + label +
                            ":x=6:y=248:fontsize=16:fontcolor=black",
                        work_.path() + name},
                       nullptr, &why, error) != 0) {
            *error = "the contact sheet could not be drawn: " + LastLines(why, 1);
            return false;
        }
    }
    if (count == 0) {
        *error = tape.shown + ": no recording to show";
        return false;
    }
    const int columns = std::min(count, 4), rows = (count + columns - 1) / columns;
    PendingOutput sheet;
    if (!sheet.Begin(out, false, error))
        return false;
    std::string why;
    if (RunCommand({"ffmpeg", "-nostdin", "-v", "error", "-y", "-framerate", "1", "-i",
                    work_.path() + "/cell-%03d.png", "-vf",
                    "tile=" + std::to_string(columns) + "x" + std::to_string(rows) +
                        ":padding=8:margin=8:color=white",
                    "-frames:v", "1", "-f", "image2", sheet.temporary()},
                   nullptr, &why, error) != 0) {
        *error = "the contact sheet could not be drawn: " + LastLines(why, 1);
        return false;
    }
    return sheet.Commit(options_.overwrite, error);
}

int Reporter::Run() {
    std::string error;
    // Where it goes, checked before anything runs.
    if (!CheckReportFolder(options_.folder, options_.overwrite, &error)) {
        Say(error);
        return kExitUsage;
    }
    if (!options_.contactSheet.empty() &&
        CheckOutput(options_.contactSheet, OutputKind::kVideo, {}, options_.overwrite, false,
                    &error) == OutputCheck::kRefuse) {
        Say(error);
        return kExitUsage;
    }
    std::vector<Tape> tapes;
    for (const std::string& path : options_.paths) {
        struct stat st;
        if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            for (const std::string& file : DvFilesIn(path))
                tapes.push_back({file, file, Source(), {}});
        } else {
            Tape tape{path, path, Source(), {}};
            if (stat(path.c_str(), &st) != 0) {
                tape.source.state = "failed";
                tape.source.reason = "no such file";
            }
            tapes.push_back(tape);
        }
    }
    if (!options_.contactSheet.empty() && tapes.size() != 1) {
        Say("--contact-sheet shows one tape; give one file");
        return kExitUsage;
    }
    if (!work_.Make(&error)) {
        Say(error);
        return kExitFailed;
    }
    std::vector<size_t> readable;
    for (size_t i = 0; i < tapes.size(); ++i) {
        if (tapes[i].source.state == "failed")
            continue;
        tapes[i].input = ModulePathFor(tapes[i].shown, work_.path(), &error);
        if (tapes[i].input.empty()) {
            Say(error);
            return kExitFailed;
        }
        names_.Add(tapes[i].input, tapes[i].shown);
        names_.Add(WindowsPath(tapes[i].input), tapes[i].shown);
        readable.push_back(i);
    }
    if (!readable.empty()) {
        std::vector<Tape> probed;
        for (size_t i : readable)
            probed.push_back(tapes[i]);
        if (!Probe(probed))
            return PendingSignal() ? 128 + PendingSignal() : kExitFailed;
        for (size_t k = 0; k < readable.size(); ++k)
            tapes[readable[k]].source = probed[k].source;
    }

    // Pictures are made beside where they go, in a folder named when the report is complete.
    PendingOutput folder;
    if (!options_.folder.empty() && !folder.Begin(options_.folder, true, &error)) {
        Say(error);
        return kExitFailed;
    }
    const std::string where = options_.folder.empty() ? work_.path() : folder.temporary();
    bool allRead = true;
    const bool terminal = isatty(2);
    for (size_t t = 0; t < tapes.size(); ++t) {
        Tape& tape = tapes[t];
        if (tape.source.state == "refused")
            Remux(tape, t);
        if (PendingSignal())
            return 128 + PendingSignal();
        if (tape.source.state != "ok") {
            Say(tape.shown + ": " + tape.source.reason);
            allRead = false;
            continue;
        }
        tape.pictures.assign(tape.source.recordings.size(), std::string());
        for (size_t i = 0; i < tape.source.recordings.size(); ++i) {
            if (terminal)
                std::fprintf(stderr, "\r%s: %s: picture %zu of %zu   ", options_.say,
                             tape.shown.c_str(), i + 1, tape.source.recordings.size());
            const std::string name =
                "tape-" + std::to_string(t + 1) + "-" + std::to_string(i + 1) + ".png";
            if (Picture(tape, tape.source.recordings[i], where + "/" + name, &error))
                tape.pictures[i] = name;
            else if (PendingSignal())
                return 128 + PendingSignal();
            else
                Say("warning: " + tape.shown + ": recording " + std::to_string(i + 1) + ": " +
                    error);
        }
        if (terminal)
            std::fputs("\n", stderr);
        if (!options_.folder.empty() &&
            !WriteOutput(where + "/tape-" + std::to_string(t + 1) + "-strip.svg", Strip(tape), true,
                         &error)) {
            Say(error);
            return kExitFailed;
        }
    }
    if (!options_.contactSheet.empty()) {
        if (tapes.front().source.state != "ok" ||
            !ContactSheet(tapes.front(), where, options_.contactSheet, &error)) {
            if (!error.empty())
                Say(error);
            return kExitFailed;
        }
        Say("contact sheet: " + options_.contactSheet);
    }
    if (!options_.folder.empty()) {
        if (!WriteOutput(where + "/index.html", Page(tapes), true, &error)) {
            Say(error);
            return kExitFailed;
        }
        struct stat st;
        if (stat(options_.folder.c_str(), &st) == 0 && options_.overwrite)
            RemoveTree(options_.folder);
        if (!folder.Commit(false, &error)) {
            Say(error);
            return kExitFailed;
        }
        Say("report: " + options_.folder + "/index.html");
    }
    return allRead ? kExitOk : kExitFailed;
}

bool CheckReportFolder(const std::string& folder, bool overwrite, std::string* error) {
    struct stat st;
    if (folder.empty() || stat(folder.c_str(), &st) != 0)
        return true;
    bool empty = true;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir))
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                empty = false;
        closedir(dir);
    }
    const bool report = access((folder + "/index.html").c_str(), F_OK) == 0;
    if (S_ISDIR(st.st_mode) && (empty || (overwrite && report)))
        return true;
    *error = folder + ": a report goes into a new or empty folder" +
             (report ? " (--overwrite replaces the report in it)" : "");
    return false;
}

int WriteReport(const ReportOptions& options, const Workers& workers) {
    Reporter reporter(options, workers);
    return reporter.Run();
}

} // namespace camtag::front
