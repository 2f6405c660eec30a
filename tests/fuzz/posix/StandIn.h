// What the fuzzing harnesses need of the POSIX stand-in beyond the Win32 calls themselves:
// files that live in memory, and counts of what is still open, so that a harness can call a
// handle or block left behind by the code under test a finding.
#pragma once

#include <cstddef>
#include <cstdint>

namespace camtag::fuzz::posix {

// Makes size bytes at data readable as the file `path` (CreateFileA with GENERIC_READ and
// OPEN_EXISTING). The bytes are not copied: they must stay valid while a handle on the file is
// open. A file of the same name is replaced.
void AddMemoryFile(const char* path, const uint8_t* data, size_t size);
void RemoveMemoryFile(const char* path);

// File handles not yet closed, and movable blocks not yet freed.
size_t OpenFileHandles();
size_t LiveGlobalBlocks();

} // namespace camtag::fuzz::posix
