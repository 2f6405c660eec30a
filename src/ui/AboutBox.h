// The About box (template 109): the picture, the filter's name with the product version read
// from the module file's own version resource, and the maker's lines. Only OK (or Enter) closes
// it; Esc does nothing.
#pragma once

#include <windows.h>

namespace camtag {

// Runs the About box modally, owned by `owner`; returns 1.
INT_PTR ShowAboutBox(HWND owner);

INT_PTR CALLBACK AboutBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace camtag
