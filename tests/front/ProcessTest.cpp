// Child processes as the front runs them: all they write, and waits that end with them.
#include "Process.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>

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
    // and the reading ends with the child, while the one left behind still holds the pipe.
    int words[2];
    ASSERT_EQ(pipe2(words, O_CLOEXEC), 0);
    Child child;
    std::string error, text;
    ASSERT_TRUE(
        Spawn({"sh", "-c", "sleep 30 & echo $! >&2; head -c 100000 /dev/zero | tr '\\0' x >&2"}, -1,
              -1, words[1], &child, &error))
        << error;
    close(words[1]);
    ReadWhileRunning({words[0]}, {&text}, child.pid);
    close(words[0]);
    const pid_t left = static_cast<pid_t>(std::atol(text.c_str()));
    ASSERT_GT(left, 0) << text;
    EXPECT_EQ(kill(left, 0), 0) << "the reading waited for the pipe's end";
    kill(left, SIGKILL);
    EXPECT_EQ(text.size(), text.find('\n') + 1 + 100000);
    EXPECT_TRUE(WaitAll({&child}));
    EXPECT_EQ(child.status, 0);
}
