// Module-wide values: set at process start and by the setup selector, read everywhere else.
#pragma once

#include <windows.h>

#include <cstdint>

namespace camtag {

extern HINSTANCE moduleInstance; // source of dialog templates and strings
extern UINT ansiCodePage;        // system default ANSI code page, for source paths
extern int32_t hostVersion;      // the host's interface version; 0 until the first setup call
extern bool warningShown;        // the one-time warning for newer hosts

} // namespace camtag
