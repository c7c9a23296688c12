// The bundled characters, drawn from a pose: two pawns (a round robot and a tall blob creature) and
// the penguin that a bonus puts in a pawn's place.
#pragma once

#include <string>
#include <vector>

#include "tools/samplegen/raster.h"

namespace samplegen {

// Every figure is drawn into a frame of this size, standing on the ground row. A pawn's column is 150
// pixels wide and its score is drawn 150 rows below its top, so the figure stays above that row.
constexpr int kFrameWidth = 150;
constexpr int kFrameHeight = 200;
constexpr float kGroundRow = 148.0f;

struct Face {
    float smile = 0.3f;      // -1 a frown .. 1 a grin
    float mouthOpen = 0.0f;  // 0 closed .. 1 wide open
    float eyeOpen = 1.0f;    // 0 closed (a line) .. 1 open
    float lookX = 0.0f;      // pupils: -1 left .. 1 right
    float lookY = 0.0f;      // -1 up .. 1 down
    bool happyEyes = false;  // eyes squeezed into arcs
    float sadness = 0.0f;    // 0 .. 1: drooping lids and brows
};

struct Pose {
    float squashX = 1.0f;  // body scale about the feet
    float squashY = 1.0f;
    float lift = 0.0f;     // pixels above the ground
    float shiftX = 0.0f;   // pixels sideways
    float lean = 0.0f;     // radians about the feet; positive leans the top to the right
    float armLeft = 0.15f;   // 0 hanging down .. 1 straight up
    float armRight = 0.15f;
    float frost = 0.0f;    // 0 .. 1: icy tint, frost and icicles
    int sparkle = 0;       // which frost glints shine
    float tear = -1.0f;    // 0 .. 1 along a falling tear's path; negative: none
    int lights = 0;        // the robot's chest lights
    Face face;
};

enum class Character { Robot, Blob, Penguin };

// The figure in the given pose on a transparent frame of kFrameWidth x kFrameHeight.
Image drawFigure(Character character, const Pose& pose);

}  // namespace samplegen
