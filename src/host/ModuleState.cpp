#include "host/ModuleState.h"

namespace camtag {

HINSTANCE moduleInstance = nullptr;
UINT ansiCodePage = CP_ACP;
std::atomic<int32_t> hostVersion{0};
std::atomic<bool> warningShown{false};

} // namespace camtag
