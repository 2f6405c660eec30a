#include "Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

extern char** environ;

namespace camtag::front {

namespace {

volatile sig_atomic_t pendingSignal = 0;

void OnSignal(int signal) {
    if (pendingSignal == 0)
        pendingSignal = signal;
}

void Nap(long milliseconds) {
    timespec pause{0, milliseconds * 1000000L};
    nanosleep(&pause, nullptr);
}

// A descriptor that becomes readable when the child ends (close-on-exec), so that a wait ends
// with the child instead of at its next look; -1 where the kernel has none.
int ExitDescriptor(pid_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

int StatusOf(int raw) {
    if (WIFEXITED(raw))
        return WEXITSTATUS(raw);
    if (WIFSIGNALED(raw))
        return 128 + WTERMSIG(raw);
    return -1;
}

} // namespace

void CatchSignals() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A reader that went away is a failed write, not the end of this program.
    signal(SIGPIPE, SIG_IGN);
}

int PendingSignal() {
    return pendingSignal;
}

bool Spawn(const std::vector<std::string>& argv, int in, int out, int err, Child* child,
           std::string* error) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (in >= 0)
        posix_spawn_file_actions_adddup2(&actions, in, 0);
    else
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (out >= 0)
        posix_spawn_file_actions_adddup2(&actions, out, 1);
    if (err >= 0)
        posix_spawn_file_actions_adddup2(&actions, err, 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setpgroup(&attributes, 0);
    // The child starts with the usual dispositions, whatever this program set.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) {
        *error = "cannot start " + argv[0] + ": " + std::strerror(rc);
        return false;
    }
    child->pid = pid;
    child->status = -1;
    return true;
}

bool WaitAll(std::vector<Child*> children, const std::function<void()>& tick) {
    bool stopping = false, killed = false;
    timespec stoppedAt{};
    std::vector<int> exits;
    for (Child* child : children)
        exits.push_back(child->pid > 0 && child->status < 0 ? ExitDescriptor(child->pid) : -1);
    for (;;) {
        bool running = false, everyWatched = true;
        std::vector<pollfd> watched;
        for (size_t i = 0; i < children.size(); ++i) {
            Child* child = children[i];
            if (child->pid <= 0 || child->status >= 0)
                continue;
            int raw = 0;
            const pid_t done = waitpid(child->pid, &raw, WNOHANG);
            if (done == child->pid) {
                child->status = StatusOf(raw);
            } else if (done < 0 && errno == ECHILD) {
                child->status = 127;
            } else {
                running = true;
                if (exits[i] >= 0)
                    watched.push_back({exits[i], POLLIN, 0});
                else
                    everyWatched = false;
            }
        }
        if (!running) {
            for (int fd : exits)
                if (fd >= 0)
                    close(fd);
            return !stopping;
        }
        if (PendingSignal() && !stopping) {
            stopping = true;
            clock_gettime(CLOCK_MONOTONIC, &stoppedAt);
            for (Child* child : children)
                if (child->status < 0)
                    kill(-child->pid, SIGTERM);
        }
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const long long sinceStop =
            (now.tv_sec - stoppedAt.tv_sec) * 1000LL + (now.tv_nsec - stoppedAt.tv_nsec) / 1000000;
        if (stopping && !killed && sinceStop >= 3000) {
            killed = true;
            for (Child* child : children)
                if (child->status < 0)
                    kill(-child->pid, SIGKILL);
        }
        if (tick && !stopping)
            tick();
        // Until a child ends, a signal comes or 100 ms pass (10 ms without exit descriptors).
        if (everyWatched)
            poll(watched.data(), watched.size(), 100);
        else
            Nap(10);
    }
}

int RunCommand(const std::vector<std::string>& argv, std::string* out, std::string* err,
               std::string* error) {
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) {
        *error = std::string("cannot make a pipe: ") + std::strerror(errno);
        return -1;
    }
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        *error = std::string("cannot make a pipe: ") + std::strerror(errno);
        return -1;
    }
    Child child;
    const bool started = Spawn(argv, -1, outPipe[1], errPipe[1], &child, error);
    close(outPipe[1]);
    close(errPipe[1]);
    if (started) {
        // Both pipes at once, so that neither fills while the other is read; until both end,
        // or the child has ended and what it wrote is read (a process it started may hold
        // the pipes open long after).
        pollfd fds[3] = {{outPipe[0], POLLIN, 0},
                         {errPipe[0], POLLIN, 0},
                         {ExitDescriptor(child.pid), POLLIN, 0}};
        std::string* sinks[2] = {out, err};
        int open = 2;
        bool ended = false;
        while (open > 0) {
            const int ready = poll(fds, 3, ended ? 0 : 200);
            if (ready < 0 && errno != EINTR)
                break;
            if (ready == 0 && ended)
                break;
            if (PendingSignal())
                kill(-child.pid, SIGTERM);
            for (int i = 0; i < 2; ++i) {
                if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                char buffer[65536];
                const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
                if (got > 0) {
                    if (sinks[i])
                        sinks[i]->append(buffer, static_cast<size_t>(got));
                } else if (got == 0 || errno != EINTR) {
                    fds[i].fd = -1;
                    --open;
                }
            }
            int raw = 0;
            const bool exited = fds[2].fd >= 0 && (fds[2].revents & POLLIN);
            if (!ended && (ready <= 0 || exited) &&
                waitpid(child.pid, &raw, WNOHANG) == child.pid) {
                child.status = StatusOf(raw);
                ended = true;
            }
            if ((ended || exited) && fds[2].fd >= 0) {
                close(fds[2].fd);
                fds[2].fd = -1;
            }
        }
        if (fds[2].fd >= 0)
            close(fds[2].fd);
    }
    close(outPipe[0]);
    close(errPipe[0]);
    if (!started)
        return -1;
    if (!WaitAll({&child}))
        return -1;
    return child.status;
}

void ReadWhileRunning(int fd, pid_t pid, std::string* sink) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {ExitDescriptor(pid), POLLIN, 0}};
    bool ended = false;
    for (;;) {
        const int ready = poll(fds, 2, ended ? 0 : -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            char buffer[4096];
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n > 0)
                sink->append(buffer, static_cast<size_t>(n));
            else if (n == 0 || errno != EINTR)
                break;
        }
        if (fds[1].fd >= 0 && (fds[1].revents & POLLIN)) {
            // What it wrote before it ended is still read; a process it started may hold the
            // pipe open long after.
            close(fds[1].fd);
            fds[1].fd = -1;
            ended = true;
        }
    }
    if (fds[1].fd >= 0)
        close(fds[1].fd);
}

std::string LastLines(const std::string& text, size_t lines) {
    size_t end = text.size();
    while (end > 0 && (text[end - 1] == '\n' || text[end - 1] == '\r'))
        --end;
    size_t start = end;
    for (size_t n = 0; start > 0; --start) {
        if (text[start - 1] == '\n' && ++n == lines)
            break;
    }
    return text.substr(start, end - start);
}

} // namespace camtag::front
