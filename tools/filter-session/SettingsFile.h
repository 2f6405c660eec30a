// An instance's settings record kept in a file (--settings, --save-settings), and the settings
// dialog run before a render (--dialog): the look chosen once serves a whole batch of clips.
#pragma once

#include "FilterSession.h"
#include "settings/FilterSettings.h"

#include <string>
#include <vector>

namespace camtag {

// Replaces the look of `settings` with the record saved in `path`: every field but those of the
// clip at hand (its source file and frames, whether it is DV, the frame size and the project's
// rate), which stay as the host set them. False, with the reason, when the file is not a
// 506-byte record.
bool LoadSettingsFile(const std::wstring& path, FilterSettings& settings, std::string* error);

// Writes the 506 bytes of the record.
bool SaveSettingsFile(const std::wstring& path, const FilterSettings& settings, std::string* error);

// How the user left the module's settings dialog.
enum class DialogOutcome { kOk, kCancel, kNotShown };

// Opens the module's settings dialog through setup, the host delivering `picture` (width x height,
// bottom row first) as the clip's frame, and tells how the user closed it.
DialogOutcome RunSettingsDialog(FilterSession& session, std::vector<uint32_t> picture, int32_t width, int32_t height);

} // namespace camtag
