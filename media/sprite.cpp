#include "media/sprite.h"

Sprite::Sprite() {
    interfaces.add("IVisible", entryValueOf<IVisible>(this));
    interfaces.add("ITouchable", entryValueOf<ITouchable>(this));
}

Sprite::~Sprite() { interfaces.teardown(); }

void Sprite::draw(Canvas*) {}

Rect* Sprite::bounds(Rect* result) {
    *result = Rect(position.x, position.y, area.width, area.height);
    return result;
}

std::int32_t Sprite::isHidden() { return hidden; }

void Sprite::setPosition(std::int32_t x, std::int32_t y) { position = Point(x, y); }

std::int32_t Sprite::hitTest(std::int32_t, std::int32_t) { return 1; }

Rect* Sprite::touchBounds(Rect* result) { return bounds(result); }

std::int32_t Sprite::attach(TextEffect*) { return 0; }
