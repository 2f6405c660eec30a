#include "Worker.h"

#include "Output.h"
#include "Plan.h"
#include "Process.h"
#include "SpareExchange.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace camtag::front {

namespace {

// The module opens a path of at most 259 bytes in its code page; the run's links are short.
constexpr size_t kPlainPathLimit = 200;

// Characters Windows forbids in a name, which Wine would map to others.
bool WindowsForbids(unsigned char c) {
    return c < 0x20 || std::strchr("\"*:<>?\\|", c) != nullptr;
}

// Code points of UTF-8 text, -1 for a byte that does not start a valid sequence.
std::vector<long> CodePoints(const std::string& text) {
    std::vector<long> out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        int length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (length == 0 || i + length > text.size()) {
            out.push_back(-1);
            ++i;
            continue;
        }
        long point = length == 1 ? c : c & (0x7F >> length);
        for (int k = 1; k < length; ++k)
            point = (point << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        out.push_back(point);
        i += length;
    }
    return out;
}

// Latin-1 letters are in the module's Western code page; anything else becomes '_'.
std::string PlainName(const std::string& name) {
    std::string out;
    for (long point : CodePoints(name)) {
        if (point >= 0x20 && point < 0x7F && !WindowsForbids(static_cast<unsigned char>(point))) {
            out += static_cast<char>(point);
        } else if (point >= 0xA0 && point <= 0xFF) {
            out += static_cast<char>(0xC0 | (point >> 6));
            out += static_cast<char>(0x80 | (point & 0x3F));
        } else {
            out += '_';
        }
    }
    return out;
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
    return remove(path) == 0 ? 0 : 0;
}

} // namespace

Workers Workers::FromEnvironment(const std::string& self) {
    Workers w;
    const char* build = std::getenv("CAMTAG_BUILD_DIR");
    if (build && *build) {
        w.build = build;
    } else {
        // build/native/camtag -> build/x86_64
        w.build = FolderOf(FolderOf(Absolute(self))) + "/x86_64";
    }
    const char* wine = std::getenv("CAMTAG_WINE64");
    w.wine = wine && *wine ? wine : "wine64";
    const char* server = std::getenv("CAMTAG_WINESERVER");
    w.wineserver = server && *server ? server : "wineserver";
    return w;
}

std::string Absolute(const std::string& path) {
    if (!path.empty() && path[0] == '/')
        return path;
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd))
        return path;
    std::string rest = path;
    while (rest.compare(0, 2, "./") == 0)
        rest.erase(0, 2);
    return std::string(cwd) + (rest.empty() || rest == "." ? "" : "/" + rest);
}

std::string WindowsPath(const std::string& path) {
    std::string out = "Z:" + Absolute(path);
    for (char& c : out)
        if (c == '/')
            c = '\\';
    return out;
}

WorkFolder::~WorkFolder() {
    Remove();
}

bool WorkFolder::Make(std::string* error) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/camtag.XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) {
        *error = "cannot make a temporary folder in " + std::string(tmp && *tmp ? tmp : "/tmp") +
                 ": " + std::strerror(errno);
        return false;
    }
    path_ = buffer.data();
    return true;
}

void WorkFolder::Remove() {
    if (path_.empty())
        return;
    RemoveTree(path_);
    path_.clear();
}

void RemoveTree(const std::string& path) {
    nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string ModulePathFor(const std::string& path, const std::string& folder, std::string* error) {
    const std::string absolute = Absolute(path);
    const std::string name = FileNameOf(absolute);
    const std::string plain = PlainName(name);
    const bool ascii =
        plain == name && std::none_of(name.begin(), name.end(), [](char c) { return c & 0x80; });
    if (ascii && absolute.size() <= kPlainPathLimit)
        return absolute;
    // A folder of its own per file, so that the link keeps the user's name as far as it can.
    static int made = 0;
    const std::string place = folder + "/in-" + std::to_string(++made);
    const std::string link = place + "/" + plain;
    if (mkdir(place.c_str(), 0700) != 0 || symlink(absolute.c_str(), link.c_str()) != 0) {
        *error = "cannot link " + path + " into " + folder + ": " + std::strerror(errno);
        return std::string();
    }
    return link;
}

std::string MessageNames::Translate(std::string text) const {
    // Z:\a\b c.avi -> /a/b c.avi: a path runs to the end of the line or the next ": ".
    for (size_t at = text.find("Z:\\"); at != std::string::npos; at = text.find("Z:\\", at)) {
        size_t end = at + 2;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r' &&
               text.compare(end, 2, ": ") != 0)
            ++end;
        std::string path = text.substr(at + 2, end - at - 2);
        for (char& c : path)
            if (c == '\\')
                c = '/';
        text.replace(at, end - at, path);
        at += path.size();
    }
    for (const auto& [temporary, shown] : names_)
        for (size_t at = text.find(temporary); at != std::string::npos;
             at = text.find(temporary, at + shown.size()))
            text.replace(at, temporary.size(), shown);
    return text;
}

void LeaveOutDesktop() {
    const char* given = std::getenv("WINEDLLOVERRIDES");
    std::string overrides = given ? given : "";
    std::string named = overrides;
    std::transform(named.begin(), named.end(), named.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (named.find("explorer") != std::string::npos)
        return;
    overrides += (overrides.empty() ? "" : ";") + std::string("explorer.exe=d");
    setenv("WINEDLLOVERRIDES", overrides.c_str(), 1);
}

void EnsureWineServer(const Workers& workers) {
    // Started here with nothing of ours open, it ends by itself a while after the last program;
    // one that is running already makes this return at once.
    Child server;
    std::string error;
    const int none = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (Spawn({workers.wineserver, "-p15"}, none, none, none, &server, &error))
        WaitAll({&server});
    if (none >= 0)
        close(none);
}

int RunWindows(const Workers& workers, const std::string& exe, const std::vector<std::string>& args,
               const MessageNames& names, std::string* out, std::string* messages) {
    EnsureWineServer(workers);
    std::vector<std::string> argv{workers.wine, exe};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string err, error;
    const int status = RunCommand(argv, out, &err, &error);
    *messages = names.Translate(status < 0 && !error.empty() ? error : err);
    return status;
}

bool ReadProbeReply(int reply, int messages, int pid, int exitDescriptor, int* status,
                    std::string* lines, std::string* err) {
    // The status and the lines' length, then the lines (SpareExchange.h).
    std::string got;
    auto word = [&got](size_t at) { return WordAt(got.data() + at); };
    auto complete = [&] { return got.size() >= 8 && got.size() - 8 >= word(4); };
    ReadWhileRunning({reply, messages}, {&got, err}, pid, exitDescriptor, complete);
    if (!complete() || PendingSignal())
        return false;
    *status = static_cast<int>(word(0));
    *lines = got.substr(8, word(4));
    // Its messages were written before its answer: what the pipe holds now is all of them.
    ReadWhileRunning({messages}, {err}, 0, -1);
    return true;
}

void Relay(const std::string& messages, const std::string& program, const std::string& say) {
    const std::string prefix = program + ": ";
    for (const std::string& line : Split(messages, '\n')) {
        if (line.empty() || line.rfind(prefix + "progress ", 0) == 0)
            continue;
        std::fprintf(
            stderr, "%s: %s\n", say.c_str(),
            (line.compare(0, prefix.size(), prefix) == 0 ? line.substr(prefix.size()) : line)
                .c_str());
    }
}

std::vector<std::string> RawFramesInput(const std::string& pixels, const std::string& size,
                                        const std::string& rate) {
    std::vector<std::string> argv{"ffmpeg",   "-nostdin", "-v",   "error", "-y", "-f",
                                  "rawvideo", "-pix_fmt", pixels, "-s",    size};
    if (!rate.empty())
        argv.insert(argv.end(), {"-framerate", rate});
    argv.insert(argv.end(), {"-i", "-"});
    return argv;
}

bool RemuxDv(const std::string& given, const std::string& out, std::string* why) {
    // (Absolute: ffmpeg takes a name such as "tape:1.dv" for a protocol.)
    const std::string input = Absolute(given);
    std::string codec, error;
    RunCommand({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                "stream=codec_name", "-of", "csv=p=0", "--", input},
               &codec, nullptr, &error);
    codec = codec.substr(0, codec.find_first_of("\r\n"));
    if (codec != "dvvideo") {
        *why = codec.empty() ? "ffmpeg finds no video in it"
                             : "ffmpeg reads its video as " + codec + ", not DV";
        return false;
    }
    int link[2];
    if (pipe2(link, O_CLOEXEC) != 0) {
        *why = std::string("cannot make a pipe: ") + std::strerror(errno);
        return false;
    }
    const std::string readLog = out + ".read.log", writeLog = out + ".write.log";
    const int readErr = open(readLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int writeErr = open(writeLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    Child reader, writer;
    const bool started = Spawn({"ffmpeg", "-nostdin", "-v", "error", "-i", input, "-map", "0:v:0",
                                "-c", "copy", "-f", "rawvideo", "-"},
                               -1, link[1], readErr, &reader, &error) &&
                         Spawn({"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "dv", "-i", "-",
                                "-map", "0:v:0", "-c", "copy", "-vtag", "dvsd", "-f", "avi", out},
                               link[0], -1, writeErr, &writer, &error);
    close(link[0]);
    close(link[1]);
    close(readErr);
    close(writeErr);
    const bool finished = WaitAll({&reader, &writer});
    if (!started || !finished || reader.status != 0 || writer.status != 0) {
        std::string log;
        for (const std::string& file : {readLog, writeLog}) {
            FILE* f = std::fopen(file.c_str(), "rb");
            char buffer[4096];
            size_t got;
            while (f && (got = std::fread(buffer, 1, sizeof buffer, f)) > 0)
                log.append(buffer, got);
            if (f)
                std::fclose(f);
        }
        *why = !started    ? error
               : !finished ? "interrupted"
                           : "ffmpeg could not copy its DV frames: " + LastLines(log, 1);
        unlink(out.c_str());
        return false;
    }
    unlink(readLog.c_str());
    unlink(writeLog.c_str());
    return true;
}

} // namespace camtag::front
