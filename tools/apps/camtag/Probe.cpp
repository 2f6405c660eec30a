#include "Output.h"
#include "Process.h"
#include "Render.h"

#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace camtag::front {

namespace {

void Say(const std::string& line) {
    std::fprintf(stderr, "camtag-probe: %s\n", line.c_str());
}

nlohmann::json OrNull(const std::string& field) {
    return field == "-" ? nlohmann::json() : nlohmann::json(field);
}

// The probe's facts (file, recording and frame lines) as the JSON users read.
std::string FactsJson(const std::string& facts) {
    nlohmann::ordered_json out;
    out["recordings"] = nlohmann::json::array();
    out["frames"] = nlohmann::json::array();
    for (const std::string& line : Split(facts, '\n')) {
        const std::vector<std::string> f = Split(line, '\t');
        if (f.size() == 5 && f[0] == "file") {
            out["frame_count"] = std::atoll(f[1].c_str());
            out["rate"] = f[2] + "/" + f[3];
            out["tv_system"] = f[4];
        } else if (f.size() == 6 && f[0] == "recording") {
            out["recordings"].push_back({{"first", std::atoll(f[1].c_str())},
                                         {"last", std::atoll(f[2].c_str())},
                                         {"start", OrNull(f[3])},
                                         {"end", OrNull(f[4])},
                                         {"start_timecode", OrNull(f[5])}});
        } else if (f.size() == 4 && f[0] == "frame") {
            out["frames"].push_back({{"frame", std::atoll(f[1].c_str())},
                                     {"recorded", OrNull(f[2])},
                                     {"timecode", OrNull(f[3])}});
        }
    }
    // The order users know: the file's facts first.
    nlohmann::ordered_json ordered;
    for (const char* key : {"frame_count", "rate", "tv_system", "recordings", "frames"})
        if (out.contains(key))
            ordered[key] = out[key];
    return ordered.dump(2) + "\n";
}

} // namespace

int Probe(const ProbeOptions& options, const Workers& workers) {
    WorkFolder work;
    std::string error;
    if (!work.Make(&error)) {
        Say(error);
        return kExitFailed;
    }
    struct stat st;
    if (stat(options.file.c_str(), &st) != 0) {
        Say(options.file + ": no such file");
        return kExitUsage;
    }
    std::string input = ModulePathFor(options.file, work.path(), &error);
    if (input.empty()) {
        Say(error);
        return kExitFailed;
    }
    MessageNames names;
    names.Add(input, options.file);
    names.Add(WindowsPath(input), options.file);

    // Subtitle files are written beside where they go and named when complete.
    struct Written {
        std::string path;
        std::unique_ptr<PendingOutput> pending;
    };
    std::vector<Written> files;
    for (const std::string* path : {&options.srt, &options.vtt}) {
        if (path->empty() || *path == "-")
            continue;
        if (CheckOutput(*path, OutputKind::kVideo, {options.file}, options.overwrite, false,
                        &error) == OutputCheck::kRefuse) {
            Say(error);
            return kExitUsage;
        }
        files.push_back({*path, std::make_unique<PendingOutput>()});
        if (!files.back().pending->Begin(*path, false, &error)) {
            Say(error);
            return kExitFailed;
        }
    }
    auto args = [&](const std::string& file) {
        std::vector<std::string> a{"--name", options.file};
        a.insert(a.end(), options.show.begin(), options.show.end());
        if (options.json)
            a.push_back("--facts");
        const std::vector<std::string> look = options.look.WindowsArgs();
        a.insert(a.end(), look.begin(), look.end());
        size_t k = 0;
        for (const std::string* path : {&options.srt, &options.vtt}) {
            if (path->empty())
                continue;
            a.push_back(path == &options.srt ? "--srt" : "--vtt");
            a.push_back(*path == "-" ? "-" : WindowsPath(files[k++].pending->temporary()));
        }
        a.push_back(WindowsPath(file));
        return a;
    };
    std::string out, messages;
    int status = RunWindows(workers, workers.prober(), args(input), names, &out, &messages);
    if (status == 3) {
        // The module's reader refused it (the last line says why): remuxed, it may read it.
        const std::vector<std::string> lines = Split(messages, '\n');
        std::string reason = lines.empty() ? std::string() : lines.back();
        const size_t colon = reason.rfind(": ");
        if (colon != std::string::npos)
            reason = reason.substr(colon + 2);
        for (size_t i = 0; i + 1 < lines.size(); ++i)
            std::fprintf(stderr, "%s\n", lines[i].c_str());
        const std::string remuxed = work.path() + "/" + FileNameOf(input);
        std::string why;
        if (!RemuxDv(options.file, remuxed, &why)) {
            if (PendingSignal())
                return 128 + PendingSignal();
            Say(options.file + ": " + reason + ", and it cannot be remuxed: " + why);
            return kExitUsage;
        }
        Say(options.file + ": " + reason + "; remuxed with ffmpeg -c copy into a temporary DV AVI");
        names.Add(remuxed, options.file);
        names.Add(WindowsPath(remuxed), options.file);
        out.clear();
        status = RunWindows(workers, workers.prober(), args(remuxed), names, &out, &messages);
        if (status == 3)
            status = kExitUsage;
    }
    if (PendingSignal())
        return 128 + PendingSignal();
    std::fputs(messages.c_str(), stderr);
    if (status != 0)
        return status < 0 ? kExitFailed : status;
    const std::string text = options.json ? FactsJson(out) : out;
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
        std::fflush(stdout) != 0) {
        Say("cannot write the standard output");
        return kExitFailed;
    }
    for (Written& file : files) {
        if (!file.pending->Commit(options.overwrite, &error)) {
            Say(error);
            return kExitFailed;
        }
    }
    return kExitOk;
}

} // namespace camtag::front
