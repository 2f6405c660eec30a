#include "settings/FormatLists.h"

#include "settings/SettingsStore.h"

#include <cstdio>
#include <cstring>

namespace camtag {

FormatList dateFormats = {{" ", "dd.MM.yy"}, 2};
FormatList timeFormats = {{" ", "HH':'mm':'ss"}, 2};

namespace {

void LoadList(FormatList& list, const char* nameFormat, const char* builtIn) {
    memset(list.slots, 0, sizeof list.slots);
    list.slots[0][0] = ' ';
    snprintf(list.slots[1], kFormatSlotSize, "%s", builtIn);
    list.count = 2;
    // Empty or missing values leave no gap: the pictures found fill slots 2 onward in order.
    for (int n = 2; n <= 6; ++n) {
        char name[16];
        snprintf(name, sizeof name, nameFormat, n);
        char picture[kFormatReadSize];
        SettingsStore::ReadString(name, picture, sizeof picture, "");
        if (picture[0] == '\0')
            continue;
        snprintf(list.slots[list.count], kFormatSlotSize, "%s", picture);
        ++list.count;
    }
}

void WriteList(const FormatList& list, const char* nameFormat) {
    uint32_t count = UsableCount(list);
    for (uint32_t s = 2; s < count; ++s) {
        char name[16];
        snprintf(name, sizeof name, nameFormat, static_cast<int>(s));
        // A slot filled to its last byte has no terminator: store at most 29 characters.
        char picture[kFormatSlotSize];
        size_t n = strnlen(list.slots[s], kFormatSlotSize - 1);
        memcpy(picture, list.slots[s], n);
        picture[n] = '\0';
        SettingsStore::WriteString(name, picture);
    }
}

} // namespace

SYSTEMTIME PictureSampleMoment() {
    SYSTEMTIME t{};
    t.wYear = 2002;
    t.wMonth = 5;
    t.wDayOfWeek = 2; // 7 May 2002 was a Tuesday
    t.wDay = 7;
    t.wHour = 9;
    t.wMinute = 3;
    t.wSecond = 7;
    return t;
}

bool FormatPictureSample(const char* picture, bool isTime, char (&out)[kFormattedChars]) {
    const SYSTEMTIME sample = PictureSampleMoment();
    out[0] = '\0';
    const int written =
        isTime ? GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &sample, picture, out, kFormattedChars)
               : GetDateFormatA(LOCALE_USER_DEFAULT, 0, &sample, picture, out, kFormattedChars);
    if (written == 0)
        out[0] = '\0';
    return written != 0;
}

uint32_t UsableCount(const FormatList& list) {
    if (list.count < 1)
        return 1;
    return list.count > kFormatSlots ? kFormatSlots : list.count;
}

uint32_t ClampFormatIndex(const FormatList& list, uint32_t index) {
    uint32_t last = UsableCount(list) - 1;
    return index >= last ? last : index;
}

void ClampPictureIndexes(FilterSettings& settings) {
    settings.timeformat = ClampFormatIndex(timeFormats, settings.timeformat);
    settings.dateformat = ClampFormatIndex(dateFormats, settings.dateformat);
}

void LoadFormatLists() {
    LoadList(dateFormats, "df%02d", kBuiltInDatePicture);
    LoadList(timeFormats, "tf%02d", kBuiltInTimePicture);
}

void SaveFormatLists() {
    for (int n = 2; n <= 6; ++n) {
        char name[16];
        snprintf(name, sizeof name, "df%02d", n);
        SettingsStore::DeleteValue(name);
        snprintf(name, sizeof name, "tf%02d", n);
        SettingsStore::DeleteValue(name);
    }
    WriteList(dateFormats, "df%02d");
    WriteList(timeFormats, "tf%02d");
}

} // namespace camtag
