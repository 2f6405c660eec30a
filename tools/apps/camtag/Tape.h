// A tape as the renderer's probe sees it: its frames, its rate, and its recordings with their
// dates, aspect, timecodes and chapter titles.
#pragma once

#include <string>
#include <vector>

namespace camtag::front {

struct Recording {
    long long first = 0, last = 0;       // frame numbers, inclusive
    std::string start, end;              // YYYY-MM-DDTHH:MM:SS as the look adjusts them, or "-"
    bool wide = false;                   // 16:9
    std::string timecodeIn, timecodeOut; // or "-"
    std::string title;                   // the start as the stamp writes it: a chapter's title
    bool dated() const { return start != "-"; }
};

struct Source {
    std::string state; // ok, refused, failed
    std::string reason;
    long long frames = 0;
    long long scale = 0, sampleSize = 0;
    int width = 0, height = 0;
    std::string created; // YYYY-MM-DDTHH:MM:SS or "-"
    std::vector<Recording> recordings;
    bool pal() const { return scale == 25; }
};

// What camtag-render --probe printed: one Source per input, in order (missing ones failed).
std::vector<Source> ParseProbe(const std::string& out, size_t inputs);

// The pixel shape DV gives each TV system and aspect (as ffmpeg's DV decoder sets it).
std::string SampleAspect(bool pal, bool wide);

} // namespace camtag::front
