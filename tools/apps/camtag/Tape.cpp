#include "Tape.h"

#include "Output.h"

#include <cstdlib>

namespace camtag::front {

std::vector<Source> ParseProbe(const std::string& out, size_t inputs) {
    std::vector<Source> sources;
    for (const std::string& line : Split(out, '\n')) {
        const std::vector<std::string> f = Split(line, '\t');
        if (f.empty())
            continue;
        if (f[0] == "recording") {
            if (sources.empty() || f.size() < 9)
                continue;
            Recording r;
            r.first = std::atoll(f[1].c_str());
            r.last = std::atoll(f[2].c_str());
            r.start = f[3];
            r.end = f[4];
            r.wide = f[5] == "16:9";
            r.timecodeIn = f[6];
            r.timecodeOut = f[7];
            r.title = f[8];
            sources.back().recordings.push_back(r);
            continue;
        }
        Source source;
        source.state = f[0];
        if (source.state == "ok" && f.size() >= 8) {
            source.frames = std::atoll(f[1].c_str());
            source.scale = std::atoll(f[2].c_str());
            source.sampleSize = std::atoll(f[3].c_str());
            source.width = std::atoi(f[4].c_str());
            source.height = std::atoi(f[5].c_str());
            source.created = f[6];
        } else if (source.state == "ok") {
            source.state = "failed";
            source.reason = "the renderer's answer is cut short";
        } else {
            source.reason = f.size() > 1 ? f[1] : "the renderer gave no reason";
            if (source.state != "refused")
                source.state = "failed";
        }
        sources.push_back(source);
    }
    while (sources.size() < inputs) {
        Source missing;
        missing.state = "failed";
        missing.reason = "the renderer said nothing of it";
        sources.push_back(missing);
    }
    return sources;
}

std::string SampleAspect(bool pal, bool wide) {
    if (pal)
        return wide ? "64/45" : "16/15";
    return wide ? "32/27" : "8/9";
}

} // namespace camtag::front
