#include "Recordings.h"

#include "dv/DvAviReader.h"
#include "timecode/TimecodeValue.h"

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
    return DaysFromCivil(t.wYear, t.wMonth, t.wDay) * 86400 + t.wHour * 3600 + t.wMinute * 60 +
           t.wSecond;
}

// A day of tape: 25 x 86400 labels, or at 29.97 30 x 86400, less the 2 labels dropped in 1296
// of the day's 1440 minutes when the tape counts drop-frame.
int64_t TimecodesPerDay(bool pal, bool nonDropFrame) {
    return pal ? 25LL * 86400 : nonDropFrame ? 30LL * 86400 : 30LL * 86400 - 2 * (1440 - 144);
}

// Whether `frame`, `distance` frames after `before`, goes on from it: its recording time does not
// go back nor jump more than 2 s beyond the time between them, its timecode is `distance` labels
// on (when both carry one). Their date validity is the caller's.
bool FollowsOn(const FrameFacts& before, const FrameFacts& frame, int64_t distance, uint32_t scale,
               uint32_t sampleSize, bool pal) {
    if (before.dated && frame.dated) {
        const int64_t step = Seconds(frame.when) - Seconds(before.when);
        // More than 2 s beyond the frames' time: step x scale > 2 x scale + distance x sampleSize.
        if (step < 0 || step * static_cast<int64_t>(scale) >
                            2 * static_cast<int64_t>(scale) + distance * sampleSize)
            return false;
    }
    if (before.hasTimecode && frame.hasTimecode) {
        // Labels of the two kinds count differently; a tape that changes kind was recorded anew.
        if (before.nonDropFrame != frame.nonDropFrame)
            return false;
        const int64_t timecodesPerDay = TimecodesPerDay(pal, frame.nonDropFrame);
        int64_t next = (static_cast<int64_t>(before.timecodeCount) + distance) % timecodesPerDay;
        if (static_cast<int64_t>(frame.timecodeCount) % timecodesPerDay != next)
            return false;
    }
    return true;
}

bool StartsRecording(const FrameFacts& before, const FrameFacts& frame, uint32_t scale,
                     uint32_t sampleSize, bool pal) {
    return before.dated != frame.dated || !FollowsOn(before, frame, 1, scale, sampleSize, pal);
}

// When frames[i] begins a run of at most kMaxDropout undated frames after a dated one, and the
// dated frame after the run goes on from the one before it (as do the run's own timecodes): the
// index of that frame. A dropout of the tape's packs, not a recording of its own. Else 0.
size_t DropoutEnd(const std::vector<FrameFacts>& frames, size_t i, uint32_t scale,
                  uint32_t sampleSize, bool pal) {
    if (i == 0 || !frames[i - 1].dated || frames[i].dated)
        return 0;
    size_t end = i;
    while (end < frames.size() && !frames[end].dated && end - i < kMaxDropout)
        ++end;
    if (end == frames.size() || !frames[end].dated)
        return 0;
    // Each timecode of the run and the frame after it against the last timecode before it.
    size_t last = i - 1;
    for (size_t k = i; k < end; ++k) {
        if (!frames[k].hasTimecode)
            continue;
        if (!FollowsOn(frames[last], frames[k], static_cast<int64_t>(k - last), scale, sampleSize,
                       pal))
            return 0;
        last = k;
    }
    if (!FollowsOn(frames[last], frames[end], static_cast<int64_t>(end - last), scale, sampleSize,
                   pal))
        return 0;
    return FollowsOn(frames[i - 1], frames[end], static_cast<int64_t>(end - (i - 1)), scale,
                     sampleSize, pal)
               ? end
               : 0;
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
    std::snprintf(facts.timecode, sizeof facts.timecode, "%02d:%02d:%02d%c%02d", tape.hours,
                  tape.minutes, tape.seconds, tape.separator, tape.frames);
    return facts;
}

std::vector<Recording> FindRecordings(const std::vector<FrameFacts>& frames, uint32_t firstFrame,
                                      uint32_t scale, uint32_t sampleSize, bool pal) {
    std::vector<Recording> out;
    size_t bridged = 0; // frames up to this one go on through a dropout
    for (size_t i = 0; i < frames.size(); ++i) {
        const FrameFacts& frame = frames[i];
        const uint32_t number = firstFrame + static_cast<uint32_t>(i);
        if (i > bridged)
            bridged = DropoutEnd(frames, i, scale, sampleSize, pal);
        if (i == 0 ||
            (i > bridged && StartsRecording(frames[i - 1], frame, scale, sampleSize, pal))) {
            Recording r;
            r.first = number;
            r.dated = frame.dated;
            r.start = frame.when;
            if (frame.hasTimecode)
                r.startTimecode = frame.timecode;
            out.push_back(r);
        }
        out.back().last = number;
        if (frame.dated == out.back().dated)
            out.back().end = frame.when;
    }
    return out;
}

const char kRewrittenDates[] =
    "every recording date is 1970-01-01: the camcorder's dates were probably overwritten by the "
    "program that wrote the file (ffmpeg -f dv does so); --set mode=timecode stamps timecodes "
    "instead";

std::string DateTimeText(const SYSTEMTIME& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond);
    return text;
}

std::string IsoDateTimeText(const SYSTEMTIME& t) {
    std::string text = DateTimeText(t);
    text[10] = 'T';
    return text;
}

} // namespace camtag
