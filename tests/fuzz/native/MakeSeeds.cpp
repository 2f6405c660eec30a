// Writes the seed corpora of the three harnesses: make-seeds OUT_DIR FIXTURE_DIR
//   OUT_DIR/avi-file      the test AVI writer's layouts, with small frames so that runs stay fast
//   OUT_DIR/dif-sequence  sequence 6 of every frame of the fixtures, and hand-stamped sequences
//   OUT_DIR/overlay-text  settings records of both modes with pictures, adjustments and titles
// The fixtures themselves go into the AVI corpus by the script, as they are.
#include "DvAviWriter.h"
#include "FuzzTargets.h"
#include "dv/DvAviReader.h"
#include "posix/StandIn.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace camtag;
using namespace camtag::test;

namespace {

std::string outDir;
int written = 0;

void Write(const std::string& harness, const std::string& name, const void* data, size_t size) {
    const std::string path = outDir + "/" + harness + "/" + name;
    FILE* file = fopen(path.c_str(), "wb");
    if (!file || fwrite(data, 1, size, file) != size) {
        fprintf(stderr, "make-seeds: cannot write %s\n", path.c_str());
        exit(1);
    }
    fclose(file);
    ++written;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::vector<uint8_t> bytes;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return bytes;
    uint8_t block[65536];
    size_t n;
    while ((n = fread(block, 1, sizeof block, file)) > 0)
        bytes.insert(bytes.end(), block, block + n);
    fclose(file);
    return bytes;
}

// --- AVI layouts ---

void AviSeeds() {
    struct Named {
        const char* name;
        DvAviLayout layout;
    };
    auto base = [](bool pal, uint32_t frames) {
        DvAviLayout l;
        l.pal = pal;
        l.frames = frames;
        l.frameBytes = 7 * kDifSequence; // reaches sequence 6, the packs
        return l;
    };
    std::vector<Named> seeds;
    seeds.push_back({"idx1-pal-type2", base(true, 2)});
    {
        DvAviLayout l = base(false, 2);
        l.dvType = 1;
        l.videoChunkKind = "__"; // interleaved chunks as dvgrab names them
        seeds.push_back({"idx1-ntsc-type1-interleaved", l});
    }
    {
        DvAviLayout l = base(true, 2);
        l.junkBeforeIdx1 = true;
        l.audioChunks = true;
        seeds.push_back({"idx1-junk-audio", l});
    }
    {
        DvAviLayout l = base(true, 2);
        l.audioStreamFirst = true;
        l.otherVideoFirst = true;
        l.handler = "DVSD";
        l.compression = "DVSD";
        seeds.push_back({"idx1-streams-before-dv", l});
    }
    {
        DvAviLayout l = base(false, 1);
        l.dvType = 1;
        l.strf = false;
        seeds.push_back({"idx1-type1-without-strf", l});
    }
    {
        DvAviLayout l = base(true, 3);
        l.index = DvAviLayout::Index::OpenDml;
        seeds.push_back({"odml-one-segment", l});
    }
    {
        DvAviLayout l = base(true, 3);
        l.index = DvAviLayout::Index::OpenDml;
        l.framesPerSegment = 1; // three RIFF segments
        l.dmlh = true;
        l.dmlhFrames = 3;
        seeds.push_back({"odml-multi-riff", l});
    }
    {
        DvAviLayout l = base(false, 2);
        l.index = DvAviLayout::Index::OpenDml;
        l.twoField = true;
        l.indexBeforeFrames = true;
        l.reservedOdmlJunk = true;
        seeds.push_back({"odml-two-field-index-first", l});
    }
    {
        DvAviLayout l = base(true, 2);
        l.index = DvAviLayout::Index::OpenDml;
        l.dvType = 1;
        l.avihFrames = 0;
        l.strhLength = 0;
        seeds.push_back({"odml-type1-counts-zero", l});
    }
    {
        // Many tiny frames: index walks without the bulk of frame data.
        DvAviLayout l;
        l.frames = 40;
        l.frameBytes = 16;
        seeds.push_back({"idx1-tiny-frames", l});
        l.index = DvAviLayout::Index::OpenDml;
        l.framesPerSegment = 10;
        seeds.push_back({"odml-tiny-frames", l});
    }
    {
        DvAviLayout l; // full-size NTSC frames: sequence 11 is there too
        l.pal = false;
        l.frames = 1;
        seeds.push_back({"idx1-full-ntsc-frame", l});
    }
    for (const Named& seed : seeds) {
        BuiltAvi built = BuildDvAvi(seed.layout);
        Write("avi-file", std::string(seed.name) + ".avi", built.bytes.data(), built.bytes.size());
    }
}

// --- DIF sequences ---

void WriteSequence(const std::string& name, const uint8_t* sequence, bool pal) {
    std::vector<uint8_t> bytes(sequence, sequence + kDifSequence);
    bytes.push_back(pal ? 1 : 0);
    Write("dif-sequence", name, bytes.data(), bytes.size());
}

void DifSeeds(const std::string& fixtures) {
    const char* const files[] = {
        "pal-type2-idx1-ffmpeg.avi", "ntsc-type1-indx-dvgrab-camcorder.avi",
        "ntsc-type2-idx1-ffmpeg-blank-tape.avi", "ntsc-type2-idx1-ffmpeg-dropframe.avi"};
    for (const char* name : files) {
        std::vector<uint8_t> bytes = ReadAll(fixtures + "/" + name);
        fuzz::posix::AddMemoryFile("seed.avi", bytes.data(), bytes.size());
        DvAviReader reader;
        if (!reader.Open("seed.avi")) {
            fprintf(stderr, "make-seeds: %s does not open\n", name);
            exit(1);
        }
        for (uint32_t frame = 0; frame < reader.frameCount && frame < 2; ++frame)
            if (const uint8_t* sequence = reader.ReadSequence(frame, 6))
                WriteSequence(std::string(name) + "-" + std::to_string(frame), sequence,
                              reader.isPal == 1);
        reader.Close();
        fuzz::posix::RemoveMemoryFile("seed.avi");
    }
    std::vector<uint8_t> raw = ReadAll(fixtures + "/ntsc-camcorder-5frames.dv");
    if (raw.size() >= 7 * kDifSequence)
        WriteSequence("ntsc-camcorder-raw-0", raw.data() + 6 * kDifSequence, false);

    std::vector<uint8_t> sequence(kDifSequence, 0);
    DvStamp stamp;
    StampSequence(sequence.data(), stamp);
    WriteSequence("stamped", sequence.data(), true);
    // Only the subcode copies of date and time: the VAUX packs are blank.
    memset(sequence.data() + kVauxDatePack, 0xFF, 10);
    WriteSequence("stamped-ssyb-only", sequence.data(), false);
    ClearPacks(sequence.data());
    WriteSequence("blank-tape", sequence.data(), false);
    stamp.day = 31;
    stamp.month = 2; // no such day
    stamp.year = 2069;
    stamp.tcMinutes = 1;
    stamp.tcSeconds = 0;
    stamp.tcFrames = 0; // a label drop-frame skips
    StampSequence(sequence.data(), stamp);
    WriteSequence("no-such-day-drop-label", sequence.data(), false);
}

// --- Overlay text ---

void SetSlot(char (&slots)[kFormatSlots][kFormatSlotSize], int slot, const char* picture) {
    strncpy(slots[slot], picture, kFormatSlotSize);
}

fuzz::OverlayTextInput TextBase() {
    fuzz::OverlayTextInput in;
    memset(&in, 0, sizeof in);
    FilterSettings& s = in.settings;
    s.timeformat = 1;
    s.dateformat = 1;
    s.timeup = 1;
    s.lines = 2;
    s.timecodemode = kTimecodeTape;
    s.flags = kFlagShowFrames | kFlagShowHours;
    s.projectRateNumerator = 25;
    s.projectRateDenominator = 1;
    in.timeCount = 2;
    in.dateCount = 2;
    SetSlot(in.timeSlots, 0, " ");
    SetSlot(in.timeSlots, 1, kBuiltInTimePicture);
    SetSlot(in.dateSlots, 0, " ");
    SetSlot(in.dateSlots, 1, kBuiltInDatePicture);
    in.hostVersion = 8;
    in.capacity = 253;
    return in;
}

void TextSeeds() {
    fuzz::OverlayTextInput in = TextBase();
    strcpy(in.settings.title, "Tape 3 ");
    Write("overlay-text", "date-built-in", &in, sizeof in);

    in = TextBase();
    in.timeCount = 6;
    in.dateCount = 6;
    SetSlot(in.timeSlots, 2, "hh':'mm tt");
    SetSlot(in.timeSlots, 3, "%9' min'");
    SetSlot(in.timeSlots, 4, "'%#9'':'ss");
    SetSlot(in.timeSlots, 5, "H:m:s t");
    SetSlot(in.dateSlots, 2, "dddd, MMMM d, yyyy");
    SetSlot(in.dateSlots, 3, "yy/MM/dd gg");
    SetSlot(in.dateSlots, 4, "ddd d MMM y");
    SetSlot(in.dateSlots, 5, "''d''");
    in.settings.timeformat = 3;
    in.settings.dateformat = 2;
    in.settings.lines = 1;
    in.settings.timeadjust = 0x00FF1E05; // -1 h, 30 min, 5 s
    in.settings.dateadjust = 0xFFFF0D1F; // -1 year, 13 months, 31 days
    strcpy(in.settings.title, "%f\\n");
    strcpy(in.settings.sourcePath, "C:\\clips\\tape 3.avi");
    Write("overlay-text", "date-user-pictures-adjusted", &in, sizeof in);
    in.dateChoice = 2;
    in.settings.timeup = 0;
    in.capacity = 12;
    Write("overlay-text", "date-leap-day-small-buffer", &in, sizeof in);

    in = TextBase();
    in.settings.mode = 1;
    in.settings.timecodemode =
        kTimecodeTimeline | kTimecodeClip | kTimecodeSourceFile | kTimecodeTape;
    in.settings.flags = kFlagShowFrames | kFlagShowHours | kFlagShowPrefix;
    in.settings.timecodestart = 0x01000000; // 01:00:00:00
    in.settings.projectRateNumerator = 30000;
    in.settings.projectRateDenominator = 1001;
    in.settings.dvSource = 1;
    in.settings.startFrame = 2;
    in.settings.timelineOffset = 100;
    in.sourceFrame = 3;
    strcpy(in.settings.title, "TC\\n");
    Write("overlay-text", "timecode-all-sources", &in, sizeof in);
    in.settings.timecodemode = (1 << 4) | kTimecodeTimeline | kTimecodeClip; // Time style
    in.settings.dvSource = 0;
    in.settings.startFrame = -5;
    in.sourceFrame = -1;
    Write("overlay-text", "timecode-time-style-negative", &in, sizeof in);
    in.settings.timecodemode = (2 << 4) | kTimecodeSourceFile; // Frames style
    in.settings.projectRateNumerator = 0;
    in.settings.projectRateDenominator = 0;
    in.hostVersion = 9;
    Write("overlay-text", "timecode-frames-no-rate", &in, sizeof in);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: make-seeds OUT_DIR FIXTURE_DIR\n");
        return 2;
    }
    outDir = argv[1];
    AviSeeds();
    DifSeeds(argv[2]);
    TextSeeds();
    printf("make-seeds: %d seeds in %s\n", written, outDir.c_str());
    return 0;
}
