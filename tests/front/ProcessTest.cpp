// Child processes as the front runs them: all they write, and waits that end with them.
#include "Process.h"
#include "Worker.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <vector>

using namespace camtag::front;

TEST(Process, RunCommandGivesOutputAndStatus) {
    struct Case {
        const char* script;
        int status;
        size_t outBytes;
        std::string err;
    };
    const Case cases[] = {
        {"exit 0", 0, 0, ""},
        {"echo gone >&2; exit 3", 3, 0, "gone\n"},
        // Written just before the end, more than a pipe holds: all of it is read.
        {"head -c 300000 /dev/zero; exit 5", 5, 300000, ""},
        // A process it leaves behind holds the pipes; the wait ends with the child.
        {"sleep 5 & echo left >&2", 0, 0, "left\n"},
    };
    for (const Case& c : cases) {
        std::string out, err, error;
        EXPECT_EQ(RunCommand({"sh", "-c", c.script}, &out, &err, &error), c.status) << c.script;
        EXPECT_EQ(out.size(), c.outBytes) << c.script;
        EXPECT_EQ(err, c.err) << c.script;
    }
}

TEST(Process, WaitAllWaitsForEveryChild) {
    Child quick, slow;
    std::string error;
    ASSERT_TRUE(Spawn({"sh", "-c", "exit 2"}, -1, -1, -1, &quick, &error)) << error;
    ASSERT_TRUE(Spawn({"sh", "-c", "sleep 0.3; kill -15 $$"}, -1, -1, -1, &slow, &error)) << error;
    EXPECT_TRUE(WaitAll({&quick, &slow}));
    EXPECT_EQ(quick.status, 2);
    EXPECT_EQ(slow.status, 128 + 15);
}

TEST(Process, ReadWhileRunningEndsWithTheChild) {
    // The child leaves a process behind that holds the pipe; what the child wrote is all read,
    // and the reading ends with the child, while the one left behind still holds the pipe: also
    // where there is no exit descriptor and a wait beside the reading has reaped the child.
    const struct {
        bool reaped;
        int bytes; // more than a pipe holds unless reaped first
    } cases[] = {{false, 100000}, {true, 1000}};
    for (const auto& c : cases) {
        int words[2];
        ASSERT_EQ(pipe2(words, O_CLOEXEC), 0);
        Child child;
        std::string error, text;
        const std::string script = "(sleep 30; echo late >&2) & echo $! >&2; head -c " +
                                   std::to_string(c.bytes) + " /dev/zero | tr '\\0' x >&2";
        ASSERT_TRUE(Spawn({"sh", "-c", script}, -1, -1, words[1], &child, &error)) << error;
        close(words[1]);
        if (c.reaped) {
            EXPECT_TRUE(WaitAll({&child}));
        }
        ReadWhileRunning({words[0]}, {&text}, child.pid, c.reaped ? -1 : ExitDescriptor(child.pid));
        close(words[0]);
        const pid_t left = static_cast<pid_t>(std::atol(text.c_str()));
        ASSERT_GT(left, 0) << text;
        kill(-child.pid, SIGKILL); // the one left behind, in the child's group
        // Nothing of what the one left behind writes when it ends.
        EXPECT_EQ(text.size(), text.find('\n') + 1 + static_cast<size_t>(c.bytes));
        EXPECT_TRUE(WaitAll({&child}));
        EXPECT_EQ(child.status, 0);
    }
}

TEST(Process, ReadProbeReplyTakesTheAnswerOfARendererThatStays) {
    // The spare answers a look and waits for its render: the reply is taken without waiting for
    // its end, whatever pieces it comes in and however many messages come first; a renderer that
    // ends inside its answer gives none, also while a process it left behind holds its pipes.
    // Each with the renderer's exit descriptor and without (then looked at), and long before the
    // 30 s the processes left behind last.
    const std::string answer = "printf '\\002\\0\\0\\0'; sleep 0.1; printf '\\003\\0\\0\\0ok\\n'";
    const struct {
        std::string script;
        bool answered;
        size_t errBytes;
    } cases[] = {
        {"echo note >&2; " + answer + "; exec sleep 30", true, 5},
        {"head -c 100000 /dev/zero >&2; " + answer + "; exec sleep 30", true, 100000},
        {"sleep 30 <&- & printf '\\002\\0\\0\\0\\003\\0'", false, 0},
    };
    for (const bool exitDescriptor : {true, false}) {
        for (const auto& c : cases) {
            int out[2], err[2];
            ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
            ASSERT_EQ(pipe2(err, O_CLOEXEC), 0);
            Child child;
            std::string error, lines, messages;
            ASSERT_TRUE(Spawn({"sh", "-c", c.script}, -1, out[1], err[1], &child, &error)) << error;
            close(out[1]);
            close(err[1]);
            int status = -1;
            const auto start = std::chrono::steady_clock::now();
            EXPECT_EQ(ReadProbeReply(out[0], err[0], child.pid,
                                     exitDescriptor ? ExitDescriptor(child.pid) : -1, &status,
                                     &lines, &messages),
                      c.answered)
                << c.script;
            const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - start);
            EXPECT_LT(waited.count(), 10000) << c.script;
            EXPECT_EQ(messages.size(), c.errBytes) << c.script;
            if (c.answered) {
                EXPECT_EQ(status, 2);
                EXPECT_EQ(lines, "ok\n");
            }
            kill(-child.pid, SIGKILL);
            WaitAll({&child});
            close(out[0]);
            close(err[0]);
        }
    }
}

// The signals the code under test sends; never sent on to init or to every process.
std::vector<pid_t> signalled;
extern "C" int kill(pid_t pid, int signal) {
    signalled.push_back(pid);
    if (pid == 1 || pid == -1)
        return errno = EPERM, -1;
    return static_cast<int>(syscall(SYS_kill, pid, signal));
}

TEST(ProcessDeathTest, AStopSignalsOnlyTheChildrenStarted) {
    // After Ctrl-C, a child that never started (a render without a renderer) has no group to
    // stop: for its pid of -1, kill(-pid) would signal init.
    const auto stop = [] {
        signalled.clear();
        CatchSignals();
        raise(SIGINT);
        Child started, never;
        std::string error;
        const bool spawned = Spawn({"sleep", "30"}, -1, -1, -1, &started, &error);
        int words[2];
        if (!spawned || pipe2(words, O_CLOEXEC) != 0)
            _exit(2);
        close(words[1]);
        ReadWhileRunning({words[0]}, {nullptr}, never.pid, -1);
        WaitAll({&started, &never});
        for (pid_t pid : signalled)
            if (pid != -started.pid)
                _exit(1);
        _exit(started.status == 128 + SIGTERM ? 0 : 3);
    };
    EXPECT_EXIT(stop(), ::testing::ExitedWithCode(0), "");
}
