// The inputs the fuzzers once failed on (tests/fuzz/regressions/HARNESS/*) and the committed
// seeds (tests/fuzz/seeds/HARNESS/*), replayed through the same harness bodies in the Windows
// build, against the real Win32 calls.
#include "FuzzPlatformWindows.h"
#include "FuzzTargets.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace camtag::fuzz {
namespace {

struct Harness {
    const char* name;
    void (*run)(const uint8_t*, size_t);
};

const Harness kHarnesses[] = {
    {"avi-file", RunAviFile},
    {"dif-sequence", RunDifSequence},
    {"overlay-text", RunOverlayText},
};

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

class FuzzRegressions : public ::testing::TestWithParam<Harness> {};

// The regression inputs and the committed seeds: findings only the Windows build shows would
// mean the POSIX stand-in differs from the real calls.
TEST_P(FuzzRegressions, SavedInputsRunClean) {
    const Harness& harness = GetParam();
    size_t inputs = 0;
    for (const char* kind : {"regressions", "seeds"}) {
        const std::string folder =
            std::string(CAMTAG_FUZZ_INPUTS) + "\\" + kind + "\\" + harness.name;
        for (const std::string& name : FilesIn(folder)) {
            std::ifstream file(folder + "\\" + name, std::ios::binary);
            std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                       std::istreambuf_iterator<char>());
            findings.clear();
            harness.run(bytes.data(), bytes.size());
            for (const std::string& finding : findings)
                ADD_FAILURE() << kind << "/" << harness.name << "/" << name << ": " << finding;
            ++inputs;
        }
    }
    EXPECT_GT(inputs, 0u) << "no saved inputs for " << harness.name;
}

INSTANTIATE_TEST_SUITE_P(Harnesses, FuzzRegressions, ::testing::ValuesIn(kHarnesses),
                         [](const ::testing::TestParamInfo<Harness>& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (c == '-')
                                     c = '_';
                             return name;
                         });

} // namespace
} // namespace camtag::fuzz
