// Pictures of real windows as they stand on the screen, for screenshots. Wine's PrintWindow draws
// a window without its child windows (its WM_PRINT knows no PRF_CHILDREN), so the picture is
// copied from the screen: the window must be visible and on top (as a new modal dialog is).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace camtag {

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
