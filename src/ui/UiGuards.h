// Small owners for what the dialog code makes: each gives its object back on every path.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace camtag {

struct GdiObjectDeleter {
    void operator()(HGDIOBJ object) const {
        if (object)
            DeleteObject(object);
    }
};
using ScopedPen = std::unique_ptr<std::remove_pointer_t<HPEN>, GdiObjectDeleter>;
using ScopedBrush = std::unique_ptr<std::remove_pointer_t<HBRUSH>, GdiObjectDeleter>;
using ScopedFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;

// Selects an object into a device context for a scope and puts the previous one back.
class ScopedSelect {
public:
    ScopedSelect(HDC dc, HGDIOBJ object)
        : dc_(dc), previous_(object ? SelectObject(dc, object) : nullptr) {}
    ~ScopedSelect() {
        if (previous_)
            SelectObject(dc_, previous_);
    }
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A window's device context for a scope.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() {
        if (dc_)
            ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// A zero-filled block of movable global memory, locked while the object lives.
class LockedGlobal {
public:
    explicit LockedGlobal(SIZE_T bytes) {
        handle_ = bytes ? GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes) : nullptr;
        data_ = handle_ ? GlobalLock(handle_) : nullptr;
    }
    ~LockedGlobal() {
        if (data_)
            GlobalUnlock(handle_);
        if (handle_)
            GlobalFree(handle_);
    }
    LockedGlobal(const LockedGlobal&) = delete;
    LockedGlobal& operator=(const LockedGlobal&) = delete;
    void* get() const { return data_; }

private:
    HGLOBAL handle_ = nullptr;
    void* data_ = nullptr;
};

} // namespace camtag
