// A video whose frames carry a 16-bit colour picture and an 8-bit alpha picture, drawn by blending
// the colour through the alpha into the drawing surface with per-pixel table look-ups.
#pragma once

#include <cstdint>

#include "core/abi.h"
#include "media/video.h"

class DualVideo : public Video, public IVisible {
public:
    static constexpr int kCoordEntries = 512;  // the widest and tallest picture the blended draw reaches

    explicit DualVideo(ResourceEntry* entry);  // opened with the "avifile" factory
    void* deletingDestructor(unsigned flags) override;

    void setAlphaScale(double scale);  // rebuilds the blend tables
    void setZoom(double newZoom);      // rebuilds the coordinate map

    IVisible* visible() { return this; }
    InterfaceTable* visibleHandle() { return &interfaces; }

    // IVisible
    void draw(Canvas* canvas) override;  // blended with an alpha picture, else an opaque copy
    Rect* bounds(Rect* result) override;  // at position, with the (unzoomed) frame size
    std::int32_t isHidden() override { return hidden; }
    void setPosition(std::int32_t x, std::int32_t y) override;

    InterfaceTable interfaces;  // "IVisible"
    Point position;
    std::int32_t hidden = 0;
    IBitmap* colour = nullptr;  // the 16-bit bitmap of the current frame
    IBitmap* alpha = nullptr;   // the 8-bit bitmap of the current frame
    std::uint16_t srcRed[BlendTables::kEntries];
    std::uint16_t srcGreen[BlendTables::kEntries];
    std::uint16_t srcBlue[BlendTables::kEntries];
    std::uint16_t dstRed[BlendTables::kEntries];
    std::uint16_t dstGreen[BlendTables::kEntries];
    std::uint16_t dstBlue[BlendTables::kEntries];
    std::int32_t coordMap[kCoordEntries];  // drawn pixel offset -> source pixel offset
    double zoom = 1.0;
    double alphaScale = 1.0;

protected:
    ~DualVideo();

private:
    void drawBlended(Canvas* canvas);
    void drawOpaque(Canvas* canvas);
};
