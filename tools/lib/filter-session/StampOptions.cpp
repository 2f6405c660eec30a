#include "StampOptions.h"

#include "FilterSession.h"
#include "SettingOverrides.h"
#include "settings/FormatLists.h"
#include "text/OverlayText.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace camtag {

const char kStampOptionsUsage[] =
    "  --set NAME=VALUE       change a setting of the instance (registry value names), repeatable\n"
    "  --time-format PICTURE  use this time picture (GetTimeFormat syntax) for this run\n"
    "  --date-format PICTURE  use this date picture (GetDateFormat syntax) for this run\n";

namespace {

SYSTEMTIME WithWeekday(SYSTEMTIME t) {
    FILETIME file;
    SYSTEMTIME back;
    if (SystemTimeToFileTime(&t, &file) && FileTimeToSystemTime(&file, &back))
        t.wDayOfWeek = back.wDayOfWeek;
    return t;
}

// The moment of the year on which the picture's text is longest, if it outgrows 49 characters
// there (the module then stamps no time or no date at all). Times go through the minute-count
// tokens first, as the module writes them.
bool OutgrowsSomeDay(const std::string& picture, bool isTime, SYSTEMTIME* when) {
    std::vector<SYSTEMTIME> moments;
    if (isTime) {
        for (WORD hour = 0; hour < 24; ++hour)
            for (WORD minute : {WORD(0), WORD(59)}) {
                SYSTEMTIME t = PictureSampleMoment();
                t.wHour = hour;
                t.wMinute = minute;
                t.wSecond = 59;
                moments.push_back(t);
            }
    } else {
        // Every month with every weekday: the longest names of both.
        for (WORD month = 1; month <= 12; ++month)
            for (WORD day = 10; day < 17; ++day) {
                SYSTEMTIME t = PictureSampleMoment();
                t.wMonth = month;
                t.wDay = day;
                moments.push_back(WithWeekday(t));
            }
    }
    for (const SYSTEMTIME& t : moments) {
        char out[kFormattedChars];
        int written = 0;
        if (isTime) {
            char expanded[kFormattedChars + 1];
            ExpandMinuteTokens(picture.c_str(), t, expanded, sizeof expanded);
            written = GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &t, expanded, out, sizeof out);
        } else {
            written = GetDateFormatA(LOCALE_USER_DEFAULT, 0, &t, picture.c_str(), out, sizeof out);
        }
        if (written == 0) {
            *when = t;
            return true;
        }
    }
    return false;
}

// The first letter outside quotes that is not a token of the picture's kind, or 0.
char StrayLetter(const std::string& picture, bool isTime) {
    const char* tokens = isTime ? "hHmst" : "dMyg";
    bool quoted = false;
    for (char c : picture) {
        if (c == '\'') {
            quoted = !quoted; // '' inside quotes is a quote: it toggles twice
        } else if (!quoted && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) &&
                   !std::strchr(tokens, c)) {
            return c;
        }
    }
    return 0;
}

bool CheckPicture(const std::string& given, bool isTime, UINT codePage, std::string* ansi,
                  std::string* error) {
    const std::string option = isTime ? "--time-format" : "--date-format";
    const std::string named = option + " \"" + given + "\": ";
    if (given.empty()) {
        *error = option + ": a picture of 1 to " + std::to_string(kPictureMaxChars) +
                 " characters (--set " + (isTime ? "timeformat" : "dateformat") + "=0 leaves the " +
                 (isTime ? "time" : "date") + " out)";
        return false;
    }
    std::string why;
    if (!Utf8ToModuleCodePage(given, codePage, ansi, &why)) {
        *error = named + why;
        return false;
    }
    if (ansi->size() > kPictureMaxChars) {
        *error = named + "at most " + std::to_string(kPictureMaxChars) +
                 " characters (given: " + std::to_string(ansi->size()) + ")";
        return false;
    }
    char sample[kFormattedChars];
    if (!FormatPictureSample(ansi->c_str(), isTime, sample)) {
        *error =
            named + "the system cannot write a " + (isTime ? "time" : "date") +
            " with it in 49 characters (the format list editor says \"Invalid format. See help.\")";
        return false;
    }
    if (char stray = StrayLetter(*ansi, isTime)) {
        *error = named + "\"" + std::string(1, stray) + "\" is not a " +
                 (isTime ? "time" : "date") + " token (" +
                 (isTime ? "h, H, m, s, t" : "d, M, y, g") +
                 "); put words in single quotes, as in " + (isTime ? "HH'h'mm" : "d 'de' MMMM");
        return false;
    }
    SYSTEMTIME when;
    if (OutgrowsSomeDay(*ansi, isTime, &when)) {
        char moment[64];
        if (isTime)
            std::snprintf(moment, sizeof moment, "%02u:%02u:%02u", when.wHour, when.wMinute,
                          when.wSecond);
        else
            std::snprintf(moment, sizeof moment, "%04u-%02u-%02u", when.wYear, when.wMonth,
                          when.wDay);
        *error = named + "its text at " + moment + " is longer than 49 characters";
        return false;
    }
    return true;
}

} // namespace

int TakeStampOption(int argc, wchar_t** argv, int* i, StampOptions* options, std::string* error) {
    const std::wstring arg = argv[*i];
    std::string* target = nullptr;
    if (arg == L"--time-format") {
        target = &options->timePicture;
        options->timeGiven = true;
    } else if (arg == L"--date-format") {
        target = &options->datePicture;
        options->dateGiven = true;
    } else if (arg != L"--set") {
        return 0;
    }
    if (*i + 1 >= argc) {
        *error = "option " + Utf8(arg) + " needs a value";
        return -1;
    }
    const std::string value = Utf8(argv[++*i]);
    if (target)
        *target = value;
    else
        options->assignments.push_back(value);
    return 1;
}

bool CheckStampOptions(StampOptions* options, UINT codePage, std::string* error) {
    options->timePictureAnsi.clear();
    options->datePictureAnsi.clear();
    if (options->timeGiven &&
        !CheckPicture(options->timePicture, true, codePage, &options->timePictureAnsi, error))
        return false;
    if (options->dateGiven &&
        !CheckPicture(options->datePicture, false, codePage, &options->datePictureAnsi, error))
        return false;
    FilterSettings scratch{};
    for (const std::string& assignment : options->assignments)
        if (!ApplySettingOverride(scratch, assignment, error, codePage))
            return false;
    return true;
}

void ApplyStampOptions(const StampOptions& options, FilterSettings& settings, UINT codePage) {
    if (!options.timePictureAnsi.empty())
        settings.timeformat = kRunPictureSlot;
    if (!options.datePictureAnsi.empty())
        settings.dateformat = kRunPictureSlot;
    std::string unused;
    for (const std::string& assignment : options.assignments)
        ApplySettingOverride(settings, assignment, &unused, codePage);
}

namespace {

constexpr wchar_t kUserKey[] = L"Software\\Veltro\\Camtag\\3.0";

// Every value of `from` into `to`.
void CopyValues(HKEY from, HKEY to) {
    std::vector<wchar_t> name(16384);
    std::vector<BYTE> data(65536);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        LONG rc = RegEnumValueW(from, index, name.data(), &nameLength, nullptr, &type, data.data(),
                                &dataSize);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc != ERROR_SUCCESS)
            continue; // a value too large for any field the module reads
        RegSetValueExW(to, name.data(), 0, type, data.data(), dataSize);
    }
}

} // namespace

bool SettingsView::begin(const StampOptions& options, std::string* error) {
    end();
    if (options.timePictureAnsi.empty() && options.datePictureAnsi.empty())
        return true;
    static LONG counter = 0;
    name_ = L"Camtag-run-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(InterlockedIncrement(&counter));
    // Volatile: the copy never reaches the user's registry file, even if this process dies.
    HKEY root = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, name_.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &root, nullptr) != ERROR_SUCCESS) {
        *error = "cannot make the run's private settings key";
        return false;
    }
    HKEY copy = nullptr;
    if (RegCreateKeyExW(root, kUserKey, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &copy, nullptr) != ERROR_SUCCESS) {
        RegCloseKey(root);
        RegDeleteTreeW(HKEY_CURRENT_USER, name_.c_str());
        *error = "cannot make the run's private settings key";
        return false;
    }
    HKEY user = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kUserKey, 0, KEY_READ, &user) == ERROR_SUCCESS) {
        CopyValues(user, copy);
        RegCloseKey(user);
    }
    auto put = [&](const char* name, const std::string& picture) {
        if (!picture.empty())
            RegSetValueExA(copy, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(picture.c_str()),
                           static_cast<DWORD>(picture.size() + 1));
    };
    put("tf02", options.timePictureAnsi);
    put("df02", options.datePictureAnsi);
    RegCloseKey(copy);
    if (RegOverridePredefKey(HKEY_CURRENT_USER, root) != ERROR_SUCCESS) {
        RegCloseKey(root);
        RegDeleteTreeW(HKEY_CURRENT_USER, name_.c_str());
        *error = "cannot give the run its private settings key";
        return false;
    }
    root_ = root;
    return true;
}

void SettingsView::end() {
    if (!root_)
        return;
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(root_);
    root_ = nullptr;
    RegDeleteTreeW(HKEY_CURRENT_USER, name_.c_str());
}

} // namespace camtag
