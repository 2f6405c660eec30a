#include "dv/KeptReader.h"

#include "host/KeptObjects.h"

#include <cstdint>
#include <cstring>
#include <new>

namespace camtag {

namespace {

struct Kept : DvAviReader {
    DWORD lastUse = 0;
};

// Two clips (or two render threads) each keep theirs.
KeptObjects<Kept, 4> keptReaders;

bool Idle(const Kept& kept) {
    return GetTickCount() - kept.lastUse >= kReaderIdleMs;
}

bool OpenOn(const DvAviReader& reader, const char* path) {
    return reader.isOpen && path && std::strcmp(reader.Path(), path) == 0;
}

// The file the path names now is the one the reader opened: same size, same last write time.
bool Unchanged(const DvAviReader& reader) {
    WIN32_FILE_ATTRIBUTE_DATA now;
    const FILETIME opened = reader.OpenedWriteTime();
    return GetFileAttributesExA(reader.Path(), GetFileExInfoStandard, &now) &&
           ((static_cast<uint64_t>(now.nFileSizeHigh) << 32) | now.nFileSizeLow) ==
               reader.OpenedSize() &&
           now.ftLastWriteTime.dwLowDateTime == opened.dwLowDateTime &&
           now.ftLastWriteTime.dwHighDateTime == opened.dwHighDateTime;
}

} // namespace

ReaderLease::ReaderLease(const char* path) : reader_(&own_) {
    Kept* kept = nullptr;
    if (path && path[0])
        kept = keptReaders.Take([&](const Kept& k) { return OpenOn(k, path); });
    if (!kept)
        kept = keptReaders.Take([](const Kept&) { return true; });
    if (!kept)
        kept = new (std::nothrow) Kept;
    if (!kept)
        return;
    // Another clip's file, or long unused (the file may be another by now), or changed.
    if (kept->isOpen && (!OpenOn(*kept, path) || Idle(*kept) || !Unchanged(*kept)))
        kept->Close();
    reader_ = kept;
}

ReaderLease::~ReaderLease() {
    if (reader_ == &own_)
        return;
    Kept* kept = static_cast<Kept*>(reader_);
    kept->lastUse = GetTickCount();
    keptReaders.Give(kept);
}

int OpenOnPath(DvAviReader& reader, const char* path) {
    return OpenOn(reader, path) ? 1 : reader.Open(path);
}

void CloseIdleReaders(bool all) {
    // Each taken and given back once: a taken reader is this call's alone.
    Kept* taken[4] = {};
    int count = 0;
    while (count < 4) {
        Kept* kept = keptReaders.Take([&](const Kept& k) { return k.isOpen && (all || Idle(k)); });
        if (!kept)
            break;
        kept->Close();
        taken[count++] = kept;
    }
    for (int i = 0; i < count; ++i)
        keptReaders.Give(taken[i]);
}

int OpenKeptReaders() {
    Kept* taken[4] = {};
    int count = 0;
    while (count < 4) {
        Kept* kept = keptReaders.Take([](const Kept& k) { return k.isOpen != 0; });
        if (!kept)
            break;
        taken[count++] = kept;
    }
    for (int i = 0; i < count; ++i)
        keptReaders.Give(taken[i]);
    return count;
}

} // namespace camtag
