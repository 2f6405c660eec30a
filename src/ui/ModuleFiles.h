// The files beside the module: the help file and the module file whose version the About box
// shows are found from the module's own directory.
#pragma once

#include <cstddef>

namespace camtag {

// The directory of this module's file, without a trailing backslash. 0 when the name cannot be
// had in full or holds no backslash (buffer then empty when size > 0).
int ModuleDirectory(char* buffer, size_t size);

} // namespace camtag
