// The harnesses' platform part in the Windows test build: inputs become a temporary file, the
// fixture is the real one, and findings are collected for the test to report.
#include "FuzzPlatformWindows.h"

#include "FuzzTargets.h"

#include <windows.h>

#include <string>

namespace camtag::fuzz {

namespace {
std::string staged;
DWORD markedHandles = 0;
} // namespace

std::vector<std::string> findings;

const char* StageFile(const uint8_t* data, size_t size) {
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    staged = std::string(folder) + "camtag-fuzz-" + std::to_string(GetCurrentProcessId()) + ".avi";
    HANDLE file = CreateFileA(staged.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    if (file == INVALID_HANDLE_VALUE ||
        (size && !WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr)) ||
        written != size)
        ReportFinding("the input could not be written to a temporary file");
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return staged.c_str();
}

void UnstageFile() {
    DeleteFileA(staged.c_str());
}

const char* FixtureFile() {
    static std::string path;
    if (path.empty()) {
        path = std::string(CAMTAG_TEST_DATA) + "/pal-type2-idx1-ffmpeg.avi";
        for (char& c : path)
            if (c == '/')
                c = '\\';
    }
    return path.c_str();
}

// Movable memory cannot be counted from outside here; open handles can.
void MarkResources() {
    GetProcessHandleCount(GetCurrentProcess(), &markedHandles);
}

bool ResourcesBackToMark() {
    DWORD now = 0;
    return !GetProcessHandleCount(GetCurrentProcess(), &now) || now == markedHandles;
}

void ReportFinding(const char* what) {
    findings.push_back(what);
}

} // namespace camtag::fuzz
