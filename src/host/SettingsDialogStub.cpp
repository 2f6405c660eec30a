// Stands in for the settings dialog until its templates and pages exist. Without template 101
// DialogBoxParamA fails, and setup ends as after Cancel.
#include "host/SettingsDialogEntry.h"

namespace camtag {

INT_PTR CALLBACK SettingsDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

void ResetSettingsDialog() {}

} // namespace camtag
