#include "SparseDvAvi.h"

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstring>

namespace camtag {

namespace {

constexpr uint32_t kChunkBytes = 8 + kPalDvFrameSize; // "00dc", size, data (even: no pad byte)
constexpr uint32_t kMoviDataStart = 12;               // "LIST", size, "movi"
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
    uint64_t moviStart; // the "LIST" tag of the segment's movi list
    uint64_t indexStart; // its "ix00" chunk
    uint64_t end;
};

uint32_t StdIndexBytes(uint32_t frames) { return kStdIndexHeader + 8 * frames; }

class OutFile {
public:
    explicit OutFile(const std::wstring& path) {
        handle_ = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
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

uint32_t SparseDvAviSegments(const SparseDvAviLayout& layout) {
    if (layout.framesPerSegment == 0) return 0;
    return (layout.totalFrames + layout.framesPerSegment - 1) / layout.framesPerSegment;
}

bool WriteSparseDvAvi(const std::wstring& path, const SparseDvAviLayout& layout,
                      const std::vector<uint8_t>& templateFrame, std::string* error) {
    const uint32_t segmentCount = SparseDvAviSegments(layout);
    if (layout.totalFrames == 0 || segmentCount == 0 || templateFrame.size() != kPalDvFrameSize ||
        layout.framesPerSegment > 0x7FFFFFFFu / kChunkBytes) {
        *error = "bad layout or template frame";
        return false;
    }

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
    head.u32(40000);   // microseconds per frame
    head.u32(3600000); // bytes per second
    head.u32(0);
    head.u32(0x10);    // has index
    head.u32(std::min(layout.totalFrames, layout.framesPerSegment)); // frames of the first segment
    head.u32(0);
    head.u32(1);       // streams
    head.u32(kChunkBytes);
    head.u32(720);
    head.u32(576);
    head.zeros(16);
    head.tag("LIST");
    const size_t strlSize = head.size();
    head.u32(0); // patched
    head.tag("strl");
    head.tag("strh");
    head.u32(56);
    head.tag("vids");
    head.tag("dvsd");
    head.u32(0);
    head.u32(0);
    head.u32(0);
    head.u32(1);  // scale
    head.u32(25); // rate
    head.u32(0);
    head.u32(layout.totalFrames);
    head.u32(kChunkBytes);
    head.u32(0xFFFFFFFFu);
    head.u32(0);
    head.u16(0);
    head.u16(0);
    head.u16(720);
    head.u16(576);
    head.tag("strf");
    head.u32(40);
    head.u32(40);
    head.u32(720);
    head.u32(576);
    head.u16(1);
    head.u16(24);
    head.tag("dvsd");
    head.u32(kPalDvFrameSize);
    head.zeros(16);
    head.tag("indx");
    head.u32(24 + 16 * segmentCount);
    head.u16(4); // longs per entry
    head.u8(0);  // subtype
    head.u8(0);  // index of indexes
    head.u32(segmentCount);
    head.tag("00dc");
    head.zeros(12);
    const size_t superEntries = head.size();
    head.zeros(16 * size_t(segmentCount)); // patched below
    head.patch32(strlSize, uint32_t(head.size() - strlSize - 4));
    head.tag("LIST");
    head.u32(4 + 8 + 248);
    head.tag("odml");
    head.tag("dmlh");
    head.u32(248);
    head.u32(layout.totalFrames);
    head.zeros(244);
    head.patch32(hdrlSize, uint32_t(head.size() - hdrlSize - 4));

    // Where everything lies.
    std::vector<Segment> segments(segmentCount);
    uint64_t position = head.size();
    for (uint32_t s = 0; s < segmentCount; ++s) {
        Segment& seg = segments[s];
        seg.firstFrame = s * layout.framesPerSegment;
        seg.frames = std::min(layout.framesPerSegment, layout.totalFrames - seg.firstFrame);
        if (s == 0) {
            seg.riffStart = 0;
            seg.moviStart = position;
        } else {
            seg.riffStart = position;
            seg.moviStart = position + 12; // "RIFF", size, "AVIX"
        }
        seg.indexStart = seg.moviStart + kMoviDataStart + uint64_t(seg.frames) * kChunkBytes;
        seg.end = seg.indexStart + StdIndexBytes(seg.frames);
        position = seg.end;
        head.patch32(superEntries + 16 * s, uint32_t(seg.indexStart));
        head.patch32(superEntries + 16 * s + 4, uint32_t(seg.indexStart >> 32));
        head.patch32(superEntries + 16 * s + 8, StdIndexBytes(seg.frames));
        head.patch32(superEntries + 16 * s + 12, seg.frames);
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
        lists.tag("LIST");
        lists.u32(uint32_t(seg.end - seg.moviStart - 8));
        lists.tag("movi");
        ok = out.writeAt(s > 0 ? seg.riffStart : seg.moviStart, lists.data().data(), lists.size());

        Bytes index;
        index.tag("ix00");
        index.u32(StdIndexBytes(seg.frames) - 8);
        index.u16(2); // longs per entry
        index.u8(0);
        index.u8(1);  // index of chunks
        index.u32(seg.frames);
        index.tag("00dc");
        index.u64(seg.moviStart);
        index.u32(0);
        for (uint32_t f = 0; f < seg.frames; ++f) {
            index.u32(uint32_t(kMoviDataStart + uint64_t(f) * kChunkBytes + 8)); // data, past the header
            index.u32(kPalDvFrameSize);
        }
        ok = ok && out.writeAt(seg.indexStart, index.data().data(), index.size());
    }

    std::vector<uint8_t> chunk(kChunkBytes);
    std::memcpy(chunk.data(), "00dc", 4);
    chunk[4] = uint8_t(kPalDvFrameSize);
    chunk[5] = uint8_t(kPalDvFrameSize >> 8);
    chunk[6] = uint8_t(kPalDvFrameSize >> 16);
    chunk[7] = 0;
    std::memcpy(chunk.data() + 8, templateFrame.data(), kPalDvFrameSize);
    for (uint32_t frame : layout.framesWithData) {
        if (!ok) break;
        if (frame >= layout.totalFrames) continue;
        const Segment& seg = segments[frame / layout.framesPerSegment];
        uint64_t at = seg.moviStart + kMoviDataStart + uint64_t(frame - seg.firstFrame) * kChunkBytes;
        ok = out.writeAt(at, chunk.data(), chunk.size());
    }
    if (!ok) *error = "writing the file failed (disk full?)";
    return ok;
}

} // namespace camtag
