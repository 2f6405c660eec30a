// The module's help file, Camtag.chm beside the module file, shown through the system's HTML Help
// control. The control is loaded at first use from the location it is registered at, so the
// module itself imports nothing beyond the system's own DLLs.
#pragma once

#include <windows.h>

namespace camtag {

constexpr char kHelpTopicSettings[] = "\\Camtag.chm::/Camtag.htm";
constexpr char kHelpTopicFormats[] = "\\Camtag.chm::/Format.htm";

// Opens a topic of the help file, owned by `owner`. `topic` follows the module's directory
// ("\Camtag.chm::/..."). Returns the help window, or null when the module's directory is not known
// or too long for the path (a cut path would name another file), or the HTML Help control is
// missing.
HWND ShowHelpTopic(HWND owner, const char* topic);

} // namespace camtag
