#include "core/abi.h"
#include "media/blend.h"

void BlendTables::setOpacity(double newOpacity) {
    opacity = newOpacity;
    buildBlendTables(BlendTableSet{srcRed, srcGreen, srcBlue, dstRed, dstGreen, dstBlue}, opacity);
}
