// A memory device context with one bitmap selected into it: the surface the overlay is drawn on.
// Made on the stack for one drawing; every GDI object it holds is gone after Release (or the
// destructor), on every path.
#pragma once

#include <windows.h>

#include <cstdint>

namespace camtag {

class CMemBm {
public:
    CMemBm() = default;
    virtual ~CMemBm();
    CMemBm(const CMemBm&) = delete;
    CMemBm& operator=(const CMemBm&) = delete;

    // Creates the device context (compatible with `reference`, or with the screen when null)
    // and a width x height bitmap of the given planes and bits per pixel, initialised from
    // `bits` when not null, and selects the bitmap into the device context. Returns true when
    // already created (nothing changes). Sizes must be positive.
    bool Create(HDC reference, int32_t width, int32_t height, int32_t planes, int32_t bitCount,
                const void* bits);

    // Selects the previous object back, deletes the device context and the bitmap and zeroes
    // every field. Harmless when nothing was created or when called twice.
    void Release();

    // BitBlt of the whole bitmap to (x, y) of `target`. False when not created or GDI fails.
    bool Blit(HDC target, int x, int y, DWORD rasterOperation) const;

    // Blit when the target rectangle has the bitmap's size; otherwise StretchBlt into it with
    // `stretchMode` set on the target for the call (its previous mode is restored).
    bool Draw(HDC target, int x, int y, int targetWidth, int targetHeight, DWORD rasterOperation,
              int stretchMode) const;

    bool created() const { return created_; }
    HDC dc() const { return dc_; }
    HBITMAP bitmap() const { return bitmap_; }
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    int32_t planes() const { return planes_; }
    int32_t bitCount() const { return bitCount_; }

private:
    HGDIOBJ previous_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HDC dc_ = nullptr;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t planes_ = 0;
    int32_t bitCount_ = 0;
    bool created_ = false;
};

} // namespace camtag
