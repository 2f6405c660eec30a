// Per-user defaults and picture lists in the registry, under one key of HKEY_CURRENT_USER.
// Every operation opens (or creates) the key and closes it again before it returns, so nothing
// stays open between calls. Reads fall back to the caller's default; writes fail silently.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace camtag {

constexpr char kSettingsKey[] = "Software\\Veltro\\Camtag\\3.0";

class SettingsStore {
public:
    // The stored value when it is exactly 4 bytes long, else the default.
    static uint32_t ReadDword(const char* name, uint32_t defaultValue);
    static void WriteDword(const char* name, uint32_t value);

    // Fills buffer (size bytes, always terminated when size > 0) with the stored text, or with
    // the default (cut to fit) when the value is missing, unreadable or does not fit.
    static void ReadString(const char* name, char* buffer, size_t size, const char* defaultValue);
    static void WriteString(const char* name, const char* text);

    // size: the buffer size in, the stored size out. 1 when the value was read, 0 when it is
    // missing or longer than the buffer.
    static int ReadBinary(const char* name, void* buffer, DWORD* size);
    static void WriteBinary(const char* name, const void* data, DWORD size);

    static void DeleteValue(const char* name);
};

} // namespace camtag
