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

int StatusOf(int raw) {
    if (WIFEXITED(raw))
        return WEXITSTATUS(raw);
    if (WIFSIGNALED(raw))
        return 128 + WTERMSIG(raw);
    return -1;
}

} // namespace

int ExitDescriptor(pid_t pid) {
    if (pid <= 0)
        return -1;
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    return -1;
#endif
}

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
            // Only children that were started: for a pid of -1, kill(-pid) would signal init.
            for (Child* child : children)
                if (child->pid > 0 && child->status < 0)
                    kill(-child->pid, SIGTERM);
        }
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const long long sinceStop =
            (now.tv_sec - stoppedAt.tv_sec) * 1000LL + (now.tv_nsec - stoppedAt.tv_nsec) / 1000000;
        if (stopping && !killed && sinceStop >= 3000) {
            killed = true;
            for (Child* child : children)
                if (child->pid > 0 && child->status < 0)
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
    if (started)
        ReadWhileRunning({outPipe[0], errPipe[0]}, {out, err}, child.pid,
                         ExitDescriptor(child.pid));
    close(outPipe[0]);
    close(errPipe[0]);
    if (!started)
        return -1;
    if (!WaitAll({&child}))
        return -1;
    return child.status;
}

void ReadWhileRunning(const std::vector<int>& pipes, const std::vector<std::string*>& sinks,
                      pid_t pid, int exitDescriptor, const std::function<bool()>& enough) {
    // All pipes at once, so that none fills while another is read; the child's exit descriptor
    // last, or where there is none, a look at the child at each quiet poll.
    std::vector<pollfd> fds;
    for (int fd : pipes)
        fds.push_back({fd, POLLIN, 0});
    fds.push_back({exitDescriptor, POLLIN, 0});
    pollfd& exit = fds.back();
    size_t open = pipes.size();
    // No child: what the pipes hold now is all there is to read.
    bool ended = pid <= 0;
    while (open > 0 && !(enough && enough())) {
        const int ready = poll(fds.data(), fds.size(), ended ? 0 : 200);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready == 0 && ended)
            break;
        if (PendingSignal() && !ended)
            kill(-pid, SIGTERM);
        for (size_t i = 0; i < pipes.size(); ++i) {
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
        // Seen ended without reaping it: the caller's wait does that.
        siginfo_t info{};
        if (!ended && exit.fd >= 0 && (exit.revents & POLLIN))
            ended = true;
        else if (!ended && ready <= 0) {
            // No longer a child of this program: a wait beside this reading has reaped it.
            const int looked =
                waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
            ended = looked == 0 ? info.si_pid == pid : errno == ECHILD;
        }
        if (ended && exit.fd >= 0) {
            close(exit.fd);
            exit.fd = -1;
        }
    }
    if (exit.fd >= 0)
        close(exit.fd);
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
