#include "SparseDvAvi.h"

#include "dv/DvAviReader.h"

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstring>

namespace camtag {

namespace {

constexpr uint32_t kMoviDataStart = 12; // "LIST", size, "movi"
constexpr uint32_t kStdIndexHeader = 32;

class Bytes {
public:
    void u8(uint8_t v) { data_.push_back(v); }
    void u16(uint16_t v) { u8(uint8_t(v)); u8(uint8_t(v >> 8)); }
    void u32(uint32_t v) { u16(uint16_t(v)); u16(uint16_t(v >> 16)); }
    void u64(uint64_t v) { u32(uint32_t(v)); u32(uint32_t(v >> 32)); }
    void tag(const char* t) { data_.insert(data_.end(), t, t + 4); }
    void zeros(size_t n) { data_.insert(data_.end(), n, 0); }
    void patch32(size_t at, uint32_t v) { for (int i = 0; i < 4; ++i) data_[at + i] = uint8_t(v >> (8 * i)); }
    size_t size() const { return data_.size(); }
    const std::vector<uint8_t>& data() const { return data_; }

private:
    std::vector<uint8_t> data_;
};

struct Segment {
    uint32_t firstFrame;
    uint32_t frames;
    uint64_t riffStart;
    uint64_t moviStart;  // the "LIST" tag of the segment's movi list
    uint64_t indexStart; // its "ix00" chunk, or the idx1 after the movi list
    uint64_t end;
};

// Sizes of the chunks one frame takes: the audio chunk (if any), then the video chunk.
struct Step {
    uint32_t frameBytes;
    uint32_t audioBytes; // 0 without audio
    uint32_t videoChunk; // offset of the video chunk in the step
    uint32_t size;

    explicit Step(const SparseDvAviLayout& layout)
        : frameBytes(SparseDvAviFrameSize(layout)),
          audioBytes(layout.interleavedAudio ? (layout.pal ? 7680u : 6400u) : 0u), // 1920/1600 stereo samples
          videoChunk(audioBytes ? 8 + audioBytes : 0), size(videoChunk + 8 + frameBytes) {}
};

uint64_t IndexBytes(const SparseDvAviLayout& layout, uint32_t frames) {
    if (layout.openDml) return kStdIndexHeader + 8ull * frames;
    return 8 + 16ull * frames * (layout.interleavedAudio ? 2 : 1);
}

class OutFile {
public:
    explicit OutFile(const std::wstring& path) {
        // Shared, as a program rewriting a source the host has open must share: the module keeps
        // its source open between frames.
        handle_ = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle_ != INVALID_HANDLE_VALUE) {
            DWORD unused = 0;
            // Windows needs the file marked sparse; on other systems holes come by themselves.
            DeviceIoControl(handle_, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &unused, nullptr);
        }
    }
    ~OutFile() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool writeAt(uint64_t position, const void* data, size_t size) {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(position);
        if (!SetFilePointerEx(handle_, at, nullptr, FILE_BEGIN)) return false;
        DWORD written = 0;
        return WriteFile(handle_, data, static_cast<DWORD>(size), &written, nullptr) && written == size;
    }
    bool setLength(uint64_t length) {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(length);
        return SetFilePointerEx(handle_, at, nullptr, FILE_BEGIN) && SetEndOfFile(handle_);
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

} // namespace


uint32_t SparseDvAviFrameSize(const SparseDvAviLayout& layout) {
    return layout.pal ? kPalDvFrameSize : kNtscDvFrameSize;
}

uint32_t SparseDvAviSegments(const SparseDvAviLayout& layout) {
    if (!layout.openDml) return layout.totalFrames ? 1 : 0;
    if (layout.framesPerSegment == 0) return 0;
    return (layout.totalFrames + layout.framesPerSegment - 1) / layout.framesPerSegment;
}

std::vector<uint32_t> SparseDvAviSpreadFrames(uint32_t totalFrames, uint32_t count) {
    std::vector<uint32_t> frames;
    if (totalFrames == 0) return frames;
    for (uint32_t i = 0; i < count; ++i)
        frames.push_back(count > 1 ? uint32_t(uint64_t(i) * (totalFrames - 1) / (count - 1)) : 0);
    return frames;
}

bool WriteSparseDvAvi(const std::wstring& path, const SparseDvAviLayout& layout, const SparseDvFrameFill& fill,
                      std::string* error) {
    const Step step(layout);
    const uint32_t segmentCount = SparseDvAviSegments(layout);
    const uint32_t perSegment = layout.openDml ? layout.framesPerSegment : layout.totalFrames;
    // An OpenDML segment stays below 2 GiB; an AVI 1.0 file's RIFF size and idx1 offsets are
    // 32-bit (the headers take far less than the 64 KiB left over).
    const uint64_t limit = layout.openDml ? 0x7FFFFFFFull : 0xFFFF0000ull;
    if (layout.totalFrames == 0 || segmentCount == 0 || !fill ||
        uint64_t(perSegment) * step.size + IndexBytes(layout, perSegment) > limit) {
        *error = "bad layout";
        return false;
    }
    const uint32_t firstFrames = std::min(layout.totalFrames, perSegment);
    const uint32_t scale = layout.pal ? 1 : 1001, rate = layout.pal ? 25 : 30000;
    const uint16_t height = layout.pal ? 576 : 480;

    // The headers of the first segment, with the super index sized for every segment.
    Bytes head;
    head.tag("RIFF");
    head.u32(0); // patched
    head.tag("AVI ");
    head.tag("LIST");
    const size_t hdrlSize = head.size();
    head.u32(0); // patched
    head.tag("hdrl");
    head.tag("avih");
    head.u32(56);
    head.u32(uint32_t(1000000ull * scale / rate));          // microseconds per frame
    head.u32(uint32_t(uint64_t(step.size) * rate / scale)); // bytes per second
    head.u32(0);
    head.u32(step.audioBytes ? 0x110 : 0x10); // has index (, is interleaved)
    head.u32(firstFrames);                    // frames of the first segment
    head.u32(0);
    head.u32(step.audioBytes ? 2 : 1); // streams
    head.u32(step.size);
    head.u32(720);
    head.u32(height);
    head.zeros(16);

    head.tag("LIST");
    size_t strlSize = head.size();
    head.u32(0); // patched
    head.tag("strl");
    head.tag("strh");
    head.u32(56);
    head.tag("vids");
    head.tag("dvsd");
    head.u32(0);
    head.u32(0);
    head.u32(0);
    head.u32(scale);
    head.u32(rate);
    head.u32(0);
    head.u32(layout.totalFrames);
    head.u32(step.frameBytes + 8);
    head.u32(0xFFFFFFFFu);
    head.u32(0);
    head.u16(0);
    head.u16(0);
    head.u16(720);
    head.u16(height);
    head.tag("strf");
    head.u32(40);
    head.u32(40);
    head.u32(720);
    head.u32(height);
    head.u16(1);
    head.u16(24);
    head.tag("dvsd");
    head.u32(step.frameBytes);
    head.zeros(16);
    size_t superEntries = 0;
    if (layout.openDml) {
        head.tag("indx");
        head.u32(24 + 16 * segmentCount);
        head.u16(4); // longs per entry
        head.u8(0);  // subtype
        head.u8(0);  // index of indexes
        head.u32(segmentCount);
        head.tag("00dc");
        head.zeros(12);
        superEntries = head.size();
        head.zeros(16 * size_t(segmentCount)); // patched below
    }
    head.patch32(strlSize, uint32_t(head.size() - strlSize - 4));

    if (step.audioBytes) {
        head.tag("LIST");
        strlSize = head.size();
        head.u32(0); // patched
        head.tag("strl");
        head.tag("strh");
        head.u32(56);
        head.tag("auds");
        head.zeros(16); // handler, flags, priority and language, initial frames
        head.u32(1);    // scale: one sample
        head.u32(48000);
        head.u32(0);
        head.u32(uint32_t(uint64_t(layout.totalFrames) * step.audioBytes / 4)); // samples
        head.u32(step.audioBytes);
        head.u32(0xFFFFFFFFu);
        head.u32(4); // bytes per sample
        head.zeros(8);
        head.tag("strf");
        head.u32(16);
        head.u16(1); // PCM
        head.u16(2);
        head.u32(48000);
        head.u32(192000);
        head.u16(4);
        head.u16(16);
        head.patch32(strlSize, uint32_t(head.size() - strlSize - 4));
    }

    if (layout.openDml) {
        head.tag("LIST");
        head.u32(4 + 8 + 248);
        head.tag("odml");
        head.tag("dmlh");
        head.u32(248);
        head.u32(layout.totalFrames);
        head.zeros(244);
    }
    head.patch32(hdrlSize, uint32_t(head.size() - hdrlSize - 4));

    // Where everything lies.
    std::vector<Segment> segments(segmentCount);
    uint64_t position = head.size();
    for (uint32_t s = 0; s < segmentCount; ++s) {
        Segment& seg = segments[s];
        seg.firstFrame = s * perSegment;
        seg.frames = std::min(perSegment, layout.totalFrames - seg.firstFrame);
        if (s == 0) {
            seg.riffStart = 0;
            seg.moviStart = position;
        } else {
            seg.riffStart = position;
            seg.moviStart = position + 12; // "RIFF", size, "AVIX"
        }
        seg.indexStart = seg.moviStart + kMoviDataStart + uint64_t(seg.frames) * step.size;
        seg.end = seg.indexStart + IndexBytes(layout, seg.frames);
        position = seg.end;
        if (layout.openDml) {
            head.patch32(superEntries + 16 * s, uint32_t(seg.indexStart));
            head.patch32(superEntries + 16 * s + 4, uint32_t(seg.indexStart >> 32));
            head.patch32(superEntries + 16 * s + 8, uint32_t(IndexBytes(layout, seg.frames)));
            head.patch32(superEntries + 16 * s + 12, seg.frames);
        }
    }
    head.patch32(4, uint32_t(segments[0].end - 8));

    OutFile out(path);
    if (!out.ok()) {
        *error = "cannot create the file";
        return false;
    }
    bool ok = out.setLength(position) && out.writeAt(0, head.data().data(), head.size());

    for (uint32_t s = 0; ok && s < segmentCount; ++s) {
        const Segment& seg = segments[s];
        Bytes lists;
        if (s > 0) {
            lists.tag("RIFF");
            lists.u32(uint32_t(seg.end - seg.riffStart - 8));
            lists.tag("AVIX");
        }
        // An OpenDML standard index lies inside the movi list, idx1 follows it.
        const uint64_t moviEnd = layout.openDml ? seg.end : seg.indexStart;
        lists.tag("LIST");
        lists.u32(uint32_t(moviEnd - seg.moviStart - 8));
        lists.tag("movi");
        ok = out.writeAt(s > 0 ? seg.riffStart : seg.moviStart, lists.data().data(), lists.size());

        Bytes index;
        if (layout.openDml) {
            index.tag("ix00");
            index.u32(uint32_t(IndexBytes(layout, seg.frames)) - 8);
            index.u16(2); // longs per entry
            index.u8(0);
            index.u8(1); // index of chunks
            index.u32(seg.frames);
            index.tag("00dc");
            index.u64(seg.moviStart);
            index.u32(0);
            for (uint32_t f = 0; f < seg.frames; ++f) {
                // The data, past the chunk header, from the movi list's "LIST".
                index.u32(uint32_t(kMoviDataStart + uint64_t(f) * step.size + step.videoChunk + 8));
                index.u32(step.frameBytes);
            }
        } else {
            index.tag("idx1");
            index.u32(uint32_t(IndexBytes(layout, seg.frames)) - 8);
            for (uint32_t f = 0; f < seg.frames; ++f) {
                // The chunk header, from the "movi" type.
                const uint32_t at = uint32_t(4 + uint64_t(f) * step.size);
                if (step.audioBytes) {
                    index.tag("01wb");
                    index.u32(0);
                    index.u32(at);
                    index.u32(step.audioBytes);
                }
                index.tag("00dc");
                index.u32(0x10); // key frame
                index.u32(at + step.videoChunk);
                index.u32(step.frameBytes);
            }
        }
        ok = ok && out.writeAt(seg.indexStart, index.data().data(), index.size());
    }

    // A data frame's chunks, silent audio included.
    std::vector<uint8_t> chunks(step.size);
    Bytes headers;
    if (step.audioBytes) {
        headers.tag("01wb");
        headers.u32(step.audioBytes);
        std::memcpy(chunks.data(), headers.data().data(), 8);
    }
    headers = Bytes();
    headers.tag("00dc");
    headers.u32(step.frameBytes); // even: no pad byte
    std::memcpy(chunks.data() + step.videoChunk, headers.data().data(), 8);
    uint8_t* frameData = chunks.data() + step.videoChunk + 8;
    for (uint32_t frame : layout.framesWithData) {
        if (!ok) break;
        if (frame >= layout.totalFrames) continue;
        std::memset(frameData, 0, step.frameBytes);
        fill(frame, frameData, step.frameBytes);
        const Segment& seg = segments[frame / perSegment];
        uint64_t at = seg.moviStart + kMoviDataStart + uint64_t(frame - seg.firstFrame) * step.size;
        if (layout.writtenRanges.empty()) {
            ok = out.writeAt(at, chunks.data(), chunks.size());
            continue;
        }
        const uint64_t data = at + step.videoChunk + 8;
        for (const auto& [offset, length] : layout.writtenRanges) {
            if (!ok || offset >= step.frameBytes) continue;
            ok = out.writeAt(data + offset, frameData + offset, std::min<size_t>(length, step.frameBytes - offset));
        }
    }
    if (!ok) *error = "writing the file failed (disk full?)";
    return ok;
}

bool WriteSparseDvAvi(const std::wstring& path, const SparseDvAviLayout& layout,
                      const std::vector<uint8_t>& templateFrame, std::string* error) {
    if (templateFrame.size() != SparseDvAviFrameSize(layout)) {
        *error = "the template frame's size does not fit the layout";
        return false;
    }
    return WriteSparseDvAvi(
        path, layout,
        [&templateFrame](uint32_t, uint8_t* data, size_t size) { std::memcpy(data, templateFrame.data(), size); },
        error);
}

bool ReadPalTemplateFrame(const std::string& path, std::vector<uint8_t>* frame, std::string* error) {
    DvAviReader reader;
    if (!reader.Open(path.c_str()) || reader.isPal != 1) {
        *error = "the template must be a PAL DV AVI the reader opens";
        return false;
    }
    int64_t position = reader.FramePosition(0);
    if (position < 0 || reader.Seek(position, FILE_BEGIN) != position) {
        *error = "cannot find the template's first frame";
        return false;
    }
    frame->assign(kPalDvFrameSize, 0);
    if (!reader.Read(frame->data(), kPalDvFrameSize)) {
        *error = "cannot read the template's first frame";
        return false;
    }
    return true;
}

} // namespace camtag
