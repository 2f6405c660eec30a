#include "ui/HelpFile.h"

#include "ui/ModuleFiles.h"

#include <cstring>

namespace camtag {

namespace {

constexpr UINT kHhDisplayTopic = 0; // HH_DISPLAY_TOPIC
constexpr char kHtmlHelpControlKey[] =
    "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";

using HtmlHelpAFn = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);

// HtmlHelpA of the registered HTML Help control; null when it is not there. Looked up once: the
// control stays loaded for the life of the process, as its help windows may outlive the dialog.
HtmlHelpAFn HtmlHelpEntry() {
    static HtmlHelpAFn entry = nullptr;
    static bool looked = false;
    if (looked)
        return entry;
    looked = true;
    char registered[MAX_PATH] = {};
    LONG size = sizeof registered;
    if (RegQueryValueA(HKEY_CLASSES_ROOT, kHtmlHelpControlKey, registered, &size) != ERROR_SUCCESS)
        return nullptr;
    registered[sizeof registered - 1] = '\0';
    char path[MAX_PATH] = {};
    DWORD expanded = ExpandEnvironmentStringsA(registered, path, sizeof path);
    if (expanded == 0 || expanded > sizeof path)
        return nullptr;
    HMODULE control = LoadLibraryA(path);
    if (!control)
        return nullptr;
    entry = reinterpret_cast<HtmlHelpAFn>(
        reinterpret_cast<void*>(GetProcAddress(control, "HtmlHelpA")));
    return entry;
}

} // namespace

HWND ShowHelpTopic(HWND owner, const char* topic) {
    char path[MAX_PATH];
    if (!topic || !ModuleDirectory(path, sizeof path))
        return nullptr;
    if (std::strlen(path) + std::strlen(topic) >= sizeof path)
        return nullptr;
    std::strcat(path, topic);
    HtmlHelpAFn htmlHelp = HtmlHelpEntry();
    return htmlHelp ? htmlHelp(owner, path, kHhDisplayTopic, 0) : nullptr;
}

} // namespace camtag
