// soak: calls the module's execute selector over and over through the host emulator, the way a
// long render would, while the source file and the settings keep changing, and records what the
// process holds: handles, GDI and USER objects, the module's own GDI and GDI+ objects and host
// allocations, private bytes, heap in use and the time per call. It fails when any of them grows
// from the first block of calls to the last, when a call fails or keeps a host allocation, or
// when the unloaded module leaves GDI or GDI+ objects.
//
//   soak --module fl-Camtag.prm --template PAL-DV.avi --work DIR [--calls N] [--block N]
//
// Each block of calls (1000 by default) runs the same schedule: both modes, full frames and
// fields of both parities, settings changed before every call, and a source file that vanishes
// (calls 600-649 of the block), comes back, is truncated (700-749), is held open for writing by
// another handle while truncated (750-799), and is whole again from call 800.
#include "DvAviWriter.h"
#include "FilterSession.h"
#include "ModuleObjects.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace camtag;
using namespace camtag::test;

namespace {

constexpr int32_t kWidth = 720;
constexpr int32_t kHeight = 576;
constexpr uint32_t kClipFrames = 40;

int Fail(const std::string& message) {
    std::fprintf(stderr, "soak: %s\n", message.c_str());
    return 1;
}

// --- The source file and what happens to it ---

class SoakSource {
public:
    bool create(const std::wstring& path, const std::vector<uint8_t>& templateFrame,
                std::string* error) {
        path_ = path;
        frame_ = templateFrame;
        // Four RIFF segments with a standard index each: cut in half, the file keeps its first
        // segments and their frames, and loses the index of the others. Odd frames carry no
        // data (no date), as on a damaged tape.
        layout_ = CaptureLayout(kClipFrames);
        layout_.framesPerSegment = kClipFrames / 4;
        for (uint32_t f = 0; f < kClipFrames; f += 2)
            layout_.framesWithData.push_back(f);
        return restore(error);
    }
    bool restore(std::string* error) {
        release();
        return WriteSparseDvAvi(path_, layout_, frame_, error);
    }
    bool vanish() {
        return MoveFileExW(path_.c_str(), (path_ + L".away").c_str(), MOVEFILE_REPLACE_EXISTING) !=
               0;
    }
    bool comeBack() {
        return MoveFileExW((path_ + L".away").c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING) !=
               0;
    }
    bool truncate() {
        HANDLE file = CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        LARGE_INTEGER size, half;
        bool ok = GetFileSizeEx(file, &size) != 0;
        half.QuadPart = size.QuadPart / 2;
        ok = ok && SetFilePointerEx(file, half, nullptr, FILE_BEGIN) && SetEndOfFile(file);
        CloseHandle(file);
        return ok;
    }
    // Another program writing the file, sharing only reading: the module reads it meanwhile
    // (its reader shares writing), while the writer may change it under the kept reader.
    bool holdForWriting() {
        writer_ = CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        return writer_ != INVALID_HANDLE_VALUE;
    }
    void release() {
        if (writer_ != INVALID_HANDLE_VALUE)
            CloseHandle(writer_);
        writer_ = INVALID_HANDLE_VALUE;
    }
    void remove() {
        release();
        DeleteFileW(path_.c_str());
        DeleteFileW((path_ + L".away").c_str());
    }

private:
    std::wstring path_;
    std::vector<uint8_t> frame_;
    DvAviLayout layout_;
    HANDLE writer_ = INVALID_HANDLE_VALUE;
};

// What happens to the source at call `p` of a block; false when the file system refused.
bool ScheduleSource(SoakSource& source, uint32_t p, std::string* error) {
    bool ok = true;
    switch (p) {
    case 600:
        ok = source.vanish();
        break;
    case 650:
        ok = source.comeBack();
        break;
    case 700:
        ok = source.truncate();
        break;
    case 750:
        ok = source.holdForWriting();
        break;
    case 800:
        ok = source.restore(error);
        break;
    default:
        break;
    }
    if (!ok && error->empty())
        *error =
            "the source file could not be changed at call " + std::to_string(p) + " of a block";
    return ok;
}

// --- Settings changed before every call ---

void ChangeSettings(FilterSettings& s, uint32_t i) {
    static const char* const titles[] = {"", "Tape %f\\n", "A title of thirty-one letters..",
                                         "\\n\\n"};
    s.mode = static_cast<int32_t>(i / 5 % 2);
    s.timecodemode = static_cast<int32_t>((i / 10 % 15 + 1) | (i / 150 % 3) << 4);
    s.flags = static_cast<int32_t>(i / 3 % 8);
    s.lines = static_cast<int32_t>(1 + i / 7 % 2);
    s.timeup = static_cast<int32_t>(i / 11 % 2);
    s.drawoutline = static_cast<int32_t>(i / 13 % 2);
    s.drawshadow = static_cast<int32_t>(i / 17 % 2);
    s.bkground = static_cast<int32_t>(i / 19 % 2);
    s.align = static_cast<int32_t>(i / 23 % 3);
    s.angle = static_cast<int32_t>(i / 29 % 3) * 45 - 45;
    s.transparency = i / 31 % 3 * 40;
    s.timeformat = i / 37 % 2;
    s.dateformat = 1 - i / 37 % 2;
    s.timeadjust = i / 41 % 2 ? 0x00011E05 : 0; // 1 h 30 min 5 s
    s.dateadjust = i / 43 % 2 ? 0x00010C01 : 0; // 1 year, 12 months, 1 day
    s.font.lfHeight = -12 - static_cast<LONG>(i / 47 % 3) * 10;
    s.x = 0.05 + i / 53 % 5 * 0.15;
    s.y = 0.1 + i / 59 % 5 * 0.15;
    std::strcpy(s.title, titles[i / 61 % 4]);
}

// The module keeps the stamps of its last few texts and looks, bounded in number but of whatever
// sizes the last calls' looks made. Before each sample, four calls in looks of their own (new
// colours each time, the same size) take the place of whatever is kept, so that every sample
// finds the same kept stamps and any other growth shows; more than four kept would still grow.
// Before those, a running timecode in three looks of the same shape (one more than it keeps)
// takes the place of the running stamps and the parts they keep.
void SettleKeptStamps(FilterSession& session, HostEmulator& host, HostFrameHandle source,
                      HostFrameHandle destination, uint32_t sample) {
    const FilterSettings saved = *session.settings();
    host.setSizeFlags(0);
    host.setSource(source);
    host.setDestination(destination);
    for (uint32_t k = 0; k < 3; ++k) {
        ChangeSettings(*session.settings(), 0);
        FilterSettings& s = *session.settings();
        s.mode = kModeTimecode;
        s.timecodemode = kTimecodeTimeline;
        s.flags = kFlagShowFrames | kFlagShowHours;
        s.color = 0x00402010u + (sample % 4096) * 4 + k;
        for (int32_t frame = 0; frame < 30; ++frame) {
            host.setPosition(frame);
            host.clearSegmentRequests();
            session.call(kSelectorExecute);
        }
    }
    host.setPosition(0);
    for (uint32_t k = 0; k < 4; ++k) {
        ChangeSettings(*session.settings(), 0);
        session.settings()->color = 0x00204060u + (sample % 4096) * 4 + k;
        host.clearSegmentRequests();
        session.call(kSelectorExecute);
    }
    *session.settings() = saved;
}

// --- What the process holds ---

struct Sample {
    uint32_t calls = 0;
    double msPerCall = 0;
    DWORD handles = 0;
    DWORD gdiObjects = 0;
    DWORD userObjects = 0;
    int64_t gdiplusLive = 0;
    int64_t gdiLive = 0;
    size_t hostPointers = 0;
    size_t hostSegments = 0;
    int hostSuites = 0;
    double privateMb = 0;
    double heapMb = 0;
    size_t heapBlocks = 0;
};

// Open handles. Wine's GetProcessHandleCount answers 0; its handle values are small multiples
// of 4 from one table, so there every value up to 64 Ki is asked after.
DWORD HandleCount() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count)
        return count;
    for (uintptr_t value = 4; value < 0x10000; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
            ++count;
    }
    return count;
}

// Committed private memory of the process, region by region (Wine reports no PrivateUsage).
double PrivateMegabytes() {
    uint64_t bytes = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const char* at = nullptr; VirtualQuery(at, &region, sizeof region) == sizeof region;) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            bytes += region.RegionSize;
        const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (next <= at)
            break;
        at = next;
    }
    return double(bytes) / (1024.0 * 1024.0);
}

// Bytes and blocks in use in every heap of the process (the runtime's and the system's).
void HeapInUse(double* megabytes, size_t* blocks) {
    std::vector<HANDLE> heaps(64);
    DWORD count = GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
    if (count > heaps.size()) {
        heaps.resize(count);
        count = GetProcessHeaps(count, heaps.data());
    }
    uint64_t bytes = 0;
    *blocks = 0;
    for (DWORD h = 0; h < count && h < heaps.size(); ++h) {
        if (!HeapLock(heaps[h]))
            continue;
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[h], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
                bytes += entry.cbData;
                ++*blocks;
            }
        HeapUnlock(heaps[h]);
    }
    *megabytes = double(bytes) / (1024.0 * 1024.0);
}

Sample Take(uint32_t calls, double msPerCall, HostEmulator& host) {
    Sample s;
    s.calls = calls;
    s.msPerCall = msPerCall;
    s.handles = HandleCount();
    s.gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    s.userObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    ModuleObjectCounts objects = CurrentModuleObjectCounts();
    s.gdiplusLive = objects.gdiplusLive();
    s.gdiLive = objects.gdiLive() + objects.screenDcsLive();
    s.hostPointers = host.outstandingPointers();
    s.hostSegments = host.outstandingSegments();
    s.hostSuites = host.outstandingSuites();
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(GetCurrentProcess(),
                             reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory) &&
        memory.PrivateUsage)
        s.privateMb = double(memory.PrivateUsage) / (1024.0 * 1024.0);
    else
        s.privateMb = PrivateMegabytes();
    HeapInUse(&s.heapMb, &s.heapBlocks);
    return s;
}

void Print(const Sample& s) {
    std::printf("%9u %8.3f %8lu %5lu %5lu %9lld %8lld %9zu %8.1f %8.2f %10zu\n", s.calls,
                s.msPerCall, s.handles, s.gdiObjects, s.userObjects,
                static_cast<long long>(s.gdiplusLive), static_cast<long long>(s.gdiLive),
                s.hostPointers + s.hostSegments + static_cast<size_t>(s.hostSuites), s.privateMb,
                s.heapMb, s.heapBlocks);
    std::fflush(stdout);
}

// Growth from the first block to the last beyond what allocator noise explains.
std::string Growth(const Sample& first, const Sample& last) {
    std::string found;
    auto grew = [&](const char* what, double a, double b, double allowed) {
        if (b > a + allowed)
            found += std::string(found.empty() ? "" : ", ") + what;
    };
    grew("handles", first.handles, last.handles, 0);
    grew("GDI objects", first.gdiObjects, last.gdiObjects, 0);
    grew("USER objects", first.userObjects, last.userObjects, 0);
    grew("module GDI+ objects", static_cast<double>(first.gdiplusLive),
         static_cast<double>(last.gdiplusLive), 0);
    grew("module GDI objects", static_cast<double>(first.gdiLive),
         static_cast<double>(last.gdiLive), 0);
    grew("host allocations", 0,
         static_cast<double>(last.hostPointers + last.hostSegments + last.hostSuites), 0);
    grew("private bytes", first.privateMb, last.privateMb, 1.0);
    grew("heap in use", first.heapMb, last.heapMb, 0.25);
    return found;
}

} // namespace

int main() {
    std::string error;
    std::map<std::wstring, std::wstring> options;
    if (!CommandLineOptions({L"--module", L"--template", L"--work", L"--calls", L"--block"},
                            &options, &error))
        return Fail(error);
    const std::wstring module = options[L"--module"], templatePath = options[L"--template"],
                       work = options[L"--work"];
    auto number = [&](const wchar_t* name, uint32_t fallback) {
        return options.count(name)
                   ? static_cast<uint32_t>(std::wcstoul(options[name].c_str(), nullptr, 10))
                   : fallback;
    };
    const uint32_t calls = number(L"--calls", 100000);
    const uint32_t block = number(L"--block", 1000);
    if (module.empty() || templatePath.empty() || work.empty())
        return Fail("usage: soak --module fl-Camtag.prm --template PAL-DV.avi --work DIR [--calls "
                    "N] [--block N]");
    if (block < 1000 || calls < 2 * block || calls % block != 0)
        return Fail("--block must be at least 1000 (the schedule's length), --calls a multiple of "
                    "it, two blocks or more");

    std::vector<uint8_t> templateFrame;
    if (!ReadPalTemplateFrame(Utf8(templatePath), &templateFrame, &error))
        return Fail(error);
    CreateDirectoryW(work.c_str(), nullptr);
    SoakSource source;
    const std::wstring sourcePath = work + L"\\soak-source.avi";
    if (!source.create(sourcePath, templateFrame, &error))
        return Fail(error);

    auto owned = std::make_unique<FilterSession>();
    FilterSession& session = *owned;
    SessionClip clip;
    clip.sourcePathUtf8 = Utf8(sourcePath);
    clip.frames = kClipFrames;
    clip.width = kWidth;
    clip.height = kHeight;
    if (!session.load(module, &error) || !session.start(clip, &error)) {
        source.remove();
        return Fail(error);
    }
    if (!CountModuleObjects(session.module(), &error)) {
        source.remove();
        return Fail(error);
    }
    HostEmulator& host = session.host();
    HostFrameHandle fullSource = host.record().source;
    HostFrameHandle fullDestination = host.record().destination;
    HostFrameHandle fieldSource = host.makeFrame(kWidth, kHeight / 2, kWidth * 4);
    HostFrameHandle fieldDestination = host.makeFrame(kWidth, kHeight / 2, kWidth * 4);
    host.fill(fullSource, 0xFF406080);
    host.fill(fieldSource, 0xFF806040);
    static const int16_t kSizeFlags[] = {0, 0x0100, 0x0100 | 0x1000, 0x0200, 0x0200 | 0x1000};

    std::printf(
        "    calls  ms/call  handles   GDI  USER  GDI+live  GDIlive  hostheld  private  heap_MB "
        "heapblocks\n");
    std::vector<Sample> samples;
    uint32_t failures = 0;
    uint64_t stamped = 0;
    uint64_t unreadable = 0;
    uint32_t leftBehind = 0;
    double blockSeconds = 0;
    int64_t blockGdiplus = 0; // the most the module held after a call of the block
    int64_t blockGdi = 0;
    const double start = PerformanceSeconds();
    for (uint32_t i = 0; i < calls; ++i) {
        if (!ScheduleSource(source, i % 1000, &error))
            break;
        ChangeSettings(*session.settings(), i);
        const int16_t flags = kSizeFlags[i % 5];
        host.setSizeFlags(flags);
        host.setSource(flags ? fieldSource : fullSource);
        host.setDestination(flags ? fieldDestination : fullDestination);
        const int32_t frame = static_cast<int32_t>(i * 3 % kClipFrames);
        host.clearSegmentRequests(); // the emulator's own log would grow the heap otherwise

        // The host's position counts fields doubled.
        host.setPosition(frame * (flags ? 2 : 1));
        const double before = PerformanceSeconds();
        const short result = session.call(kSelectorExecute);
        blockSeconds += PerformanceSeconds() - before;
        failures += result != 0;
        // What the call did, to show that every part of the schedule is met.
        HostFrameHandle src = host.record().source, dst = host.record().destination;
        stamped += std::memcmp(host.pixels(src), host.pixels(dst), host.pixelBytes(dst)) != 0;
        unreadable += session.settings()->dvSource == 0;
        // The host gets back everything it lent; the module may keep a few bitmaps for later
        // frames (they must not grow in number), and releases them when it is unloaded.
        if (host.outstandingPointers() || host.outstandingSegments() || host.outstandingSuites())
            ++leftBehind;
        const ModuleObjectCounts objects = CurrentModuleObjectCounts();
        blockGdiplus = std::max(blockGdiplus, objects.gdiplusLive());
        blockGdi = std::max(blockGdi, objects.gdiLive() + objects.screenDcsLive());

        if ((i + 1) % block == 0) {
            SettleKeptStamps(session, host, fullSource, fullDestination,
                             static_cast<uint32_t>(samples.size()));
            samples.push_back(Take(i + 1, blockSeconds * 1000.0 / block, host));
            samples.back().gdiplusLive = blockGdiplus;
            samples.back().gdiLive = blockGdi;
            blockSeconds = 0;
            blockGdiplus = blockGdi = 0;
            if (samples.size() == 1 || (i + 1) % (10 * block) == 0 || i + 1 == calls)
                Print(samples.back());
        }
    }
    const double seconds = PerformanceSeconds() - start;
    source.remove();
    if (!error.empty())
        return Fail(error);

    std::printf("%u calls in %.1f s: %.0f calls per second (%.3f ms per call in execute)\n", calls,
                seconds, calls / seconds, [&] {
                    double sum = 0;
                    for (const Sample& s : samples)
                        sum += s.msPerCall;
                    return sum / samples.size();
                }());
    std::printf("per block of %u calls: %.0f frames stamped, %.0f with the source unreadable\n",
                block, double(stamped) * block / calls, double(unreadable) * block / calls);
    const Sample& first = samples.front();
    const Sample& last = samples.back();
    std::printf("first block %.3f ms per call, last block %.3f ms per call (%.2f)\n",
                first.msPerCall, last.msPerCall, last.msPerCall / first.msPerCall);
    std::string grown = Growth(first, last);
    const bool guards = host.guardsIntact();
    // Unloading the module must give back what it kept.
    owned.reset();
    const ModuleObjectCounts unloaded = CurrentModuleObjectCounts();
    std::printf("module objects held: at most %lld GDI+ and %lld GDI after a call; after unloading "
                "%lld and %lld\n",
                static_cast<long long>(last.gdiplusLive), static_cast<long long>(last.gdiLive),
                static_cast<long long>(unloaded.gdiplusLive()),
                static_cast<long long>(unloaded.gdiLive() + unloaded.screenDcsLive()));
    if (failures)
        return Fail(std::to_string(failures) + " calls failed");
    if (leftBehind)
        return Fail(std::to_string(leftBehind) +
                    " calls kept host allocations, segments or suites");
    if (!guards)
        return Fail("the module wrote outside a host buffer");
    if (!grown.empty())
        return Fail("grew from the first block to the last: " + grown);
    if (unloaded.gdiplusLive() || unloaded.gdiLive() || unloaded.screenDcsLive())
        return Fail("the unloaded module left GDI or GDI+ objects behind");
    std::printf("flat: no growth from the first %u calls to the last\n", block);
    return 0;
}
