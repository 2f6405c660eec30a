// Child processes without a shell: each in a process group of its own, so that a Ctrl-C at the
// terminal reaches this program alone, which then stops them, cleans up and ends.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace camtag::front {

// SIGINT and SIGTERM set a flag instead of ending the program; PendingSignal() tells which
// came (0 for none).
void CatchSignals();
int PendingSignal();

struct Child {
    pid_t pid = -1;
    int status = -1; // the exit status once ended; 128 + signal when killed
};

// Starts argv[0] (found on PATH) with the given descriptors as its standard input, output and
// error (-1: /dev/null for input, this program's own for the others). False with `error` when
// it cannot start.
bool Spawn(const std::vector<std::string>& argv, int in, int out, int err, Child* child,
           std::string* error);

// Waits until every child has ended. When a signal comes first, the children are stopped
// (SIGTERM, then SIGKILL) and reaped, and the call returns false. `tick` runs about every
// 100 ms while waiting; the wait ends as soon as the last child does.
bool WaitAll(std::vector<Child*> children, const std::function<void()>& tick = {});

// Runs one command to its end: its exit status, or -1 when it could not start (`error` says
// why) or a signal stopped the wait. Its standard output goes to `out` (null: discarded), its
// standard error to `err` (null: discarded).
int RunCommand(const std::vector<std::string>& argv, std::string* out, std::string* err,
               std::string* error);

// A descriptor that becomes readable when child `pid` ends (close-on-exec), so that a wait ends
// with the child instead of at its next look; -1 where the kernel has none. Opened before
// anything can reap the child: after that the number may already be another process's.
int ExitDescriptor(pid_t pid);

// Reads what child `pid` writes into each pipe into the sink beside it (null: read away), until
// every pipe has ended or the child has ended and what it wrote is read: a process it started
// (Wine's session, started by its first program) may hold the pipes open long after. A signal
// stops the child. The child is not reaped; a wait on another thread may reap it meanwhile.
// Takes `exitDescriptor` (ExitDescriptor(pid), or -1) and closes it. With no child (pid <= 0)
// it reads what the pipes hold and returns. With `enough`, it also returns as soon as that says
// what was read is enough (a child that stays for more work).
void ReadWhileRunning(const std::vector<int>& pipes, const std::vector<std::string*>& sinks,
                      pid_t pid, int exitDescriptor, const std::function<bool()>& enough = {});

// The last lines of a text, for quoting a program's own words after a failure.
std::string LastLines(const std::string& text, size_t lines);

} // namespace camtag::front
