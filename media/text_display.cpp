#include "media/text_display.h"

#include <cstring>

#include "core/allocator.h"
#include "media/text_effect.h"

namespace {

// Truncates toward zero; values beyond the 32-bit range (or not a number) have no defined conversion.
std::int32_t truncated(double value) {
    if (!(value > -2147483649.0)) return value != value ? 0 : INT32_MIN;
    if (!(value < 2147483648.0)) return INT32_MAX;
    return static_cast<std::int32_t>(value);
}

}  // namespace

TextDisplay::TextDisplay(std::int32_t x, std::int32_t y, Font* font_, const char* text_) : font(font_) {
    position = Point(x, y);
    setText(text_);
}

TextDisplay::~TextDisplay() {
    freeBytes(text);
    text = nullptr;
    destroyTextEffect(effect);
    effect = nullptr;
}

void TextDisplay::setText(const char* newText) {
    // Copied before the old text is freed, so a display may be given its own text back.
    char* copy = newText ? copyString(newText) : nullptr;
    freeBytes(text);
    text = copy;
    if (!text) return;
    for (std::size_t length = std::strlen(text); length > 0 && text[length - 1] == '\n'; --length) text[length - 1] = '\0';
}

Rect* TextDisplay::bounds(Rect* result) {
    if (!font) {
        *result = Rect(position.x, position.y, 0, 0);
        return result;
    }
    const std::int32_t width = (text && font->renderer) ? font->renderer->textWidth(text) : 0;
    *result = Rect(position.x, position.y, width, font->glyphHeight);
    return result;
}

std::int32_t TextDisplay::attach(TextEffect* newEffect) {
    if (newEffect != effect) destroyTextEffect(effect);
    effect = newEffect;
    return 1;
}

void TextDisplay::drawLine(Canvas* canvas, std::int32_t x, std::int32_t y, const char* line) {
    if (effect && effect->code == kTextEffectCode && phase == 2) {
        // Outline pass in white, then the plain glyphs in black on top. Not restored per line: draw
        // puts the context and the font back once all lines are done.
        font->setPhase(1);
        canvas->setColour(Colour(255, 255, 255));
        canvas->drawText(x, y, line);
        canvas->setColour(Colour(0, 0, 0));
        font->setPhase(0);
        canvas->drawText(x, y, line);
        return;
    }
    canvas->drawText(x, y, line);
}

void TextDisplay::draw(Canvas* canvas) {
    // Without text (or a font to draw it with) there is nothing to show.
    if (!canvas || !font || !text) return;
    const Colour savedColour = canvas->setColour(colour);
    Font* savedFont = canvas->setFont(font);
    // The step uses the font's vertical scale from before this drawing.
    const std::int32_t lineStep = truncated(font->scaleY() * (font->glyphHeight - 8));

    const double savedScaleX = font->scaleX();
    font->setScaleX(scaleX);
    const double savedScaleY = font->scaleY();
    font->setScaleY(scaleY);
    const std::int32_t savedPhase = font->phase();
    font->setPhase(phase);

    const std::int32_t x = position.x;
    std::int32_t y = position.y;
    char* line = text;
    for (;;) {
        char* newline = std::strchr(line, '\n');
        if (newline) *newline = '\0';  // ends the line for the font; put back right after
        drawLine(canvas, x, y, line);
        if (!newline) break;
        *newline = '\n';
        line = newline + 1;
        y = truncated(font->linePermille * lineSpacing * lineStep * scaleY * 0.001 + y);
    }

    font->setScaleX(savedScaleX);
    font->setScaleY(savedScaleY);
    font->setPhase(savedPhase);
    canvas->setFont(savedFont);
    canvas->setColour(savedColour);
}
