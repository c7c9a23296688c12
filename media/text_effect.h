// The effect record a pawn attaches to its score text ("TextShapeFX::zandrel", code 0x00120001).
#pragma once

#include <cstdint>

#include "core/abi.h"

// A new record with `code` and `name` (borrowed: pass a literal), or null without memory. Whoever
// holds it destroys it through its deletingDestructor slot (destroyTextEffect).
TextEffect* makeTextEffect(std::uint32_t code, const char* name);

inline void destroyTextEffect(TextEffect* effect) {
    if (effect) effect->deletingDestructor(1);
}
