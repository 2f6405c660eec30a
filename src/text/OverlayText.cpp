#include "text/OverlayText.h"

namespace camtag {

void ComposeOverlayText(const FilterSettings& settings, const SYSTEMTIME* recorded,
                        DvAviReader* reader, int sourceFrame, FileNameToken fileName, char* out,
                        size_t outSize) {
    if (out && outSize > 0)
        out[0] = '\0';
    if (settings.mode == kModeDateTime) {
        if (recorded)
            ComposeDateTimeText(&settings, *recorded, fileName, out, outSize);
    } else if (settings.mode == kModeTimecode) {
        ComposeTimecodeText(&settings, reader, sourceFrame, fileName, out, outSize);
    }
}

} // namespace camtag
