#include "Recordings.h"

#include "dv/DvAviReader.h"
#include "text/TimecodeValue.h"

#include <cstdio>

namespace camtag {

namespace {

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

int64_t Seconds(const SYSTEMTIME& t) {
    return DaysFromCivil(t.wYear, t.wMonth, t.wDay) * 86400 + t.wHour * 3600 + t.wMinute * 60 + t.wSecond;
}

// A day of tape: 25 x 86400 labels, or at 29.97 30 x 86400, less the 2 labels dropped in 1296
// of the day's 1440 minutes when the tape counts drop-frame.
int64_t TimecodesPerDay(bool pal, bool nonDropFrame) {
    return pal ? 25LL * 86400 : nonDropFrame ? 30LL * 86400 : 30LL * 86400 - 2 * (1440 - 144);
}

bool StartsRecording(const FrameFacts& before, const FrameFacts& frame, uint32_t scale, uint32_t sampleSize,
                     bool pal) {
    if (before.dated != frame.dated) return true;
    if (frame.dated) {
        const int64_t step = Seconds(frame.when) - Seconds(before.when);
        // More than 2 s beyond one frame's time: step x scale > 2 x scale + sampleSize.
        if (step < 0 || step * static_cast<int64_t>(scale) > 2 * static_cast<int64_t>(scale) + sampleSize) return true;
    }
    if (before.hasTimecode && frame.hasTimecode) {
        // Labels of the two kinds count differently; a tape that changes kind was recorded anew.
        if (before.nonDropFrame != frame.nonDropFrame) return true;
        const int64_t timecodesPerDay = TimecodesPerDay(pal, frame.nonDropFrame);
        int64_t next = (static_cast<int64_t>(before.timecodeCount) + 1) % timecodesPerDay;
        if (static_cast<int64_t>(frame.timecodeCount) % timecodesPerDay != next) return true;
    }
    return false;
}

} // namespace

FrameFacts ReadFrameFacts(DvAviReader& reader, uint32_t frame) {
    FrameFacts facts;
    TimecodeValue tape;
    int hasTimecode = 0;
    reader.lastError = 0;
    facts.dated = reader.GetRecordingTime(frame, &facts.when, &tape, &hasTimecode) != 0;
    facts.readable = facts.dated || reader.lastError == 0;
    facts.hasTimecode = hasTimecode != 0;
    facts.timecodeCount = tape.frameCount;
    facts.nonDropFrame = tape.nonDropFrame != 0;
    std::snprintf(facts.timecode, sizeof facts.timecode, "%02d:%02d:%02d%c%02d", tape.hours, tape.minutes, tape.seconds,
                  tape.separator, tape.frames);
    return facts;
}

std::vector<Recording> FindRecordings(const std::vector<FrameFacts>& frames, uint32_t firstFrame, uint32_t scale,
                                      uint32_t sampleSize, bool pal) {
    std::vector<Recording> out;
    for (size_t i = 0; i < frames.size(); ++i) {
        const FrameFacts& frame = frames[i];
        const uint32_t number = firstFrame + static_cast<uint32_t>(i);
        if (i == 0 || StartsRecording(frames[i - 1], frame, scale, sampleSize, pal)) {
            Recording r;
            r.first = number;
            r.dated = frame.dated;
            r.start = frame.when;
            if (frame.hasTimecode) r.startTimecode = frame.timecode;
            out.push_back(r);
        }
        out.back().last = number;
        out.back().end = frame.when;
    }
    return out;
}

std::string DateTimeText(const SYSTEMTIME& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    return text;
}

std::string IsoDateTimeText(const SYSTEMTIME& t) {
    std::string text = DateTimeText(t);
    text[10] = 'T';
    return text;
}

} // namespace camtag
