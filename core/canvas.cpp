#include "core/abi.h"

namespace {

// Bytes from the start of a row to the context's origin column; signed division truncates toward zero.
std::intptr_t originOffset(const Canvas& canvas, const PixelRows& rows) {
    return static_cast<std::intptr_t>(canvas.origin.x) * rows.bitsPerPixel / 8;
}

}  // namespace

PixelRows* Canvas::lockRows(std::int32_t firstRow, std::int32_t lastRow) {
    if (!surface) return nullptr;
    PixelRows* rows = surface->lockRows(firstRow + origin.y, lastRow + origin.y);
    if (rows) rows->pixels = static_cast<std::uint8_t*>(rows->pixels) + originOffset(*this, *rows);
    return rows;
}

void Canvas::unlockRows(PixelRows* rows) {
    if (!rows || !surface) return;
    rows->pixels = static_cast<std::uint8_t*>(rows->pixels) - originOffset(*this, *rows);
    surface->unlockRows(rows);
}

Colour Canvas::setColour(Colour newColour) {
    Colour previous = colour;
    colour = newColour;
    if (surface) surface->setColour(newColour);
    return previous;
}

Font* Canvas::setFont(Font* newFont) {
    Font* previous = font;
    font = newFont;
    return previous;
}

void Canvas::drawText(std::int32_t x, std::int32_t y, const char* text) {
    if (font && font->renderer) font->renderer->drawText(this, x, y, text);
}

std::int32_t Font::setPhase(std::int32_t phase) {
    currentPhase = phase;
    return phaseHandler ? phaseHandler->setPhase(phase) : 0;
}

double Font::scaleX() const { return horizontalScale ? horizontalScale->get() : 1.0; }

double Font::scaleY() const { return verticalScale ? verticalScale->get() : 1.0; }

void Font::setScaleX(double scale) {
    if (horizontalScale) horizontalScale->set(scale);
}

void Font::setScaleY(double scale) {
    if (verticalScale) verticalScale->set(scale);
}
