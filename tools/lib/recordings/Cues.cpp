#include "Cues.h"

#include <cstdio>

namespace camtag {

namespace {

// "HH:MM:SS,mmm" (SRT) or "HH:MM:SS.mmm" (WebVTT); hours grow beyond two digits if they must.
std::string Stamp(int64_t ms, char mark) {
    char text[48];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld%c%03lld",
                  static_cast<long long>(ms / 3600000), static_cast<long long>(ms / 60000 % 60),
                  static_cast<long long>(ms / 1000 % 60), mark, static_cast<long long>(ms % 1000));
    return text;
}

// The cue's lines without empty ones: an empty line ends a cue in both formats.
std::string CueLines(const std::string& text, bool vtt) {
    std::string out;
    std::string line;
    auto flush = [&] {
        if (line.empty())
            return;
        if (!out.empty())
            out += '\n';
        out += line;
        line.clear();
    };
    for (char c : text) {
        if (c == '\n') {
            flush();
        } else if (c == '\r') {
            continue;
        } else if (vtt && c == '&') {
            line += "&amp;";
        } else if (vtt && c == '<') {
            line += "&lt;";
        } else if (vtt && c == '>') {
            line += "&gt;"; // "-->" cannot stand in a WebVTT cue
        } else {
            line += c;
        }
    }
    flush();
    return out;
}

std::string Write(const std::vector<Cue>& cues, uint32_t scale, uint32_t sampleSize, bool vtt) {
    std::string out = vtt ? "WEBVTT\n\n" : "";
    size_t number = 0;
    for (const Cue& cue : cues) {
        const std::string lines = CueLines(cue.text, vtt);
        if (lines.empty())
            continue;
        ++number;
        if (!vtt)
            out += std::to_string(number) + "\n";
        const char mark = vtt ? '.' : ',';
        out += Stamp(FrameMilliseconds(cue.first, scale, sampleSize), mark) + " --> " +
               Stamp(FrameMilliseconds(cue.end, scale, sampleSize), mark) + "\n" + lines + "\n\n";
    }
    return out;
}

} // namespace

int64_t FrameMilliseconds(uint64_t n, uint32_t scale, uint32_t sampleSize) {
    if (scale == 0)
        return 0;
    // Exact in 64 bits for any frame count of a file (below 2^31) and sample size (below 2^16).
    return static_cast<int64_t>(n * sampleSize * 1000 / scale);
}

void CueBuilder::Add(const std::string& text) {
    const uint64_t frame = frames_++;
    if (isOpen_ && text == open_.text) {
        open_.end = frame + 1;
        return;
    }
    if (isOpen_)
        done_.push_back(open_);
    isOpen_ = !text.empty();
    if (isOpen_)
        open_ = Cue{frame, frame + 1, text};
}

std::vector<Cue> CueBuilder::Cues() const {
    std::vector<Cue> out = done_;
    if (isOpen_)
        out.push_back(open_);
    return out;
}

std::string SrtText(const std::vector<Cue>& cues, uint32_t scale, uint32_t sampleSize) {
    return Write(cues, scale, sampleSize, false);
}

std::string VttText(const std::vector<Cue>& cues, uint32_t scale, uint32_t sampleSize) {
    return Write(cues, scale, sampleSize, true);
}

} // namespace camtag
