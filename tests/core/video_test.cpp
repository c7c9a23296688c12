#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/allocator.h"
#include "tests/support/host_doubles.h"
#include "host/core/host_engine.h"
#include "media/dual_video.h"
#include "media/video.h"

using doubles::FakeVideo;
using doubles::FakeVideoFactory;
using doubles::MemoryBitmap;
using doubles::MemorySurface;
using hostengine::HostEngine;

namespace {

// Video's destructor belongs to its deleting destructor; tests hold it through this.
struct VideoDeleter {
    void operator()(Video* video) const { video->deletingDestructor(1); }
};
using VideoPtr = std::unique_ptr<Video, VideoDeleter>;

ResourceEntry entryAt(const char* locator) {
    ResourceEntry entry{};
    entry.locator = locator;
    entry.name = "dual.avi";
    return entry;
}

}  // namespace

TEST(Video, StepsToTheNextFrameAndSeeksOtherwise) {
    HostEngine host;
    FakeVideo hostVideo(10, Point(4, 3));
    MemoryBitmap colour(4, 3, 16);
    hostVideo.bitmaps = {&colour.table};
    FakeVideoFactory factory;
    factory.video = &hostVideo;
    ResourceEntry entry = entryAt("file://a/b://c.avi");
    VideoPtr video(create<Video>(&entry, "avifile"));
    // Only the first scheme mark separates the scheme.
    EXPECT_EQ(factory.opened, (std::vector<std::string>{"a/b://c.avi"}));
    EXPECT_EQ(video->frameCount, 10);

    struct Step {
        std::int32_t target;
        std::int32_t result;
        std::int32_t frameAfter;
        std::vector<std::string> calls;
    };
    const Step steps[] = {
        {0, 1, 0, {}},              // already there: nothing asked of the host
        {4, 1, 4, {"seek 4"}},
        {5, 7, 5, {"next"}},        // the following frame: the host's own step, and its result
        {10, 0, 5, {}},             // past the last frame
        {-1, 0, 5, {}},             // before the first
        {INT32_MIN, 0, 5, {}},
        {2, 1, 2, {"seek 2"}},
    };
    for (const Step& step : steps) {
        hostVideo.calls.clear();
        EXPECT_EQ(video->seekFrame(step.target), step.result) << step.target;
        EXPECT_EQ(video->frame, step.frameAfter) << step.target;
        EXPECT_EQ(hostVideo.calls, step.calls) << step.target;
    }
    // Bitmaps outside the count are not asked for.
    hostVideo.calls.clear();
    EXPECT_EQ(video->bitmap(1), nullptr);
    EXPECT_EQ(video->bitmap(-1), nullptr);
    EXPECT_TRUE(hostVideo.calls.empty());
    EXPECT_EQ(video->bitmap(0), &colour.table);
    video.reset();
    EXPECT_EQ(factory.closed, (std::vector<InterfaceTable*>{&hostVideo.table}));
}

TEST(Video, AVideoThatCannotBeOpenedIsInertAndSaysWhy) {
    struct Case {
        const char* what;
        const char* factoryName;  // registered under this name; null: no factory at all
        const char* locator;
        bool opens;
        bool hasVideo;
        const char* line;
    };
    const Case cases[] = {
        {"no factory", nullptr, "file://dual.avi", true, true, "Video: No VideoFactory avifile found.\n"},
        {"factory of another name", "mpegfile", "file://dual.avi", true, true, "Video: No VideoFactory avifile found.\n"},
        {"no scheme mark", "avifile", "dual.avi", true, true, "Video: Locator 'dual.avi' names no file.\n"},
        {"no locator", "avifile", nullptr, true, true, "Video: Locator '' names no file.\n"},
        {"open fails", "avifile", "file://dual.avi", false, true, "Video: VideoFactory avifile is unable to open 'dual.avi'.\n"},
        {"handle without IVideo", "avifile", "file://dual.avi", true, false, "Video: Video 'dual.avi' has no IVideo.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HostEngine host;
        FakeVideo hostVideo(10, Point(4, 4));
        InterfaceTable bare;
        std::unique_ptr<FakeVideoFactory> factory;
        if (c.factoryName) {
            factory = std::make_unique<FakeVideoFactory>(c.factoryName);
            if (c.opens && c.hasVideo) factory->video = &hostVideo;
            if (c.opens && !c.hasVideo) factory->handle = &bare;
        }
        ResourceEntry entry = entryAt(c.locator);
        VideoPtr video(create<Video>(&entry, "avifile"));
        EXPECT_EQ(host.countLog(c.line), 1);
        EXPECT_EQ(host.logLines().size(), 1u);
        EXPECT_EQ(host.logLines().front().level, 3);
        EXPECT_EQ(video->frameCount, 0);
        EXPECT_EQ(video->seekFrame(0), 1);
        EXPECT_EQ(video->seekFrame(1), 0);
        EXPECT_EQ(video->bitmap(0), nullptr);
        EXPECT_TRUE(hostVideo.calls.empty());
        video.reset();
        // What was opened is closed again; nothing else is.
        if (factory) {
            EXPECT_EQ(factory->closed.size(), (c.opens && !c.hasVideo) ? 1u : 0u);
        }
    }
}

TEST(DualVideo, FrameSizeIsTheSmallestOfTheVideoAndItsBitmaps) {
    HostEngine host;
    FakeVideo hostVideo(3, Point(10, 8));
    MemoryBitmap colourA(12, 8, 16), colourB(9, 9, 16), alpha(10, 6, 8), other(11, 5, 24);
    InterfaceTable notABitmap;
    hostVideo.bitmaps = {&colourA.table, &notABitmap, &alpha.table, &colourB.table, &other.table};
    FakeVideoFactory factory;
    factory.video = &hostVideo;
    ResourceEntry entry = entryAt("file://dual.avi");
    DualVideo* dual = create<DualVideo>(&entry);
    dual->setPosition(7, -2);
    const Rect bounds = boundsOf(dual);
    EXPECT_EQ(bounds.x, 7);
    EXPECT_EQ(bounds.y, -2);
    EXPECT_EQ(bounds.width, 9);   // colourB
    EXPECT_EQ(bounds.height, 5);  // the 24-bit bitmap narrows too, though it is not kept
    EXPECT_EQ(dual->colour, static_cast<IBitmap*>(&colourB));  // the last 16-bit bitmap wins
    EXPECT_EQ(dual->alpha, static_cast<IBitmap*>(&alpha));
    dual->deletingDestructor(1);
}

TEST(DualVideo, WithoutAColourPictureNothingIsDrawn) {
    HostEngine host;
    FakeVideo hostVideo(1, Point(4, 4));
    MemoryBitmap alpha(4, 4, 8);
    hostVideo.bitmaps = {&alpha.table};
    FakeVideoFactory factory;
    factory.video = &hostVideo;
    ResourceEntry entry = entryAt("file://dual.avi");
    DualVideo* dual = create<DualVideo>(&entry);
    MemorySurface surface(8, 8);
    Canvas canvas = doubles::canvasOver(surface);
    dual->draw(&canvas);
    EXPECT_TRUE(surface.lockCalls.empty());
    EXPECT_TRUE(alpha.lockCalls.empty());
    dual->deletingDestructor(1);
}
