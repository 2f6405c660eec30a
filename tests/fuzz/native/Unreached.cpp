// The registry store behind the picture lists is no part of any harness: the lists are filled
// from the fuzzer's bytes instead. Reaching it is a harness fault.
#include "settings/SettingsStore.h"

#include <cstdio>
#include <cstdlib>

namespace camtag {

namespace {
[[noreturn]] void Unreached(const char* what) {
    fprintf(stderr, "%s is no part of the fuzzing harnesses\n", what);
    abort();
}
} // namespace

void SettingsStore::ReadString(const char*, char*, size_t, const char*) {
    Unreached("SettingsStore::ReadString");
}
void SettingsStore::WriteString(const char*, const char*) {
    Unreached("SettingsStore::WriteString");
}
void SettingsStore::DeleteValue(const char*) {
    Unreached("SettingsStore::DeleteValue");
}

} // namespace camtag
