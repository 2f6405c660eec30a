#include "text/OverlayText.h"

#include "dv/DvAviReader.h"
#include "text/TextRoutines.h"
#include "timecode/TimecodeValue.h"

#include <cstdint>
#include <cstring>

namespace camtag {

namespace {

constexpr size_t kPieceSize = 19; // one timecode with its prefix

// The project rate as the record holds it, when it can be counted with; a record made by a
// host that reported no rate (0 / 0) or a nonsensical one falls back to 25 frames per second
// instead of dividing by zero.
void SetProjectRate(TimecodeValue& v, uint32_t numerator, uint32_t denominator) {
    if (numerator == 0 || denominator == 0 || numerator > 1000000 || denominator > 1000000 ||
        numerator < denominator || numerator / denominator > 240) {
        v.SetRate(25.0);
        return;
    }
    v.SetRateRatio(static_cast<int>(numerator), static_cast<int>(denominator));
}

// Frame arithmetic in 64 bits, wrapped back to 32 like the host's own counters.
int FrameSum(int64_t value) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

void AppendPiece(char* out, size_t outSize, bool separatorFirst, const char* separator,
                 bool prefixed, const char* prefix, const char* text) {
    if (separatorFirst)
        AppendBounded(out, outSize, separator);
    char piece[kPieceSize] = "";
    if (prefixed)
        AppendBounded(piece, sizeof piece, prefix);
    AppendBounded(piece, sizeof piece, text);
    AppendBounded(out, outSize, piece);
}

} // namespace

void ComposeTimecodeText(const FilterSettings* settings, DvAviReader* reader, int sourceFrame,
                         FileNameToken fileName, char* out, size_t outSize) {
    if (!out || outSize == 0)
        return;
    out[0] = '\0';
    if (!settings)
        return;
    const FilterSettings& s = *settings;

    ExpandUserText(s.title, s.sourcePath, fileName, out, outSize);

    const int32_t mode = s.timecodemode;
    // The tape timecode; a frame without a timecode pack leaves it at zero. Only the timecode
    // is asked for: a tape without dates must not send the reader looking for them.
    TimecodeValue tape;
    if (s.dvSource) {
        if (!reader || !reader->isOpen)
            return;
        if (sourceFrame >= 0 && (mode & kTimecodeTape))
            reader->DecodeFrame(static_cast<uint32_t>(sourceFrame), nullptr, &tape);
    }

    const int style = (mode >> 4) & 3;
    const bool prefixed = (s.flags & kFlagShowPrefix) != 0;
    const char* separator = s.lines == 1 ? "  " : "\n";

    TimecodeValue v;
    v.showFrames = (s.flags & kFlagShowFrames) ? 1 : 0;
    v.showHours = (s.flags & kFlagShowHours) ? 1 : 0;
    SetProjectRate(v, s.projectRateNumerator, s.projectRateDenominator);
    v.SetFromPacked(s.timecodestart);
    const int64_t start = v.frameCount;

    char text[kPieceSize];
    if (mode & kTimecodeTimeline) {
        v.SetFrames(
            FrameSum(start + sourceFrame - static_cast<int64_t>(s.startFrame) + s.timelineOffset));
        v.Format(text, sizeof text, style);
        AppendPiece(out, outSize, false, separator, prefixed, "TL#", text);
    }
    if (mode & kTimecodeClip) {
        v.SetFrames(FrameSum(start + sourceFrame - static_cast<int64_t>(s.startFrame)));
        v.Format(text, sizeof text, style);
        AppendPiece(out, outSize, (mode & kTimecodeTimeline) != 0, separator, prefixed, "CL#",
                    text);
    }
    if (mode & kTimecodeSourceFile) {
        v.SetFrames(sourceFrame);
        v.Format(text, sizeof text, style);
        AppendPiece(out, outSize, (mode & (kTimecodeTimeline | kTimecodeClip)) != 0, separator,
                    prefixed, "FL#", text);
    }
    if (mode & kTimecodeTape) {
        tape.showFrames = (s.flags & kFlagShowFrames) ? 1 : 0;
        tape.showHours = (s.flags & kFlagShowHours) ? 1 : 0;
        tape.Format(text, sizeof text, 0);
        AppendPiece(out, outSize,
                    (mode & (kTimecodeTimeline | kTimecodeClip | kTimecodeSourceFile)) != 0,
                    separator, prefixed, "TP#", text);
    }
}

} // namespace camtag
