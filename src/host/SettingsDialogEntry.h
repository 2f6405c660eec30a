// What the setup selector needs from the settings dialog: its procedure and the reset of its
// module-wide state before a new dialog.
#pragma once

#include <windows.h>

namespace camtag {

// Dialog procedure of template 101; the dialog's initialisation value is the host's record handle.
INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Clears the dialog's instance handle so the next dialog starts afresh.
void ResetSettingsDialog();

} // namespace camtag
