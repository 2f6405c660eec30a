#include "Plan.h"

#include <dirent.h>
#include <unistd.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>

namespace camtag::front {

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string ExtensionOf(const std::string& path) {
    const std::string name = FileNameOf(path);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? std::string() : Lower(name.substr(dot + 1));
}

bool IsFolder(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

bool EndsWithSlash(const std::string& path) {
    return !path.empty() && path.back() == '/';
}

std::string WithoutSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// "a/./b/../c" -> "a/c", by the text alone (for a folder that does not exist yet).
std::string Lexical(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t slash = std::min(path.find('/', start), path.size());
        const std::string part = path.substr(start, slash - start);
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..")
                parts.pop_back();
            else
                parts.push_back(part);
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = slash + 1;
    }
    std::string out = !path.empty() && path[0] == '/' ? "/" : "";
    for (size_t i = 0; i < parts.size(); ++i)
        out += (i ? "/" : "") + parts[i];
    return out.empty() ? "." : out;
}

// The absolute form of a path whose last parts may not exist yet, for comparing names.
std::string Canonical(const std::string& path) {
    std::string clean = WithoutSlash(path);
    if (clean.empty() || clean[0] != '/') {
        char cwd[PATH_MAX];
        if (getcwd(cwd, sizeof cwd))
            clean = std::string(cwd) + "/" + clean;
    }
    clean = Lexical(clean);
    char resolved[PATH_MAX];
    if (realpath(clean.c_str(), resolved))
        return resolved;
    const std::string folder = FolderOf(clean);
    if (folder != clean)
        return Canonical(folder) + "/" + FileNameOf(clean);
    return clean;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// A folder holding nothing but frames a render writes (frame-000001.png, ...).
bool OnlyFrames(const std::string& folder, bool* empty) {
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return false;
    bool only = true;
    *empty = true;
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        *empty = false;
        if (name.size() != 16 || name.compare(0, 6, "frame-") != 0 ||
            name.compare(12, 4, ".png") != 0 ||
            !std::all_of(name.begin() + 6, name.begin() + 12,
                         [](char c) { return c >= '0' && c <= '9'; }))
            only = false;
    }
    closedir(dir);
    return only;
}

} // namespace

bool IsVideoType(const std::string& type) {
    return type == "mp4" || type == "mov" || type == "mkv" || type == "m4v";
}

std::string VideoTypeOf(const std::string& path) {
    const std::string ext = ExtensionOf(path);
    return IsVideoType(ext) ? ext : std::string();
}

std::string FolderOf(const std::string& path) {
    const std::string clean = WithoutSlash(path);
    const size_t slash = clean.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : clean.substr(0, slash);
}

std::string FileNameOf(const std::string& path) {
    const std::string clean = WithoutSlash(path);
    const size_t slash = clean.rfind('/');
    return slash == std::string::npos ? clean : clean.substr(slash + 1);
}

std::string StemOf(const std::string& fileName) {
    const size_t dot = fileName.rfind('.');
    return dot == std::string::npos || dot == 0 ? fileName : fileName.substr(0, dot);
}

std::vector<std::string> DvFilesIn(const std::string& folder) {
    std::vector<std::string> files;
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return files;
    const std::string base = WithoutSlash(folder);
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        const std::string ext = ExtensionOf(name);
        if (ext != "avi" && ext != "dv" && ext != "dif" && ext != "mov" && ext != "mkv")
            continue;
        const std::string path = (base == "/" ? "" : base) + "/" + name;
        struct stat st;
        if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            files.push_back(path);
    }
    closedir(dir);
    std::sort(files.begin(), files.end());
    return files;
}

std::string NameTaker::Take(const std::string& path) {
    const std::string clean = WithoutSlash(path);
    const std::string folder = FolderOf(clean);
    const std::string name = FileNameOf(clean);
    const size_t dot = name.rfind('.');
    const bool hasExt = dot != std::string::npos && dot != 0;
    const std::string stem = hasExt ? name.substr(0, dot) : name;
    const std::string ext = hasExt ? name.substr(dot) : std::string();
    std::string candidate = clean;
    for (int n = 2; !taken_.insert(Canonical(candidate)).second; ++n)
        candidate = (folder == "." && clean.find('/') == std::string::npos ? "" : folder + "/") +
                    stem + "-" + std::to_string(n) + ext;
    return candidate;
}

OutputCheck CheckOutput(const std::string& path, OutputKind kind,
                        const std::vector<std::string>& inputs, bool overwrite, bool skipExisting,
                        std::string* error) {
    for (const std::string& input : inputs) {
        if (SameFile(path, input) || Canonical(path) == Canonical(input)) {
            *error = path + ": this is the input " + input + "; an output never replaces an input";
            return OutputCheck::kRefuse;
        }
    }
    if (!Exists(path))
        return OutputCheck::kWrite;
    if (kind == OutputKind::kFrames) {
        if (!IsFolder(path)) {
            *error = path + ": a file of that name exists; PNG frames go into a folder";
            return OutputCheck::kRefuse;
        }
        bool empty = false;
        const bool onlyFrames = OnlyFrames(path, &empty);
        if (empty)
            return OutputCheck::kWrite;
        if (skipExisting)
            return OutputCheck::kSkip;
        if (overwrite && onlyFrames)
            return OutputCheck::kWrite;
        *error = path + ": the folder is not empty; PNG frames go into a new or empty folder" +
                 (onlyFrames ? " (--overwrite replaces the frames in it, --skip-existing leaves it)"
                             : "");
        return OutputCheck::kRefuse;
    }
    if (IsFolder(path)) {
        *error = path + ": a folder of that name exists";
        return OutputCheck::kRefuse;
    }
    if (skipExisting)
        return OutputCheck::kSkip;
    if (overwrite)
        return OutputCheck::kWrite;
    *error =
        path + ": the file exists; --overwrite replaces it, --skip-existing leaves it and goes on";
    return OutputCheck::kRefuse;
}

bool MakePlan(const PlanRequest& request, Plan* plan, NameTaker* names, std::string* error) {
    *plan = Plan();
    if (request.paths.size() < 2) {
        *error = "expected INPUT... OUTPUT (see --help)";
        return false;
    }
    if (!request.format.empty() && !IsVideoType(request.format) && request.format != "png") {
        *error = "--format " + request.format + ": mp4, mov, mkv, m4v or png";
        return false;
    }
    if (request.overwrite && request.skipExisting) {
        *error = "--overwrite and --skip-existing: choose one";
        return false;
    }
    const std::string output = request.paths.back();
    bool folderGiven = false;
    for (size_t i = 0; i + 1 < request.paths.size(); ++i) {
        const std::string& given = request.paths[i];
        if (IsFolder(given)) {
            const std::vector<std::string> files = DvFilesIn(given);
            if (files.empty()) {
                *error = given + ": no DV files (.avi .dv .dif .mov .mkv) in this folder";
                return false;
            }
            plan->inputs.insert(plan->inputs.end(), files.begin(), files.end());
            folderGiven = true;
        } else if (Exists(given)) {
            plan->inputs.push_back(given);
        } else {
            *error = given + ": no such file";
            return false;
        }
    }
    // The worst mistake first, whatever else is wrong with the output's name.
    if (!EndsWithSlash(output)) {
        for (const std::string& input : plan->inputs) {
            if (SameFile(output, input) || Canonical(output) == Canonical(input)) {
                *error =
                    output + ": this is the input " + input + "; an output never replaces an input";
                return false;
            }
        }
    }
    plan->batch = plan->inputs.size() > 1 || folderGiven;
    plan->split = request.split;
    const bool png = request.format == "png";
    const std::string outputType = VideoTypeOf(output);
    const bool outputIsFolder =
        EndsWithSlash(output) || IsFolder(output) || ExtensionOf(output).empty();

    if (plan->batch || plan->split) {
        if (!request.still.empty()) {
            *error = "--still takes one input and one output";
            return false;
        }
        if (plan->split && png) {
            *error = "PNG frames are not split; write a video";
            return false;
        }
        if (!plan->batch && plan->split && !outputType.empty()) {
            // --split with a file name: its folder, name and type.
            plan->folder = FolderOf(output);
            plan->stem = StemOf(FileNameOf(output));
            plan->format = request.format.empty() ? outputType : request.format;
        } else if (!outputIsFolder) {
            *error = output + ": a batch writes into a folder (end it with /)";
            return false;
        } else {
            plan->folder = WithoutSlash(output);
        }
        plan->kind = png ? OutputKind::kFrames : OutputKind::kVideo;
        if (!png && plan->format.empty())
            plan->format = request.format.empty() ? "mp4" : request.format;
    } else if (png || (outputIsFolder && request.format.empty())) {
        plan->kind = OutputKind::kFrames;
    } else if (outputIsFolder) {
        plan->kind = OutputKind::kVideo;
        plan->format = request.format;
        plan->folder = WithoutSlash(output);
    } else if (!outputType.empty()) {
        plan->kind = OutputKind::kVideo;
        plan->format = outputType;
    } else {
        *error =
            output + ": write .mp4, .mov, .mkv or .m4v, or a folder (ending in /) for PNG frames";
        return false;
    }
    if (!request.still.empty() && ExtensionOf(request.still) != "png") {
        *error = "--still " + request.still + ": must be a .png file";
        return false;
    }

    // Files written beside the outputs are outputs too.
    for (const std::string& extra : {request.still, request.saveSettings}) {
        if (extra.empty())
            continue;
        if (CheckOutput(extra, OutputKind::kVideo, plan->inputs, request.overwrite, false, error) ==
            OutputCheck::kRefuse)
            return false;
        names->Take(extra);
    }
    if (plan->split)
        return true;
    for (const std::string& input : plan->inputs) {
        std::string out;
        if (plan->batch || !plan->folder.empty()) {
            const std::string stem = StemOf(FileNameOf(input));
            out = plan->folder + "/" + stem +
                  (plan->kind == OutputKind::kFrames ? "" : "." + plan->format);
        } else {
            out = WithoutSlash(output);
        }
        out = names->Take(out);
        switch (CheckOutput(out, plan->kind, plan->inputs, request.overwrite, request.skipExisting,
                            error)) {
        case OutputCheck::kRefuse:
            return false;
        case OutputCheck::kSkip:
            out.clear();
            break;
        case OutputCheck::kWrite:
            break;
        }
        plan->outputs.push_back(out);
    }
    return true;
}

} // namespace camtag::front
