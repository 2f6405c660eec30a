// The harnesses' platform part on Linux: inputs and the fixture become memory files of the
// POSIX stand-in, and a finding aborts so that libFuzzer keeps the input.
#include "FuzzTargets.h"
#include "posix/StandIn.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace camtag::fuzz {

namespace {
constexpr char kInputName[] = "C:\\fuzz\\input.avi";
constexpr char kFixtureName[] = "C:\\fuzz\\fixture.avi";
size_t markedHandles = 0;
size_t markedBlocks = 0;
} // namespace

const char* StageFile(const uint8_t* data, size_t size) {
    posix::AddMemoryFile(kInputName, data, size);
    return kInputName;
}

void UnstageFile() {
    posix::RemoveMemoryFile(kInputName);
}

const char* FixtureFile() {
    static std::vector<uint8_t> bytes;
    if (bytes.empty()) {
        FILE* file = fopen(CAMTAG_FIXTURE_PATH, "rb");
        if (!file) {
            fprintf(stderr, "cannot read %s\n", CAMTAG_FIXTURE_PATH);
            abort();
        }
        uint8_t block[65536];
        size_t n;
        while ((n = fread(block, 1, sizeof block, file)) > 0)
            bytes.insert(bytes.end(), block, block + n);
        fclose(file);
        posix::AddMemoryFile(kFixtureName, bytes.data(), bytes.size());
    }
    return kFixtureName;
}

void MarkResources() {
    markedHandles = posix::OpenFileHandles();
    markedBlocks = posix::LiveGlobalBlocks();
}

bool ResourcesBackToMark() {
    return posix::OpenFileHandles() == markedHandles && posix::LiveGlobalBlocks() == markedBlocks;
}

void ReportFinding(const char* what) {
    fprintf(stderr, "finding: %s\n", what);
    abort();
}

} // namespace camtag::fuzz
