#include "core/abi.h"
#include "media/blend.h"
#include "media/blend_fast.h"

void BlendTables::setOpacity(double newOpacity) {
    opacity = newOpacity;
    // A blinking picture is rebuilt twice a frame: the vector build makes that a few microseconds.
    buildBlendTablesFast(BlendTableSet{srcRed, srcGreen, srcBlue, dstRed, dstGreen, dstBlue}, opacity);
}
