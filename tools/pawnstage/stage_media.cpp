#include "tools/pawnstage/stage_media.h"

#include <cstdio>

#include "host/core/bitmap_font.h"
#include "host/media/ffmpeg_video.h"
#include "host/media/freetype_font.h"

namespace pawnstage {

namespace {

// The score row holds a 40-pixel line: the text sits at row 430 and the picture's bottom is 480.
constexpr std::int32_t kScoreGlyphHeight = 40;

}  // namespace

std::unique_ptr<hostengine::HostVideoFactory> makeVideoFactory(hostengine::HostEngine& engine) {
    return hostengine::registerFfmpegVideoFactory(engine);
}

std::unique_ptr<hostengine::HostFont> makeScoreFont() {
    std::string error;
    if (auto font = hostengine::FreeTypeFont::open(hostengine::FreeTypeFont::kDefaultFace, kScoreGlyphHeight, 2, &error)) return font;
    std::fprintf(stderr, "pawnstage: %s; the scores use the built-in pixel font\n", error.c_str());
    // 8 rows of 4-pixel blocks and the outline margins: the same 40 pixels.
    return std::make_unique<hostengine::BitmapFont>(4, 4);
}

}  // namespace pawnstage
