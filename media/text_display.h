// Text drawn line by line with a host font: the score under each pawn. The producer's "allalpha" is
// read as a TextDisplay too, for the Font it carries first among its own fields.
#pragma once

#include <cstdint>

#include "core/abi.h"
#include "media/sprite.h"

class TextDisplay : public Sprite {
public:
    TextDisplay(std::int32_t x, std::int32_t y, Font* font, const char* text);
    ~TextDisplay();  // frees the text, destroys the effect; destroy with destroy<TextDisplay>

    void setText(const char* newText);  // keeps a copy without trailing newlines; null clears the text
    void setPhase(std::int32_t newPhase) { phase = newPhase; }

    // IVisible (setPosition is the Sprite's)
    void draw(Canvas* canvas) override;  // leaves the context and the font as it found them
    Rect* bounds(Rect* result) override;  // at position: the width of the whole text, one line high
    std::int32_t isHidden() override { return 0; }
    // ITouchable (hitTest is the Sprite's)
    Rect* touchBounds(Rect* result) override { return bounds(result); }
    std::int32_t attach(TextEffect* newEffect) override;  // takes it over, destroying the one held; 1

    Font* font = nullptr;  // not owned
    char* text = nullptr;  // owned heap copy; never ends with a newline
    double scaleX = 1.0;
    double scaleY = 1.0;
    std::int32_t phase = 0;  // 2 with the effect attached: each line twice, white then black
    double lineSpacing = 1.0;
    Colour colour{255, 255, 255};
    TextEffect* effect = nullptr;  // owned

private:
    void drawLine(Canvas* canvas, std::int32_t x, std::int32_t y, const char* line);
};
