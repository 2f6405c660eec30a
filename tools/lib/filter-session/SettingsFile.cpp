#include "SettingsFile.h"
#include "settings/FormatLists.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace camtag {

namespace {

// A look file: this tag, the record, then the time and the date picture in list slots' size.
constexpr char kLookTag[12] = {'C', 'A', 'M', 'T', 'A', 'G', ' ', 'L', 'O', 'O', 'K', '1'};
constexpr size_t kLookBytes = sizeof kLookTag + sizeof(FilterSettings) + 2 * kFormatSlotSize;

// The picture of a user's slot (2 and up) that an index selects; slots 0 and 1 are the same
// everywhere and need none.
std::string UserPicture(const FormatList& list, uint32_t index) {
    const uint32_t slot = ClampFormatIndex(list, index);
    if (slot < 2)
        return std::string();
    return std::string(list.slots[slot], strnlen(list.slots[slot], kFormatSlotSize));
}

std::string SlotText(const char* bytes) {
    return std::string(bytes, strnlen(bytes, kFormatSlotSize));
}

} // namespace

bool ReadLookFile(const std::wstring& path, Look* look, std::string* error) {
    std::ifstream in(path.c_str(), std::ios::binary);
    if (!in) {
        *error = "cannot read the settings file";
        return false;
    }
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    *look = Look();
    if (bytes.size() == sizeof(FilterSettings)) {
        std::memcpy(&look->record, bytes.data(), sizeof look->record);
        return true;
    }
    if (bytes.size() != kLookBytes || std::memcmp(bytes.data(), kLookTag, sizeof kLookTag) != 0) {
        *error = "not a look saved by --save-settings (nor a " +
                 std::to_string(sizeof(FilterSettings)) + "-byte settings record; " +
                 std::to_string(bytes.size()) + " bytes found)";
        return false;
    }
    const char* at = bytes.data() + sizeof kLookTag;
    std::memcpy(&look->record, at, sizeof look->record);
    at += sizeof look->record;
    look->timePicture = SlotText(at);
    look->datePicture = SlotText(at + kFormatSlotSize);
    // A picture the lists could not hold is not one the module would have stamped with.
    if (look->timePicture.size() > kPictureMaxChars ||
        look->datePicture.size() > kPictureMaxChars) {
        *error = "a picture in the look is longer than " + std::to_string(kPictureMaxChars) +
                 " characters";
        return false;
    }
    return true;
}

void ApplyLookRecord(const Look& look, FilterSettings& settings) {
    const FilterSettings clip = settings;
    settings = look.record;
    // What belongs to the clip at hand and its project, not to the look.
    std::memcpy(settings.sourcePath, clip.sourcePath, kClipBlockSize);
    settings.dvSource = clip.dvSource;
    settings.frameLeft = clip.frameLeft;
    settings.frameTop = clip.frameTop;
    settings.frameWidth = clip.frameWidth;
    settings.frameHeight = clip.frameHeight;
    settings.projectRateNumerator = clip.projectRateNumerator;
    settings.projectRateDenominator = clip.projectRateDenominator;
    settings.changeCount = clip.changeCount;
}

void TakeLookPictures(const Look& look, StampOptions* options) {
    if (!options->timeGiven && !look.timePicture.empty())
        options->timePictureAnsi = look.timePicture;
    if (!options->dateGiven && !look.datePicture.empty())
        options->datePictureAnsi = look.datePicture;
}

bool SaveLookFile(const std::wstring& path, const FilterSettings& settings, std::string* error) {
    std::vector<char> bytes(kLookBytes, 0);
    char* at = bytes.data();
    std::memcpy(at, kLookTag, sizeof kLookTag);
    at += sizeof kLookTag;
    std::memcpy(at, &settings, sizeof settings);
    at += sizeof settings;
    const std::string time = UserPicture(timeFormats, settings.timeformat);
    const std::string date = UserPicture(dateFormats, settings.dateformat);
    std::memcpy(at, time.data(), std::min<size_t>(time.size(), kFormatSlotSize - 1));
    std::memcpy(at + kFormatSlotSize, date.data(),
                std::min<size_t>(date.size(), kFormatSlotSize - 1));
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        *error = "cannot write the settings file";
        return false;
    }
    return true;
}

namespace {

// The last OK or Cancel that reached the settings dialog, sent (a button, Enter, Esc) or posted
// (the close box); the module's setup answers the same after both.
DialogOutcome lastCommand = DialogOutcome::kNotShown;
HHOOK sentHook = nullptr;
HHOOK postedHook = nullptr;

void Note(HWND window, UINT message, WPARAM wParam) {
    if (message != WM_COMMAND || (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL))
        return;
    WCHAR caption[64] = {};
    GetWindowTextW(window, caption, 64);
    if (lstrcmpW(caption, L"Camtag Settings") == 0)
        lastCommand = LOWORD(wParam) == IDOK ? DialogOutcome::kOk : DialogOutcome::kCancel;
}

LRESULT CALLBACK SentMessages(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
        Note(sent->hwnd, sent->message, sent->wParam);
    }
    return CallNextHookEx(sentHook, code, wParam, lParam);
}

LRESULT CALLBACK PostedMessages(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && wParam == PM_REMOVE) {
        const auto* posted = reinterpret_cast<const MSG*>(lParam);
        Note(posted->hwnd, posted->message, posted->wParam);
    }
    return CallNextHookEx(postedHook, code, wParam, lParam);
}

} // namespace

DialogOutcome RunSettingsDialog(FilterSession& session, std::vector<uint32_t> picture,
                                int32_t width, int32_t height) {
    session.setClipPicture(std::move(picture), width, height);
    lastCommand = DialogOutcome::kNotShown;
    sentHook = SetWindowsHookExW(WH_CALLWNDPROC, SentMessages, nullptr, GetCurrentThreadId());
    postedHook = SetWindowsHookExW(WH_GETMESSAGE, PostedMessages, nullptr, GetCurrentThreadId());
    session.openSettings();
    if (sentHook)
        UnhookWindowsHookEx(sentHook);
    if (postedHook)
        UnhookWindowsHookEx(postedHook);
    sentHook = postedHook = nullptr;
    return lastCommand;
}

} // namespace camtag
