#include "settings/SettingsStore.h"

#include <cstring>

namespace camtag {

namespace {

// Opens the key, creating it when it is not there yet. Null when neither works.
HKEY OpenKey() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS)
        return key;
    key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS)
        return key;
    return nullptr;
}

// RegQueryValueExA of one value; the key is closed on every path.
bool Query(const char* name, void* buffer, DWORD* size) {
    if (!name)
        return false;
    HKEY key = OpenKey();
    if (!key)
        return false;
    LONG rc = RegQueryValueExA(key, name, nullptr, nullptr, static_cast<BYTE*>(buffer), size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

void Set(const char* name, DWORD type, const void* data, DWORD size) {
    if (!name)
        return;
    HKEY key = OpenKey();
    if (!key)
        return;
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

void CopyBounded(char* buffer, size_t size, const char* text) {
    if (!buffer || size == 0)
        return;
    size_t n = text ? strnlen(text, size - 1) : 0;
    if (n)
        memcpy(buffer, text, n);
    buffer[n] = '\0';
}

} // namespace

uint32_t SettingsStore::ReadDword(const char* name, uint32_t defaultValue) {
    uint32_t value = 0;
    DWORD size = sizeof value;
    // A shorter value (a 2-byte binary, an empty string) would leave part of the DWORD unset.
    if (!Query(name, &value, &size) || size != sizeof value)
        return defaultValue;
    return value;
}

void SettingsStore::WriteDword(const char* name, uint32_t value) {
    DWORD v = value;
    Set(name, REG_DWORD, &v, sizeof v);
}

void SettingsStore::ReadString(const char* name, char* buffer, size_t size,
                               const char* defaultValue) {
    if (!buffer || size == 0)
        return;
    DWORD got = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
    if (Query(name, buffer, &got) && got <= size) {
        // The registry does not promise a terminator (REG_BINARY, hand-edited values).
        if (got == 0) {
            buffer[0] = '\0';
            return;
        }
        if (memchr(buffer, '\0', got))
            return;
        if (got < size) {
            buffer[got] = '\0';
            return;
        }
        // Exactly fills the buffer without a terminator: too long, take the default.
    }
    CopyBounded(buffer, size, defaultValue);
}

void SettingsStore::WriteString(const char* name, const char* text) {
    if (!text)
        text = "";
    Set(name, REG_SZ, text, static_cast<DWORD>(strlen(text) + 1));
}

int SettingsStore::ReadBinary(const char* name, void* buffer, DWORD* size) {
    if (!buffer || !size)
        return 0;
    return Query(name, buffer, size) ? 1 : 0;
}

void SettingsStore::WriteBinary(const char* name, const void* data, DWORD size) {
    if (!data && size)
        return;
    Set(name, REG_BINARY, data, size);
}

void SettingsStore::DeleteValue(const char* name) {
    if (!name)
        return;
    HKEY key = OpenKey();
    if (!key)
        return;
    RegDeleteValueA(key, name);
    RegCloseKey(key);
}

} // namespace camtag
