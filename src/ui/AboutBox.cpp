#include "ui/AboutBox.h"

#include "host/ModuleState.h"
#include "resources/ResourceIds.h"
#include "text/TextRoutines.h"
#include "ui/ModuleFiles.h"
#include "ui/UiGuards.h"

#include <cstdio>
#include <cstring>

namespace camtag {

namespace {

constexpr char kModuleFileName[] = "\\fl-Camtag.prm";

// ProductVersion of the module file of the fixed name beside this module; empty when any step
// fails (no directory, another file name, no version resource).
void ProductVersion(char* out, size_t size) {
    out[0] = '\0';
    char path[MAX_PATH];
    if (!ModuleDirectory(path, sizeof path) ||
        std::strlen(path) + sizeof kModuleFileName > sizeof path)
        return;
    std::strcat(path, kModuleFileName);
    DWORD ignored = 0;
    const DWORD bytes = GetFileVersionInfoSizeA(path, &ignored);
    if (bytes == 0)
        return;
    LockedGlobal block(bytes);
    if (!block.get() || !GetFileVersionInfoA(path, 0, bytes, block.get()))
        return;
    char* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.get(), "\\StringFileInfo\\040904b0\\ProductVersion",
                        reinterpret_cast<void**>(&value), &length) ||
        !value || length == 0)
        return;
    // The whole version, however long: a cut version would show another number.
    CopyBounded(out, size, value);
}

} // namespace

INT_PTR CALLBACK AboutBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: {
        char version[72]; // as much as the 100-byte line can show after its words
        ProductVersion(version, sizeof version);
        char line[100];
        std::snprintf(line, sizeof line, "Camtag Video Filter Version %s", version);
        SetDlgItemTextA(dialog, IDC_ABOUT_VERSION, line);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            EndDialog(dialog, 1);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

INT_PTR ShowAboutBox(HWND owner) {
    return DialogBoxParamA(moduleInstance, MAKEINTRESOURCEA(IDD_ABOUT), owner, AboutBoxProc, 0);
}

} // namespace camtag
