// The base of on-screen elements the host can draw and touch. Its operations are the defaults that a
// derived element overrides: it draws nothing, covers its area at its position, accepts every touch
// point and refuses effect records.
#pragma once

#include <cstdint>

#include "core/abi.h"

class Sprite : public IVisible, public ITouchable {
public:
    Sprite();   // registers "IVisible", then "ITouchable"
    // Not virtual (the interfaces have no destructor slot): destroy a derived element as its own type.
    ~Sprite();  // removes the registrations
    Sprite(const Sprite&) = delete;
    Sprite& operator=(const Sprite&) = delete;

    IVisible* visible() { return this; }
    ITouchable* touchable() { return this; }
    InterfaceTable* handle() { return &interfaces; }

    // IVisible
    void draw(Canvas* canvas) override;
    Rect* bounds(Rect* result) override;  // at position, with the size of area
    std::int32_t isHidden() override;
    void setPosition(std::int32_t x, std::int32_t y) override;
    // ITouchable
    std::int32_t hitTest(std::int32_t x, std::int32_t y) override;  // 1 everywhere
    Rect* touchBounds(Rect* result) override;                        // bounds()
    std::int32_t attach(TextEffect* effect) override;                // 0: the caller keeps it

    InterfaceTable interfaces;
    Rect area;  // only width and height are used: the size
    std::int32_t hidden = 0;
    Point position;
};
