#include "WindowPicture.h"

#include <gdiplus.h>

namespace camtag {

namespace {
const CLSID kPngEncoder = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
}

WindowPicture PictureOf(HWND window) {
    WindowPicture picture;
    RECT r{};
    if (!GetWindowRect(window, &r)) return picture;
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    if (width <= 0 || height <= 0) return picture;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dc && bitmap) {
        HGDIOBJ old = SelectObject(dc, bitmap);
        HDC screen = GetDC(nullptr);
        BitBlt(dc, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
        ReleaseDC(nullptr, screen);
        GdiFlush();
        picture.width = width;
        picture.height = height;
        picture.pixels.assign(static_cast<const uint32_t*>(bits), static_cast<const uint32_t*>(bits) + width * height);
        for (uint32_t& p : picture.pixels) p &= 0x00FFFFFF;
        SelectObject(dc, old);
    }
    if (bitmap) DeleteObject(bitmap);
    if (dc) DeleteDC(dc);
    return picture;
}

bool SavePng(const WindowPicture& picture, const std::wstring& path) {
    if (picture.pixels.empty()) return false;
    std::vector<uint32_t> opaque(picture.pixels);
    for (uint32_t& p : opaque) p |= 0xFF000000;
    Gdiplus::GpBitmap* bitmap = nullptr;
    if (Gdiplus::DllExports::GdipCreateBitmapFromScan0(picture.width, picture.height, picture.width * 4,
                                                       PixelFormat32bppARGB,
                                                       reinterpret_cast<BYTE*>(opaque.data()), &bitmap) != Gdiplus::Ok)
        return false;
    const bool ok = Gdiplus::DllExports::GdipSaveImageToFile(bitmap, path.c_str(), &kPngEncoder, nullptr) == Gdiplus::Ok;
    Gdiplus::DllExports::GdipDisposeImage(bitmap);
    return ok;
}

} // namespace camtag
