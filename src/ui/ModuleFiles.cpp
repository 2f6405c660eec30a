#include "ui/ModuleFiles.h"

#include "host/ModuleState.h"

#include <windows.h>

#include <cstring>

namespace camtag {

int ModuleDirectory(char* buffer, size_t size) {
    if (!buffer || size == 0)
        return 0;
    buffer[0] = '\0';
    DWORD capacity = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
    DWORD length = GetModuleFileNameA(moduleInstance, buffer, capacity);
    // A name that filled the buffer may be cut (and unterminated on older systems).
    if (length == 0 || length >= capacity) {
        buffer[0] = '\0';
        return 0;
    }
    buffer[length] = '\0';
    char* slash = strrchr(buffer, '\\');
    if (!slash) {
        buffer[0] = '\0';
        return 0;
    }
    *slash = '\0';
    return 1;
}

} // namespace camtag
