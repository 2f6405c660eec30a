// The modal settings dialog (template 101) in which the user edits one filter instance: mode,
// the three tab pages, the live preview, the show duration, "Save as default", help and About.
// It edits a working copy of the instance's settings record and hands it back to the host's
// record only on OK.
#pragma once

#include "host/HostInterface.h"
#include "settings/FilterSettings.h"

#include <windows.h>

namespace camtag {

// Runs the dialog owned by `owner` on `edited`, with the host's `record` for the preview's frame;
// `edited` gets the edits on OK and stays as it was on Cancel. Returns 1 after OK, 2 after
// Cancel, -1 when the dialog cannot be made.
INT_PTR RunSettingsDialog(HINSTANCE module, HWND owner, HostRecordHandle record,
                          FilterSettings& edited);

} // namespace camtag
