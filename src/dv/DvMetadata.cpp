// Recording date, time and tape timecode out of one DIF sequence of a DV frame.
#include "dv/DvAviReader.h"

#include "text/TimecodeValue.h"

#include <cstring>
#include <ctime>

namespace camtag {

namespace {

// Sequence 6 lies in the second half of the frame in both systems (10 or 12 sequences).
constexpr int kMetadataSequence = 6;
// VAUX block 5, packs 11 and 12: bytes 2..4 of the recording date and time packs.
constexpr size_t kVauxDate = 460;
constexpr size_t kVauxTime = 465;
// First subcode block: the pack of sync block k starts at 86 + 8k.
constexpr size_t kSsybPack = 86;
constexpr int kSsybCount = 6;

constexpr uint8_t kPackTimecode = 0x13;
// In the frames byte of a timecode pack: the label counts drop-frame (525/60 only).
constexpr uint8_t kDropFrameFlag = 0x40;
constexpr uint8_t kPackDate = 0x62;
constexpr uint8_t kPackTime = 0x63;

int Bcd(uint8_t byte, uint8_t tensMask) { return ((byte >> 4) & tensMask) * 10 + (byte & 0x0F); }

struct Date {
    int day, month, year;
};
struct Clock {
    int hour, minute, second;
};

// p is the start of a 5-byte pack; bytes 2, 3, 4 of a date pack: day, month, two-digit year.
Date DecodeDate(const uint8_t* p) {
    const int twoDigit = Bcd(p[4], 0x0F);
    return {Bcd(p[2], 0x03), Bcd(p[3], 0x01), twoDigit < 70 ? 2000 + twoDigit : 1900 + twoDigit};
}

// Bytes 2, 3, 4 of a time pack: seconds, minutes, hours.
Clock DecodeClock(const uint8_t* p) { return {Bcd(p[4], 0x03), Bcd(p[3], 0x07), Bcd(p[2], 0x07)}; }

} // namespace

int IsValidRecordingDate(int day, int month, int year) {
    if (day < 1 || day > 31 || month < 1 || month > 12 || year < 1970 || year > 2222)
        return 0;
    struct tm t;
    memset(&t, 0, sizeof t);
    t.tm_mday = day;
    t.tm_mon = month - 1;
    t.tm_year = year - 1900;
    t.tm_isdst = 0;
    if (_mktime64(&t) == -1)
        return 0;
    return t.tm_mday == day && t.tm_mon == month - 1 && t.tm_year == year - 1900;
}

int IsValidRecordingTime(int hour, int minute, int second) {
    return static_cast<unsigned>(hour) <= 23 && static_cast<unsigned>(minute) <= 59 &&
           static_cast<unsigned>(second) <= 59;
}

int DvAviReader::DecodeFrame(uint32_t frame, DvFrameInfo* info, TimecodeValue* timecode, int* hasTimecode) {
    if (hasTimecode)
        *hasTimecode = 0;
    if (!isOpen || !IsFileOpen() || frame >= frameCount)
        return 0;
    const uint8_t* seq = ReadSequence(frame, kMetadataSequence);
    if (!seq)
        return 0;

    if (timecode) {
        timecode->SetRate(isPal == 1 ? 25.0 : 29.97);
        timecode->SetSeconds(0.0);
    }

    Date date = DecodeDate(seq + kVauxDate - 2);
    bool dateValid = IsValidRecordingDate(date.day, date.month, date.year) != 0;
    Clock clock = DecodeClock(seq + kVauxTime - 2);
    bool timeValid = IsValidRecordingTime(clock.hour, clock.minute, clock.second) != 0;
    bool timecodeFound = false;

    for (int k = 0; k < kSsybCount; ++k) {
        if (dateValid && timeValid && (timecodeFound || !timecode))
            break;
        const uint8_t* pack = seq + kSsybPack + 8 * k;
        switch (pack[0]) {
        case kPackTimecode:
            if (timecode && !timecodeFound) {
                // A tape counted without dropping is shown and counted as it holds its labels;
                // a refused pack leaves the value as it was for the next one.
                TimecodeValue label = *timecode;
                if (isPal != 1 && !(pack[1] & kDropFrameFlag))
                    label.SetNonDropFrame();
                timecodeFound = label.SetTimecode(Bcd(pack[4], 0x03), Bcd(pack[3], 0x07), Bcd(pack[2], 0x07),
                                                  Bcd(pack[1], 0x03)) != 0;
                if (timecodeFound)
                    *timecode = label;
            }
            break;
        case kPackDate:
            if (!dateValid) {
                date = DecodeDate(pack);
                dateValid = IsValidRecordingDate(date.day, date.month, date.year) != 0;
            }
            break;
        case kPackTime:
            if (!timeValid) {
                clock = DecodeClock(pack);
                timeValid = IsValidRecordingTime(clock.hour, clock.minute, clock.second) != 0;
            }
            break;
        default:
            break;
        }
    }

    if (hasTimecode)
        *hasTimecode = timecodeFound ? 1 : 0;
    if (!info)
        return 0;
    if (!dateValid || !timeValid) {
        memset(info, 0, sizeof *info);
        return 0;
    }
    info->second = clock.second;
    info->minute = clock.minute;
    info->hour = clock.hour;
    info->day = date.day;
    info->month = date.month - 1;
    info->year = date.year - 1900;
    info->weekday = -1;
    info->dayOfYear = -1;
    info->isDst = -1;
    return 1;
}

int DvAviReader::GetRecordingTime(uint32_t frame, SYSTEMTIME* out, TimecodeValue* timecode, int* hasTimecode) {
    DvFrameInfo info;
    if (!DecodeFrame(frame, &info, timecode, hasTimecode) || !out)
        return 0;
    out->wYear = static_cast<WORD>(info.year + 1900);
    out->wMonth = static_cast<WORD>(info.month + 1);
    out->wDayOfWeek = static_cast<WORD>(info.weekday);
    out->wDay = static_cast<WORD>(info.day);
    out->wHour = static_cast<WORD>(info.hour);
    out->wMinute = static_cast<WORD>(info.minute);
    out->wSecond = static_cast<WORD>(info.second);
    out->wMilliseconds = 0;
    return 1;
}

} // namespace camtag
