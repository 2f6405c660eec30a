// The clip locator against the host emulator's timelines: what it finds, what it must not take,
// and what a host with missing or hostile answers cannot make it do.
#include "HostEmulator.h"
#include "dv/DvAviReader.h"
#include "host/ModuleState.h"
#include "module/ClipLocator.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

namespace camtag {
namespace {

const std::string kDvFile = test::DataPath("pal-type2-idx1-ffmpeg.avi");
const std::string kMissingFile = test::DataPath("no-such-file.avi");

class LocatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        TickCache::Clear();
        hostVersion = 0;
        ansiCodePage = 1252;
        FilterSettings settings{};
        host.installSettings(settings);
        clip = FoundClip{};
    }

    int Locate() { return ClipLocator::Locate(host.handle(), clip); }

    HostEmulator host;
    FoundClip clip;
    ClipBlock& block = clip.block;
};

TEST_F(LocatorTest, FrameRateCodes) {
    auto code = [](uint32_t scale, int32_t sampleSize) {
        HostTimeRecord t{0, scale, sampleSize};
        return ClipLocator::FrameRateCode(&t);
    };
    EXPECT_EQ(code(25, 1), 3);
    EXPECT_EQ(code(254016000000ULL / 10160640000ULL * 4, 4), 3);
    EXPECT_EQ(code(30000, 1001), 4);
    EXPECT_EQ(code(30, 1), 5);
    EXPECT_EQ(code(24, 1), -1);
    EXPECT_EQ(code(50, 1), -1);
    EXPECT_EQ(code(25, 0), -1);
    EXPECT_EQ(code(0, 1), -1);
    EXPECT_EQ(ClipLocator::FrameRateCode(nullptr), -1);
}

TEST_F(LocatorTest, TicksPerFrameAreCachedPerRateAndNeverStale) {
    EXPECT_EQ(ClipLocator::TicksPerFrame(host.handle()), 10160640000LL);
    EXPECT_EQ(ClipLocator::TicksPerFrame(host.handle()), 10160640000LL);
    EXPECT_EQ(host.ticksQueries(), 1);
    EXPECT_EQ(host.outstandingSuites(), 0);

    host.setTimebase(30000, 1001);
    EXPECT_EQ(ClipLocator::TicksPerFrame(host.handle()), 8475667200LL);
    EXPECT_EQ(host.ticksQueries(), 2);

    // A rate the host has no ticks for gives 0, not the ticks of the previous rate, and is asked
    // again next time.
    host.setTimebase(24, 1);
    EXPECT_EQ(ClipLocator::TicksPerFrame(host.handle()), 0);
    EXPECT_EQ(ClipLocator::TicksPerFrame(host.handle()), 0);
    EXPECT_EQ(host.ticksQueries(), 4);
    EXPECT_EQ(host.outstandingSuites(), 0);

    host.setTimebase(25, 1);
    host.setTimeSuiteAvailable(false);
    EXPECT_EQ(ClipLocator::TicksPerFrame(host.handle()), 0);
    host.setTimeSuiteAvailable(true);
    host.setBasicSuiteAvailable(false);
    EXPECT_EQ(ClipLocator::TicksPerFrame(host.handle()), 0);
    EXPECT_EQ(ClipLocator::TicksPerFrame(nullptr), 0);
}

// Two hosts at different rates asking at once, as two render threads of one host may: the
// shared cache must never give one rate's ticks for the other.
TEST_F(LocatorTest, TicksPerFrameOnTwoThreadsAtDifferentRates) {
    struct Rate {
        uint32_t scale;
        int32_t sampleSize;
        int64_t ticks;
    };
    const Rate rates[2] = {{25, 1, 10160640000LL}, {30000, 1001, 8475667200LL}};
    std::atomic<int> wrong{0};
    std::atomic<int> started{0};
    auto ask = [&](const Rate& rate) {
        HostEmulator own; // this thread's host
        own.setTimebase(rate.scale, rate.sampleSize);
        started.fetch_add(1);
        while (started.load() < 2) {
        }
        for (int i = 0; i < 100000; ++i) {
            const int64_t ticks = ClipLocator::TicksPerFrame(own.handle());
            if (ticks != rate.ticks)
                wrong.fetch_add(1);
        }
    };
    std::thread first(ask, rates[0]);
    std::thread second(ask, rates[1]);
    first.join();
    second.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST_F(LocatorTest, FirstGuessFindsTheClipAtItsStoredOffset) {
    host.addFilteredClip(100, 200, kDvFile.c_str(), 7);
    block.timelineOffset = 100;
    host.setPosition(10);
    ASSERT_EQ(Locate(), 1);
    EXPECT_EQ(kDvFile, block.sourcePath);
    EXPECT_EQ(block.startFrame, 7);
    EXPECT_EQ(block.timelineOffset, 100);
    EXPECT_EQ(clip.dvSource, 1);
    ASSERT_EQ(host.segmentRequests().size(), 1u);
    EXPECT_EQ(host.segmentRequests()[0], 110);
    EXPECT_EQ(host.outstandingSegments(), 0u);
    EXPECT_EQ(host.badReleases(), 0u);
}

// The execute call hands in a reader: a DV source stays open in it for the text, anything else
// leaves it closed.
TEST_F(LocatorTest, TheSourceStaysOpenForTheCallerOnlyWhenItIsDv) {
    struct Case {
        const std::string* file;
        int dv;
    };
    for (const Case& c : {Case{&kDvFile, 1}, Case{&kMissingFile, 0}}) {
        host.clearTimeline();
        host.addFilteredClip(0, 100, c.file->c_str(), 0);
        DvAviReader reader;
        ASSERT_EQ(ClipLocator::Locate(host.handle(), clip, &reader), 1) << *c.file;
        EXPECT_EQ(clip.dvSource, c.dv);
        EXPECT_EQ(reader.isOpen, c.dv);
        if (c.dv) {
            EXPECT_EQ(reader.frameCount, 4u);
            SYSTEMTIME recorded{};
            EXPECT_EQ(reader.GetRecordingTime(3, &recorded), 1);
            EXPECT_EQ(recorded.wYear, 2004);
        }
    }
}

TEST_F(LocatorTest, ScanFindsAMovedClipAndFieldsHalveThePosition) {
    host.setTimebase(50, 2);
    // Another instance's filter over frames 0-99, a gap, then this instance from frame 300.
    host.addClip(0, 100,
                 host.filterNode("PR.Camtag", 99, 0, host.mediaNode("C:\\other.avi", 0, 0)));
    host.addFilteredClip(300, 400, kMissingFile.c_str(), 40);
    host.setSizeFlags(kSizeFlagFields);
    host.setPosition(2 * 2 * 10); // frame 10 of the clip, doubled for fields
    ASSERT_EQ(Locate(), 1);
    EXPECT_EQ(block.timelineOffset, 300);
    EXPECT_EQ(block.startFrame, 40);
    EXPECT_EQ(kMissingFile, block.sourcePath);
    EXPECT_EQ(clip.dvSource, 0);
    // First guess at offset 0, then the scan from the clip position over each segment's end.
    const std::vector<int32_t> expected{20, 20, 2 * 100 + 20, 2 * 300 + 20};
    EXPECT_EQ(host.segmentRequests(), expected);
    EXPECT_EQ(host.outstandingSegments(), 0u);
}

TEST_F(LocatorTest, OnlyThisInstancesFilterNodeCounts) {
    HostNode* media = host.mediaNode("C:\\clip.avi", 0, 0);
    const int32_t id = host.record().instanceId;
    host.addClip(0, 10, media);                                           // no filter above
    host.addClip(10, 20, host.filterNode("PR.Camtag", id + 1, 0, media)); // another instance
    host.addClip(20, 30, host.filterNode("pr.camtag", id, 0, media));     // case matters
    host.addClip(30, 40, host.filterNode("PR.Camtag2", id, 0, media));    // longer name
    host.addClip(40, 50, host.filterNode("PR.Camtag", id, 0, nullptr));   // no media below
    for (int32_t start = 0; start < 50; start += 10) {
        block.timelineOffset = start;
        EXPECT_EQ(Locate(), 0) << "clip at " << start;
    }
    EXPECT_EQ(host.outstandingSegments(), 0u);
}

TEST_F(LocatorTest, MediaBelowPairAndBranchNodesIsFoundFirstChildFirst) {
    const int32_t id = host.record().instanceId;
    const int64_t tpf = HostEmulator::TicksForRateCode(3);
    HostNode* first = host.mediaNode("C:\\first.avi", 5 * tpf, 0);
    HostNode* second = host.mediaNode("C:\\second.avi", 9 * tpf, 0);
    HostNode* pair = host.pairNode(host.nodeOfKind(7), host.branchNode(nullptr, first));
    HostNode* tree = host.branchNode(host.pairNode(nullptr, nullptr), host.pairNode(pair, second));
    host.addClip(0, 10, host.filterNode("PR.Camtag", id, 0, tree));
    ASSERT_EQ(Locate(), 1);
    EXPECT_STREQ(block.sourcePath, "C:\\first.avi");
    EXPECT_EQ(block.startFrame, 5);

    // A filter node of another effect between this filter and the media keeps "inside".
    HostNode* nested = host.filterNode("PR.Blur", 3, 0, host.mediaNode("C:\\nested.avi", 0, 0));
    host.clearTimeline();
    host.addClip(0, 10, host.filterNode("PR.Camtag", id, 2 * tpf, nested));
    ASSERT_EQ(Locate(), 1);
    EXPECT_STREQ(block.sourcePath, "C:\\nested.avi");
    EXPECT_EQ(block.timelineOffset, 2);
    EXPECT_EQ(block.startFrame, 2);
}

TEST_F(LocatorTest, NothingWithinHundredHoursEndsTheScan) {
    host.addFilteredClip(9000001, 9000010, "C:\\late.avi", 0); // just past 100 hours at 25 fps
    ASSERT_EQ(Locate(), 0);
    // First guess and one scan step over the single gap segment.
    EXPECT_EQ(host.segmentRequests().size(), 2u);
    EXPECT_EQ(host.outstandingSegments(), 0u);

    host.clearTimeline();
    host.clearSegmentRequests();
    EXPECT_EQ(Locate(), 0); // an empty timeline: no segment at all
    EXPECT_EQ(host.segmentRequests().size(), 2u);
}

TEST_F(LocatorTest, MissingHostPartsGiveNotFound) {
    host.addFilteredClip(0, 10, "C:\\clip.avi", 0);
    EXPECT_EQ(ClipLocator::Locate(nullptr, clip), 0);
    HostFilterRecord* nothing = nullptr;
    EXPECT_EQ(ClipLocator::Locate(&nothing, clip), 0);

    host.setSegmentLookupAvailable(false);
    EXPECT_EQ(Locate(), 0);
    host.setSegmentLookupAvailable(true);

    // No ticks per frame: nothing is asked of the timeline, nothing is divided by zero.
    host.setTimeSuiteAvailable(false);
    EXPECT_EQ(Locate(), 0);
    EXPECT_TRUE(host.segmentRequests().empty());
    host.setTimeSuiteAvailable(true);
    host.setTimebase(24, 1);
    EXPECT_EQ(Locate(), 0);
    host.setTimebase(25, 0);
    EXPECT_EQ(Locate(), 0);
    host.setTimebase(25, 1);

    host.setTimelineAvailable(false);
    EXPECT_EQ(Locate(), 0);
    host.setTimelineAvailable(true);
    host.record().timeRecord = nullptr;
    EXPECT_EQ(Locate(), 0);
    HostTimeRecord restored{0, 25, 1};
    host.record().timeRecord = &restored;
    host.record().suites->utility = nullptr;
    EXPECT_EQ(Locate(), 0);
    EXPECT_EQ(host.outstandingSegments(), 0u);
}

TEST_F(LocatorTest, CyclicAndDeepTreesEndTheSearch) {
    const int32_t id = host.record().instanceId;
    HostNode* self = host.filterNode("PR.Camtag", id, 0, nullptr);
    self->filter.child = self;
    EXPECT_EQ(ClipLocator::SearchNode(nullptr, self, host.handle(), clip, 0), 0);

    // Both children of each node point back up: without a visit budget, 2^depth calls. The
    // search goes to its full depth here, on a thread with a small stack as a host's worker
    // thread may have.
    HostNode* a = host.pairNode(nullptr, nullptr);
    HostNode* b = host.branchNode(a, a);
    a->pair.first = b;
    a->pair.second = b;
    struct Job {
        HostNode* root;
        HostRecordHandle record;
        FoundClip* clip;
        int result;
    } job{a, host.handle(), &clip, -1};
    auto run = [](LPVOID param) -> DWORD {
        auto j = static_cast<Job*>(param);
        j->result = ClipLocator::SearchNode(nullptr, j->root, j->record, *j->clip, 1);
        return 0;
    };
    HANDLE thread =
        CreateThread(nullptr, 64 * 1024, run, &job, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_EQ(job.result, 0);

    // A chain far deeper than any real effect stack.
    HostNode* chain = host.mediaNode("C:\\deep.avi", 0, 0);
    for (int i = 0; i < 100000; ++i)
        chain = host.branchNode(chain, nullptr);
    EXPECT_EQ(ClipLocator::SearchNode(nullptr, chain, host.handle(), clip, 1), 0);

    // A long but real effect stack: 200 other effects between this filter and the media.
    HostNode* stack = host.mediaNode("C:\\stacked.avi", 0, 0);
    for (int i = 0; i < 200; ++i)
        stack = host.filterNode("PR.Other", i, 0, stack);
    EXPECT_EQ(ClipLocator::SearchNode(nullptr, host.filterNode("PR.Camtag", id, 0, stack),
                                      host.handle(), clip, 0),
              1);
    EXPECT_STREQ(block.sourcePath, "C:\\stacked.avi");

    // A shallow tree is still searched.
    HostNode* shallow = host.mediaNode("C:\\near.avi", 0, 0);
    for (int i = 0; i < 10; ++i)
        shallow = host.branchNode(shallow, nullptr);
    EXPECT_EQ(ClipLocator::SearchNode(nullptr, shallow, host.handle(), clip, 1), 1);
    EXPECT_STREQ(block.sourcePath, "C:\\near.avi");
}

TEST_F(LocatorTest, FileNamesMustFitTheClipBlock) {
    const int32_t id = host.record().instanceId;
    auto locateName = [&](const void* name, size_t size) {
        host.clearTimeline();
        host.addClip(0, 10,
                     host.filterNode("PR.Camtag", id, 0, host.rawMediaNode(name, size, 0, 0)));
        std::memset(&block, 0, sizeof block);
        return Locate();
    };
    std::string fits(259, 'a');
    std::string tooLong(260, 'b');
    ASSERT_EQ(locateName(fits.c_str(), fits.size() + 1), 1);
    EXPECT_EQ(fits, block.sourcePath);
    EXPECT_EQ(locateName(tooLong.c_str(), tooLong.size() + 1), 0);
    // The host's field filled to its end without a terminator.
    std::string unterminated(300, 'c');
    EXPECT_EQ(locateName(unterminated.data(), unterminated.size()), 0);

    // Version 8 names are UTF-8 and end up in the system code page.
    hostVersion = 8;
    ASSERT_EQ(locateName("C:\\Stra\xC3\x9F"
                         "e.avi",
                         16),
              1);
    EXPECT_STREQ(block.sourcePath, "C:\\Stra\xDF"
                                   "e.avi");
    // 270 UTF-8 bytes in the host's field become 135 code-page bytes, which fit.
    std::string umlauts;
    for (int i = 0; i < 135; ++i)
        umlauts += "\xC3\xBC";
    ASSERT_EQ(locateName(umlauts.c_str(), umlauts.size() + 1), 1);
    EXPECT_EQ(std::strlen(block.sourcePath), 135u);
    // Below version 8 the same bytes are taken as they are, and 270 bytes do not fit.
    hostVersion = 7;
    EXPECT_EQ(locateName(umlauts.c_str(), umlauts.size() + 1), 0);
}

// A host whose segments never move forward: the scan must end.
HostSegment stuckSegment{};
HostSegment* StuckGetSegment(int32_t, HostTimelineId, int32_t) {
    return &stuckSegment;
}
void StuckRelease(HostSegment*) {}

TEST_F(LocatorTest, ScanEndsWhenTheHostsSegmentsDoNotAdvance) {
    HostTimelineTable table = *host.record().suites->timeline;
    table.getSegment = StuckGetSegment;
    table.releaseSegment = StuckRelease;
    host.record().suites->timeline = &table;
    stuckSegment.endTicks = 0;
    stuckSegment.root = nullptr;
    EXPECT_EQ(Locate(), 0);
    stuckSegment.endTicks = -HostEmulator::TicksForRateCode(3) * 1000;
    EXPECT_EQ(Locate(), 0);
}

} // namespace
} // namespace camtag
