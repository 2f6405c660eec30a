// The settings dialog's module-wide state. At most one settings dialog exists at a time (it is
// modal), and its pages and preview read and write this state directly; the per-frame execution
// never touches it.
#pragma once

#include "host/HostInterface.h"
#include "settings/FilterSettings.h"

#include <windows.h>

namespace camtag {

class DvAviReader;

// The host's handle to the filter instance the dialog edits (the record handle the entry
// received), or null. The entry clears it just before it opens a dialog; handlers that act only
// for an instance do nothing while it is null.
extern HostRecordHandle instanceHandle;
// The settings the dialog was opened with, which OK overwrites with the working copy, or null.
extern FilterSettings* editedSettings;
// The working copy of the instance's settings that every page edits; OK copies it back.
extern FilterSettings workingSettings;
// The moment the preview and the picture lists show: the recording time of the clip's first
// frame, or the sample moment.
extern SYSTEMTIME previewDateTime;
// A reader on the clip's source file while the dialog is open (DV sources only), or null.
extern DvAviReader* previewReader;
// The pointing hand over the preview and the colour swatches, or null (a shared cursor).
extern HCURSOR handCursor;
// The display font of the format page's "Font..." button, or null.
extern HFONT fontButtonFont;

// Tuesday, 7 May 2002, 09:03:07.000: what the preview shows when no recording time is known.
SYSTEMTIME SampleMoment();

} // namespace camtag
