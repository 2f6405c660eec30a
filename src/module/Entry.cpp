// Process start and stop, the exported entry and the setup selector.
#include "module/Entry.h"

#include "dv/KeptReader.h"

#include "host/ModuleState.h"
#include "module/ClipLocator.h"
#include "module/InstanceRecord.h"
#include "resources/ResourceIds.h"
#include "settings/FilterSettings.h"
#include "settings/FormatLists.h"
#include "ui/SettingsDialog.h"

#include <windows.h>
#include <gdiplus.h>

#include <cstdlib>
#include <cstring>

namespace camtag {

namespace {

constexpr int kWarningTextChars = 200;

ULONG_PTR gdiplusToken = 0;

// The system's default ANSI code page, for the source paths the host names in UTF-8. A system
// whose locale has none ("0", Unicode-only locales) or that cannot say uses CP_ACP's page.
UINT SystemAnsiCodePage() {
    int size = GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE, nullptr, 0);
    char text[16] = {};
    if (size > 0 && size <= static_cast<int>(sizeof text) &&
        GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE, text, size) > 0) {
        long page = std::strtol(text, nullptr, 10);
        if (page > 0 && page <= 65535)
            return static_cast<UINT>(page);
    }
    return GetACP();
}

void ProcessStart(HINSTANCE instance) {
    moduleInstance = instance;
    ansiCodePage = SystemAnsiCodePage();
    Gdiplus::GdiplusStartupInput input; // version 1, no debug callback, nothing suppressed
    if (Gdiplus::GdiplusStartup(&gdiplusToken, &input, nullptr) != Gdiplus::Ok)
        gdiplusToken = 0;
    LoadFormatLists();
}

void ProcessStop(bool processEnding) {
    // When the whole process ends, its other threads (GDI+'s own among them) are gone already;
    // shutting GDI+ down then could wait on them for good.
    if (gdiplusToken && !processEnding)
        Gdiplus::GdiplusShutdown(gdiplusToken);
    gdiplusToken = 0;
}

} // namespace

void ShowNewHostWarningOnce() {
    // One box per process even when two threads get here at once.
    if (warningShown.exchange(true))
        return;
    // Wide calls, so the Cyrillic caption reads right whatever the system code page.
    WCHAR text[kWarningTextChars] = {};
    LoadStringW(moduleInstance, IDS_HOST_TOO_NEW, text, kWarningTextChars);
    MessageBoxW(nullptr, text, L"\u0412\u043d\u0438\u043c\u0430\u043d\u0438\u0435!",
                MB_ICONWARNING);
}

int16_t RunSetup(HostRecordHandle record) {
    HostFilterRecord* rec = record ? *record : nullptr;
    if (!rec || !rec->suites)
        return kResultFailed;
    hostVersion = rec->suites->interfaceVersion;

    // The first call on an instance only makes its settings record.
    if (!rec->settings)
        return CreateSettings(record) == 0 ? kResultOk : kResultFailed;
    FilterSettings* settings = SettingsOf(rec);
    if (!settings)
        return kResultFailed;

    FoundClip clip;
    std::memcpy(&clip.block, settings->sourcePath, sizeof clip.block);
    clip.dvSource = settings->dvSource;
    if (hostVersion > kLastKnownHostVersion) {
        ShowNewHostWarningOnce();
    } else if (!ClipLocator::Locate(record, clip)) {
        return kResultFailed;
    }
    // The host may have moved the handle's block while it was called.
    if (!StoreFoundClip(rec, clip))
        return kResultFailed;

    HostWindowTable* window = rec->suites->window;
    HWND owner = window && window->getMainWindow ? window->getMainWindow() : nullptr;
    settings = SettingsOf(rec);
    if (!settings)
        return kResultFailed;
    const FilterSettings before = *settings;
    FilterSettings edited = before;
    if (RunSettingsDialog(moduleInstance, owner, record, edited) == IDOK)
        StoreEdits(rec, before, edited);
    return kResultOk;
}

} // namespace camtag

using namespace camtag;

extern "C" int16_t xFilter(int16_t selector, HostRecordHandle record) {
    switch (selector) {
    case kSelectorExecute:
        return RunExecute(record);
    case kSelectorSetup:
        return RunSetup(record);
    case kSelectorQueryFlags:
        return kQueryFlagsAnswer;
    case kSelectorPixelFormats: {
        HostFilterRecord* rec = record ? *record : nullptr;
        if (!rec)
            return kResultFailed;
        if (rec->pixelFormatIndex != 0)
            return 1;
        rec->pixelFormat = kPixelFormatBgra;
        return kResultOk;
    }
    case kSelectorIdle:
        // The source files of clips no longer rendered are not held open.
        CloseIdleReaders();
        return kResultOk;
    default:
        return kResultFailed;
    }
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        ProcessStart(instance);
        break;
    case DLL_PROCESS_DETACH:
        ProcessStop(reserved != nullptr);
        break;
    default:
        break;
    }
    return TRUE;
}
