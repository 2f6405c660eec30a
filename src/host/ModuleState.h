// Module-wide values: set at process start and by the setup selector, read everywhere else.
// The host may call the module on several threads at once; the module starts none itself.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

namespace camtag {

extern HINSTANCE moduleInstance; // source of dialog templates and strings
extern UINT ansiCodePage;        // system default ANSI code page, for source paths
// Written while a host may call execute on other threads: atomic, so every thread reads a whole
// value and only one of them shows the warning.
extern std::atomic<int32_t>
    hostVersion;                       // the host's interface version; 0 until the first setup call
extern std::atomic<bool> warningShown; // the one-time warning for newer hosts

} // namespace camtag
