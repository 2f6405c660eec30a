#include "host/ModuleState.h"

namespace camtag {

HINSTANCE moduleInstance = nullptr;
UINT ansiCodePage = CP_ACP;
int32_t hostVersion = 0;
bool warningShown = false;

} // namespace camtag
