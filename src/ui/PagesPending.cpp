// Page procedures whose pages have no template yet: never called (a tab without a template
// shows an empty area).
#include "ui/Pages.h"

namespace camtag {

INT_PTR CALLBACK DateTimePageProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
INT_PTR CALLBACK TimecodePageProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
INT_PTR CALLBACK FormatPageProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
INT_PTR CALLBACK PositionPageProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

} // namespace camtag
