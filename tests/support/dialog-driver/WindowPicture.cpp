#include "WindowPicture.h"

#include <gdiplus.h>

namespace camtag {

namespace {
const CLSID kPngEncoder = {
    0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
}

DibCanvas::DibCanvas(int width, int height) : width_(width), height_(height) {
    if (width <= 0 || height <= 0)
        return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = dc_ ? CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0) : nullptr;
    if (bitmap_)
        previous_ = SelectObject(dc_, bitmap_);
    else
        bits_ = nullptr;
}

DibCanvas::~DibCanvas() {
    if (previous_)
        SelectObject(dc_, previous_);
    if (bitmap_)
        DeleteObject(bitmap_);
    if (dc_)
        DeleteDC(dc_);
}

std::vector<uint32_t> DibCanvas::Pixels() const {
    if (!bits_)
        return {};
    GdiFlush();
    std::vector<uint32_t> pixels(static_cast<const uint32_t*>(bits_),
                                 static_cast<const uint32_t*>(bits_) +
                                     static_cast<size_t>(width_) * height_);
    for (uint32_t& p : pixels)
        p &= 0x00FFFFFF;
    return pixels;
}

WindowPicture PictureOf(HWND window) {
    WindowPicture picture;
    RECT r{};
    if (!GetWindowRect(window, &r))
        return picture;
    DibCanvas canvas(r.right - r.left, r.bottom - r.top);
    if (!canvas.valid())
        return picture;
    HDC screen = GetDC(nullptr);
    BitBlt(canvas.dc(), 0, 0, r.right - r.left, r.bottom - r.top, screen, r.left, r.top, SRCCOPY);
    ReleaseDC(nullptr, screen);
    picture.width = r.right - r.left;
    picture.height = r.bottom - r.top;
    picture.pixels = canvas.Pixels();
    return picture;
}

bool SavePng(const WindowPicture& picture, const std::wstring& path) {
    if (picture.pixels.empty())
        return false;
    std::vector<uint32_t> opaque(picture.pixels);
    for (uint32_t& p : opaque)
        p |= 0xFF000000;
    Gdiplus::GpBitmap* bitmap = nullptr;
    if (Gdiplus::DllExports::GdipCreateBitmapFromScan0(
            picture.width, picture.height, picture.width * 4, PixelFormat32bppARGB,
            reinterpret_cast<BYTE*>(opaque.data()), &bitmap) != Gdiplus::Ok)
        return false;
    const bool ok = Gdiplus::DllExports::GdipSaveImageToFile(bitmap, path.c_str(), &kPngEncoder,
                                                             nullptr) == Gdiplus::Ok;
    Gdiplus::DllExports::GdipDisposeImage(bitmap);
    return ok;
}

} // namespace camtag
