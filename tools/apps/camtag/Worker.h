// The Windows side of the tools, run under Wine: camtag-render.exe (loads the module, stamps
// frames, checks inputs and makes the look) and camtag-probe.exe (reads a clip's frames through
// the module's reader). Also the run's folder of temporary files, and the paths the module is
// given: a name its code page holds and its 260-byte path takes.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace camtag::front {

// Where the programs are: the x86_64 build (CAMTAG_BUILD_DIR, else build/x86_64 beside this
// program's own build) and Wine (CAMTAG_WINE64, CAMTAG_WINESERVER, else from PATH).
struct Workers {
    std::string build;
    std::string wine;
    std::string wineserver;
    std::string renderer() const { return build + "/tools/camtag-render/camtag-render.exe"; }
    std::string prober() const { return build + "/tools/camtag-probe/camtag-probe.exe"; }
    std::string module() const { return build + "/src/host/fl-Camtag.prm"; }
    static Workers FromEnvironment(const std::string& self);
};

// The absolute form of a path, without resolving links (a link made for the module must stay one).
std::string Absolute(const std::string& path);
// The path Wine's drive Z: gives a Linux path.
std::string WindowsPath(const std::string& path);

// A folder of this run's temporary files, removed with everything in it when the run ends.
class WorkFolder {
public:
    WorkFolder() = default;
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    bool Make(std::string* error);
    const std::string& path() const { return path_; }
    void Remove();

private:
    std::string path_;
};

// Removes a folder and everything in it (files the run made).
void RemoveTree(const std::string& path);

// The path to give the module for a user's file: the file itself when its name is plain, else a
// link in `folder` whose name keeps what the module's code page holds ("Łódź 日本.avi" becomes
// "_ód_ __.avi"; %f in a title then shows that). Messages still name the user's path.
std::string ModulePathFor(const std::string& path, const std::string& folder, std::string* error);

// Messages of the Windows programs in the user's terms: Z:\ paths back in their Linux form, the
// run's temporary paths as the names the user gave, and our prefix instead of theirs.
class MessageNames {
public:
    void Add(const std::string& temporary, const std::string& shown) {
        names_[Absolute(temporary)] = shown;
    }
    std::string Translate(std::string text) const;

private:
    std::map<std::string, std::string> names_;
};

// Keeps Wine's desktop process (explorer.exe) out of the session for the programs started from
// now on, unless WINEDLLOVERRIDES names it already: they draw into memory only, and a session's
// first program starts about 0.1 s sooner without it. Not for the settings dialog, whose window
// needs it. Called before any thread starts.
void LeaveOutDesktop();

// Makes sure the prefix's Wine server runs, so that a program started next does not start one
// that would inherit (and hold open) the pipes it is given.
void EnsureWineServer(const Workers& workers);

// A Windows program under Wine, to its end: its status (-1 when it did not start or a signal
// stopped the wait), its standard output (null: discarded) and its messages in the user's terms.
int RunWindows(const Workers& workers, const std::string& exe, const std::vector<std::string>& args,
               const MessageNames& names, std::string* out, std::string* messages);

// A spare renderer's answer to a look (camtag-render --arguments-on-stdin, given a --probe
// block): the exit status and the lines the probe would have ended with and printed, read from
// `reply` while `messages` is read into `err` so that neither pipe fills. False when the renderer
// `pid` ended first (its `exitDescriptor`, taken and closed here; -1: looked at every 200 ms) or
// a signal came.
bool ReadProbeReply(int reply, int messages, int pid, int exitDescriptor, int* status,
                    std::string* lines, std::string* err);

// A Windows program's own lines (not its progress), each as "SAY: line" without its own
// "PROGRAM: " prefix.
void Relay(const std::string& messages, const std::string& program, const std::string& say);

// The start of an ffmpeg command that takes raw frames of `pixels` and `size` (WIDTHxHEIGHT) on
// its standard input, at `rate` frames a second when given.
std::vector<std::string> RawFramesInput(const std::string& pixels, const std::string& size,
                                        const std::string& rate = "");

// Copies the DV frames of `input` untouched into a DV AVI at `out`, one index entry per frame:
// through a raw DV stream, whose reader gives the TV system's own rate, and with the dvsd tag
// the module's reader looks for. False with `why` in the user's terms.
bool RemuxDv(const std::string& input, const std::string& out, std::string* why);

} // namespace camtag::front
