#include "DvAviWriter.h"

#include "dv/DvAviReader.h"

#include <windows.h>
#include <winioctl.h>

namespace camtag::test {

namespace {

class OutFile {
public:
    explicit OutFile(const std::wstring& path) {
        // Shared, as a program rewriting a source the host has open must share: the module keeps
        // its source open between frames.
        handle_ = CreateFileW(path.c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle_ != INVALID_HANDLE_VALUE) {
            DWORD unused = 0;
            // Windows needs the file marked sparse; on other systems holes come by themselves.
            DeviceIoControl(handle_, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &unused, nullptr);
        }
    }
    ~OutFile() {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool writeAt(uint64_t position, const void* data, size_t size) {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(position);
        if (!SetFilePointerEx(handle_, at, nullptr, FILE_BEGIN))
            return false;
        DWORD written = 0;
        return WriteFile(handle_, data, static_cast<DWORD>(size), &written, nullptr) &&
               written == size;
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

bool WriteSparseDvAvi(const std::wstring& path, const DvAviLayout& layout, std::string* error) {
    const detail::FrameChunks chunks(layout);
    const bool odml = layout.index == DvAviLayout::Index::OpenDml;
    const uint32_t perSegment = DvAviSegmentFrames(layout);
    // An OpenDML segment stays below 2 GiB; an AVI 1.0 file's RIFF size and idx1 offsets are
    // 32-bit (the headers take far less than the 64 KiB left over).
    const uint64_t limit = odml ? 0x7FFFFFFFull : 0xFFFF0000ull;
    const uint64_t index = odml ? 32 + (layout.twoField ? 12ull : 8ull) * perSegment
                                : 8 + 16ull * perSegment * (chunks.audioBytes ? 2 : 1);
    if (layout.frames == 0 || uint64_t(perSegment) * chunks.size + index > limit) {
        *error = "bad layout";
        return false;
    }
    BuiltAvi where;
    const std::vector<detail::Piece> pieces = detail::DvAviStructure(layout, &where);
    OutFile out(path);
    if (!out.ok()) {
        *error = "cannot create the file";
        return false;
    }
    bool ok = out.setLength(where.length);
    for (const detail::Piece& piece : pieces)
        ok = ok && out.writeAt(piece.at, piece.bytes.data(), piece.bytes.size());

    std::vector<uint8_t> frameChunks(chunks.size);
    chunks.Put(frameChunks.data());
    uint8_t* data = frameChunks.data() + chunks.data;
    for (uint32_t frame : layout.framesWithData) {
        if (!ok)
            break;
        if (frame >= layout.frames)
            continue;
        std::memset(data, 0, chunks.frameBytes);
        if (layout.fill)
            layout.fill(frame, data, chunks.frameBytes);
        else
            DefaultFill(layout, frame, data, chunks.frameBytes);
        const uint64_t at = where.framePositions[frame];
        if (layout.writtenRanges.empty()) {
            ok = out.writeAt(at - chunks.data, frameChunks.data(), frameChunks.size());
            continue;
        }
        for (const auto& [offset, length] : layout.writtenRanges) {
            if (!ok || offset >= chunks.frameBytes)
                continue;
            ok = out.writeAt(at + offset, data + offset,
                             std::min<size_t>(length, chunks.frameBytes - offset));
        }
    }
    if (!ok)
        *error = "writing the file failed (disk full?)";
    return ok;
}

bool WriteSparseDvAvi(const std::wstring& path, const DvAviLayout& layout,
                      const std::vector<uint8_t>& templateFrame, std::string* error) {
    if (templateFrame.size() != DvFrameBytes(layout)) {
        *error = "the template frame's size does not fit the layout";
        return false;
    }
    DvAviLayout copies = layout;
    copies.fill = [&templateFrame](uint32_t, uint8_t* data, size_t size) {
        std::memcpy(data, templateFrame.data(), size);
    };
    return WriteSparseDvAvi(path, copies, error);
}

bool ReadPalTemplateFrame(const std::string& path, std::vector<uint8_t>* frame,
                          std::string* error) {
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
    frame->assign(kDvFramePal, 0);
    if (!reader.Read(frame->data(), kDvFramePal)) {
        *error = "cannot read the template's first frame";
        return false;
    }
    return true;
}

} // namespace camtag::test
