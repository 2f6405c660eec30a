// The module as Premiere sees it: fl-Camtag.prm loaded with LoadLibrary and driven only through
// xFilter, on timelines of the host emulator over the DV fixtures. The pictures that come back
// are compared with the same text drawn through the renderer in this process.
#include "HostEmulator.h"
#include "ModuleObjects.h"
#include "render/FrameExchange.h"
#include "render/MemBm.h"
#include "render/OverlayRenderer.h"
#include "settings/SettingsDefaults.h"
#include "support/ExpectedDrawing.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <gdiplus.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace camtag {
namespace {

namespace gp = Gdiplus::DllExports;
using XFilterFn = int16_t (*)(int16_t, HostRecordHandle);

// pal-type2-idx1-ffmpeg.avi: frames 0-3 recorded 2004-07-15 14:23:05, tape 10:20:30:00..03.
const std::string kDvName = "pal-type2-idx1-ffmpeg.avi";
const std::string kDvFile = test::DataPath(kDvName.c_str());
const std::string kMissingFile = test::DataPath("missing.avi");

constexpr int32_t kWidth = 360;
constexpr int32_t kHeight = 288;
constexpr uint32_t kSourceColour = 0xFF305070;
constexpr uint32_t kMarker = 0x12345678;
const char kDateText[] = "14:23:05\n15.07.04";

// Message boxes and dialogs opened on this thread, closed as soon as they show.
struct ShownWindow {
    std::wstring caption;
    std::wstring text;
};
std::vector<ShownWindow> shownWindows;

BOOL CALLBACK LongestStatic(HWND child, LPARAM found) {
    WCHAR name[32] = {};
    GetClassNameW(child, name, 32);
    if (lstrcmpiW(name, L"Static") == 0) {
        WCHAR text[512] = {};
        GetWindowTextW(child, text, 512);
        auto best = reinterpret_cast<std::wstring*>(found);
        if (wcslen(text) > best->size())
            *best = text;
    }
    return TRUE;
}

std::vector<HWND> openBoxes;
int settingsDialogs = 0;

// The settings dialog is cancelled as soon as it is activated (its own tests drive it); other
// dialog boxes (message boxes among them) are told to close, and recorded just before they go,
// when their caption and text are in place.
LRESULT CALLBACK CbtHook(int code, WPARAM wParam, LPARAM lParam) {
    HWND window = reinterpret_cast<HWND>(wParam);
    WCHAR className[32] = {};
    if ((code == HCBT_ACTIVATE || code == HCBT_DESTROYWND) &&
        GetClassNameW(window, className, 32) && lstrcmpW(className, L"#32770") == 0) {
        auto open = std::find(openBoxes.begin(), openBoxes.end(), window);
        WCHAR caption[64] = {};
        GetWindowTextW(window, caption, 64);
        if (code == HCBT_ACTIVATE && lstrcmpW(caption, L"Camtag Settings") == 0) {
            ++settingsDialogs;
            PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
        } else if (code == HCBT_ACTIVATE && open == openBoxes.end()) {
            openBoxes.push_back(window);
            PostMessageW(window, WM_COMMAND, IDOK, 0);
        } else if (code == HCBT_DESTROYWND && open != openBoxes.end()) {
            openBoxes.erase(open);
            ShownWindow shown;
            WCHAR caption[256] = {};
            GetWindowTextW(window, caption, 256);
            shown.caption = caption;
            EnumChildWindows(window, LongestStatic, reinterpret_cast<LPARAM>(&shown.text));
            shownWindows.push_back(shown);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

FilterSettings TestSettings() {
    FilterSettings s{};
    s.color = 0x00FFFFFF;
    s.outlinecolor = 0;
    s.colorshadow = 0;
    s.transparency = 0;
    s.frameWidth = kWidth;
    s.frameHeight = kHeight;
    s.mode = 0;
    s.font = test::TestFont(-24);
    s.align = 0;
    s.x = 0.05;
    s.y = 0.1;
    s.timeformat = 1;
    s.dateformat = 1;
    s.timeup = 1;
    s.drawoutline = 1;
    s.lines = 2;
    s.drawshadow = 1;
    s.timecodemode = kTimecodeTape;
    s.flags = kFlagShowFrames | kFlagShowHours;
    s.projectRateNumerator = 25;
    s.projectRateDenominator = 1;
    s.referenceHeight = kHeight;
    return s;
}

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        Gdiplus::GdiplusStartupInput input;
        ASSERT_EQ(Gdiplus::GdiplusStartup(&gdiplusToken, &input, nullptr), Gdiplus::Ok);
        module = LoadLibraryA(CAMTAG_MODULE_PATH);
        ASSERT_NE(module, nullptr) << CAMTAG_MODULE_PATH;
        xFilter =
            reinterpret_cast<XFilterFn>(reinterpret_cast<void*>(GetProcAddress(module, "xFilter")));
        ASSERT_NE(xFilter, nullptr);
        std::string error;
        ASSERT_TRUE(CountModuleObjects(module, &error)) << error;
        hook = SetWindowsHookExW(WH_CBT, CbtHook, nullptr, GetCurrentThreadId());
        shownWindows.clear();
        settingsDialogs = 0;
        openBoxes.clear();
        source = host.makeFrame(kWidth, kHeight, kWidth * 4);
        destination = host.makeFrame(kWidth, kHeight, kWidth * 4);
        host.fill(source, kSourceColour);
        host.fill(destination, kMarker);
        host.setSource(source);
        host.setDestination(destination);
    }

    void TearDown() override {
        EXPECT_EQ(host.outstandingPointers(), 0u) << "host buffer not given back";
        EXPECT_EQ(host.badDisposals(), 0u);
        EXPECT_EQ(host.outstandingSegments(), 0u) << "segment not released";
        EXPECT_EQ(host.badReleases(), 0u);
        EXPECT_EQ(host.outstandingSuites(), 0) << "time suite not released";
        EXPECT_TRUE(host.guardsIntact()) << "the module wrote outside a host buffer";
        if (hook)
            UnhookWindowsHookEx(hook);
        // Each test gets a freshly loaded module: its module-wide state starts anew.
        if (module)
            FreeLibrary(module);
        // The module may keep a few bitmaps between frames; once unloaded, it holds nothing.
        const ModuleObjectCounts objects = CurrentModuleObjectCounts();
        EXPECT_EQ(objects.gdiplusLive(), 0) << "GDI+ objects not deleted";
        EXPECT_EQ(objects.gdiLive(), 0) << "GDI objects not deleted";
        EXPECT_EQ(objects.screenDcsLive(), 0) << "screen device context not released";
        Gdiplus::GdiplusShutdown(gdiplusToken);
    }

    int16_t Call(int16_t selector) { return xFilter(selector, host.handle()); }

    FilterSettings* Install(const FilterSettings& s = TestSettings()) {
        return host.installSettings(s);
    }

    int16_t ExecuteAt(int32_t position) {
        host.fill(destination, kMarker);
        host.setPosition(position);
        return Call(0);
    }

    std::vector<uint32_t> Pixels(HostFrameHandle frame) {
        auto data = reinterpret_cast<const uint32_t*>(host.pixels(frame));
        return std::vector<uint32_t>(data, data + host.pixelBytes(frame) / 4);
    }

    // The frame the module should give back: the source with `text` drawn through the renderer.
    std::vector<uint32_t> Expected(const FilterSettings& s, const char* text, int32_t factor = 1,
                                   int32_t parity = 0) {
        return test::ExpectedFrame(Pixels(source), kWidth, s, text, factor, parity);
    }

    static size_t Differing(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
        return test::DifferingPixels(a, b);
    }

    void ExpectPassedThrough() { EXPECT_EQ(Pixels(destination), Pixels(source)); }
    void ExpectUntouched() {
        for (uint32_t p : Pixels(destination))
            ASSERT_EQ(p, kMarker);
    }
    void ExpectStamped(const char* text, int32_t factor = 1, int32_t parity = 0) {
        std::vector<uint32_t> got = Pixels(destination);
        EXPECT_GT(Differing(got, Pixels(source)), 50u) << "no overlay on the frame";
        EXPECT_EQ(Differing(got, Expected(*host.settings(), text, factor, parity)), 0u)
            << "not the text " << text;
    }

    HostEmulator host;
    HMODULE module = nullptr;
    XFilterFn xFilter = nullptr;
    HHOOK hook = nullptr;
    ULONG_PTR gdiplusToken = 0;
    HostFrameHandle source = nullptr;
    HostFrameHandle destination = nullptr;
};

TEST_F(ModuleTest, SelectorsWithoutWork) {
    EXPECT_EQ(Call(4), 16384);
    EXPECT_EQ(Call(8), 0);
    for (int16_t selector : {2, 3, 5, 7, 9, 100, -1, -32768})
        EXPECT_EQ(Call(selector), -100) << selector;

    host.setPixelFormatIndex(0);
    EXPECT_EQ(Call(6), 0);
    EXPECT_EQ(host.record().pixelFormat, 0x61726762u);
    const char bytes[4] = {'b', 'g', 'r', 'a'};
    EXPECT_EQ(std::memcmp(&host.record().pixelFormat, bytes, 4), 0);
    host.record().pixelFormat = 7;
    host.setPixelFormatIndex(1);
    EXPECT_EQ(Call(6), 1);
    EXPECT_EQ(host.record().pixelFormat, 7u);

    // No record at all.
    for (int16_t selector : {0, 1, 6}) {
        EXPECT_EQ(xFilter(selector, nullptr), -100);
        HostFilterRecord* none = nullptr;
        EXPECT_EQ(xFilter(selector, &none), -100);
    }
    ExpectUntouched();
}

TEST_F(ModuleTest, FirstSetupCreatesTheDefaultsWithoutADialog) {
    host.setOffsetSeed(300, 2);
    host.setSetting(kHostFrameHeight, 480);
    host.setSetting(kHostRateNumerator, 30000);
    host.setSetting(kHostRateDenominator, 1001);
    // The user's defaults, as the registry holds them now (the registry lock keeps other tests
    // out of it meanwhile).
    FilterSettings expected{};
    ReadDefaults(expected);
    ASSERT_EQ(Call(1), 0);
    ASSERT_NE(host.settings(), nullptr);
    const FilterSettings& s = *host.settings();
    EXPECT_EQ(s.timelineOffset, 150);
    EXPECT_EQ(s.frameWidth, 720);
    EXPECT_EQ(s.frameHeight, 480);
    EXPECT_EQ(s.referenceHeight, 480u);
    EXPECT_EQ(s.projectRateNumerator, 30000u);
    EXPECT_EQ(s.projectRateDenominator, 1001u);
    EXPECT_EQ(s.dvSource, 0);
    EXPECT_EQ(s.sourcePath[0], '\0');
    EXPECT_EQ(s.changeCount, 0);
    EXPECT_EQ(s.color, expected.color);
    EXPECT_EQ(s.mode, expected.mode);
    EXPECT_EQ(std::memcmp(&s.font, &expected.font, sizeof s.font), 0);
    EXPECT_EQ(s.timecodemode, expected.timecodemode);
    EXPECT_EQ(std::memcmp(s.title, expected.title, sizeof s.title), 0);
    EXPECT_TRUE(shownWindows.empty());
    EXPECT_TRUE(host.segmentRequests().empty()); // the clip is not looked for yet
    EXPECT_EQ(host.handleCount(), 1u);

    // A second setup call keeps the record (no second handle).
    ASSERT_EQ(Call(1), -100); // the clip is on no timeline
    EXPECT_EQ(host.handleCount(), 1u);
}

TEST_F(ModuleTest, SetupFailsCleanlyWithoutTotalOrMemory) {
    host.setTotal(0);
    EXPECT_EQ(Call(1), -100);
    EXPECT_EQ(host.settings(), nullptr);
    host.setTotal(1);
    host.failAllocations(true);
    EXPECT_EQ(Call(1), -100);
    EXPECT_EQ(host.settings(), nullptr);
    host.failAllocations(false);
    char* empty = nullptr;
    host.record().settings = &empty; // a handle to nothing
    EXPECT_EQ(Call(1), -100);
    EXPECT_EQ(Call(0), -100);
    host.record().settings = nullptr;
}

TEST_F(ModuleTest, LaterSetupRefreshesTheClipBlock) {
    FilterSettings* s = Install();
    host.addFilteredClip(40, 80, kDvFile.c_str(), 2);
    host.setPosition(5);
    ASSERT_EQ(Call(1), 0);
    s = host.settings();
    EXPECT_EQ(kDvFile, s->sourcePath);
    EXPECT_EQ(s->startFrame, 2);
    EXPECT_EQ(s->timelineOffset, 40);
    EXPECT_EQ(s->dvSource, 1);
    // The dialog showed and was cancelled: the record keeps its count.
    EXPECT_EQ(settingsDialogs, 1);
    EXPECT_EQ(s->changeCount, 0);
    // Beyond the clip block and dvSource nothing changed.
    FilterSettings expected = TestSettings();
    std::memcpy(expected.sourcePath, s->sourcePath, kClipBlockSize);
    expected.dvSource = 1;
    EXPECT_EQ(std::memcmp(&expected, s, sizeof expected), 0);

    // Not found: -100 and the stored block stays.
    host.clearTimeline();
    ASSERT_EQ(Call(1), -100);
    EXPECT_EQ(kDvFile, host.settings()->sourcePath);
    EXPECT_EQ(host.settings()->timelineOffset, 40);
}

TEST_F(ModuleTest, SetupConvertsUtf8NamesOfVersion8Hosts) {
    Install();
    host.addFilteredClip(0, 10,
                         "C:\\Stra\xC3\x9F"
                         "e.avi",
                         0);
    host.setInterfaceVersion(8);
    ASSERT_EQ(Call(1), 0);
    // The system code page under Wine's default English locale.
    EXPECT_STREQ(host.settings()->sourcePath, "C:\\Stra\xDF"
                                              "e.avi");
    host.setInterfaceVersion(7);
    host.clearTimeline();
    host.addFilteredClip(0, 10,
                         "C:\\Stra\xC3\x9F"
                         "e.avi",
                         0);
    ASSERT_EQ(Call(1), 0);
    EXPECT_STREQ(host.settings()->sourcePath, "C:\\Stra\xC3\x9F"
                                              "e.avi");
}

TEST_F(ModuleTest, ExecuteWithoutSettingsTouchesNothing) {
    EXPECT_EQ(Call(0), -100);
    ExpectUntouched();
}

TEST_F(ModuleTest, ExecuteBeforeAnySetupLocatesTheClipAndStampsTheDate) {
    Install();
    host.addFilteredClip(100, 200, kDvFile.c_str(), 1);
    ASSERT_EQ(ExecuteAt(2), 0); // source frame 3
    EXPECT_FALSE(host.segmentRequests().empty());
    EXPECT_EQ(host.settings()->timelineOffset, 100);
    EXPECT_EQ(host.settings()->startFrame, 1);
    EXPECT_EQ(host.settings()->dvSource, 1);
    ExpectStamped(kDateText);
    EXPECT_TRUE(shownWindows.empty());

    // Once the clip block is current, a frame changes no byte of the record.
    FilterSettings before = *host.settings();
    ASSERT_EQ(ExecuteAt(0), 0);
    EXPECT_EQ(std::memcmp(&before, host.settings(), sizeof before), 0);
}

TEST_F(ModuleTest, TapeTimecodeOfTheSourceFrame) {
    FilterSettings s = TestSettings();
    s.mode = 1;
    s.timecodemode = kTimecodeTape;
    Install(s);
    host.addFilteredClip(0, 100, kDvFile.c_str(), 0);
    ASSERT_EQ(ExecuteAt(3), 0);
    ExpectStamped("10:20:30:03");
}

TEST_F(ModuleTest, ShowDurationOfTwoSecondsAt25Fps) {
    FilterSettings s = TestSettings();
    s.mode = 1;
    s.timecodemode = kTimecodeTimeline;
    s.showduration = 2;
    Install(s);
    host.addFilteredClip(0, 2000000, kDvFile.c_str(), 0);
    for (int32_t frame : {0, 50}) {
        ASSERT_EQ(ExecuteAt(frame), 0);
        EXPECT_GT(Differing(Pixels(destination), Pixels(source)), 50u) << "frame " << frame;
    }
    ASSERT_EQ(ExecuteAt(51), 0);
    ExpectPassedThrough();
    ASSERT_EQ(ExecuteAt(1000000), 0);
    ExpectPassedThrough();
}

TEST_F(ModuleTest, ShowWindowDoesNotOverflowAtFineTimebases) {
    // 25 fps as 90000 units per second: 50000 s x 90000 does not fit 32 bits, and cut to 32
    // bits it would end the window at frame 56953.
    FilterSettings s = TestSettings();
    s.mode = 1;
    s.timecodemode = kTimecodeTimeline;
    s.showduration = 50000;
    Install(s);
    host.setTimebase(90000, 3600);
    host.addFilteredClip(0, 2000000, kDvFile.c_str(), 0);
    ASSERT_EQ(ExecuteAt(60000 * 3600), 0);
    EXPECT_GT(Differing(Pixels(destination), Pixels(source)), 50u);
    // 20000 s: the window ends at frame 500000.
    host.settings()->showduration = 20000;
    ASSERT_EQ(ExecuteAt(500000 * 3600), 0);
    EXPECT_GT(Differing(Pixels(destination), Pixels(source)), 50u);
    ASSERT_EQ(ExecuteAt(500001 * 3600), 0);
    ExpectPassedThrough();
}

TEST_F(ModuleTest, FieldsOfBothParitiesAreDrawnForTheFullFrame) {
    HostFrameHandle fieldSource = host.makeFrame(kWidth, kHeight / 2, kWidth * 4);
    HostFrameHandle fieldDest = host.makeFrame(kWidth, kHeight / 2, kWidth * 4);
    host.fill(fieldSource, kSourceColour);
    host.setSource(fieldSource);
    host.setDestination(fieldDest);
    source = fieldSource;
    destination = fieldDest;
    Install();
    host.addFilteredClip(0, 100, kDvFile.c_str(), 0);

    struct Case {
        int16_t flags;
        int32_t parity;
    };
    for (Case c :
         {Case{0x0200 | 0x1000, 1}, Case{0x0200, 0}, Case{0x0100, 1}, Case{0x0100 | 0x1000, 0}}) {
        host.setSizeFlags(c.flags);
        ASSERT_EQ(ExecuteAt(2 * 2), 0) << c.flags; // frame 2, position doubled
        ExpectStamped(kDateText, 2, c.parity);
    }
}

// A host may call execute on several threads at once, each with its own record and frames.
TEST_F(ModuleTest, ExecuteOnTwoThreadsAtOnce) {
    FilterSettings looks[2] = {TestSettings(), TestSettings()};
    looks[1].align = 1;
    looks[1].x = 0.5;
    looks[1].y = 0.6;
    looks[1].bkground = 1;
    looks[1].angle = 20;
    std::vector<uint32_t> expected[2] = {Expected(looks[0], kDateText),
                                         Expected(looks[1], kDateText)};
    std::atomic<int> started{0};
    int wrong[2] = {0, 0};
    int failed[2] = {0, 0};
    auto run = [&](int which) {
        HostEmulator own; // this thread's host
        HostFrameHandle from = own.makeFrame(kWidth, kHeight, kWidth * 4);
        HostFrameHandle to = own.makeFrame(kWidth, kHeight, kWidth * 4);
        own.fill(from, kSourceColour);
        own.setSource(from);
        own.setDestination(to);
        own.installSettings(looks[which]);
        own.addFilteredClip(0, 100, kDvFile.c_str(), 0);
        started.fetch_add(1);
        while (started.load() < 2) {
        }
        for (int i = 0; i < 40; ++i) {
            own.fill(to, kMarker);
            own.setPosition(i % 4);
            if (xFilter(0, own.handle()) != 0)
                ++failed[which];
            auto pixels = reinterpret_cast<const uint32_t*>(own.pixels(to));
            if (!std::equal(expected[which].begin(), expected[which].end(), pixels))
                ++wrong[which];
        }
        EXPECT_EQ(own.outstandingPointers(), 0u);
    };
    std::thread first(run, 0);
    std::thread second(run, 1);
    first.join();
    second.join();
    for (int which : {0, 1}) {
        EXPECT_EQ(failed[which], 0) << "thread " << which;
        EXPECT_EQ(wrong[which], 0) << "thread " << which;
    }
}

TEST_F(ModuleTest, NonDvSourceSwitchesToTimecodeForGood) {
    FilterSettings s = TestSettings();
    s.mode = 0;
    s.timecodemode = kTimecodeTimeline | kTimecodeClip | kTimecodeTape;
    Install(s);
    host.addFilteredClip(0, 100, kMissingFile.c_str(), 0);
    ASSERT_EQ(ExecuteAt(0), 0);
    EXPECT_EQ(host.settings()->dvSource, 0);
    EXPECT_EQ(host.settings()->mode, 1);
    EXPECT_EQ(host.settings()->timecodemode, kTimecodeTimeline | kTimecodeClip);
    EXPECT_GT(Differing(Pixels(destination), Pixels(source)), 50u);
    ASSERT_EQ(ExecuteAt(1), 0);
    EXPECT_EQ(host.settings()->mode, 1);
}

TEST_F(ModuleTest, ClipNotFoundStampsTheReattachError) {
    Install();
    ASSERT_EQ(ExecuteAt(0), 0);
    ExpectStamped("Camtag error. Try reattach filter.");
}

TEST_F(ModuleTest, NewerHostWarnsOncePerProcessAndKeepsTheStoredClip) {
    FilterSettings s = TestSettings();
    std::strcpy(s.sourcePath, kDvFile.c_str());
    s.startFrame = 1;
    s.dvSource = 1;
    Install(s);
    host.setInterfaceVersion(9);
    ASSERT_EQ(Call(1), 0);
    ASSERT_EQ(shownWindows.size(), 1u);
    EXPECT_EQ(shownWindows[0].caption, L"\u0412\u043d\u0438\u043c\u0430\u043d\u0438\u0435!");
    EXPECT_EQ(shownWindows[0].text,
              L"Date/Time of record does not work in Adobe Premiere Pro SC4 until there is "
              L"no SDK for CS4.\nSo hold your breath.");
    EXPECT_TRUE(host.segmentRequests().empty());
    EXPECT_EQ(host.settings()->startFrame, 1);
    EXPECT_EQ(settingsDialogs, 1)
        << "the stored clip stands in for the locator, and the dialog opens";

    ASSERT_EQ(ExecuteAt(2), 0);
    ExpectStamped(kDateText);
    // A second instance and more frames: no second box.
    HostMemoryHandle first = host.record().settings;
    Install(s);
    ASSERT_EQ(Call(1), 0);
    ASSERT_EQ(ExecuteAt(0), 0);
    host.record().settings = first;
    ASSERT_EQ(ExecuteAt(1), 0);
    EXPECT_EQ(shownWindows.size(), 1u);
    EXPECT_TRUE(host.segmentRequests().empty());
}

TEST_F(ModuleTest, NewInstanceOnANewerHostWarnsAtItsFirstFrame) {
    host.setInterfaceVersion(9);
    ASSERT_EQ(Call(1), 0); // creates the record only
    EXPECT_TRUE(shownWindows.empty());
    ASSERT_NE(host.settings(), nullptr);
    ASSERT_EQ(ExecuteAt(0), 0);
    ASSERT_EQ(ExecuteAt(1), 0);
    EXPECT_EQ(shownWindows.size(), 1u);
    EXPECT_TRUE(host.segmentRequests().empty());
}

TEST_F(ModuleTest, UnreadableSourceStampsTheAviError) {
    FilterSettings s = TestSettings();
    std::strcpy(s.sourcePath, kMissingFile.c_str());
    s.dvSource = 1;
    Install(s);
    host.setInterfaceVersion(9);
    ASSERT_EQ(Call(1), 0);
    ASSERT_EQ(ExecuteAt(0), 0);
    ExpectStamped("Camtag error. AVI access fail.");
    std::vector<uint32_t> error = Pixels(destination);
    // The same frame with an empty text is the source itself.
    EXPECT_EQ(Differing(Expected(*host.settings(), ""), Pixels(source)), 0u);
    EXPECT_GT(Differing(error, Pixels(source)), 50u);
}

TEST_F(ModuleTest, TextLongerThan128CharactersIsDrawnWhole) {
    FilterSettings s = TestSettings();
    s.font.lfHeight = -9;
    s.x = 0.0;
    s.y = 0.0;
    s.drawshadow = 0;
    std::strcpy(s.title, "%f%f\\n%f%f\\n%f%f\\n%f%f\\n"); // 8 file names
    Install(s);
    host.addFilteredClip(0, 100, kDvFile.c_str(), 0);
    ASSERT_EQ(ExecuteAt(0), 0);
    std::string text;
    for (int line = 0; line < 4; ++line)
        text += kDvName + kDvName + "\n";
    text += kDateText;
    ASSERT_GT(text.size(), 200u);
    ExpectStamped(text.c_str());
    EXPECT_GT(
        Differing(Pixels(destination), Expected(*host.settings(), text.substr(0, 127).c_str())),
        0u);
}

TEST_F(ModuleTest, HostsWithoutTimebaseOrTicksShowTheReattachError) {
    Install();
    host.addFilteredClip(0, 100, kDvFile.c_str(), 0);
    const char* error = "Camtag error. Try reattach filter.";
    struct Case {
        const char* what;
        uint32_t scale;
        int32_t sampleSize;
        bool timebaseSlot;
        bool timeSuite;
    };
    const Case cases[] = {
        {"sample size 0", 25, 0, true, true},        {"scale 0", 0, 1, true, true},
        {"no timebase slot", 25, 1, false, true},    {"no time suite", 25, 1, true, false},
        {"a rate without ticks", 24, 1, true, true},
    };
    for (const Case& c : cases) {
        host.setTimebase(c.scale, c.sampleSize);
        host.setTimebaseLookupAvailable(c.timebaseSlot);
        host.setTimeSuiteAvailable(c.timeSuite);
        ASSERT_EQ(ExecuteAt(0), 0) << c.what;
        ExpectStamped(error);
    }
    host.setTimebase(25, 1);
    host.setTimebaseLookupAvailable(true);
    host.setTimeSuiteAvailable(true);
    ASSERT_EQ(ExecuteAt(0), 0);
    ExpectStamped(kDateText);
}

TEST_F(ModuleTest, BrokenFramesAndFailedAllocations) {
    Install();
    host.addFilteredClip(0, 100, kDvFile.c_str(), 0);

    host.failAllocations(true);
    EXPECT_EQ(ExecuteAt(0), -100);
    ExpectUntouched();
    host.failAllocations(false);

    // Geometry nothing can be copied with: left untouched.
    struct Bad {
        int32_t width, height, rowBytes;
    };
    for (Bad bad :
         {Bad{0, 10, 64}, Bad{10, 0, 64}, Bad{10, -5, 64}, Bad{16, 10, 32}, Bad{16, 10, -64}}) {
        HostFrameHandle frame = host.makeFrame(bad.width, bad.height, bad.rowBytes);
        host.fill(frame, kMarker);
        host.setDestination(frame);
        EXPECT_EQ(Call(0), -100) << bad.width << "x" << bad.height << " / " << bad.rowBytes;
        for (size_t i = 0; i < host.pixelBytes(frame) / 4; ++i)
            ASSERT_EQ(host.pixel(frame, static_cast<int32_t>(i), 0), kMarker);
    }
    // A source smaller than the destination.
    HostFrameHandle small = host.makeFrame(kWidth, kHeight / 2, kWidth * 4);
    host.setSource(small);
    host.setDestination(destination);
    EXPECT_EQ(ExecuteAt(0), -100);
    ExpectUntouched();
    host.setSource(source);

    // Not 32 bits per pixel: copied, never drawn on.
    HostFrameHandle wide = host.makeFrame(kWidth, kHeight, kWidth * 4, 24);
    host.setDestination(wide);
    host.fill(wide, kMarker);
    EXPECT_EQ(Call(0), 0);
    EXPECT_EQ(std::memcmp(host.pixels(wide), host.pixels(source), host.pixelBytes(source)), 0);
    host.setDestination(destination);

    // Missing frames and tables.
    host.setDestination(nullptr);
    EXPECT_EQ(Call(0), -100);
    host.setDestination(destination);
    host.setSource(nullptr);
    EXPECT_EQ(Call(0), -100);
    host.setSource(source);
    HostFrameTable* frames = host.record().suites->frame;
    host.record().suites->frame = nullptr;
    EXPECT_EQ(ExecuteAt(0), -100);
    host.record().suites->frame = frames;
    HostMemoryTable* memory = host.record().suites->memory;
    host.record().suites->memory = nullptr;
    EXPECT_EQ(ExecuteAt(0), -100);
    ExpectUntouched();
    host.record().suites->memory = memory;
    host.record().suites->timeline = nullptr;
    EXPECT_EQ(ExecuteAt(0), 0);
    ExpectStamped("Camtag error. Try reattach filter.");
}

// --- Hostile host values: nothing may crash or write outside a buffer (the emulator's guards and
// the object counts are checked after every test).

TEST_F(ModuleTest, SettingsRecordsTheModuleCannotUse) {
    host.addFilteredClip(0, 100, kDvFile.c_str(), 0);
    char* nothing = nullptr;
    struct Case {
        const char* what;
        int32_t size; // of the host's block; 0: no usable block at all
        bool hostTellsSize;
        int16_t result;
    };
    for (Case c : {Case{"no handle", -1, true, -100}, Case{"handle to no block", 0, true, -100},
                   Case{"1 byte", 1, true, -100}, Case{"an older record", 300, true, -100},
                   Case{"one byte short", 505, true, -100}, Case{"the record", 506, true, 0},
                   Case{"a larger block", 600, true, 0}, Case{"size not told", 506, false, 0}}) {
        host.setHandleSizeAvailable(c.hostTellsSize);
        if (c.size < 0)
            host.clearSettings();
        else if (c.size == 0)
            host.record().settings = &nothing;
        else
            host.installSettings(TestSettings(), static_cast<uint32_t>(c.size));
        EXPECT_EQ(ExecuteAt(0), c.result) << c.what;
        if (c.result != 0) {
            ExpectUntouched();
        } else {
            ExpectStamped(kDateText);
        }
    }
    host.setHandleSizeAvailable(true);
}

TEST_F(ModuleTest, FrameGeometryTheModuleCannotUse) {
    Install();
    host.addFilteredClip(0, 100, kDvFile.c_str(), 0);
    struct Case {
        const char* what;
        HostRect bounds;
        int32_t rowBytes;
        bool copied; // false: -100 and the frame untouched
    };
    const Case cases[] = {
        {"zero width", {0, 0, 0, 8}, 64, false},
        {"zero height", {0, 0, 16, 0}, 64, false},
        {"negative width", {16, 0, 0, 8}, 64, false},
        {"negative height", {0, 8, 16, 0}, 64, false},
        {"width beyond 32 bits", {INT32_MIN, 0, INT32_MAX, 8}, 64, false},
        {"height beyond 32 bits", {0, INT32_MIN, 16, INT32_MAX}, 64, false},
        {"rows shorter than the width", {0, 0, 16, 8}, 63, false},
        {"no row bytes", {0, 0, 16, 8}, 0, false},
        // Row bytes beyond 16 bits: the rows are copied as they are, never drawn on.
        {"32768 row bytes", {0, 0, 16, 2}, 32768, true},
        {"70000 row bytes", {0, 0, kWidth, 4}, 70000, true},
    };
    for (const Case& c : cases) {
        // The frames' memory is what a sane host would give; the destination's descriptor then
        // tells the module the case's bounds and row bytes.
        const int32_t rows = c.copied ? c.bounds.bottom : 8;
        const int32_t rowBytes = c.rowBytes > 0 ? c.rowBytes : 64;
        HostFrameHandle src = host.makeFrame(c.copied ? c.bounds.right : 16, rows, rowBytes);
        HostFrameHandle dst = host.makeFrame(c.copied ? c.bounds.right : 16, rows, rowBytes);
        (*dst)->bounds = c.bounds;
        (*dst)->rowBytes = c.rowBytes;
        host.fill(src, kSourceColour);
        host.fill(dst, kMarker);
        host.setSource(src);
        host.setDestination(dst);
        const int16_t result = Call(0);
        if (c.copied) {
            EXPECT_EQ(result, 0) << c.what;
            EXPECT_EQ(host.pixel(dst, 0, rows - 1), kSourceColour) << c.what;
            EXPECT_EQ(host.pixel(dst, c.bounds.right, 0), kMarker)
                << c.what << ": beyond the width";
        } else {
            EXPECT_EQ(result, -100) << c.what;
            for (size_t i = 0; i < host.pixelBytes(dst) / 4; ++i)
                ASSERT_EQ(host.pixel(dst, static_cast<int32_t>(i), 0), kMarker) << c.what;
        }
    }
}

int32_t sourceCallbacks = 0;

TEST_F(ModuleTest, FailingHostFrameCalls) {
    Install();
    host.addFilteredClip(0, 100, kDvFile.c_str(), 0);
    HostFrameTable* frames = host.record().suites->frame;
    const HostFrameTable working = *frames;
    struct Case {
        const char* what;
        void (*breakIt)(HostFrameTable*);
    };
    const Case cases[] = {
        {"no pixels for any frame",
         [](HostFrameTable* t) {
             t->getPixels = [](HostFrameHandle) -> char* { return nullptr; };
         }},
        {"no bounds", [](HostFrameTable* t) { t->getBounds = [](HostFrameHandle, HostRect*) {}; }},
        {"no row bytes",
         [](HostFrameTable* t) { t->getRowBytes = [](HostFrameHandle) { return 0; }; }},
        {"no pixel slot", [](HostFrameTable* t) { t->getPixels = nullptr; }},
        {"no bounds slot", [](HostFrameTable* t) { t->getBounds = nullptr; }},
    };
    for (const Case& c : cases) {
        *frames = working;
        c.breakIt(frames);
        EXPECT_EQ(ExecuteAt(0), -100) << c.what;
        ExpectUntouched();
    }
    *frames = working;

    // The record's source-frame callback fails; the module renders from the frames it was given
    // and never asks for another.
    sourceCallbacks = 0;
    const HostSourceFrameCallback hostCallback = host.record().sourceCallback;
    host.record().sourceCallback = [](int32_t, HostFrameHandle, HostRect*, void*) -> int32_t {
        ++sourceCallbacks;
        return -1;
    };
    ASSERT_EQ(ExecuteAt(0), 0);
    ExpectStamped(kDateText);
    EXPECT_EQ(sourceCallbacks, 0);
    host.record().sourceCallback = hostCallback;
}

TEST_F(ModuleTest, TimelineChangingUnderTheLocator) {
    Install();
    const char kReattach[] = "Camtag error. Try reattach filter.";
    size_t requests = 0;
    struct Case {
        const char* what;
        int32_t storedOffset; // where the record says the clip began last time
        std::function<void(int32_t time)> change;
        const char* text;
    };
    const Case cases[] = {
        {"the clip moves before the first answer", 40,
         [&](int32_t) {
             if (requests++ == 0) {
                 host.clearTimeline();
                 host.addFilteredClip(60, 160, kDvFile.c_str(), 0);
             }
         },
         kDateText},
        {"the clip goes during the scan", 0,
         [&](int32_t) {
             if (requests++ == 2)
                 host.clearTimeline();
         },
         kReattach},
        {"the clip keeps moving ahead of the scan", 0,
         [&](int32_t time) {
             host.clearTimeline();
             host.addFilteredClip(time + 100000, time + 100100, kDvFile.c_str(), 0);
         },
         kReattach},
        {"the timeline is emptied at once", 40, [&](int32_t) { host.clearTimeline(); }, kReattach},
    };
    for (const Case& c : cases) {
        host.clearTimeline();
        host.addFilteredClip(40, 140, kDvFile.c_str(), 0);
        host.settings()->timelineOffset = c.storedOffset;
        requests = 0;
        host.clearSegmentRequests();
        host.setSegmentHook(c.change);
        EXPECT_EQ(ExecuteAt(0), 0) << c.what;
        host.setSegmentHook(nullptr);
        ExpectStamped(c.text);
        EXPECT_EQ(host.outstandingSegments(), 0u) << c.what;
        EXPECT_LT(host.segmentRequests().size(), 200u) << c.what;
    }
    EXPECT_EQ(host.badReleases(), 0u);
}

} // namespace
} // namespace camtag
