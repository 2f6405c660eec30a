// The command line as users type it: what each command takes, and what it refuses.
#include "Options.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

using namespace camtag::front;

namespace {

// The status ParseCommandLine gives (-1: run), the command filled in.
int Parse(std::vector<const char*> args, Command* command) {
    args.insert(args.begin(), "camtag");
    // The usage texts go nowhere.
    std::fflush(stderr);
    const int saved = dup(2), none = open("/dev/null", O_WRONLY);
    dup2(none, 2);
    const int status = ParseCommandLine(static_cast<int>(args.size()), args.data(), command);
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    close(none);
    return status;
}

TEST(Options, RenderCommandLines) {
    struct Case {
        std::vector<const char*> args;
        std::vector<std::string> paths;
        long long frames;
        std::vector<std::string> look;
    };
    const Case cases[] = {
        // Settings keep their order; pictures follow them.
        {{"render", "a.avi", "out.mp4", "--set", "x=0.5", "--time-format", "HH:mm", "--set",
          "y=0.1"},
         {"a.avi", "out.mp4"},
         -1,
         {"--set", "x=0.5", "--set", "y=0.1", "--time-format", "HH:mm"}},
        // Numbers are decimal with leading zeros; -- ends the options.
        {{"render", "--frames", "010", "--", "-odd.avi", "out/"}, {"-odd.avi", "out/"}, 10, {}},
        {{"render", "a.avi", "b.avi", "out/", "--set", "title=-x"},
         {"a.avi", "b.avi", "out/"},
         -1,
         {"--set", "title=-x"}},
    };
    for (const Case& c : cases) {
        Command command;
        ASSERT_EQ(Parse(c.args, &command), -1) << c.args[1];
        EXPECT_EQ(command.kind, Command::kRender);
        EXPECT_EQ(command.render.plan.paths, c.paths);
        EXPECT_EQ(command.render.frames, c.frames);
        EXPECT_EQ(command.render.look.args, c.look);
    }
}

TEST(Options, RefusedWithUsageStatus) {
    const std::vector<std::vector<const char*>> cases = {
        {"render", "a.avi", "out.mp4", "--frames", "0x10"},
        {"render", "a.avi", "out.mp4", "--frames", "0"},
        {"render", "a.avi", "out.mp4", "--colour", "red"},
        {"render"},
        {"probe"},
        {"probe", "a.avi", "--srt"},
        {},
    };
    for (const auto& args : cases) {
        Command command;
        EXPECT_EQ(Parse(args, &command), kExitUsage) << (args.empty() ? "(none)" : args.back());
    }
}

TEST(Options, ProbeHandsItsViewsOn) {
    Command command;
    ASSERT_EQ(
        Parse({"probe", "--breaks", "--frames", "5-6", "--json", "tape.avi", "--set", "mode=1"},
              &command),
        -1);
    EXPECT_EQ(command.kind, Command::kProbe);
    EXPECT_EQ(command.probe.file, "tape.avi");
    EXPECT_EQ(command.probe.show, (std::vector<std::string>{"--breaks", "--frames", "5-6"}));
    EXPECT_TRUE(command.probe.json);
    EXPECT_EQ(command.probe.look.args, (std::vector<std::string>{"--set", "mode=1"}));
}

} // namespace
