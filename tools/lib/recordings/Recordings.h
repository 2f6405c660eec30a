// The recordings of a DV tape: what each frame says (recording date and time, tape timecode),
// and where one recording ends and the next begins.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace camtag {

class DvAviReader;

struct FrameFacts {
    bool readable = true; // false: the frame's data could not be read (a cut or damaged file)
    bool dated = false;   // a valid recording date and time
    SYSTEMTIME when{};    // when dated
    bool hasTimecode = false;
    int32_t timecodeCount = 0; // the tape timecode as a frame count (drop-frame counted at 29.97)
    char timecode[16] = "";    // SMPTE: ':' throughout, ';' before the frames of a drop-frame label
    bool nonDropFrame = false; // a 29.97 label counted without dropping, as the tape flags it
};

// One frame of an open reader. A frame whose data cannot be read is undated and not readable.
FrameFacts ReadFrameFacts(DvAviReader& reader, uint32_t frame);

struct Recording {
    uint32_t first = 0; // frame numbers, inclusive
    uint32_t last = 0;
    bool dated = false;
    SYSTEMTIME start{}; // the first and last frame's recording date and time, when dated
    SYSTEMTIME end{};
    std::string startTimecode; // empty when the first frame has none
};

// The longest run of undated frames that a recording goes on through: packs lost to a dropout.
constexpr size_t kMaxDropout = 5;

// Where a new recording begins: at a frame whose recording time goes back, or jumps forward by
// more than 2 seconds beyond the time elapsed since the frame before; whose date becomes valid
// or invalid; or whose tape timecode does not follow the frame before's (both carrying one, of
// the same kind). Except through a dropout: at most kMaxDropout undated frames between two dated
// frames that go on from each other by those rules, across the run (its timecodes too). frames[0]
// is frame `firstFrame`; the frame rate is scale / sampleSize (25/1 or 30000/1001), the timecode
// counts at 25 or 29.97 (drop-frame, or not as a frame says) per second, as `pal` says.
std::vector<Recording> FindRecordings(const std::vector<FrameFacts>& frames, uint32_t firstFrame,
                                      uint32_t scale, uint32_t sampleSize, bool pal);

// Whether a clip's recording dates were written by software rather than the camcorder: ffmpeg's
// DV muxer (-f dv) gives every frame the file's creation time, or 1970-01-01 without one.
class RewrittenDates {
public:
    void Add(const FrameFacts& frame) {
        if (!frame.dated)
            return;
        dated_ = true;
        epoch_ =
            epoch_ && frame.when.wYear == 1970 && frame.when.wMonth == 1 && frame.when.wDay == 1;
    }
    // Some frame is dated, and all dated frames fall on 1970-01-01.
    bool Likely() const { return dated_ && epoch_; }

private:
    bool dated_ = false;
    bool epoch_ = true;
};
extern const char kRewrittenDates[];

// "2024-07-08 19:55:58"
std::string DateTimeText(const SYSTEMTIME& t);
// "2024-07-08T19:55:58"
std::string IsoDateTimeText(const SYSTEMTIME& t);

} // namespace camtag
