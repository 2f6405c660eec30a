#include "FuzzTargets.h"

#include "DvAviWriter.h"
#include "dv/DvAviReader.h"
#include "host/ModuleState.h"
#include "settings/FilterSettings.h"
#include "settings/FormatLists.h"
#include "text/OverlayText.h"
#include "text/TextRoutines.h"
#include "timecode/TimecodeValue.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace camtag::fuzz {

namespace {

void Check(bool ok, const char* what) {
    if (!ok)
        ReportFinding(what);
}

// Terminated within its size: nothing was written past it unterminated.
bool Terminated(const char* text, size_t size) {
    return size > 0 && strnlen(text, size) < size;
}

void CheckTimecodeText(const TimecodeValue& value) {
    Check(value.hours >= 0 && value.hours <= 23 && value.minutes >= 0 && value.minutes <= 59 &&
              value.seconds >= 0 && value.seconds <= 59 && value.frames >= 0 && value.frames < 30,
          "timecode fields out of range");
    for (int style = -1; style <= 3; ++style) {
        for (size_t size : {1u, 5u, 12u, 32u}) {
            std::unique_ptr<char[]> text(new char[size]);
            value.Format(text.get(), size, style);
            Check(Terminated(text.get(), size), "timecode text not terminated within its buffer");
        }
    }
}

// Date and time as DecodeFrame delivers them must be a valid recording date and time.
void CheckDecoded(const DvFrameInfo& info) {
    Check(IsValidRecordingDate(info.day, info.month + 1, info.year + 1900) != 0,
          "decoded date is not valid");
    Check(IsValidRecordingTime(info.hour, info.minute, info.second) != 0,
          "decoded time is not valid");
}

// Every way of asking for a frame's date, time and timecode must agree.
void DecodeEveryWay(DvAviReader& reader, uint32_t frame) {
    DvFrameInfo withTimecode;
    DvFrameInfo without;
    memset(&withTimecode, 0x55, sizeof withTimecode);
    memset(&without, 0x55, sizeof without);
    TimecodeValue timecode;
    const int a = reader.DecodeFrame(frame, &withTimecode, &timecode);
    const int b = reader.DecodeFrame(frame, &without, nullptr);
    Check(a == b, "date found only when the timecode is asked for, or only when it is not");
    if (a) {
        CheckDecoded(withTimecode);
        Check(memcmp(&withTimecode, &without, sizeof without) == 0,
              "date differs with and without timecode");
    }
    CheckTimecodeText(timecode);

    SYSTEMTIME recorded;
    memset(&recorded, 0x77, sizeof recorded);
    TimecodeValue again;
    const int c = reader.GetRecordingTime(frame, &recorded, &again);
    Check(c == a, "GetRecordingTime and DecodeFrame disagree");
    if (c) {
        Check(recorded.wYear == withTimecode.year + 1900 &&
                  recorded.wMonth == withTimecode.month + 1 && recorded.wDay == withTimecode.day &&
                  recorded.wHour == withTimecode.hour && recorded.wMinute == withTimecode.minute &&
                  recorded.wSecond == withTimecode.second && recorded.wMilliseconds == 0 &&
                  recorded.wDayOfWeek == 0xFFFF,
              "GetRecordingTime differs from DecodeFrame");
        Check(again.frameCount == timecode.frameCount, "timecode differs between the two calls");
    }
}

// --- AVI file ---

constexpr uint32_t kWalkedFrames = 12;
constexpr int kSequences[] = {0, 6, 11};

void WalkFrame(DvAviReader& reader, uint32_t frame, const uint8_t* data, size_t size) {
    const int64_t position = reader.FramePosition(frame);
    if (frame >= reader.frameCount)
        Check(position == -1, "a position for a frame beyond the count");
    for (int sequence : kSequences) {
        const uint8_t* bytes = reader.ReadSequence(frame, sequence);
        if (!bytes)
            continue;
        // The bytes handed out are the file's own, from inside the frame's data.
        Check(frame < reader.frameCount && position >= 0,
              "a sequence of a frame without a position");
        const uint64_t at =
            static_cast<uint64_t>(position) + static_cast<uint64_t>(sequence) * kDifSequenceSize;
        Check(at + kDifSequenceSize <= size, "a sequence from beyond the end of the file");
        Check(memcmp(bytes, data + at, kDifSequenceSize) == 0,
              "a sequence that is not the file's bytes");
    }
    Check(reader.ReadSequence(frame, -1) == nullptr, "a sequence for a negative number");
    Check(reader.ReadSequence(frame, 1 << 20) == nullptr, "a sequence far beyond any frame");
    DecodeEveryWay(reader, frame);
}

// --- Overlay text ---

// Recording dates as the DV decoding delivers them (no weekday), at the edges of the range.
const SYSTEMTIME kFixedDates[] = {
    {2004, 7, 0xFFFF, 15, 14, 23, 5, 0},   {1970, 1, 0xFFFF, 1, 0, 0, 0, 0},
    {2000, 2, 0xFFFF, 29, 23, 59, 59, 0},  {2069, 12, 0xFFFF, 31, 12, 0, 0, 0},
    {2222, 12, 0xFFFF, 31, 23, 59, 59, 0},
};

void SetList(FormatList& list, uint8_t count, const char (&slots)[kFormatSlots][kFormatSlotSize]) {
    memcpy(list.slots, slots, sizeof list.slots);
    list.count = count;
}

// Composition may change the picture indexes only (pulled back into their lists).
void CheckOnlyPicturesChanged(const FilterSettings& before, const FilterSettings& after) {
    FilterSettings expected = before;
    expected.timeformat = after.timeformat;
    expected.dateformat = after.dateformat;
    Check(memcmp(&expected, &after, sizeof after) == 0,
          "composition changed the record beyond the pictures");
    Check(after.timeformat < kFormatSlots && after.dateformat < kFormatSlots,
          "picture index left out of its list");
}

} // namespace

void RunAviFile(const uint8_t* data, size_t size) {
    MarkResources();
    {
        const char* path = StageFile(data, size);
        DvAviReader reader;
        if (reader.Open(path)) {
            Check(reader.isOpen == 1 && reader.lastError == 0, "open without its state");
            Check(reader.dvType == 1 || reader.dvType == 2, "open without a DV type");
            Check(reader.indexKind == 1 || reader.indexKind == 2, "open without an index");
            Check(reader.isPal == 0 || reader.isPal == 1, "open without a TV system");
            Check(reader.frameCount <= 0x7FFFFFFFu, "frame count reaches negative frame numbers");
            const uint32_t count = reader.frameCount;
            for (uint32_t frame = 0; frame < count && frame < kWalkedFrames; ++frame)
                WalkFrame(reader, frame, data, size);
            if (count > kWalkedFrames) {
                WalkFrame(reader, count / 2, data, size);
                WalkFrame(reader, count - 1, data, size);
            }
            for (uint32_t beyond : {count, count + 1, 0x80000000u, 0xFFFFFFFFu})
                WalkFrame(reader, beyond, data, size);
            // Opening again on an open reader closes the first file.
            reader.Open(path);
        } else {
            Check(reader.isOpen == 0 && reader.frameCount == 0 && reader.indexKind == 0,
                  "a failed open leaves state behind");
            DvFrameInfo info;
            Check(reader.DecodeFrame(0, &info) == 0 && reader.ReadSequence(0, 6) == nullptr,
                  "frames of a file that did not open");
        }
        reader.Close();
        Check(!reader.IsFileOpen() && reader.isOpen == 0, "closed reader still open");
        UnstageFile();
    }
    Check(ResourcesBackToMark(), "a file handle or memory block left behind");
}

void RunDifSequence(const uint8_t* data, size_t size) {
    struct Template {
        std::vector<uint8_t> bytes;
        size_t sequenceAt;
    };
    static Template templates[2];
    const bool pal = size > kDifSequenceSize && (data[kDifSequenceSize] & 1);
    Template& t = templates[pal ? 1 : 0];
    if (t.bytes.empty()) {
        test::DvAviLayout layout;
        layout.pal = pal;
        layout.frames = 1;
        layout.frameBytes = 7 * kDifSequenceSize;
        test::BuiltAvi built = test::BuildDvAvi(layout);
        t.sequenceAt = static_cast<size_t>(built.framePositions[0]) + 6 * kDifSequenceSize;
        t.bytes = std::move(built.bytes);
    }
    const size_t n = size < kDifSequenceSize ? size : kDifSequenceSize;
    memcpy(t.bytes.data() + t.sequenceAt, data, n);
    memset(t.bytes.data() + t.sequenceAt + n, 0, kDifSequenceSize - n);

    MarkResources();
    {
        DvAviReader reader;
        Check(reader.Open(StageFile(t.bytes.data(), t.bytes.size())) == 1,
              "the frame's file did not open");
        Check(reader.isPal == (pal ? 1 : 0), "TV system not the frame's");
        DecodeEveryWay(reader, 0);
        reader.Close();
        UnstageFile();
    }
    Check(ResourcesBackToMark(), "a file handle or memory block left behind");
}

void RunOverlayText(const uint8_t* data, size_t size) {
    OverlayTextInput in;
    memset(&in, 0, sizeof in);
    memcpy(&in, data, size < sizeof in ? size : sizeof in);

    const FormatList savedTimes = timeFormats;
    const FormatList savedDates = dateFormats;
    const int32_t savedVersion = hostVersion;
    SetList(timeFormats, in.timeCount, in.timeSlots);
    SetList(dateFormats, in.dateCount, in.dateSlots);
    hostVersion = in.hostVersion;
    const SYSTEMTIME date =
        kFixedDates[in.dateChoice % (sizeof kFixedDates / sizeof kFixedDates[0])];
    const size_t capacity = static_cast<size_t>(in.capacity) + 1;
    std::unique_ptr<char[]> text(new char[capacity]);

    MarkResources();
    {
        // Date and time mode.
        FilterSettings settings = in.settings;
        ComposeDateTimeText(&settings, date, FileNameTokenFor(hostVersion), text.get(), capacity);
        Check(Terminated(text.get(), capacity), "date text not terminated within its buffer");
        ClampPictureIndexes(settings);
        CheckOnlyPicturesChanged(in.settings, settings);
        ComposeDateTimeText(static_cast<const FilterSettings*>(nullptr), date,
                            FileNameTokenFor(hostVersion), text.get(), capacity);
        Check(text[0] == '\0', "text without settings");

        // Timecode mode, with the tape timecode from a real file when the record says DV.
        settings = in.settings;
        DvAviReader reader;
        if (settings.dvSource)
            Check(reader.Open(FixtureFile()) == 1, "the fixture did not open");
        ComposeTimecodeText(&settings, reader.isOpen ? &reader : nullptr, in.sourceFrame,
                            FileNameTokenFor(hostVersion), text.get(), capacity);
        Check(Terminated(text.get(), capacity), "timecode text not terminated within its buffer");
        Check(memcmp(&settings, &in.settings, sizeof settings) == 0,
              "timecode composition changed the record");
        reader.Close();

        // The pieces on their own: minute tokens of each picture, the title in UTF-8.
        for (uint32_t slot = 0; slot < kFormatSlots; ++slot) {
            char picture[kFormatSlotSize + 1];
            memcpy(picture, in.timeSlots[slot], kFormatSlotSize);
            picture[kFormatSlotSize] = '\0';
            ExpandMinuteTokens(picture, date, text.get(), capacity);
            Check(Terminated(text.get(), capacity) && strlen(text.get()) <= 50,
                  "minute tokens beyond their size");
        }
        char title[sizeof in.settings.title + 1];
        memcpy(title, in.settings.title, sizeof in.settings.title);
        title[sizeof in.settings.title] = '\0';
        Utf8ToCodePage(title, text.get(), capacity, CP_UTF8);
        Check(Terminated(text.get(), capacity), "converted title not terminated within its buffer");
        const std::string untrimmed = title;
        TrimSpaces(title);
        const size_t kept = strlen(title);
        Check(untrimmed.find(title) != std::string::npos &&
                  (kept == 0 || (title[0] != ' ' && title[kept - 1] != ' ')),
              "trimmed title is not the title without its outer spaces");
    }
    Check(ResourcesBackToMark(), "a file handle or memory block left behind");

    timeFormats = savedTimes;
    dateFormats = savedDates;
    hostVersion = savedVersion;
}

} // namespace camtag::fuzz
