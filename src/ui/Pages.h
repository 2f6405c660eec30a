// The tab pages of the settings dialog and what they share with it. Every page is a modeless
// child dialog of the settings dialog that edits the dialog's working copy, reached through its
// parent (PageStateOf): it places itself with PlacePage first thing in its WM_INITDIALOG, and
// calls RefreshPreview after each change it makes.
#pragma once

#include "ui/DialogState.h"

#include <windows.h>

namespace camtag {

// Moves and sizes the page onto the tab's display area and shows it; writes the user's text and
// the six numbers of the time adjustment into the page's controls that show them (a page without
// them is left as it is).
void PlacePage(HWND page, const DialogState& state);

// Redraws the settings dialog's preview before returning.
void RefreshPreview(HWND page);

// The "Content" tab in date and time mode (template 118), and in timecode mode (template 122).
INT_PTR CALLBACK DateTimePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK TimecodePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
// The "Format" tab (template 123) and the "Position" tab (template 124).
INT_PTR CALLBACK FormatPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK PositionPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace camtag
