// What a render writes, decided before anything runs: the inputs a command line names, where
// each output goes, and whether it may be written at all. No output is ever an input, no
// existing file is replaced unless asked, and no two outputs of a run share a name.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace camtag::front {

// The video types a render writes; "png" is a folder of frames.
bool IsVideoType(const std::string& type);
// The video type of a file name by its extension ("mp4", ...), or "" for none.
std::string VideoTypeOf(const std::string& path);

// The DV files of a folder the renderer takes (.avi .dv .dif .mov .mkv), in name order.
std::vector<std::string> DvFilesIn(const std::string& folder);

struct PlanRequest {
    std::vector<std::string> paths; // INPUT... OUTPUT, as given
    std::string format;             // "", a video type, or "png"
    bool split = false;
    bool overwrite = false;
    bool skipExisting = false;
    std::string still;        // --still FILE.png, or ""
    std::string saveSettings; // --save-settings FILE, or ""
};

enum class OutputKind { kVideo, kFrames };

struct Plan {
    std::vector<std::string> inputs; // files, in order
    bool batch = false;
    bool split = false;
    OutputKind kind = OutputKind::kVideo;
    std::string format; // the video type written (kVideo)
    // Split: the folder the pieces go into and the name they start with ("" for the input's).
    std::string folder;
    std::string stem;
    // Not split: one output per input ("" where --skip-existing leaves an existing one).
    std::vector<std::string> outputs;
};

// A name that stands for one output, unique within the run: a name already taken gets -2, -3,
// ... before its extension (a folder's name gets it at the end).
class NameTaker {
public:
    std::string Take(const std::string& path);

private:
    std::set<std::string> taken_;
};

// What may happen to an output path.
enum class OutputCheck { kWrite, kSkip, kRefuse };

// Whether `path` may be written: never when it is one of the inputs (the same file under any
// name: the same path, a link, a hard link); when it exists, only with overwrite (skipExisting:
// leave it). A folder of frames may be written when it is missing or empty, or with overwrite
// when it holds nothing but frames. kRefuse with `error` saying why and what to do.
OutputCheck CheckOutput(const std::string& path, OutputKind kind,
                        const std::vector<std::string>& inputs, bool overwrite, bool skipExisting,
                        std::string* error);

// Expands and checks the command line: false with `error` (the user's terms) when the run
// cannot start. Split pieces are named later, when the recordings are known, with `names`.
bool MakePlan(const PlanRequest& request, Plan* plan, NameTaker* names, std::string* error);

// A path's folder and file name ("a/b.mp4" -> "a", "b.mp4"; "b.mp4" -> ".", "b.mp4").
std::string FolderOf(const std::string& path);
std::string FileNameOf(const std::string& path);
// The name without its last extension.
std::string StemOf(const std::string& fileName);

} // namespace camtag::front
