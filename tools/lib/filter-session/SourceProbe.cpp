#include "SourceProbe.h"

#include "dv/DvAviReader.h"
#include "dv/DvErrors.h"

#include <windows.h>

#include <vector>

namespace camtag {

bool ProbeSource(const std::wstring& path, SourceInfo* info, std::string* error, bool* refused) {
    if (refused)
        *refused = false;
    DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        *error = "not a usable path";
        return false;
    }
    std::vector<wchar_t> full(needed + 1);
    DWORD length =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size()) {
        *error = "not a usable path";
        return false;
    }
    info->fullPath.assign(full.data(), length);

    DWORD attributes = GetFileAttributesW(info->fullPath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        *error = "no such file";
        return false;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        *error = "is a folder, not a file";
        return false;
    }

    // The module keeps source paths in the ANSI code page (and in 260 bytes), so the renderer
    // refuses what the module could not open.
    BOOL lossy = FALSE;
    char ansi[MAX_PATH];
    int converted = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, info->fullPath.c_str(), -1,
                                        ansi, sizeof(ansi), nullptr, &lossy);
    if (converted == 0 || lossy) {
        *error = "the path does not fit the module's 260-byte ANSI path (move or rename the file)";
        return false;
    }

    DvAviReader reader;
    if (!reader.Open(ansi)) {
        const char* reason = DvErrorMessage(reader.lastError);
        *error = reason && *reason ? reason : "cannot open the file";
        if (refused)
            *refused = reader.lastError != 0;
        return false;
    }
    if (reader.frameCount == 0 || reader.frameCount > 0x7FFFFFFF / 1001) {
        *error = "the file holds no usable number of frames";
        if (refused)
            *refused = true;
        return false;
    }
    info->frames = reader.frameCount;
    info->ansiPath = ansi;
    info->pal = reader.isPal == 1;
    if (reader.isPal) {
        info->scale = 25;
        info->sampleSize = 1;
        info->width = 720;
        info->height = 576;
    } else {
        info->scale = 30000;
        info->sampleSize = 1001;
        info->width = 720;
        info->height = 480;
    }
    return true;
}

} // namespace camtag
