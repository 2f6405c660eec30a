// What the command-line tools take to shape the stamp: --set NAME=VALUE, --time-format and
// --date-format, one implementation for the renderer and camtag-probe, so that a subtitle
// shows what the renderer stamps. Text arrives as UTF-8 and reaches the module in its code page.
//
// The module reads its picture lists from the registry when it is loaded; a picture given for
// one run goes into slot 2 of its list (registry value tf02 or df02) and the record selects it.
// It is never written into the user's key: a SettingsView gives the process a private copy of
// the key for as long as the module reads it.
#pragma once

#include "settings/FilterSettings.h"

#include <windows.h>

#include <string>
#include <vector>

namespace camtag {

constexpr uint32_t kRunPictureSlot = 2;

struct StampOptions {
    std::vector<std::string> assignments; // NAME=VALUE, UTF-8, in the order given
    bool timeGiven = false;
    bool dateGiven = false;
    std::string timePicture; // UTF-8, as given
    std::string datePicture;
    // Filled by CheckStampOptions: the pictures in the module's code page.
    std::string timePictureAnsi;
    std::string datePictureAnsi;
};

// Usage lines for the three options.
extern const char kStampOptionsUsage[];

// Takes argv[*i] when it is one of the three options, with its value argv[*i + 1] (advancing
// *i): 1 when taken, 0 when it is not one of them, -1 (error set) when the value is missing.
int TakeStampOption(int argc, wchar_t** argv, int* i, StampOptions* options, std::string* error);

// Converts and checks everything before a frame moves, so that a typo fails at once with what
// is allowed: the pictures as the format list editor checks them (at most 28 characters, the
// system writes the sample moment with them in 49 characters), and no letters that are not
// tokens outside quotes ("bogus" would come out as "bogu58"), and no day of the year on which
// their text outgrows 49 characters; each assignment on a scratch record. Errors name the
// option: "--time-format "x": ...", "title: at most 31 characters (given: 40)".
bool CheckStampOptions(StampOptions* options, UINT codePage, std::string* error);

// The record as the options have it: the run's pictures selected, then the assignments in
// order. The options must have passed CheckStampOptions.
void ApplyStampOptions(const StampOptions& options, FilterSettings& settings, UINT codePage);

// While it lives, HKEY_CURRENT_USER of this process is a private, volatile copy of the user's
// Camtag key with the run's pictures in it: what the module (or the tool's own copy of the
// picture lists) reads then is this run's, and nothing of the user's key is written, so that
// runs side by side never meet. Without pictures to install it changes nothing.
class SettingsView {
public:
    SettingsView() = default;
    ~SettingsView() { end(); }
    SettingsView(const SettingsView&) = delete;
    SettingsView& operator=(const SettingsView&) = delete;

    bool begin(const StampOptions& options, std::string* error);
    // HKEY_CURRENT_USER back to the user's key, the copy removed. Safe to call twice.
    void end();
    bool active() const { return root_ != nullptr; }

private:
    HKEY root_ = nullptr;
    std::wstring name_;
};

} // namespace camtag
