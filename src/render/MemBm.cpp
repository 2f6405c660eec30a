#include "render/MemBm.h"

namespace camtag {

CMemBm::~CMemBm() {
    Release();
}

bool CMemBm::Create(HDC reference, int32_t width, int32_t height, int32_t planes, int32_t bitCount,
                    const void* bits) {
    if (created_) {
        return true;
    }
    // A device context kept from a failed attempt goes first, so a retry cannot leak it.
    Release();
    if (width <= 0 || height <= 0 || planes <= 0 || bitCount <= 0) {
        return false;
    }
    dc_ = CreateCompatibleDC(reference);
    if (!dc_) {
        return false;
    }
    bitmap_ =
        CreateBitmap(width, height, static_cast<UINT>(planes), static_cast<UINT>(bitCount), bits);
    if (!bitmap_) {
        return false;
    }
    previous_ = SelectObject(dc_, bitmap_);
    if (!previous_ || previous_ == HGDI_ERROR) {
        // The bitmap does not suit the device context; nothing is selected.
        previous_ = nullptr;
        return false;
    }
    width_ = width;
    height_ = height;
    planes_ = planes;
    bitCount_ = bitCount;
    created_ = true;
    return true;
}

void CMemBm::Release() {
    if (dc_) {
        if (previous_) {
            SelectObject(dc_, previous_);
        }
        DeleteDC(dc_);
    }
    if (bitmap_) {
        DeleteObject(bitmap_);
    }
    previous_ = nullptr;
    bitmap_ = nullptr;
    dc_ = nullptr;
    width_ = height_ = planes_ = bitCount_ = 0;
    created_ = false;
}

bool CMemBm::Blit(HDC target, int x, int y, DWORD rasterOperation) const {
    if (!created_) {
        return false;
    }
    return BitBlt(target, x, y, width_, height_, dc_, 0, 0, rasterOperation) != FALSE;
}

bool CMemBm::Draw(HDC target, int x, int y, int targetWidth, int targetHeight,
                  DWORD rasterOperation, int stretchMode) const {
    if (!created_) {
        return false;
    }
    if (targetWidth == width_ && targetHeight == height_) {
        return Blit(target, x, y, rasterOperation);
    }
    const int previousMode = SetStretchBltMode(target, stretchMode);
    const BOOL ok = StretchBlt(target, x, y, targetWidth, targetHeight, dc_, 0, 0, width_, height_,
                               rasterOperation);
    if (previousMode) {
        SetStretchBltMode(target, previousMode);
    }
    return ok != FALSE;
}

} // namespace camtag
