// Source readers kept open between execute calls, so that a frame costs no file open and no
// index parse. A call leases one (preferring the reader already open on the clip's file) and
// gives it back when done; a lease is the caller's alone, so calls on several threads never
// share a reader. The file is opened with full sharing (the user may move, delete or rewrite
// it), a kept reader is reopened when the file its path names now has another size or last
// write time, and readers unused for a while are closed by CloseIdleReaders or at their next
// lease.
#pragma once

#include "dv/DvAviReader.h"

namespace camtag {

class ReaderLease {
public:
    // A kept reader: open on `path` when one was kept for it and the file the path names still
    // has the size and last write time it was opened with, closed otherwise.
    explicit ReaderLease(const char* path);
    ~ReaderLease(); // gives the reader back, open
    ReaderLease(const ReaderLease&) = delete;
    ReaderLease& operator=(const ReaderLease&) = delete;

    DvAviReader& reader() { return *reader_; }

private:
    DvAviReader* reader_;
    DvAviReader own_; // when no reader could be had from the pool
};

// Opens `reader` on `path` unless it is open on that path already (a lease has checked the
// file). 1 when open.
int OpenOnPath(DvAviReader& reader, const char* path);

// Closes the kept readers unused for kReaderIdleMs or more; `all` closes every one.
void CloseIdleReaders(bool all = false);

// Kept readers open right now (process-wide).
int OpenKeptReaders();

constexpr unsigned kReaderIdleMs = 2000;

} // namespace camtag
