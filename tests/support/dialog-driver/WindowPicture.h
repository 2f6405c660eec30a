// Pictures of real windows as they stand on the screen, for screenshots. Wine's PrintWindow draws
// a window without its child windows (its WM_PRINT knows no PRF_CHILDREN), so the picture is
// copied from the screen: the window must be visible and on top (as a new modal dialog is).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace camtag {

// A 32-bit top-down picture selected into a memory device context, for drawing into and reading
// back; released with the object.
class DibCanvas {
public:
    DibCanvas(int width, int height);
    ~DibCanvas();
    DibCanvas(const DibCanvas&) = delete;
    DibCanvas& operator=(const DibCanvas&) = delete;
    HDC dc() const { return dc_; }
    bool valid() const { return bits_ != nullptr; }
    // The pixels as 0x00RRGGBB, top row first (GDI's pending drawing flushed first).
    std::vector<uint32_t> Pixels() const;

private:
    int width_;
    int height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    void* bits_ = nullptr;
};

struct WindowPicture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels; // 0x00RRGGBB, top row first
};

// The whole window, frame and caption included, as the screen shows it.
WindowPicture PictureOf(HWND window);

// Writes a PNG through GDI+'s encoder (GDI+ must be started). False on failure.
bool SavePng(const WindowPicture& picture, const std::wstring& path);

} // namespace camtag
