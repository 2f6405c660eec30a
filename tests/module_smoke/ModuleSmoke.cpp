// The shipped module file driven end to end, the same way on every build: load fl-Camtag.prm,
// let the host emulator create an instance's settings (the first setup call, no dialog), then
// stamp frames of DV fixtures in date mode and in timecode mode, whole frames and fields.
// Every result code, settings record and returned frame goes into a results file. The x86_64
// test build writes the reference this way; scripts/test-i686.sh runs the i686 build of this
// program on the i686 module under 32-bit Wine and compares what it got with that reference.
//
//   module-smoke MODULE.prm DATA_FOLDER RESULTS_FILE [REFERENCE_FILE]
//
// Exit status 0 when every check holds (and the results equal the reference), 1 otherwise.
#include "FilterSession.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace camtag {
namespace {

int failures = 0;

void Fail(const std::string& what) {
    std::fprintf(stderr, "module-smoke: FAIL %s\n", what.c_str());
    ++failures;
}

void Check(bool holds, const std::string& what) {
    if (!holds)
        Fail(what);
}

#if defined(__i386__)
// Calls the entry as a cdecl function and reports in *problems what a callee of another calling
// convention would break: bit 0 the stack pointer moved (the callee popped its arguments),
// bits 1 to 3 ebx, esi, edi not preserved.
extern "C" int32_t CallEntryChecked(XFilterFn entry, int32_t selector, HostRecordHandle record,
                                    int32_t* problems);
asm(R"(
    .text
    .globl _CallEntryChecked
_CallEntryChecked:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    subl $4, %esp
    movl %esp, -16(%ebp)
    movl $0x5A17C0DE, %ebx
    movl $0x0BADF00D, %esi
    movl $0x600DCAFE, %edi
    pushl 16(%ebp)
    pushl 12(%ebp)
    call *8(%ebp)
    addl $8, %esp
    xorl %ecx, %ecx
    cmpl -16(%ebp), %esp
    je 1f
    orl $1, %ecx
1:  cmpl $0x5A17C0DE, %ebx
    je 2f
    orl $2, %ecx
2:  cmpl $0x0BADF00D, %esi
    je 3f
    orl $4, %ecx
3:  cmpl $0x600DCAFE, %edi
    je 4f
    orl $8, %ecx
4:  movl 20(%ebp), %edx
    movl %ecx, (%edx)
    movl -16(%ebp), %esp
    addl $4, %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    cwtl
    ret

    .globl _ClobbersEbx
_ClobbersEbx:
    xorl %ebx, %ebx
    xorl %eax, %eax
    ret
)");
extern "C" short ClobbersEbx(short, HostRecordHandle);

short __stdcall PopsItsArguments(short, HostRecordHandle) {
    return 0;
}

// The check itself must see a broken convention: a callee that pops its arguments, one that
// loses ebx.
void CheckTheCheck() {
    int32_t popped = 0, clobbered = 0;
    CallEntryChecked(reinterpret_cast<XFilterFn>(reinterpret_cast<void*>(PopsItsArguments)), 0,
                     nullptr, &popped);
    CallEntryChecked(ClobbersEbx, 0, nullptr, &clobbered);
    Check(popped == 1 && clobbered == 2,
          "the calling convention check does not notice a wrong callee");
}

short CheckedCall(XFilterFn entry, short selector, HostRecordHandle record) {
    int32_t problems = 0;
    auto result = static_cast<short>(CallEntryChecked(entry, selector, record, &problems));
    if (problems)
        Fail("xFilter selector " + std::to_string(selector) +
             " broke the cdecl convention (flags " + std::to_string(problems) + ")");
    return result;
}
#else
short CheckedCall(XFilterFn entry, short selector, HostRecordHandle record) {
    return entry(selector, record);
}
void CheckTheCheck() {}
#endif

// A dialog or message box during the run fails it: it would stop a render in the host.
std::vector<std::string> dialogs;

LRESULT CALLBACK CloseDialogs(int code, WPARAM wParam, LPARAM lParam) {
    HWND window = reinterpret_cast<HWND>(wParam);
    char className[32] = {};
    if (code == HCBT_ACTIVATE && GetClassNameA(window, className, sizeof className) &&
        std::strcmp(className, "#32770") == 0) {
        char caption[128] = {};
        GetWindowTextA(window, caption, sizeof caption);
        dialogs.push_back(caption);
        PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Named byte strings, in call order.
struct Entry {
    std::string name;
    std::string bytes;
};
std::vector<Entry> results;

void Record(const std::string& name, const void* data, size_t size) {
    results.push_back({name, std::string(static_cast<const char*>(data), size)});
}

bool WriteResults(const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const Entry& e : results) {
        uint32_t sizes[2] = {static_cast<uint32_t>(e.name.size()),
                             static_cast<uint32_t>(e.bytes.size())};
        out.write(reinterpret_cast<const char*>(sizes), sizeof sizes);
        out.write(e.name.data(), static_cast<std::streamsize>(e.name.size()));
        out.write(e.bytes.data(), static_cast<std::streamsize>(e.bytes.size()));
    }
    return static_cast<bool>(out);
}

bool ReadResults(const std::string& path, std::vector<Entry>* entries) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    uint32_t sizes[2];
    while (in.read(reinterpret_cast<char*>(sizes), sizeof sizes)) {
        if (sizes[0] > 256 || sizes[1] > (64u << 20))
            return false;
        Entry e{std::string(sizes[0], '\0'), std::string(sizes[1], '\0')};
        if (!in.read(e.name.data(), sizes[0]) || !in.read(e.bytes.data(), sizes[1]))
            return false;
        entries->push_back(std::move(e));
    }
    return in.eof();
}

// What differs between two results of one name: pixels with their box, or settings byte offsets.
std::string Difference(const Entry& got, const Entry& want) {
    if (got.bytes.size() != want.bytes.size())
        return std::to_string(got.bytes.size()) + " bytes instead of " +
               std::to_string(want.bytes.size());
    std::string out;
    if (got.name.find("pixels") != std::string::npos) {
        size_t count = 0, first = 0, last = 0;
        for (size_t i = 0; i + 4 <= got.bytes.size(); i += 4)
            if (std::memcmp(&got.bytes[i], &want.bytes[i], 4) != 0) {
                if (count++ == 0)
                    first = i / 4;
                last = i / 4;
            }
        out = std::to_string(count) + " pixels differ, memory pixels " + std::to_string(first) +
              " to " + std::to_string(last);
    } else {
        for (size_t i = 0; i < got.bytes.size(); ++i)
            if (got.bytes[i] != want.bytes[i])
                out += " " + std::to_string(i);
        out = "bytes differ at offsets" + out;
    }
    return out;
}

int Compare(const std::string& referencePath) {
    std::vector<Entry> reference;
    if (!ReadResults(referencePath, &reference)) {
        Fail("cannot read the reference results " + referencePath);
        return 0;
    }
    Check(reference.size() == results.size(),
          "the reference holds " + std::to_string(reference.size()) + " results, this run " +
              std::to_string(results.size()));
    int same = 0;
    for (size_t i = 0; i < reference.size() && i < results.size(); ++i) {
        if (reference[i].name != results[i].name) {
            Fail("result " + std::to_string(i) + " is " + results[i].name + ", the reference's " +
                 reference[i].name);
            break;
        }
        if (reference[i].bytes == results[i].bytes)
            ++same;
        else
            Fail(results[i].name +
                 " differs from the reference: " + Difference(results[i], reference[i]));
    }
    return same;
}

// A source frame no row or column mix-up can go unnoticed in: every pixel differs from its
// neighbours, alpha opaque.
void FillPattern(uint8_t* pixels, size_t bytes, int32_t width) {
    for (size_t i = 0; i + 4 <= bytes; i += 4) {
        auto x = static_cast<uint32_t>((i / 4) % static_cast<size_t>(width));
        auto y = static_cast<uint32_t>((i / 4) / static_cast<size_t>(width));
        uint32_t value = 0xFF000000u | ((x * 5 + y * 3) & 0xFF) << 16 |
                         ((x * 2 + y * 7) & 0xFF) << 8 | ((x + y) & 0xFF);
        std::memcpy(pixels + i, &value, 4);
    }
}

size_t Differing(const uint8_t* a, const uint8_t* b, size_t bytes) {
    size_t count = 0;
    for (size_t i = 0; i + 4 <= bytes; i += 4)
        if (std::memcmp(a + i, b + i, 4) != 0)
            ++count;
    return count;
}

// One filter instance on one fixture clip.
class Run {
public:
    Run(const std::wstring& module, const std::string& name) : name_(name) {
        std::string error;
        loaded_ = session_.load(module, &error);
        Check(loaded_, name + ": " + error);
        session_.setEntryCaller(CheckedCall);
    }

    // Pixel format and the first setup call, which creates the settings record.
    bool start(const SessionClip& clip) {
        clip_ = clip;
        std::string error;
        if (!loaded_ || !session_.start(clip, &error)) {
            Fail(name_ + ": " + error);
            return false;
        }
        HostEmulator& host = session_.host();
        Check(host.record().pixelFormat == kPixelFormatBgra, name_ + ": pixel format is not BGRA");
        FilterSettings* s = session_.settings();
        Record(name_ + "/setup/settings", s, sizeof *s);
        Check(s->changeCount == 0 && s->frameWidth == clip.width && s->frameHeight == clip.height,
              name_ + ": the new record does not describe the project's frame");
        Check(host.handleCount() == 1, name_ + ": setup asked for more than one handle");
        return true;
    }

    FilterSettings* settings() { return session_.settings(); }

    // Execute at the clip's frame on whole frames (flags 0) or on one field (the field flags,
    // field 0 or 1 of the frame); returns the stamped pixels.
    std::string execute(int32_t frame, int16_t sizeFlags = 0, int32_t field = 0) {
        HostEmulator& host = session_.host();
        const int32_t rows = sizeFlags ? clip_.height / 2 : clip_.height;
        HostFrameHandle source = host.makeFrame(clip_.width, rows, clip_.width * 4);
        HostFrameHandle destination = host.makeFrame(clip_.width, rows, clip_.width * 4);
        FillPattern(host.pixels(source), host.pixelBytes(source), clip_.width);
        host.fill(destination, 0x12345678);
        host.setSource(source);
        host.setDestination(destination);
        host.setSizeFlags(sizeFlags);
        const int32_t factor = sizeFlags ? 2 : 1;
        host.setPosition((frame * factor + field) * clip_.sampleSize);

        std::string call = name_ + "/frame" + std::to_string(frame) +
                           (sizeFlags ? "/field" + std::to_string(field) : "");
        short result = session_.call(kSelectorExecute);
        Record(call + "/result", &result, sizeof result);
        Check(result == 0, call + ": execute returned " + std::to_string(result));
        const size_t bytes = host.pixelBytes(destination);
        std::string pixels(reinterpret_cast<const char*>(host.pixels(destination)), bytes);
        Record(call + "/pixels", pixels.data(), pixels.size());
        Record(call + "/settings", session_.settings(), sizeof(FilterSettings));

        // Stamped: some of the frame changed, most of it came through as it was.
        size_t changed = Differing(host.pixels(destination), host.pixels(source), bytes);
        Check(changed > 200 && changed < bytes / 4 / 4,
              call + ": " + std::to_string(changed) + " pixels changed");
        Check(host.outstandingPointers() == 0 && host.badDisposals() == 0,
              call + ": host buffer not given back");
        Check(host.outstandingSegments() == 0 && host.badReleases() == 0,
              call + ": timeline segment not released");
        Check(host.outstandingSuites() == 0, call + ": time suite not released");
        Check(host.outstandingHostFrames() == 0, call + ": host frame not disposed");
        return pixels;
    }

private:
    std::string name_;
    FilterSession session_;
    SessionClip clip_;
    bool loaded_ = false;
};

std::string WindowsPath(std::string path) {
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

void DateMode(const std::wstring& module, const std::string& data) {
    // Frames 0 to 3 were recorded at 2004-07-15 14:23:05.
    Run run(module, "date");
    const SessionClip clip{data + "\\pal-type2-idx1-ffmpeg.avi", 25, 1, 720, 576, 4};
    if (!run.start(clip))
        return;
    FilterSettings* s = run.settings();
    s->drawoutline = 1;
    s->drawshadow = 1;
    s->bkground = 1;
    s->colorbkground = 0x00203040;
    s->transparency = 30;
    s->angle = 5;

    std::string first = run.execute(0);
    Check(run.settings()->dvSource == 1 &&
              std::strcmp(run.settings()->sourcePath, clip.sourcePathUtf8.c_str()) == 0,
          "date: the record does not name the clip's DV source");
    Check(run.execute(3) == first, "date: frames of the same second are stamped differently");
    run.execute(2, kSizeFlagFields, 0);
    run.execute(2, kSizeFlagFields | kSizeFlagParity, 1);
}

void TimecodeMode(const std::wstring& module, const std::string& data) {
    // Drop-frame NTSC: tape timecodes 00:00:59;28, 59;29, 01:00;02, 01:00;03.
    Run run(module, "timecode");
    const SessionClip clip{
        data + "\\ntsc-type2-idx1-ffmpeg-dropframe.avi", 30000, 1001, 720, 480, 4};
    if (!run.start(clip))
        return;
    FilterSettings* s = run.settings();
    s->mode = 1;
    s->timecodemode = kTimecodeTimeline | kTimecodeClip | kTimecodeSourceFile | kTimecodeTape;
    s->flags = kFlagShowFrames | kFlagShowHours | kFlagShowPrefix;
    std::strcpy(s->font.lfFaceName, "Liberation Serif");
    s->font.lfItalic = 1;
    s->font.lfWeight = FW_BOLD;
    s->align = 2;
    s->x = 0.9;
    s->y = 0.1;

    std::string first = run.execute(1);
    Check(run.execute(2) != first, "timecode: successive frames are stamped alike");
    run.execute(3, kSizeFlagFieldsAlt, 0);
    run.execute(3, kSizeFlagFieldsAlt | kSizeFlagParity, 1);
}

std::wstring Wide(const char* text) {
    int size = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring out(size > 0 ? static_cast<size_t>(size) : 1, L'\0');
    if (size > 0)
        MultiByteToWideChar(CP_ACP, 0, text, -1, out.data(), size);
    out.resize(out.size() - 1);
    return out;
}

} // namespace
} // namespace camtag

int main(int argc, char** argv) {
    using namespace camtag;
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr,
                     "usage: module-smoke MODULE.prm DATA_FOLDER RESULTS_FILE [REFERENCE_FILE]\n");
        return 2;
    }
    // The user's stored defaults must not shape the new records: the module reads HKEY_CURRENT_USER
    // from a fresh key of this run instead.
    const char kPrivateKey[] = "Software\\Camtag module smoke";
    RegDeleteTreeA(HKEY_CURRENT_USER, kPrivateKey);
    HKEY privateKey = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kPrivateKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &privateKey, nullptr) != ERROR_SUCCESS ||
        RegOverridePredefKey(HKEY_CURRENT_USER, privateKey) != ERROR_SUCCESS) {
        std::fprintf(stderr, "module-smoke: cannot set up a private registry key\n");
        return 1;
    }
    HHOOK hook = SetWindowsHookExA(WH_CBT, CloseDialogs, nullptr, GetCurrentThreadId());
    CheckTheCheck();

    const std::wstring module = Wide(argv[1]);
    const std::string data = WindowsPath(argv[2]);
    DateMode(module, data);
    TimecodeMode(module, data);

    if (hook)
        UnhookWindowsHookEx(hook);
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(privateKey);
    RegDeleteTreeA(HKEY_CURRENT_USER, kPrivateKey);
    for (const std::string& caption : dialogs)
        Fail("a dialog showed: \"" + caption + "\"");

    Check(WriteResults(argv[3]), std::string("cannot write ") + argv[3]);
    int same = argc == 5 ? Compare(argv[4]) : 0;
    std::printf("module-smoke: %zu results%s, %d failures\n", results.size(),
                argc == 5 ? (", " + std::to_string(same) + " equal to the reference").c_str() : "",
                failures);
    return failures ? 1 : 0;
}
