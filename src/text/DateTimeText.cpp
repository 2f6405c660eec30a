#include "text/OverlayText.h"

#include "settings/FormatLists.h"
#include "text/RecordingDateTime.h"
#include "text/TextRoutines.h"

#include <cstdio>
#include <cstring>

namespace camtag {

namespace {

constexpr size_t kPartSize = 50; // one formatted time or date
constexpr size_t kPictureSize = kPartSize + 1;

// The picture of a slot, terminated even when the slot is filled to its last byte.
void SlotPicture(const FormatList& list, uint32_t index, char* out, size_t outSize) {
    char slot[kFormatSlotSize + 1];
    memcpy(slot, list.slots[index], kFormatSlotSize);
    slot[kFormatSlotSize] = '\0';
    CopyBounded(out, outSize, slot);
}

} // namespace

void ExpandMinuteTokens(const char* picture, const SYSTEMTIME& t, char* out, size_t outSize) {
    if (!out || outSize == 0)
        return;
    out[0] = '\0';
    if (!picture)
        return;
    size_t limit = outSize - 1 < kPartSize ? outSize - 1 : kPartSize;
    int minutes = t.wHour * 60 + t.wMinute;
    size_t used = 0;
    for (const char* p = picture; *p && used < limit;) {
        char token[24];
        token[0] = '\0';
        if (p[0] == '%' && p[1] == '9') {
            if (minutes <= 90)
                snprintf(token, sizeof token, "%02d", minutes);
            else
                snprintf(token, sizeof token, "90+%02d", minutes - 90);
            p += 2;
        } else if (p[0] == '%' && p[1] == '#' && p[2] == '9') {
            if (minutes <= 90)
                snprintf(token, sizeof token, "%d", minutes);
            else
                snprintf(token, sizeof token, "90+%d", minutes - 90);
            p += 3;
        } else {
            out[used++] = *p++;
            continue;
        }
        for (const char* q = token; *q && used < limit; ++q)
            out[used++] = *q;
    }
    out[used] = '\0';
}

void ComposeDateTimeText(const FilterSettings* settings, SYSTEMTIME t, FileNameToken fileName,
                         char* out, size_t outSize) {
    if (!out || outSize == 0)
        return;
    out[0] = '\0';
    if (!settings)
        return;
    const FilterSettings& s = *settings;

    ApplyAdjustment(&t, s.timeadjust, s.dateadjust);

    ExpandUserText(s.title, s.sourcePath, fileName, out, outSize);

    uint32_t timeIndex = ClampFormatIndex(timeFormats, s.timeformat);
    uint32_t dateIndex = ClampFormatIndex(dateFormats, s.dateformat);

    char timeText[kPartSize] = "";
    char dateText[kPartSize] = "";
    if (timeIndex != 0) {
        char slot[kPictureSize];
        char picture[kPictureSize];
        SlotPicture(timeFormats, timeIndex, slot, sizeof slot);
        ExpandMinuteTokens(slot, t, picture, sizeof picture);
        if (GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &t, picture, timeText, sizeof timeText) == 0)
            timeText[0] = '\0';
    }
    if (dateIndex != 0) {
        char picture[kPictureSize];
        SlotPicture(dateFormats, dateIndex, picture, sizeof picture);
        if (GetDateFormatA(LOCALE_USER_DEFAULT, 0, &t, picture, dateText, sizeof dateText) == 0)
            dateText[0] = '\0';
    }

    const char* separator = s.lines == 1 ? "   " : "\n";
    const char* first = s.timeup ? timeText : dateText;
    const char* second = s.timeup ? dateText : timeText;
    bool showFirst = (s.timeup ? timeIndex : dateIndex) != 0;
    bool showSecond = (s.timeup ? dateIndex : timeIndex) != 0;

    // The first part follows the user's text directly (a user who wants a break ends the
    // text with \n); the separator stands only between two parts.
    bool firstShown = showFirst && first[0] != '\0';
    if (firstShown)
        AppendBounded(out, outSize, first);
    if (showSecond) {
        if (firstShown)
            AppendBounded(out, outSize, separator);
        AppendBounded(out, outSize, second);
    }
}

} // namespace camtag
