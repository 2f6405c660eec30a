// An instance's settings record kept in a file (--settings, --save-settings), and the settings
// dialog run before a render (--dialog): the look chosen once serves a whole batch of clips.
#pragma once

#include "FilterSession.h"
#include "StampOptions.h"
#include "settings/FilterSettings.h"

#include <string>
#include <vector>

namespace camtag {

// A look kept in a file: the record, and the pictures its time and date list indexes point at
// (the lists live in a registry that may hold other pictures when the look is used again).
// A bare 506-byte record, as earlier versions saved it, reads as a look without pictures.
struct Look {
    FilterSettings record{};
    std::string timePicture; // in the module's code page; empty: the record's own slot is used
    std::string datePicture;
};

// False, with the reason, when the file is neither a look nor a 506-byte record.
bool ReadLookFile(const std::wstring& path, Look* look, std::string* error);

// Replaces the look of `settings` with the look's record: every field but those of the clip at
// hand (its source file and frames, whether it is DV, the frame size and the project's rate),
// which stay as the host set them.
void ApplyLookRecord(const Look& look, FilterSettings& settings);

// The look's pictures become this run's (the record then selects them), unless the command
// line gave pictures of its own. Call after CheckStampOptions.
void TakeLookPictures(const Look& look, StampOptions* options);

// Writes the record with the pictures of the lists as they stand (FormatLists) for its indexes.
bool SaveLookFile(const std::wstring& path, const FilterSettings& settings, std::string* error);

// How the user left the module's settings dialog.
enum class DialogOutcome { kOk, kCancel, kNotShown };

// Opens the module's settings dialog through setup, the host delivering `picture` (width x height,
// bottom row first) as the clip's frame, and tells how the user closed it.
DialogOutcome RunSettingsDialog(FilterSession& session, std::vector<uint32_t> picture,
                                int32_t width, int32_t height);

} // namespace camtag
