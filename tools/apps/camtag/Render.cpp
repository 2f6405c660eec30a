#include "Render.h"

#include "Bands.h"
#include "Codec.h"
#include "Output.h"
#include "Process.h"
#include "Report.h"
#include "SpareExchange.h"
#include "Tape.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <numeric>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sstream>
#include <thread>
#include <utility>

namespace camtag::front {

namespace {

void Say(const std::string& line) {
    std::fprintf(stderr, "render: %s\n", line.c_str());
}

std::string Plural(long long n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

double Seconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// ffmpeg's image sequence names read % as a pattern.
std::string EscapePercent(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == '%')
            out += '%';
        out += c;
    }
    return out;
}

std::string Decimal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

// The stamp's progress on a terminal: frames, speed and time left, on one line.
class Progress {
public:
    Progress(std::string name, long long total)
        : name_(std::move(name)), total_(total), terminal_(isatty(2)) {}
    void Update(long long done) {
        if (!terminal_)
            return;
        const double elapsed = Seconds() - started_;
        const double rate = elapsed > 0 ? double(done) / elapsed : 0;
        std::string left =
            rate > 0
                ? ", " + std::to_string(static_cast<long long>((total_ - done) / rate)) + " s left"
                : "";
        char speed[32];
        std::snprintf(speed, sizeof speed, "%.1f", rate);
        std::fprintf(stderr, "\rrender: %s: %lld/%lld frames, %s frames/s%s   ", name_.c_str(),
                     done, total_, speed, left.c_str());
        std::fflush(stderr);
        shown_ = true;
    }
    void End() {
        if (shown_)
            std::fputs("\n", stderr);
        shown_ = false;
    }
    double Elapsed() const { return Seconds() - started_; }

private:
    std::string name_;
    long long total_;
    bool terminal_;
    bool shown_ = false;
    double started_ = Seconds();
};

// What one render of frames first..first+count-1 of an input writes.
struct Clip {
    std::string input;  // the path the module and the decoder read
    std::string shown;  // the path the user gave (the sound comes from there)
    std::string output; // where it goes
    long long first = 0, count = 0;
    std::string created; // YYYY-MM-DDTHH:MM:SS or "-"
    std::string sampleAspect;
    std::vector<Recording> chapters; // the recordings it holds, when they become chapters
};

struct Piece;

// A renderer started ahead of its work (camtag-render --arguments-on-stdin), so that Wine's
// start of a process falls on time spent looking at the inputs or rendering the one before.
struct SpareRenderer {
    Child child;
    int in = -1;       // its standard input: the arguments, then the decoded frames
    int out = -1;      // the stamped frames
    int messages = -1; // its standard error
};

class Renderer {
public:
    Renderer(const RenderOptions& options, const Workers& workers)
        : options_(options), workers_(workers) {}
    ~Renderer() {
        EndSpare();
        EndSpareDecoder();
    }
    int Run();

private:
    bool StartSpare(std::string* error = nullptr);
    void EndSpare();
    // The first input's decoder, started while the look is made, so that its first frames are
    // ready when the renderer is. It decodes as most renders do (4:2:0, from the first frame)
    // but without a frame count, which only the look tells. A render that needs another
    // decoder ends it. It starts on a thread of its own, which also loads ffmpeg's libraries
    // while Wine starts.
    void StartSpareDecoder();
    std::unique_ptr<FrameDecoder> TakeSpareDecoder() {
        if (spareStarter_.joinable())
            spareStarter_.join();
        return std::move(spareDecoder_);
    }
    void EndSpareDecoder() { TakeSpareDecoder().reset(); }
    bool MakeLook(int* status);
    bool LookBySpare(const std::vector<std::string>& args, int* status, std::string* out,
                     std::string* messages);
    bool RenderInput(size_t index);
    bool RenderPieces(std::vector<Clip> clips, const Source& source);
    std::vector<std::string> EncodeCommand(const Piece& piece, const Source& source, bool yuv,
                                           bool compressed) const;
    bool Cues(const Clip& clip, std::string* cues);
    std::vector<std::string> LookArgs() const;
    int Interrupted();

    const RenderOptions& options_;
    const Workers& workers_;
    Plan plan_;
    NameTaker names_;
    WorkFolder work_;
    MessageNames messages_;
    std::string look_;                // the look file of the run, in the work folder
    std::vector<std::string> module_; // per input: the path the module reads
    std::vector<Source> sources_;     // per input, from the first look
    std::vector<std::string> failures_;
    std::vector<std::string> remuxed_; // per input: the remuxed copy, when one is needed
    SpareRenderer spare_;
    std::unique_ptr<FrameDecoder> spareDecoder_;
    std::thread spareStarter_;
    bool moreInputs_ = false; // inputs follow the one rendering: a spare is started for them
    bool codecMissSaid_ = false;
};

// Starts the renderer that the next render takes; false with `error` (when given) when it
// cannot start. Started ahead, a failure costs nothing: the render tries again when it comes.
bool Renderer::StartSpare(std::string* error) {
    if (!options_.stamp || spare_.child.pid > 0)
        return true;
    EnsureWineServer(workers_);
    int in[2] = {-1, -1}, out[2] = {-1, -1}, messages[2] = {-1, -1};
    std::string why;
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 ||
        pipe2(messages, O_CLOEXEC) != 0) {
        why = std::string("cannot make a pipe: ") + std::strerror(errno);
    } else if (Spawn({workers_.wine, workers_.renderer(), "--arguments-on-stdin"}, in[0], out[1],
                     messages[1], &spare_.child, &why)) {
        spare_.in = std::exchange(in[1], -1);
        spare_.out = std::exchange(out[0], -1);
        spare_.messages = std::exchange(messages[0], -1);
    }
    for (int fd : {in[0], in[1], out[0], out[1], messages[0], messages[1]})
        if (fd >= 0)
            close(fd);
    if (error)
        *error = why;
    return why.empty();
}

// A spare nobody took sees its input end and leaves without a word.
void Renderer::EndSpare() {
    for (int* fd : {&spare_.in, &spare_.out, &spare_.messages}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
    if (spare_.child.pid > 0 && spare_.child.status < 0)
        WaitAll({&spare_.child});
    spare_ = SpareRenderer();
}

// The arguments of a spare renderer, as it reads them from its input (SpareExchange.h).
std::string ArgumentBlock(const std::vector<std::string>& args) {
    std::string text;
    for (const std::string& arg : args)
        text += arg + '\0';
    std::string block;
    AppendWord(&block, static_cast<uint32_t>(text.size()));
    return block + text;
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR && !PendingSignal())
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// The look (args with --probe) asked of the spare, which then stays for the first render: the
// run waits for one Wine process start instead of two. False when there is no spare, or it ended or
// a signal came before it answered (then it is ended too; a new one starts when a render needs it).
bool Renderer::LookBySpare(const std::vector<std::string>& args, int* status, std::string* out,
                           std::string* messages) {
    if (spare_.child.pid <= 0 || options_.dialog)
        return false;
    std::string err;
    if (WriteAll(spare_.in, ArgumentBlock(args)) &&
        ReadProbeReply(spare_.out, spare_.messages, spare_.child.pid,
                       ExitDescriptor(spare_.child.pid), status, out, &err)) {
        *messages = messages_.Translate(err);
        return true;
    }
    EndSpare();
    return false;
}

std::vector<std::string> Renderer::LookArgs() const {
    // A look made from the defaults and options only stamps each clip as it would be alone; one
    // from a file or the dialog keeps the font relative to the frame it was made on.
    if (options_.dialog || !options_.look.settings.empty())
        return {"--settings", WindowsPath(look_)};
    return {"--settings", WindowsPath(look_), "--own-reference"};
}

int Renderer::Interrupted() {
    const int signal = PendingSignal();
    Say(std::string("interrupted (") + (signal == SIGTERM ? "SIGTERM" : "Ctrl-C") +
        "); the output being written was removed");
    work_.Remove();
    return 128 + signal;
}

// The look every input is stamped with, fixed once: the defaults, the settings file, the
// options and the dialog, made by the module on the first input it can read, kept in a look
// file of the run that each input then reads instead of the registry.
bool Renderer::MakeLook(int* workerStatus) {
    look_ = work_.path() + "/look.bin";
    std::vector<std::string> args{"--probe", "--recordings"};
    const std::vector<std::string> look = options_.look.WindowsArgs();
    args.insert(args.end(), look.begin(), look.end());
    if (!options_.dialog)
        args.insert(args.end(), {"--save-settings", WindowsPath(look_)});
    for (size_t i = 0; i < plan_.inputs.size(); ++i)
        args.push_back(WindowsPath(module_[i]));
    std::string out, messages;
    int status = 0;
    if (!LookBySpare(args, &status, &out, &messages) && !PendingSignal())
        status = RunWindows(workers_, workers_.renderer(), args, messages_, &out, &messages);
    *workerStatus = status;
    if (PendingSignal())
        return false;
    if (status != 0 && status != 2) {
        Relay(messages, "camtag-render", "render");
        if (messages.empty())
            Say("the renderer ended with exit status " + std::to_string(status) +
                " and no message (Wine: " +
                (std::getenv("WINEPREFIX") ? std::getenv("WINEPREFIX") : "?") + ")");
        return false;
    }
    sources_ = ParseProbe(out, plan_.inputs.size());
    if (!options_.dialog) {
        struct stat st;
        if (stat(look_.c_str(), &st) == 0)
            return true;
        // No input the module reads as it is: the look is made on the first remuxed one.
        look_.clear();
        return true;
    }
    return true;
}

bool Renderer::Cues(const Clip& clip, std::string* cues) {
    *cues = work_.path() + "/cues.srt";
    std::vector<std::string> args{
        "--name",   clip.shown,
        "--frames", std::to_string(clip.first) + "-" + std::to_string(clip.first + clip.count - 1),
        "--srt",    WindowsPath(*cues)};
    args.insert(args.end(), {"--settings", WindowsPath(look_)});
    args.push_back(WindowsPath(clip.input));
    std::string out, messages;
    if (RunWindows(workers_, workers_.prober(), args, messages_, nullptr, &messages) != 0) {
        Relay(messages, "camtag-probe", "render");
        return false;
    }
    struct stat st;
    // A stretch without any text has no subtitle track (ffmpeg takes no empty SRT file).
    if (stat(cues->c_str(), &st) != 0 || st.st_size == 0)
        cues->clear();
    return true;
}

// One output of a render: its frames' place in the input, its encoder, where it goes.
struct Piece {
    Clip clip;
    std::string cues;
    std::string chapters; // an ffmetadata file of its chapters, or ""
    PendingOutput output, still;
    std::vector<std::string> encode;
    Child encoder;
    int in = -1;                         // the encoder's standard input
    std::unique_ptr<FrameEncoder> codec; // the video encoded here, into `in`
    std::string codecFailure;
    std::string log;
    long long written = 0;
    bool done = false;
    double started = 0;
};

// ffmpeg's metadata text escapes these with a backslash.
std::string MetadataText(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '=' || c == ';' || c == '#' || c == '\\' || c == '\n')
            out += '\\';
        out += c;
    }
    return out;
}

// The chapters of a clip: one per recording it holds, from the recording's first frame.
std::string ChapterFile(const Clip& clip, const Source& source) {
    std::string text = ";FFMETADATA1\n";
    const long long end = clip.first + clip.count;
    for (const Recording& r : clip.chapters) {
        const long long first = std::max(r.first, clip.first), last = std::min(r.last + 1, end);
        if (first >= last)
            continue;
        text += "[CHAPTER]\nTIMEBASE=" + std::to_string(source.sampleSize) + "/" +
                std::to_string(source.scale) + "\nSTART=" + std::to_string(first - clip.first) +
                "\nEND=" + std::to_string(last - clip.first) + "\ntitle=" + MetadataText(r.title) +
                "\n";
    }
    return text;
}

// The encoder of one piece: from raw frames, or (`compressed`) the muxer of the video this
// program encodes, which comes as NUT and is copied.
std::vector<std::string> Renderer::EncodeCommand(const Piece& piece, const Source& source, bool yuv,
                                                 bool compressed) const {
    const Clip& clip = piece.clip;
    const bool frames = plan_.kind == OutputKind::kFrames;
    const std::string pixels = yuv ? "yuv420p" : "bgra";
    const std::string flip = yuv ? "" : "vflip,";
    const std::string rate = std::to_string(source.scale) + "/" + std::to_string(source.sampleSize);
    std::vector<std::string> encode =
        compressed
            ? std::vector<std::string>{"ffmpeg", "-nostdin", "-v", "error", "-y",
                                       "-f",     "nut",      "-i", "-"}
            : RawFramesInput(
                  pixels, std::to_string(source.width) + "x" + std::to_string(source.height), rate);
    const Encoding encoding = EncodingFor(options_.deinterlace);
    const std::string& field = encoding.pictureFilter;
    if (frames) {
        const std::string picture =
            flip + (options_.deinterlace ? field + "," : "") + "setsar=" + clip.sampleAspect;
        encode.insert(encode.end(), {"-map", "0:v", "-vf", picture, "-pix_fmt", "rgb24",
                                     EscapePercent(piece.output.temporary()) + "/frame-%06d.png"});
    } else {
        // The sound from where the piece starts (sound has no frames to count), when the
        // input has any: the map below is optional.
        const std::string seek = Decimal(std::floor(double(clip.first) * double(source.sampleSize) *
                                                    1e6 / double(source.scale)) /
                                         1e6);
        // (Absolute: ffmpeg takes a name such as "tape:1.avi" for a protocol.)
        encode.insert(encode.end(), {"-ss", seek, "-i", Absolute(clip.shown)});
        const int next = 2;
        if (!piece.cues.empty())
            encode.insert(encode.end(), {"-i", piece.cues});
        if (!piece.chapters.empty())
            encode.insert(encode.end(), {"-f", "ffmetadata", "-i", piece.chapters});
        // Without a chapter file ffmpeg would copy the input's own chapters.
        encode.insert(encode.end(),
                      {"-map_chapters", piece.chapters.empty()
                                            ? "-1"
                                            : std::to_string(next + (piece.cues.empty() ? 0 : 1))});
        if (compressed) {
            // NUT does not carry the field order, which Matroska records: as ffmpeg marks the
            // fields it encodes (bottom first: "bt").
            encode.insert(encode.end(), {"-map", "0:v", "-c:v", "copy", "-field_order:v",
                                         options_.deinterlace ? "progressive" : "bt"});
        } else {
            encode.insert(encode.end(),
                          {"-map", "0:v", "-vf", flip + field + ",setsar=" + clip.sampleAspect});
            encode.insert(encode.end(), encoding.video.begin(), encoding.video.end());
        }
        encode.insert(encode.end(), {"-map", "1:a:0?"});
        encode.insert(encode.end(), encoding.audio.begin(), encoding.audio.end());
        if (!piece.cues.empty())
            encode.insert(encode.end(),
                          {"-map", std::to_string(next) + ":s", "-c:s",
                           plan_.format == "mkv" ? "srt" : "mov_text", "-metadata:s:s:0",
                           "title=Recording date and time", "-metadata:s:s:0",
                           "handler_name=Recording date and time"});
        // The sound ends with the last frame.
        encode.insert(encode.end(), {"-t", Decimal(double(clip.count) * double(source.sampleSize) /
                                                   double(source.scale))});
        if (clip.created != "-")
            encode.insert(encode.end(), {"-metadata", "creation_time=" + clip.created + "Z"});
        if (plan_.format != "mkv")
            encode.insert(encode.end(), {"-movflags", "+faststart"});
        if (plan_.format != "mkv" && compressed) {
            // The track's clock as when ffmpeg encodes into the file: the time base's
            // denominator (the frame rate's numerator), doubled up to 10000 or more. A copied
            // stream's would count in fields. (Past ffmpeg's own limit for a frame rate's terms
            // the two would not agree: ffmpeg chooses then.)
            long long clock =
                source.scale / std::max(1LL, std::gcd(source.scale, source.sampleSize));
            while (clock > 0 && clock < 10000)
                clock *= 2;
            if (clock > 0 && clock <= 1001000)
                encode.insert(encode.end(), {"-video_track_timescale", std::to_string(clock)});
        }
        encode.insert(encode.end(), {"-f",
                                     plan_.format == "mkv"   ? "matroska"
                                     : plan_.format == "m4v" ? "ipod"
                                                             : plan_.format,
                                     piece.output.temporary()});
    }
    if (!piece.still.temporary().empty()) {
        // Square pixels for the picture, so that it looks as the clip does on screen.
        encode.insert(encode.end(),
                      {"-map", "0:v", "-vf",
                       flip + "select=eq(n\\," + std::to_string(clip.count / 2) +
                           "),scale=trunc(iw*" + clip.sampleAspect + "/2)*2:ih,setsar=1",
                       "-pix_fmt", "rgb24", "-frames:v", "1", "-update", "1", "-f", "image2",
                       piece.still.temporary()});
    }
    return encode;
}

// Lets a pipe hold about a frame: the default 64 KiB would make every stage wait for the next at
// each tenth of a PAL frame, leaving cores idle that the encoder could use. Best effort.
void WidenPipe(int fd, size_t frameBytes) {
    if (fd < 0)
        return;
    const int wanted = static_cast<int>(std::min<size_t>(frameBytes, size_t(1) << 20));
    fcntl(fd, F_SETPIPE_SZ, wanted);
}

// ffmpeg's decoder of frames first..first+count-1 as raw 4:2:0 (as the front's own decoder gives
// them) or as bottom-up BGRA.
std::vector<std::string> DecodeCommand(const std::string& input, long long first, long long count,
                                       bool yuv) {
    std::vector<std::string> decode{"ffmpeg", "-nostdin", "-v",    "error",     "-i",
                                    input,    "-map",     "0:v:0", "-fps_mode", "passthrough"};
    std::string filter = first > 0 ? "select=gte(n\\," + std::to_string(first) + ")," : "";
    filter += yuv ? kDvTo420 : "vflip";
    decode.insert(decode.end(), {"-vf", filter, "-frames:v", std::to_string(count), "-f",
                                 "rawvideo", "-pix_fmt", yuv ? "yuv420p" : "bgra", "-"});
    return decode;
}

void Renderer::StartSpareDecoder() {
    if (plan_.kind != OutputKind::kVideo || options_.dialog || module_.empty() ||
        !options_.plan.still.empty())
        return;
    spareStarter_ = std::thread([this, path = module_[0]] {
        auto decoder = NewFrameDecoder();
        std::string error;
        if (decoder && decoder->Start(path, 0, -1, &error))
            spareDecoder_ = std::move(decoder);
    });
}

// Passes one frame of `size` bytes from pipe `from` to pipe `to` (-1: nowhere), inside the
// kernel where it can: the bytes taken from `from`, which is `size` unless the input ended;
// *delivered says whether they all reached `to`. Waits are cut short by a signal.
size_t PassFrame(int from, int to, size_t size, std::vector<uint8_t>& scratch, bool* delivered) {
    size_t taken = 0;
    *delivered = to >= 0;
    while (taken < size && !PendingSignal()) {
        ssize_t n;
        if (*delivered) {
            n = splice(from, nullptr, to, nullptr, size - taken, SPLICE_F_MOVE);
            if (n < 0 && errno != EINTR && errno != EAGAIN) {
                *delivered = false; // the encoder is gone: the rest of the frame is read away
                continue;
            }
        } else {
            n = read(from, scratch.data(), std::min(size - taken, scratch.size()));
        }
        if (n > 0)
            taken += static_cast<size_t>(n);
        else if (n == 0 || (errno != EINTR && errno != EAGAIN))
            break;
    }
    if (taken < size)
        *delivered = false;
    return taken;
}

// Frames first..last of one input, decoded once in the input's index order (frame n of the
// decoder is frame n of the index, which the module reads the dates of: no seek decides which
// frame is which), stamped, and handed to each piece's encoder in turn.
bool Renderer::RenderPieces(std::vector<Clip> clips, const Source& source) {
    const bool frames = plan_.kind == OutputKind::kFrames;
    const int width = source.width, height = source.height;
    const bool yuv = !frames && width % 2 == 0 && height % 2 == 0;
    const size_t frameBytes = yuv ? size_t(width) * height * 3 / 2 : size_t(width) * height * 4;
    // A video's 4:2:0 frames are decoded and encoded here (Codec.h); PNG frames, a still beside
    // the video and odd sizes go through ffmpeg's decoder and encoder, as does everything when
    // ffmpeg's libraries cannot be loaded here.
    std::string error;
    bool inProcess = !frames && yuv && options_.plan.still.empty();
    if (inProcess && !LoadCodec(&error)) {
        if (!std::exchange(codecMissSaid_, true))
            Say("warning: the front's own codec cannot be loaded (" + error +
                "); ffmpeg decodes and encodes instead");
        error.clear();
        inProcess = false;
    }
    std::vector<std::unique_ptr<Piece>> pieces;
    long long first = LLONG_MAX, end = 0, planned = 0;
    for (Clip& clip : clips) {
        auto piece = std::make_unique<Piece>();
        piece->clip = std::move(clip);
        if (options_.subtitles && !Cues(piece->clip, &piece->cues))
            return false;
        if (!frames && options_.chapters && !piece->clip.chapters.empty()) {
            piece->chapters =
                work_.path() + "/chapters-" + std::to_string(piece->clip.first) + ".txt";
            if (!WriteOutput(piece->chapters, ChapterFile(piece->clip, source), true, &error)) {
                Say(error);
                return false;
            }
        }
        if (PendingSignal())
            return false;
        const bool withStill = !options_.plan.still.empty();
        if (!piece->output.Begin(piece->clip.output, frames, &error) ||
            (withStill && !piece->still.Begin(options_.plan.still, false, &error))) {
            Say(error);
            return false;
        }
        first = std::min(first, piece->clip.first);
        end = std::max(end, piece->clip.first + piece->clip.count);
        planned += piece->clip.count;
        pieces.push_back(std::move(piece));
    }
    for (auto& piece : pieces)
        piece->encode = EncodeCommand(*piece, source, yuv, inProcess);
    const std::string& shown = pieces.front()->clip.shown;
    const std::string& input = pieces.front()->clip.input;

    const std::vector<std::string> decode = DecodeCommand(input, first, end - first, yuv);
    std::vector<std::string> stamp{"--module", WindowsPath(workers_.module()),
                                   "--size",   std::to_string(width) + "x" + std::to_string(height),
                                   "--pixels", yuv ? "yuv420p" : "bgra",
                                   "--name",   shown,
                                   "--in",     std::to_string(first),
                                   "--frames", std::to_string(end - first)};
    const std::vector<std::string> look = LookArgs();
    stamp.insert(stamp.end(), look.begin(), look.end());
    // 4:2:0 frames stay here whole while only the stamp's rows go through the renderer: in
    // memory, or where a pipe can hold a frame (Bands.h).
    BandRoute route;
    int hold[2] = {-1, -1};
    if (!inProcess && options_.stamp && yuv && pipe2(hold, O_CLOEXEC) == 0 &&
        HoldsFrame(hold[1], frameBytes))
        route.discard = open("/dev/null", O_WRONLY | O_CLOEXEC);
    const bool bands = inProcess ? options_.stamp : route.discard >= 0;
    if (bands)
        stamp.push_back("--bands");
    stamp.push_back(WindowsPath(input));

    // decoder -> renderer -> here (or decoder -> here without a stamp, or decoder -> here ->
    // renderer and back with bands) -> each piece's encoder; in this process, decoding and
    // encoding here, the bands to the renderer and back -> each piece's muxer.
    // The renderer's messages come through a pipe read beside: its words for the end.
    // The spare decoder serves when it decodes what this render reads.
    std::unique_ptr<FrameDecoder> frameDecoder = TakeSpareDecoder();
    if (!(inProcess && frameDecoder && frameDecoder->path() == input && first == 0))
        frameDecoder.reset();
    const std::string decodeLog = work_.path() + "/decoder.log";
    const int decodeErr =
        inProcess ? -1 : open(decodeLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    int decoded[2] = {-1, -1}, stamped[2] = {-1, -1}, messages[2] = {-1, -1};
    int toRenderer = -1;
    Child decoder, renderer;
    bool ok = true, rendererGone = false;
    if (options_.stamp) {
        // The spare renderer (started now when none is up) reads its arguments and then the
        // frames.
        ok = StartSpare(&error);
        if (ok) {
            renderer = spare_.child;
            toRenderer = spare_.in;
            stamped[0] = spare_.out;
            messages[0] = spare_.messages;
            spare_ = SpareRenderer();
            ok = WriteAll(toRenderer, ArgumentBlock(stamp));
            rendererGone = !ok;
            if (!ok)
                error = "the renderer (camtag-render) ended before it was given its work";
        }
        if (!bands)
            std::swap(decoded[1], toRenderer);
        else if (ok && !inProcess)
            ok = pipe2(decoded, O_CLOEXEC) == 0;
    } else if (!inProcess) {
        ok = pipe2(decoded, O_CLOEXEC) == 0;
    }
    if (!ok && error.empty())
        error = std::string("cannot make a pipe: ") + std::strerror(errno);
    // The next input's renderer starts while this one renders.
    if (moreInputs_)
        StartSpare();
    for (int fd : {decoded[1], stamped[0], toRenderer})
        WidenPipe(fd, frameBytes);
    if (inProcess && ok && !frameDecoder) {
        frameDecoder = NewFrameDecoder();
        std::string why;
        ok = frameDecoder->Start(input, first, end - first, &why);
        if (!ok)
            error = "the decoder cannot read it: " + why;
    } else if (!inProcess && ok) {
        ok = Spawn(decode, -1, decoded[1], decodeErr, &decoder, &error);
    }
    const int from = options_.stamp && !bands ? stamped[0] : decoded[0];
    for (int fd : {decoded[1], decodeErr})
        if (fd >= 0)
            close(fd);
    route.decoded = decoded[0];
    route.toRenderer = toRenderer;
    route.fromRenderer = stamped[0];
    route.hold = hold[1];
    route.held = hold[0];
    route.width = width;
    route.height = route.rows = height;
    std::string rendererWords;
    std::thread listener;
    if (messages[0] >= 0) {
        // Until the renderer ends: the Wine session's first program lends its standard error to
        // the processes that start the session, which keep it open as long as the session.
        // Its exit descriptor taken here, before the wait below can reap it.
        const int rendererExit = ExitDescriptor(renderer.pid);
        listener = std::thread([&, rendererExit] {
            ReadWhileRunning({messages[0]}, {&rendererWords}, renderer.pid, rendererExit);
        });
    }

    // Each piece's encoder starts at its first frame and is closed after its last; a piece
    // whose frames all came and whose encoder ended well takes its name at once.
    Progress progress(shown, planned);
    std::vector<uint8_t> frame(65536); // what no piece takes is read away through it
    long long routed = 0;
    bool allWell = ok;
    auto finish = [&](Piece& piece) {
        if (piece.codec && !piece.codec->Finish(&piece.codecFailure))
            piece.written = -1;
        piece.codec.reset();
        if (piece.in >= 0)
            close(piece.in);
        piece.in = -1;
        piece.done = true;
        if (piece.encoder.pid > 0 && !WaitAll({&piece.encoder}))
            return false;
        std::string why;
        if (piece.written != piece.clip.count || piece.encoder.status != 0)
            return false;
        if (!piece.output.Commit(options_.plan.overwrite, &why) ||
            (!piece.still.temporary().empty() &&
             !piece.still.Commit(options_.plan.overwrite, &why))) {
            Say(why);
            piece.encoder.status = -1;
            return false;
        }
        return true;
    };
    // In this process: the next frame is with the renderer while this one is encoded.
    const Encoding encoding = EncodingFor(options_.deinterlace);
    std::string decodeFailure;
    FramePtr pending;
    Band band{0, height};
    std::vector<uint8_t> scratch;
    // The decoder's next frame, sent to the renderer; empty when it has no more.
    auto nextFrame = [&] {
        pending = frameDecoder->Next();
        if (!pending) {
            // (What the decoder met beyond the frames taken is no cause.)
            if (!frameDecoder->error().empty())
                decodeFailure = "decoding failed: " + frameDecoder->error();
            return;
        }
        const FramePlanes planes = Planes(pending.get());
        if (planes.width != width || planes.height != height) {
            decodeFailure = "its frames decode as " + std::to_string(planes.width) + "x" +
                            std::to_string(planes.height) + ", not " + std::to_string(width) + "x" +
                            std::to_string(height);
            pending.reset();
        } else if (options_.stamp) {
            // (A renderer gone shows when its answer is read.)
            SendBand(toRenderer, planes, band, scratch);
        }
    };
    if (inProcess && ok)
        nextFrame();
    std::vector<std::string> finishedLines;
    for (long long n = first; ok && n < end; ++n) {
        progress.Update(routed);
        Piece* target = nullptr;
        for (auto& piece : pieces)
            if (!piece->done && n >= piece->clip.first && n < piece->clip.first + piece->clip.count)
                target = piece.get();
        if (target && target->encoder.pid <= 0) {
            Piece& p = *target;
            int feed[2];
            p.log = work_.path() + "/encoder-" + std::to_string(n) + ".log";
            const int err = open(p.log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            p.started = Seconds();
            const bool piped = pipe2(feed, O_CLOEXEC) == 0;
            if (!piped || !Spawn(p.encode, feed[0], -1, err, &p.encoder, &error)) {
                if (!piped)
                    error = std::string("cannot make a pipe: ") + std::strerror(errno);
                Say(error);
                for (int fd : {err, piped ? feed[0] : -1, piped ? feed[1] : -1})
                    if (fd >= 0)
                        close(fd);
                ok = false;
                break;
            }
            close(feed[0]);
            if (err >= 0)
                close(err);
            WidenPipe(feed[1], frameBytes);
            p.in = feed[1];
            if (inProcess) {
                p.codec = NewFrameEncoder();
                if (!p.codec->Open(p.in, width, height, source.scale, source.sampleSize,
                                   encoding.pictureFilter + ",setsar=" + p.clip.sampleAspect,
                                   encoding.video, &error)) {
                    Say(error);
                    ok = false;
                    break;
                }
            }
        }
        bool delivered = false;
        const int to = target ? target->in : -1;
        if (inProcess) {
            FramePtr frame = std::move(pending);
            const FramePlanes planes = frame ? Planes(frame.get()) : FramePlanes();
            if (!frame ||
                (options_.stamp && !TakeBand(toRenderer, stamped[0], planes, &band, scratch)))
                break;
            if (n + 1 < end)
                nextFrame();
            if (target && target->codec) {
                delivered = target->codec->Put(frame.get(), &target->codecFailure);
                if (!delivered)
                    target->codec.reset(); // the rest of its frames go nowhere
            }
        } else if ((bands ? StampFrameInBands(route, to, &delivered)
                          : PassFrame(from, to, frameBytes, frame, &delivered)) != frameBytes) {
            break;
        }
        if (!target)
            continue;
        Piece& p = *target;
        if (delivered)
            ++p.written;
        ++routed;
        if (p.written == p.clip.count && finish(p)) {
            const double elapsed = Seconds() - p.started;
            char speed[64];
            std::snprintf(speed, sizeof speed, "%.1f s (%.1f frames/s)", elapsed,
                          elapsed > 0 ? double(p.written) / elapsed : 0.0);
            finishedLines.push_back(
                p.clip.shown + " -> " + p.clip.output +
                (options_.plan.still.empty() ? "" : " and " + options_.plan.still) + ": " +
                Plural(p.written, "frame", "frames") + " in " + speed);
        }
        if (PendingSignal())
            break;
    }
    // An ffmpeg decoder whose output is still open when the reading stops (after the renderer
    // failed) is stopped by the pipe closed below: its exit then tells nothing of what failed.
    pollfd output{decoded[0], 0, 0};
    const bool decoderStopped =
        decoded[0] >= 0 && poll(&output, 1, 0) >= 0 && !(output.revents & POLLHUP);
    if (frameDecoder)
        frameDecoder->Stop();
    pending.reset();
    for (int fd : {decoded[0], stamped[0], toRenderer, hold[0], hold[1], route.discard})
        if (fd >= 0)
            close(fd);
    for (auto& piece : pieces) {
        piece->codec.reset();
        if (piece->in >= 0)
            close(piece->in);
    }
    std::vector<Child*> children{&decoder, &renderer};
    for (auto& piece : pieces)
        children.push_back(&piece->encoder);
    const bool ended = WaitAll(children);
    if (decoderStopped)
        decoder.status = 0;
    if (listener.joinable())
        listener.join();
    if (messages[0] >= 0)
        close(messages[0]);
    progress.End();
    if (!ended || PendingSignal())
        return false;

    const std::string words = messages_.Translate(rendererWords);
    // The renderer's warnings, then a line for each output.
    for (const std::string& line : Split(words, '\n'))
        if (line.rfind("camtag-render: warning: ", 0) == 0)
            Say(line.substr(15));
    for (const std::string& line : finishedLines)
        Say(line);
    // What failed: the first process that did is the cause (the others fail after it).
    const std::string decoderWords = ReadFile(decodeLog);
    for (auto& piece : pieces) {
        Piece& p = *piece;
        if (p.done && p.written == p.clip.count && p.encoder.status == 0 && p.codecFailure.empty())
            continue;
        allWell = false;
        p.output.Discard();
        p.still.Discard();
        std::string failure;
        if (!ok) {
            // Why a renderer that was started ahead did not live to its work (Wine's words).
            if (rendererGone)
                Relay(words, "camtag-render", "render");
            failure = error;
        } else if (!decodeFailure.empty()) {
            failure = decodeFailure;
        } else if (!inProcess && decoder.status != 0) {
            failure =
                "the decoder (ffmpeg) failed with exit status " + std::to_string(decoder.status);
        } else if (options_.stamp && renderer.status != 0) {
            Relay(words, "camtag-render", "render");
            failure = "stamping failed";
        } else if (p.encoder.status != 0) {
            // (An encoder that failed took fewer frames too: its failure is the cause.)
            failure =
                "the encoder (ffmpeg) failed with exit status " + std::to_string(p.encoder.status);
        } else if (!p.codecFailure.empty()) {
            failure = p.codecFailure;
        } else {
            failure = "the decoder delivered " + std::to_string(p.written) + " of " +
                      std::to_string(p.clip.count) + " frames";
        }
        Say(p.clip.shown + ": " + failure + "; nothing written to " + p.clip.output);
        if (!inProcess && decoder.status != 0)
            std::fputs(decoderWords.c_str(), stderr);
        else if (decodeFailure.empty() && p.encoder.status > 0)
            std::fputs(ReadFile(p.log).c_str(), stderr);
        else if (!decodeFailure.empty() || !p.codecFailure.empty())
            std::fputs(LibavWords().c_str(), stderr);
    }
    return allWell;
}

bool Renderer::RenderInput(size_t index) {
    const std::string& shown = plan_.inputs[index];
    Source source = sources_[index];
    std::string input = module_[index];
    std::string error;
    if (source.state == "refused") {
        // Remuxed just before it renders, so that one input's room is enough.
        const std::string folder = work_.path() + "/remux-" + std::to_string(index);
        mkdir(folder.c_str(), 0700);
        const std::string remuxed = folder + "/" + FileNameOf(input);
        std::string why;
        if (!RemuxDv(shown, remuxed, &why)) {
            if (PendingSignal())
                return false;
            Say(shown + ": " + source.reason + ", and it cannot be remuxed: " + why);
            return false;
        }
        Say(shown + ": " + source.reason + "; remuxed with ffmpeg -c copy into a temporary DV AVI");
        messages_.Add(remuxed, shown);
        messages_.Add(WindowsPath(remuxed), shown);
        input = remuxed;
        remuxed_[index] = remuxed;
        std::vector<std::string> args{"--probe", "--recordings", "--name", shown};
        if (look_.empty()) {
            // No input read as it was: this one makes the look.
            look_ = work_.path() + "/look.bin";
            const std::vector<std::string> look = options_.look.WindowsArgs();
            args.insert(args.end(), look.begin(), look.end());
            args.insert(args.end(), {"--save-settings", WindowsPath(look_)});
        } else {
            const std::vector<std::string> look = LookArgs();
            args.insert(args.end(), look.begin(), look.end());
        }
        args.push_back(WindowsPath(remuxed));
        std::string out, messages;
        const int status =
            RunWindows(workers_, workers_.renderer(), args, messages_, &out, &messages);
        if (PendingSignal())
            return false;
        source = ParseProbe(out, 1).front();
        if (status != 0 && source.state == "ok")
            source.state = "failed";
        if (source.state != "ok") {
            Relay(messages, "camtag-render", "render");
            if (messages.empty())
                Say(shown + ": " + source.reason);
            if (look_ == work_.path() + "/look.bin") {
                struct stat st;
                if (stat(look_.c_str(), &st) != 0)
                    look_.clear();
            }
            return false;
        }
    } else if (source.state != "ok") {
        Say(shown + ": " + source.reason);
        return false;
    }
    bool ok = true;
    auto limited = [&](long long count) {
        return options_.frames >= 0 && options_.frames < count ? options_.frames : count;
    };
    if (plan_.split) {
        // One decode of the tape serves all its pieces.
        std::vector<Clip> pieces;
        for (const Recording& r : source.recordings) {
            Clip clip;
            clip.input = input;
            clip.shown = shown;
            clip.first = r.first;
            clip.count = limited(r.last - r.first + 1);
            const std::string stem = plan_.stem.empty() ? StemOf(FileNameOf(shown)) : plan_.stem;
            // Named by the start: YYYY-MM-DDTHH:MM:SS -> YYYY-MM-DD_HH-MM-SS
            std::string label = r.dated() ? r.start : "frame-" + std::to_string(r.first);
            for (char& c : label)
                if (c == 'T')
                    c = '_';
                else if (c == ':')
                    c = '-';
            clip.output = names_.Take(plan_.folder + "/" + stem + "_" + label + "." + plan_.format);
            clip.created = r.start;
            clip.sampleAspect = SampleAspect(source.pal(), r.wide);
            switch (CheckOutput(clip.output, OutputKind::kVideo, plan_.inputs,
                                options_.plan.overwrite, options_.plan.skipExisting, &error)) {
            case OutputCheck::kRefuse:
                Say(error);
                ok = false;
                continue;
            case OutputCheck::kSkip:
                Say(clip.output + ": exists; skipped");
                continue;
            case OutputCheck::kWrite:
                break;
            }
            pieces.push_back(clip);
        }
        if (pieces.empty())
            return ok;
        return RenderPieces(std::move(pieces), source) && ok;
    }
    Clip clip;
    clip.input = input;
    clip.shown = shown;
    clip.output = plan_.outputs[index];
    if (clip.output.empty()) {
        Say(shown + ": the output exists; skipped");
        return true;
    }
    clip.count = limited(source.frames);
    clip.created = source.created;
    for (const Recording& r : source.recordings)
        if (r.first < clip.count)
            clip.chapters.push_back(r);
    const bool wide = !source.recordings.empty() && source.recordings.front().wide;
    clip.sampleAspect = SampleAspect(source.pal(), wide);
    for (const Recording& r : source.recordings)
        if (r.first < clip.count && r.wide != wide) {
            Say("warning: " + shown + ": its recordings are not all " + (wide ? "16:9" : "4:3") +
                "; the whole video is written as the first one is (--split keeps each recording's "
                "own)");
            break;
        }
    if (clip.count <= 0) {
        Say(shown + ": no frames to stamp");
        return false;
    }
    return RenderPieces({clip}, source);
}

int Renderer::Run() {
    std::string error;
    if (!MakePlan(options_.plan, &plan_, &names_, &error)) {
        Say(error);
        return kExitUsage;
    }
    if (!CheckReportFolder(options_.report, options_.plan.overwrite, &error)) {
        Say(error);
        return kExitUsage;
    }
    if (plan_.kind == OutputKind::kFrames && options_.subtitles) {
        Say("PNG frames carry no subtitles; write a video");
        return kExitUsage;
    }
    if (plan_.kind == OutputKind::kFrames && !options_.stamp) {
        Say("--no-stamp writes the frames unchanged: ffmpeg does that on its own");
        return kExitUsage;
    }
    if (options_.dialog) {
        if (options_.look.pictures) {
            Say("--dialog with --time-format or --date-format: choose or edit the pictures in the "
                "dialog instead");
            return kExitUsage;
        }
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) {
            Say("--dialog needs a display to show the settings dialog on (DISPLAY is not set)");
            return kExitUsage;
        }
        int number = -1;
        struct stat st;
        if (std::sscanf(display, ":%d", &number) == 1 &&
            stat(("/tmp/.X11-unix/X" + std::to_string(number)).c_str(), &st) != 0) {
            Say(std::string("--dialog needs a display to show the settings dialog on (") + display +
                " is not running)");
            return kExitUsage;
        }
    }
    if (!work_.Make(&error)) {
        Say(error);
        return kExitFailed;
    }
    for (const std::string& input : plan_.inputs) {
        const std::string path = ModulePathFor(input, work_.path(), &error);
        if (path.empty()) {
            Say(error);
            return kExitFailed;
        }
        messages_.Add(path, input);
        messages_.Add(WindowsPath(path), input);
        module_.push_back(path);
    }
    remuxed_.assign(plan_.inputs.size(), std::string());
    // The renderer refuses options (a setting's value, a picture) with status 1.
    int lookStatus = 0;
    if (!options_.dialog)
        StartSpare();
    StartSpareDecoder();
    if (!MakeLook(&lookStatus))
        return PendingSignal() ? Interrupted() : lookStatus == 1 ? kExitUsage : kExitFailed;

    if (options_.dialog) {
        // The dialog shows the first input's first frame.
        size_t first = 0;
        while (first < sources_.size() && sources_[first].state == "failed")
            ++first;
        if (first == sources_.size()) {
            Say("no input the module can read for the settings dialog");
            return kExitFailed;
        }
        std::string input = module_[first];
        if (sources_[first].state == "refused") {
            const std::string folder = work_.path() + "/dialog";
            mkdir(folder.c_str(), 0700);
            input = folder + "/" + FileNameOf(module_[first]);
            std::string why;
            if (!RemuxDv(plan_.inputs[first], input, &why)) {
                Say(plan_.inputs[first] + ": " + sources_[first].reason +
                    ", and it cannot be remuxed: " + why);
                return PendingSignal() ? Interrupted() : kExitFailed;
            }
            messages_.Add(input, plan_.inputs[first]);
        }
        std::string out, messages;
        RunWindows(workers_, workers_.renderer(), {"--probe", WindowsPath(input)}, messages_, &out,
                   &messages);
        const Source source = ParseProbe(out, 1).front();
        const std::string picture = work_.path() + "/first.bgra";
        std::string why;
        if (source.state != "ok" ||
            RunCommand({"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", input, "-frames:v", "1",
                        "-vf", "vflip", "-f", "rawvideo", "-pix_fmt", "bgra", picture},
                       nullptr, &why, &error) != 0) {
            Say(plan_.inputs[first] + ": cannot decode its first frame");
            return PendingSignal() ? Interrupted() : kExitFailed;
        }
        std::vector<std::string> args{"--probe",
                                      "--size",
                                      std::to_string(source.width) + "x" +
                                          std::to_string(source.height),
                                      "--dialog",
                                      WindowsPath(picture),
                                      "--save-settings",
                                      WindowsPath(look_)};
        const std::vector<std::string> look = options_.look.WindowsArgs();
        args.insert(args.end(), look.begin(), look.end());
        args.push_back(WindowsPath(input));
        Say(std::string("the settings dialog is open on ") + std::getenv("DISPLAY"));
        const int status =
            RunWindows(workers_, workers_.renderer(), args, messages_, &out, &messages);
        if (PendingSignal())
            return Interrupted();
        if (status == 4) {
            Say("cancelled in the settings dialog; nothing rendered");
            return kExitCancelled;
        }
        if (status != 0) {
            Relay(messages, "camtag-render", "render");
            return kExitFailed;
        }
    }
    if (!options_.plan.saveSettings.empty()) {
        PendingOutput saved;
        const std::string look = ReadFile(look_);
        FILE* f = nullptr;
        if (look.empty() || !saved.Begin(options_.plan.saveSettings, false, &error) ||
            !(f = std::fopen(saved.temporary().c_str(), "wb")) ||
            std::fwrite(look.data(), 1, look.size(), f) != look.size() || std::fclose(f) != 0 ||
            !saved.Commit(options_.plan.overwrite, &error)) {
            Say(options_.plan.saveSettings + ": " +
                (error.empty() ? "cannot save the settings" : error));
            return kExitFailed;
        }
    }

    for (size_t i = 0; i < plan_.inputs.size(); ++i) {
        if (PendingSignal())
            return Interrupted();
        moreInputs_ = i + 1 < plan_.inputs.size();
        const bool ok = RenderInput(i);
        EndSpareDecoder(); // (one the first input did not take)
        // A remuxed copy is as large as its input: gone as soon as it served.
        if (!remuxed_[i].empty())
            unlink(remuxed_[i].c_str());
        if (PendingSignal())
            return Interrupted();
        if (!ok)
            failures_.push_back(plan_.inputs[i]);
    }
    int status = kExitOk;
    if (!options_.report.empty()) {
        // The report of the inputs, with the look they were stamped with.
        ReportOptions report;
        report.paths = plan_.inputs;
        report.folder = options_.report;
        report.look = options_.look;
        if (options_.dialog)
            report.look = LookOptions{{}, false, look_};
        report.overwrite = options_.plan.overwrite;
        report.say = "render";
        status = WriteReport(report, workers_);
        if (status >= 128)
            return status;
    }
    if (failures_.empty())
        return status == kExitOk ? kExitOk : kExitFailed;
    if (plan_.inputs.size() > 1) {
        std::string list;
        for (const std::string& f : failures_)
            list += (list.empty() ? "" : " ") + f;
        Say(std::to_string(failures_.size()) + " of " + std::to_string(plan_.inputs.size()) +
            " inputs failed: " + list);
    }
    return kExitFailed;
}

} // namespace

bool ParseDecimal(const std::string& text, long long limit, long long* value) {
    if (text.empty() || text.size() > 18 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const long long n = std::atoll(text.c_str());
    if (n > limit)
        return false;
    *value = n;
    return true;
}

std::vector<std::string> LookOptions::WindowsArgs() const {
    std::vector<std::string> out;
    if (!settings.empty())
        out.insert(out.end(), {"--settings", WindowsPath(settings)});
    out.insert(out.end(), args.begin(), args.end());
    return out;
}

Encoding EncodingFor(bool deinterlace) {
    Encoding e;
    e.pictureFilter =
        deinterlace ? "setfield=bff,bwdif=mode=send_frame:parity=bff:deint=all" : "setfield=bff";
    e.video = {"-c:v", "libx264", "-preset", "medium", "-crf", "18", "-pix_fmt", "yuv420p"};
    if (!deinterlace)
        e.video.insert(e.video.end(), {"-flags", "+ildct+ilme", "-x264-params", "bff=1"});
    e.audio = {"-c:a", "aac", "-b:a", "192k"};
    return e;
}

int Render(const RenderOptions& options, const Workers& workers) {
    Renderer renderer(options, workers);
    return renderer.Run();
}

} // namespace camtag::front
