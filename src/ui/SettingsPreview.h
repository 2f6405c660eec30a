// The live preview of the settings dialog: the clip's frame as the host delivers it at 360 pixels
// wide, the overlay drawn on it by the frame renderer from the working settings, scaled to the
// preview control, and two dotted guide frames (at 5 % and 10 % of the control) on top.
#pragma once

#include "ui/DialogState.h"

#include <windows.h>

namespace camtag {

// Width of the frame the preview asks the host for.
constexpr int kPreviewFrameWidth = 360;

// Draws the preview of the dialog's working copy into the item's device context (WM_DRAWITEM of
// the preview control). Draws nothing while the host's record is gone; on a display of fewer than
// 32 bits per pixel it writes a message instead of the picture.
void PaintPreview(const DialogState& state, const DRAWITEMSTRUCT& item);

} // namespace camtag
