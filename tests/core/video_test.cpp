#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "media/dual_video.h"
#include "media/video.h"
#include "tests/support/host_doubles.h"

using namespace doubles;

namespace {

// Video's destructor belongs to its deleting destructor; tests hold it through this.
struct VideoDeleter {
    void operator()(Video* video) const { video->deletingDestructor(1); }
};
using VideoPtr = std::unique_ptr<Video, VideoDeleter>;

}  // namespace

TEST(Video, StepsToTheNextFrameAndSeeksOtherwise) {
    hostengine::HostEngine host;
    FakeVideo hostVideo(10, Point(4, 3));
    MemoryBitmap colour(4, 3, 16);
    hostVideo.bitmaps = {&colour.table};
    FakeVideoFactory factory;
    factory.video = &hostVideo;
    ResourceEntry entry{0, 0, "file://a/b://c.avi", 0, "dual.avi", nullptr};
    VideoPtr video(create<Video>(&entry, "avifile"));
    EXPECT_EQ(factory.opened, (std::vector<std::string>{"a/b://c.avi"}));  // only the first scheme mark separates the scheme
    EXPECT_EQ(video->frameCount, 10);
    struct Step {
        std::int32_t target;
        std::int32_t result;
        std::int32_t frameAfter;
        std::vector<std::string> calls;
    };
    const Step steps[] = {
        {0, 1, 0, {}},        // already there: nothing asked of the host
        {4, 1, 4, {"seek 4"}},
        {5, 7, 5, {"next"}},  // the following frame: the host's own step, and its result
        {10, 0, 5, {}},       // past the last frame
        {-1, 0, 5, {}},
        {INT32_MIN, 0, 5, {}},
        {2, 1, 2, {"seek 2"}},
    };
    for (const Step& step : steps) {
        hostVideo.calls.clear();
        EXPECT_EQ(video->seekFrame(step.target), step.result) << step.target;
        EXPECT_EQ(video->frame, step.frameAfter) << step.target;
        EXPECT_EQ(hostVideo.calls, step.calls) << step.target;
    }
    hostVideo.calls.clear();
    EXPECT_EQ(video->bitmap(1), nullptr);  // outside the count: not asked for
    EXPECT_EQ(video->bitmap(-1), nullptr);
    EXPECT_TRUE(hostVideo.calls.empty());
    EXPECT_EQ(video->bitmap(0), &colour.table);
}

TEST(Video, AVideoThatCannotBeOpenedIsInertAndSaysWhy) {
    struct Case {
        const char* factoryName;  // registered under this name; null: no factory at all
        const char* locator;
        bool opens;
        bool hasVideo;
        const char* line;
    };
    const Case cases[] = {
        {nullptr, "file://dual.avi", true, true, "Video: No VideoFactory avifile found.\n"},
        {"mpegfile", "file://dual.avi", true, true, "Video: No VideoFactory avifile found.\n"},
        {"avifile", "dual.avi", true, true, "Video: Locator 'dual.avi' names no file.\n"},
        {"avifile", nullptr, true, true, "Video: Locator '' names no file.\n"},
        {"avifile", "file://dual.avi", false, true, "Video: VideoFactory avifile is unable to open 'dual.avi'.\n"},
        {"avifile", "file://dual.avi", true, false, "Video: Video 'dual.avi' has no IVideo.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        hostengine::HostEngine host;
        FakeVideo hostVideo(10, Point(4, 4));
        InterfaceTable bare;
        std::unique_ptr<FakeVideoFactory> factory;
        if (c.factoryName) {
            factory = std::make_unique<FakeVideoFactory>(c.factoryName);
            if (c.opens) factory->video = c.hasVideo ? &hostVideo : nullptr;
            if (c.opens && !c.hasVideo) factory->handle = &bare;
        }
        ResourceEntry entry{0, 0, c.locator, 0, "dual.avi", nullptr};
        VideoPtr video(create<Video>(&entry, "avifile"));
        EXPECT_EQ(host.logLines().size(), 1u);
        EXPECT_EQ(host.countLog(c.line), 1);
        EXPECT_EQ(host.logLines().front().level, 3);
        EXPECT_EQ(video->frameCount, 0);
        EXPECT_EQ(video->seekFrame(0), 1);
        EXPECT_EQ(video->seekFrame(1), 0);
        EXPECT_EQ(video->bitmap(0), nullptr);
        EXPECT_TRUE(hostVideo.calls.empty());
        video.reset();
        // What was opened is closed again; nothing else is.
        if (factory) { EXPECT_EQ(factory->stillOpen(), 0u); }
    }
}

TEST(DualVideo, FrameSizeIsTheSmallestOfTheVideoAndItsBitmapsAndWithoutColourNothingIsDrawn) {
    hostengine::HostEngine host;
    FakeVideo hostVideo(3, Point(10, 8));
    MemoryBitmap colourA(12, 8, 16), colourB(9, 9, 16), alpha(10, 6, 8), other(11, 5, 24);
    InterfaceTable notABitmap;
    hostVideo.bitmaps = {&colourA.table, &notABitmap, &alpha.table, &colourB.table, &other.table};
    FakeVideoFactory factory;
    factory.video = &hostVideo;
    ResourceEntry entry{0, 0, "file://dual.avi", 0, "dual.avi", nullptr};
    DualVideo* dual = create<DualVideo>(&entry);
    dual->setPosition(7, -2);
    const Rect bounds = boundsOf(dual);
    // colourB is the narrowest; the 24-bit bitmap narrows too, though it is not kept.
    EXPECT_EQ((std::vector<std::int32_t>{bounds.x, bounds.y, bounds.width, bounds.height}), (std::vector<std::int32_t>{7, -2, 9, 5}));
    EXPECT_EQ(dual->colour, static_cast<IBitmap*>(&colourB));  // the last 16-bit bitmap wins
    EXPECT_EQ(dual->alpha, static_cast<IBitmap*>(&alpha));
    dual->deletingDestructor(1);

    hostVideo.bitmaps = {&alpha.table};
    dual = create<DualVideo>(&entry);
    MemorySurface surface(8, 8);
    Canvas canvas = canvasOver(surface);
    dual->draw(&canvas);
    EXPECT_TRUE(surface.lockCalls.empty());
    EXPECT_TRUE(alpha.lockCalls.empty());
    dual->deletingDestructor(1);
}
