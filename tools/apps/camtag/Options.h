// The command line of camtag: its commands and options, parsed once for the whole program.
#pragma once

#include "Render.h"

namespace camtag::front {

struct Command {
    enum Kind { kRender, kProbe, kEncoding } kind = kRender;
    RenderOptions render;
    ProbeOptions probe;
    bool deinterlace = false; // kEncoding
};

// -1 when the command should run, else the status to exit with (0 after --help; the usage
// error printed).
int ParseCommandLine(int argc, const char* const* argv, Command* command);

} // namespace camtag::front
