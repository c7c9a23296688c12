// The reference host's frame cache must change how fast a show runs, never what it shows: the
// bundled demo rendered with frames kept (and decoded ahead) and with every move decoded afresh.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tools/pawnstage/options.h"
#include "tools/pawnstage/stage.h"

namespace {

// A digest of every frame of the demo and what the stage's frame cache held at the end. Each run has
// the process to itself: the pawns draw from the C library's one generator.
struct DemoRun {
    std::vector<std::uint64_t> frames;
    std::size_t framesHeld = 0;
    std::size_t bytesHeld = 0;
};

DemoRun renderDemo(std::size_t cacheBytes) {
    const pawnstage::ScriptSource demo = pawnstage::readScript("");
    pawnstage::Stage stage(pawnstage::parseShowScript(demo.text, demo.name),
                           pawnstage::StageSetup{PAWN_SAMPLES_DIR, PAWN_PLUGIN_PATH, false, 1, cacheBytes});
    const std::size_t bytes = static_cast<std::size_t>(stage.surface().pitch()) * pawnstage::kStageHeight;
    DemoRun run;
    for (std::uint32_t ms = 0; ms <= stage.lengthMs(); ms += 33) {
        stage.runFrame(ms);
        stage.drawFrame();
        const auto* pixels = reinterpret_cast<const std::uint8_t*>(stage.surface().row(0));
        std::uint64_t digest = 1469598103934665603ull;  // FNV-1a
        for (std::size_t i = 0; i < bytes; ++i) digest = (digest ^ pixels[i]) * 1099511628211ull;
        run.frames.push_back(digest);
    }
    run.framesHeld = stage.videos().cache().framesHeld();
    run.bytesHeld = stage.videos().cache().bytesHeld();
    return run;
}

}  // namespace

TEST(VideoCache, TheDemoRendersByteForByteTheSameWithTheCacheOnAndOff) {
    const DemoRun cached = renderDemo(hostengine::kDefaultVideoCacheBytes), decoded = renderDemo(0);
    ASSERT_EQ(cached.frames.size(), decoded.frames.size());
    for (std::size_t i = 0; i < cached.frames.size(); ++i)
        ASSERT_EQ(cached.frames[i], decoded.frames[i]) << "frame " << i << " differs";
    // The demo's pawns and penguin stay within the default limit; nothing is kept with it off.
    EXPECT_GT(cached.framesHeld, 100u);
    EXPECT_LT(cached.bytesHeld, hostengine::kDefaultVideoCacheBytes);
    EXPECT_EQ(decoded.bytesHeld, 0u);
}
