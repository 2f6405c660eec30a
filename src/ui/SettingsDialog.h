// The modal settings dialog (template 101) in which the user edits one filter instance: mode,
// the three tab pages, the live preview, the show duration, "Save as default", help and About.
// It edits a working copy of the instance's settings record and hands it back to the host's
// record only on OK.
#pragma once

#include "host/HostInterface.h"

#include <windows.h>

namespace camtag {

// Runs the dialog for the instance whose host record handle is given, owned by `owner`; returns
// 1 after OK, 2 after Cancel, -1 when the dialog cannot be made.
INT_PTR RunSettingsDialog(HINSTANCE module, HWND owner, HostRecordHandle record);

// Clears the dialog's instance handle before a new dialog (the entry does it just before it opens
// one).
void ResetSettingsDialog();

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace camtag
