// The renderer's plan: which outputs a command line writes, and which it must refuse before
// anything runs.
#include "Plan.h"
#include "Render.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

using namespace camtag::front;

namespace {

class PlanTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/camtag-plan.XXXXXX";
        root_ = mkdtemp(pattern);
        ASSERT_TRUE(getcwd(home_, sizeof home_));
        ASSERT_EQ(chdir(root_.c_str()), 0);
        mkdir("a", 0700);
        mkdir("b", 0700);
        mkdir("tapes", 0700);
        mkdir("empty", 0700);
        mkdir("old-frames", 0700);
        mkdir("mixed", 0700);
        for (const char* f :
             {"a/clip.avi", "b/clip.avi", "tapes/trip.dv", "tapes/trip.mov", "tapes/notes.txt",
              "old.mp4", "old-frames/frame-000001.png", "mixed/frame-000001.png", "mixed/keep.txt"})
            std::ofstream(f) << "x";
        ASSERT_EQ(link("a/clip.avi", "hard.avi"), 0);
        ASSERT_EQ(symlink("a/clip.avi", "soft.avi"), 0);
    }
    // Back where the tests started: later tests must not run in a removed folder.
    void TearDown() override {
        EXPECT_EQ(chdir(home_), 0);
        std::system(("rm -rf " + root_).c_str());
    }

    // The plan's outputs, or "refused: ..." with the error.
    std::vector<std::string> Outputs(std::vector<std::string> paths, const std::string& format = "",
                                     bool overwrite = false, bool skip = false) {
        PlanRequest request;
        request.paths = std::move(paths);
        request.format = format;
        request.overwrite = overwrite;
        request.skipExisting = skip;
        Plan plan;
        NameTaker names;
        std::string error;
        if (!MakePlan(request, &plan, &names, &error))
            return {"refused: " + error};
        std::vector<std::string> out = plan.outputs;
        if (plan.kind == OutputKind::kFrames)
            out.insert(out.begin(), "frames");
        return out;
    }

    std::string root_;
    char home_[4096] = {};
};

TEST_F(PlanTest, OutputsOfCommandLines) {
    struct Case {
        std::vector<std::string> paths;
        std::string format;
        bool overwrite, skip;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        // Two inputs of one name: the second gets -2, never the same file.
        {{"a/clip.avi", "b/clip.avi", "out/"},
         "",
         false,
         false,
         {"out/clip.mp4", "out/clip-2.mp4"}},
        // A folder of inputs in name order, only DV files.
        {{"tapes", "out/"}, "mkv", false, false, {"out/trip.mkv", "out/trip-2.mkv"}},
        // One input into a folder: PNG frames, unless --format names a video type.
        {{"a/clip.avi", "frames/"}, "", false, false, {"frames", "frames"}},
        {{"a/clip.avi", "out/"}, "mkv", false, false, {"out/clip.mkv"}},
        {{"a/clip.avi", "x.mov"}, "", false, false, {"x.mov"}},
        // An empty folder takes frames; old frames only with --overwrite; anything else never.
        {{"a/clip.avi", "empty/"}, "png", false, false, {"frames", "empty"}},
        {{"a/clip.avi", "old-frames/"}, "", true, false, {"frames", "old-frames"}},
        {{"a/clip.avi", "old-frames/"}, "", false, true, {"frames", ""}},
        // Existing files: replaced only when asked, left with --skip-existing.
        {{"a/clip.avi", "old.mp4"}, "", true, false, {"old.mp4"}},
        {{"a/clip.avi", "old.mp4"}, "", false, true, {""}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Outputs(c.paths, c.format, c.overwrite, c.skip), c.expected) << c.paths[0];
}

TEST_F(PlanTest, RefusedBeforeAnythingRuns) {
    struct Case {
        std::vector<std::string> paths;
        std::string format;
        bool overwrite;
        std::string says;
    };
    const Case cases[] = {
        // An output is never an input, under any of its names, even with --overwrite.
        {{"a/clip.avi", "a/clip.avi"}, "", true, "an output never replaces an input"},
        {{"tapes/trip.dv", "tapes/trip.mov"}, "", false, "--overwrite replaces it"},
        {{"a/clip.avi", "hard.avi"}, "", true, "an output never replaces an input"},
        {{"a/clip.avi", "./a/../soft.avi"}, "", true, "an output never replaces an input"},
        {{"tapes", "tapes/"}, "mov", true, "an output never replaces an input"},
        {{"a/clip.avi", "old.mp4"},
         "",
         false,
         "--overwrite replaces it, --skip-existing leaves it"},
        {{"a/clip.avi", "mixed/"}, "", true, "not empty"},
        {{"a/clip.avi", "b/clip.avi", "out.mp4"}, "", false, "a batch writes into a folder"},
        {{"missing.avi", "out.mp4"}, "", false, "missing.avi: no such file"},
        {{"a/clip.avi", "out.txt"}, "", false, "write .mp4, .mov, .mkv or .m4v"},
    };
    for (const Case& c : cases) {
        const std::vector<std::string> out = Outputs(c.paths, c.format, c.overwrite);
        ASSERT_EQ(out.size(), 1u) << c.paths.back();
        EXPECT_NE(out[0].find("refused: "), std::string::npos) << c.paths.back();
        EXPECT_NE(out[0].find(c.says), std::string::npos) << out[0];
    }
}

TEST_F(PlanTest, SplitPiecesTakeUniqueNames) {
    NameTaker names;
    // Two recordings that start in the same second, and a name the run already took.
    EXPECT_EQ(names.Take("out/tape_2024-07-08_19-55-58.mp4"), "out/tape_2024-07-08_19-55-58.mp4");
    EXPECT_EQ(names.Take("out/tape_2024-07-08_19-55-58.mp4"), "out/tape_2024-07-08_19-55-58-2.mp4");
    EXPECT_EQ(names.Take("out/../out/tape_2024-07-08_19-55-58.mp4"),
              "out/../out/tape_2024-07-08_19-55-58-3.mp4");
    EXPECT_EQ(names.Take("frames"), "frames");
    EXPECT_EQ(names.Take("frames/"), "frames-2");
}

TEST(ParseDecimal, LeadingZerosAreDecimal) {
    long long n = -1;
    EXPECT_TRUE(ParseDecimal("010", 100, &n));
    EXPECT_EQ(n, 10);
    EXPECT_TRUE(ParseDecimal("08", 100, &n));
    EXPECT_EQ(n, 8);
    for (const char* bad : {"", "-1", "0x10", "1e3", "101", " 5"})
        EXPECT_FALSE(ParseDecimal(bad, 100, &n)) << bad;
}

} // namespace
