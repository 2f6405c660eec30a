// The host emulator must answer the way the module expects a host to, or every module test
// built on it proves nothing.
#include "HostEmulator.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace camtag {
namespace {

TEST(HostEmulator, RecordAndTablesAreReachableThroughTheHandle) {
    HostEmulator host;
    HostRecordHandle handle = host.handle();
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(*handle, &host.record());
    HostSuites* suites = (*handle)->suites;
    ASSERT_NE(suites, nullptr);
    EXPECT_EQ(suites->interfaceVersion, 8);
    host.setInterfaceVersion(9);
    EXPECT_EQ(suites->interfaceVersion, 9);
    ASSERT_NE(suites->utility, nullptr);
    EXPECT_EQ(suites->utility->getSetting(kHostFrameWidth), 720);
    EXPECT_EQ(suites->utility->getSetting(kHostFrameHeight), 576);
    host.setSetting(kHostRateNumerator, 30000);
    host.setSetting(kHostRateDenominator, 1001);
    EXPECT_EQ(suites->utility->getSetting(kHostRateNumerator), 30000);
    EXPECT_EQ(suites->utility->getSetting(kHostRateDenominator), 1001);
    EXPECT_EQ(suites->utility->getSetting(99), 0);

    host.setTimebase(30000, 1001);
    EXPECT_EQ((*handle)->timeRecord->scale, 30000u);
    EXPECT_EQ((*handle)->timeRecord->sampleSize, 1001);
    uint32_t scale = 0;
    int32_t sampleSize = 0;
    ASSERT_EQ(suites->timeline->getTimebase((*handle)->timeline, &scale, &sampleSize), 0);
    EXPECT_EQ(scale, 30000u);
    EXPECT_EQ(sampleSize, 1001);

    HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));
    host.setMainWindow(window);
    EXPECT_EQ(suites->window->getMainWindow(), window);
}

TEST(HostEmulator, MemoryIsTrackedAndCanFail) {
    HostEmulator host;
    HostMemoryTable* memory = host.record().suites->memory;
    char* a = memory->newPtr(100);
    char* b = memory->newPtr(200);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(host.lastPointerRequest(), 200u);
    EXPECT_EQ(memory->getPtrSize(b), 200);
    EXPECT_EQ(host.outstandingPointers(), 2u);
    memory->disposePtr(a);
    EXPECT_EQ(host.outstandingPointers(), 1u);
    memory->disposePtr(a);
    EXPECT_EQ(host.badDisposals(), 1u);
    memory->disposePtr(b);
    EXPECT_EQ(host.outstandingPointers(), 0u);

    host.failAllocations(true);
    EXPECT_EQ(memory->newPtr(16), nullptr);
    EXPECT_EQ(memory->newHandle(506), nullptr);
    host.failAllocations(false);
    HostMemoryHandle handle = memory->newHandle(506);
    ASSERT_NE(handle, nullptr);
    ASSERT_NE(*handle, nullptr);
    EXPECT_EQ(host.handleCount(), 1u);

    EXPECT_EQ(host.settings(), nullptr);
    host.record().settings = handle;
    ASSERT_NE(host.settings(), nullptr);
    host.settings()->mode = 1;
    EXPECT_EQ(reinterpret_cast<FilterSettings*>(*handle)->mode, 1);
}

TEST(HostEmulator, FramesServeBoundsRowBytesAndPixels) {
    HostEmulator host;
    HostFrameTable* frames = host.record().suites->frame;
    HostFrameHandle frame = host.makeFrame(4, 3, 20);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ((*frame)->rowBytes, 20);
    EXPECT_EQ((*frame)->bitsPerPixel, 32);
    HostRect bounds{-1, -1, -1, -1};
    frames->getBounds(frame, &bounds);
    EXPECT_EQ(bounds.right - bounds.left, 4);
    EXPECT_EQ(bounds.bottom - bounds.top, 3);
    EXPECT_EQ(frames->getRowBytes(frame), 20);
    char* data = frames->getPixels(frame);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(host.pixelBytes(frame), 60u);

    host.fill(frame, 0x11223344);
    host.setPixel(frame, 1, 2, 0xAABBCCDD);
    uint32_t raw;
    std::memcpy(&raw, data + 2 * 20 + 4, 4);
    EXPECT_EQ(raw, 0xAABBCCDDu);
    EXPECT_EQ(host.pixel(frame, 0, 0), 0x11223344u);
    EXPECT_EQ(host.pixel(frame, 1, 2), 0xAABBCCDDu);
    EXPECT_EQ(host.pixel(frame, 5, 2), 0u); // outside the memory

    // A frame without usable geometry has no pixel memory.
    HostFrameHandle empty = host.makeFrame(0, 0, 0);
    EXPECT_EQ(frames->getPixels(empty), nullptr);

    // Frames the host makes on request, and their disposal.
    HostRect request{0, 0, 8, 2};
    HostFrameHandle made = frames->newFrame(&request);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(frames->getRowBytes(made), 32);
    EXPECT_EQ(host.outstandingHostFrames(), 1u);
    frames->disposeFrame(made);
    EXPECT_EQ(host.outstandingHostFrames(), 0u);
    EXPECT_EQ(frames->getPixels(made), nullptr);
}

TEST(HostEmulator, TimeSuiteKnowsThreeFrameRates) {
    HostEmulator host;
    HostBasicSuite* basic = host.record().suites->utility->getBasicSuite();
    ASSERT_NE(basic, nullptr);
    const void* suite = nullptr;
    EXPECT_NE(basic->acquireSuite("Premiere Time Suite", 2, &suite), 0);
    EXPECT_EQ(suite, nullptr);
    ASSERT_EQ(basic->acquireSuite("Premiere Time Suite", 1, &suite), 0);
    ASSERT_NE(suite, nullptr);
    EXPECT_EQ(host.outstandingSuites(), 1);
    auto time = static_cast<const HostTimeSuite*>(suite);
    int64_t ticks = -5;
    ASSERT_EQ(time->getTicksPerVideoFrame(3, &ticks), 0);
    EXPECT_EQ(ticks, 10160640000LL);
    ASSERT_EQ(time->getTicksPerVideoFrame(4, &ticks), 0);
    EXPECT_EQ(ticks, 8475667200LL);
    ASSERT_EQ(time->getTicksPerVideoFrame(5, &ticks), 0);
    EXPECT_EQ(ticks, 8467200000LL);
    ticks = -5;
    EXPECT_NE(time->getTicksPerVideoFrame(-1, &ticks), 0);
    EXPECT_EQ(ticks, -5);
    EXPECT_EQ(host.ticksQueries(), 4);
    EXPECT_EQ(basic->releaseSuite("Premiere Time Suite", 1), 0);
    EXPECT_EQ(host.outstandingSuites(), 0);

    host.setTimeSuiteAvailable(false);
    EXPECT_NE(basic->acquireSuite("Premiere Time Suite", 1, &suite), 0);
    host.setBasicSuiteAvailable(false);
    EXPECT_EQ(host.record().suites->utility->getBasicSuite(), nullptr);
}

TEST(HostEmulator, TimelineAnswersClipsGapsAndTheEnd) {
    HostEmulator host;
    host.setTimebase(50, 2); // 25 fps, two units per frame
    HostNode* clipA = host.addFilteredClip(10, 20, "C:\\a.avi", 100);
    HostNode* clipB = host.filterNode("PR.Other", 7, 0, nullptr);
    host.addClip(30, 40, clipB);
    HostTimelineTable* timeline = host.record().suites->timeline;
    HostTimelineId id = host.record().timeline;
    const int64_t tpf = HostEmulator::TicksForRateCode(3);

    HostSegment* gap = timeline->getSegment(2 * 5, id, 0);
    ASSERT_NE(gap, nullptr);
    EXPECT_EQ(gap->root, nullptr);
    EXPECT_EQ(gap->endTicks, 9 * tpf);

    HostSegment* a = timeline->getSegment(2 * 15, id, 0);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->root, clipA);
    EXPECT_EQ(a->endTicks, 19 * tpf);
    ASSERT_EQ(clipA->head.kind, kNodeFilter);
    EXPECT_STREQ(clipA->filter.matchName, "PR.Camtag");
    EXPECT_EQ(clipA->filter.instanceId, host.record().instanceId);
    EXPECT_EQ(clipA->filter.ticksStart, 10 * tpf);
    HostNode* media = clipA->filter.child;
    ASSERT_NE(media, nullptr);
    EXPECT_EQ(media->head.kind, kNodeMedia);
    EXPECT_STREQ(media->media.fileName, "C:\\a.avi");
    EXPECT_EQ((media->media.ticksIn - media->media.ticksStart) / tpf + 10, 100);

    HostSegment* b = timeline->getSegment(2 * 39, id, 0);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->root, clipB);
    EXPECT_EQ(timeline->getSegment(2 * 40, id, 0), nullptr);
    EXPECT_EQ(timeline->getSegment(-1, id, 0), nullptr);
    EXPECT_EQ(host.outstandingSegments(), 3u);
    EXPECT_EQ(host.segmentRequests().size(), 5u);
    EXPECT_EQ(host.segmentRequests()[0], 10);

    timeline->releaseSegment(gap);
    timeline->releaseSegment(a);
    timeline->releaseSegment(a);
    EXPECT_EQ(host.badReleases(), 1u);
    timeline->releaseSegment(b);
    EXPECT_EQ(host.outstandingSegments(), 0u);

    host.setTimelineLength(1000);
    HostSegment* tail = timeline->getSegment(2 * 40, id, 0);
    ASSERT_NE(tail, nullptr);
    EXPECT_EQ(tail->endTicks, 999 * tpf);
    timeline->releaseSegment(tail);
}

TEST(HostEmulator, NodeBuildersPlaceChildrenWhereTheHostDoes) {
    HostEmulator host;
    HostNode* m1 = host.mediaNode("one", 1, 2);
    HostNode* m2 = host.mediaNode("two", 3, 4);
    HostNode* pair = host.pairNode(m1, m2);
    HostNode* branch = host.branchNode(m2, m1);
    EXPECT_EQ(pair->head.kind, kNodePair);
    EXPECT_EQ(pair->pair.first, m1);
    EXPECT_EQ(pair->pair.second, m2);
    EXPECT_EQ(branch->head.kind, kNodeBranch);
    EXPECT_EQ(branch->branch.first, m2);
    EXPECT_EQ(branch->branch.second, m1);

    char longName[300];
    std::memset(longName, 'x', sizeof longName);
    HostNode* raw = host.rawMediaNode(longName, sizeof longName, 0, 0);
    EXPECT_EQ(raw->media.fileName[sizeof(raw->media.fileName) - 1], 'x');
}

TEST(HostEmulator, TablesFollowTheActiveEmulatorAndCanBeRemoved) {
    HostEmulator first;
    first.setSetting(kHostFrameWidth, 111);
    HostUtilityTable* firstUtility = first.record().suites->utility;
    {
        HostEmulator second;
        second.setSetting(kHostFrameWidth, 222);
        EXPECT_EQ(HostEmulator::active(), &second);
        EXPECT_EQ(firstUtility->getSetting(kHostFrameWidth), 222);
        first.activate();
        EXPECT_EQ(firstUtility->getSetting(kHostFrameWidth), 111);
        second.activate();
    }
    EXPECT_EQ(HostEmulator::active(), nullptr);
    first.activate();

    first.setSegmentLookupAvailable(false);
    EXPECT_EQ(first.record().suites->timeline->getSegment, nullptr);
    first.setTimebaseLookupAvailable(false);
    EXPECT_EQ(first.record().suites->timeline->getTimebase, nullptr);
    first.setTimelineAvailable(false);
    EXPECT_EQ(first.record().suites->timeline, nullptr);
}

TEST(HostEmulator, GuardsShowWritesOutsideTheBlocksItHandsOut) {
    struct Case {
        const char* what;
        void (*write)(HostEmulator&);
    };
    const Case cases[] = {
        {"past a pointer block",
         [](HostEmulator& h) { h.record().suites->memory->newPtr(10)[10] = 1; }},
        {"before a pointer block",
         [](HostEmulator& h) { h.record().suites->memory->newPtr(10)[-1] = 1; }},
        {"past a given-back block",
         [](HostEmulator& h) {
             char* p = h.record().suites->memory->newPtr(10);
             p[12] = 1;
             h.record().suites->memory->disposePtr(p);
         }},
        {"past a handle's block",
         [](HostEmulator& h) { (*h.record().suites->memory->newHandle(8))[8] = 1; }},
        {"past a frame", [](HostEmulator& h) { h.pixels(h.makeFrame(4, 2, 16))[32] = 1; }},
        {"before a frame", [](HostEmulator& h) { h.pixels(h.makeFrame(4, 2, 16))[-1] = 1; }},
    };
    for (const Case& c : cases) {
        HostEmulator host;
        HostFrameHandle frame = host.makeFrame(4, 2, 16);
        host.fill(frame, 0xFFFFFFFF);
        host.record().suites->memory->newPtr(10)[9] = 1;
        EXPECT_TRUE(host.guardsIntact()) << c.what;
        c.write(host);
        EXPECT_FALSE(host.guardsIntact()) << c.what;
    }
}

TEST(HostEmulator, HandlesTellTheirSizeUnlessTheHostCannot) {
    HostEmulator host;
    HostMemoryTable* memory = host.record().suites->memory;
    ASSERT_NE(memory->getHandleSize, nullptr);
    FilterSettings record{};
    record.color = 0x123456;
    host.installSettings(record, 300);
    EXPECT_EQ(memory->getHandleSize(host.record().settings), 300);
    EXPECT_EQ(reinterpret_cast<FilterSettings*>(*host.record().settings)->color, 0x123456u);
    HostMemoryHandle full = memory->newHandle(506);
    EXPECT_EQ(memory->getHandleSize(full), 506);
    char* stray = nullptr;
    EXPECT_EQ(memory->getHandleSize(&stray), 0);
    host.setHandleSizeAvailable(false);
    EXPECT_EQ(memory->getHandleSize(full), 0);
}

TEST(HostEmulator, SegmentHookChangesTheTimelineBeforeTheAnswer) {
    HostEmulator host;
    host.addClip(0, 10, host.nodeOfKind(kNodeMedia));
    std::vector<int32_t> seen;
    host.setSegmentHook([&](int32_t time) {
        seen.push_back(time);
        host.clearTimeline();
    });
    HostTimelineTable* timeline = host.record().suites->timeline;
    EXPECT_EQ(timeline->getSegment(5, host.record().timeline, 0), nullptr);
    EXPECT_EQ(seen, std::vector<int32_t>{5});
}

} // namespace
} // namespace camtag
