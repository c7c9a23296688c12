// The host media the stage gives the pawns: the "avifile" video factory and the score font.
#pragma once

#include <memory>

#include "host/core/host_engine.h"
#include "host/core/host_font.h"
#include "host/core/host_video.h"

namespace pawnstage {

// Registered under "avifile" for as long as it is kept.
std::unique_ptr<hostengine::HostVideoFactory> makeVideoFactory(hostengine::HostEngine& engine);

// A bold font whose glyphs fill the score row (about 40 pixels a line); the built-in pixel font when
// the system has no scalable one.
std::unique_ptr<hostengine::HostFont> makeScoreFont();

}  // namespace pawnstage
