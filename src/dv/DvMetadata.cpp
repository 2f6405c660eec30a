// Recording date, time and tape timecode out of one DIF sequence of a DV frame.
#include "dv/DvAviReader.h"

#include "timecode/TimecodeValue.h"

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

int Bcd(uint8_t byte, uint8_t tensMask) {
    return ((byte >> 4) & tensMask) * 10 + (byte & 0x0F);
}

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
Clock DecodeClock(const uint8_t* p) {
    return {Bcd(p[4], 0x03), Bcd(p[3], 0x07), Bcd(p[2], 0x07)};
}

// Where the other DIF sequences of a frame repeat the packs: both subcode blocks (6 sync blocks
// each) and all 45 VAUX packs. Camcorders put the VAUX date and time at different places in
// even and odd sequences; other writers elsewhere again, so the packs are found by their id.
constexpr size_t kSubcodeBlock = 80;
constexpr int kSubcodeBlocks = 2;
constexpr size_t kVauxBlock = 240;
constexpr int kVauxPacks = 45;
constexpr size_t kSsybInBlock = 6;

// Values read from the other sequences, each with the number of sequences that hold it. A
// dropout leaves 0xFF (no pack id); what bit errors make of a pack is one more value, held by few.
// Only badly damaged packs give more values than it holds; those beyond are left out.
class Tally {
public:
    void Add(uint32_t key) {
        for (int i = 0; i < used_; ++i)
            if (keys_[i] == key) {
                ++counts_[i];
                return;
            }
        if (used_ < kCapacity) {
            keys_[used_] = key;
            counts_[used_++] = 1;
        }
    }
    // One vote for each value of one sequence, however many of its packs carry it.
    void AddEach(const Tally& sequence) {
        for (int i = 0; i < sequence.used_; ++i)
            Add(sequence.keys_[i]);
    }
    // The values by decreasing count, the first seen first among equals, until accept takes one.
    template <typename Accept> bool Pick(Accept accept) {
        for (;;) {
            int best = -1;
            for (int i = 0; i < used_; ++i)
                if (counts_[i] > 0 && (best < 0 || counts_[i] > counts_[best]))
                    best = i;
            if (best < 0)
                return false;
            if (accept(keys_[best]))
                return true;
            counts_[best] = 0;
        }
    }

private:
    static constexpr int kCapacity = 16;
    uint32_t keys_[kCapacity];
    int counts_[kCapacity];
    int used_ = 0;
};

uint32_t Key(int a, int b, int c) {
    return static_cast<uint32_t>(a) | static_cast<uint32_t>(b) << 8 |
           static_cast<uint32_t>(c) << 16;
}
int KeyPart(uint32_t key, int part) {
    return static_cast<int>((key >> (8 * part)) & 0xFF);
}

// What sequence 6 left open, and the values of the other sequences for it.
struct Votes {
    bool date = false, time = false, timecode = false; // the values still wanted
    Tally dates, clocks, timecodes;

    void AddDate(const uint8_t* p) {
        const Date d = DecodeDate(p);
        // Years are kept as years since 1970, which fits a key byte; the full check comes last.
        if (date && d.day >= 1 && d.day <= 31 && d.month >= 1 && d.month <= 12)
            dates.Add(Key(d.day, d.month, d.year - 1970));
    }
    void AddTime(const uint8_t* p) {
        const Clock c = DecodeClock(p);
        if (time && IsValidRecordingTime(c.hour, c.minute, c.second))
            clocks.Add(Key(c.second, c.minute, c.hour));
    }
    void AddTimecode(const uint8_t* p, bool pal) {
        const int f = Bcd(p[1], 0x03), s = Bcd(p[2], 0x07), m = Bcd(p[3], 0x07),
                  h = Bcd(p[4], 0x03);
        const bool nonDrop = !pal && !(p[1] & kDropFrameFlag);
        if (timecode && m <= 59 && s <= 59 && f <= 30)
            timecodes.Add(Key(f, s, m) | static_cast<uint32_t>(h) << 24 |
                          (nonDrop ? 0x80000000u : 0));
    }
    // The packs of one sequence.
    void Read(const uint8_t* seq, bool pal) {
        for (int b = 0; b < kSubcodeBlocks; ++b)
            for (size_t k = 0; k < kSsybInBlock; ++k) {
                const uint8_t* pack = seq + kSubcodeBlock * (b + 1) + 6 + 8 * k;
                if (pack[0] == kPackTimecode)
                    AddTimecode(pack, pal);
                else if (pack[0] == kPackDate)
                    AddDate(pack);
                else if (pack[0] == kPackTime)
                    AddTime(pack);
            }
        for (int p = 0; p < kVauxPacks; ++p) {
            const uint8_t* pack = seq + kVauxBlock + kSubcodeBlock * (p / 15) + 3 + 5 * (p % 15);
            if (pack[0] == kPackDate)
                AddDate(pack);
            else if (pack[0] == kPackTime)
                AddTime(pack);
        }
    }
};

// Reads every other DIF sequence of the frame into the votes. Sequences the frame's data does
// not hold (a short chunk) are skipped; their failure is not the frame's.
void ReadOtherSequences(DvAviReader& reader, uint32_t frame, Votes& votes) {
    const int error = reader.lastError;
    const int sequences = reader.isPal == 1 ? 12 : 10;
    for (int n = 0; n < sequences; ++n) {
        const uint8_t* seq = n == kMetadataSequence ? nullptr : reader.ReadSequence(frame, n);
        if (!seq)
            continue;
        Votes one;
        one.date = votes.date;
        one.time = votes.time;
        one.timecode = votes.timecode;
        one.Read(seq, reader.isPal == 1);
        votes.dates.AddEach(one.dates);
        votes.clocks.AddEach(one.clocks);
        votes.timecodes.AddEach(one.timecodes);
    }
    reader.lastError = error;
}

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

int DvAviReader::DecodeFrame(uint32_t frame, DvFrameInfo* info, TimecodeValue* timecode,
                             int* hasTimecode) {
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
                timecodeFound = label.SetTimecode(Bcd(pack[4], 0x03), Bcd(pack[3], 0x07),
                                                  Bcd(pack[2], 0x07), Bcd(pack[1], 0x03)) != 0;
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

    // Sequence 6 is all an intact frame needs; a dropout there is made good from the copies the
    // other sequences hold. The date and time are looked for only when the caller takes them.
    Votes votes;
    votes.date = info && !dateValid;
    votes.time = info && !timeValid;
    votes.timecode = timecode && !timecodeFound;
    if (votes.date || votes.time || votes.timecode) {
        ReadOtherSequences(*this, frame, votes);
        if (votes.date)
            dateValid = votes.dates.Pick([&](uint32_t key) {
                date = {KeyPart(key, 0), KeyPart(key, 1), KeyPart(key, 2) + 1970};
                return IsValidRecordingDate(date.day, date.month, date.year) != 0;
            });
        if (votes.time)
            timeValid = votes.clocks.Pick([&](uint32_t key) {
                clock = {KeyPart(key, 2), KeyPart(key, 1), KeyPart(key, 0)};
                return true;
            });
        if (votes.timecode)
            timecodeFound = votes.timecodes.Pick([&](uint32_t key) {
                TimecodeValue label = *timecode;
                if (key & 0x80000000u)
                    label.SetNonDropFrame();
                if (!label.SetTimecode(KeyPart(key, 3) & 0x3F, KeyPart(key, 2), KeyPart(key, 1),
                                       KeyPart(key, 0)))
                    return false;
                *timecode = label;
                return true;
            });
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

int DvAviReader::GetRecordingTime(uint32_t frame, SYSTEMTIME* out, TimecodeValue* timecode,
                                  int* hasTimecode) {
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
