#include "tools/samplegen/icons.h"

#include <cmath>
#include <string>
#include <vector>

namespace samplegen {

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr float kCentre = kIconSize / 2.0f;

// Stroked glyphs in a cell 6 units wide and 10 tall (y down): just the characters the badges use.
std::vector<std::vector<Vec2>> glyphStrokes(char c) {
    switch (c) {
    case 'x': return {{{0.5f, 3}, {5.5f, 10}}, {{5.5f, 3}, {0.5f, 10}}};
    case '+': return {{{0, 5}, {6, 5}}, {{3, 2}, {3, 8}}};
    case '0': return {{{3, 0}, {5.2f, 1.2f}, {6, 5}, {5.2f, 8.8f}, {3, 10}, {0.8f, 8.8f}, {0, 5}, {0.8f, 1.2f}, {3, 0}}};
    case '1': return {{{1, 2}, {3.5f, 0}, {3.5f, 10}}};
    case '2': return {{{0.3f, 2}, {2, 0.2f}, {4.5f, 0.3f}, {5.8f, 2.4f}, {5, 4.6f}, {0, 10}, {6, 10}}};
    case '3': return {{{0.3f, 1.2f}, {3, 0}, {5.6f, 1.4f}, {5.3f, 4}, {2.5f, 5}, {5.6f, 6.2f}, {5.8f, 8.6f}, {3, 10}, {0.2f, 8.8f}}};
    case '4': return {{{4.5f, 10}, {4.5f, 0}, {0, 7}, {6, 7}}};
    default: return {};
    }
}

// Draws `text` centred on the badge, `height` pixels tall, with a dark drop shadow for contrast.
void drawText(Image& image, const std::string& text, float height, Rgba colour) {
    float unit = height / 10.0f, advance = 7.5f * unit;
    float width = advance * (text.size() - 1) + 6 * unit;
    float left = kCentre - width / 2, top = kCentre - height / 2;
    for (int pass = 0; pass < 2; ++pass) {
        float offset = pass == 0 ? 1.2f : 0.0f;
        for (std::size_t i = 0; i < text.size(); ++i) {
            for (const auto& line : glyphStrokes(text[i])) {
                std::vector<Vec2> points;
                for (Vec2 p : line) points.push_back({left + i * advance + p.x * unit + offset, top + p.y * unit + offset});
                image.fill(stroke(points, 1.6f), pass == 0 ? rgb(0, 0, 0, 0.45f) : colour);
            }
        }
    }
}

Shape star(Vec2 centre, float outer, float inner, int points, float turn = 0) {
    std::vector<Vec2> corners;
    for (int i = 0; i < points * 2; ++i) {
        float angle = turn - kPi / 2 + i * kPi / points;
        float r = i % 2 ? inner : outer;
        corners.push_back({centre.x + r * std::cos(angle), centre.y + r * std::sin(angle)});
    }
    return polygon(corners);
}

void badge(Image& image, Rgba fill) {
    Rgba rim{fill.r * 0.55f, fill.g * 0.55f, fill.b * 0.55f, 1};
    image.fill(circle({kCentre, kCentre}, 22.5f), rim);
    image.fill(circle({kCentre, kCentre}, 20), fill);
    image.fill(ellipse({kCentre - 6, kCentre - 10}, 10, 5), rgb(255, 255, 255, 0.28f), {}, 2.0f);
}

void snowflake(Image& image, Vec2 c, float r, Rgba colour) {
    for (int i = 0; i < 6; ++i) {
        float a = i * kPi / 3;
        Vec2 dir{std::cos(a), std::sin(a)};
        Vec2 tip = c + dir * r;
        image.fill(capsule(c, tip, 1.3f), colour);
        // Two small branches on each arm.
        Vec2 joint = c + dir * (r * 0.6f);
        for (float side : {-1.0f, 1.0f}) {
            float b = a + side * kPi / 4;
            image.fill(capsule(joint, joint + Vec2{std::cos(b), std::sin(b)} * (r * 0.35f), 1.1f), colour);
        }
    }
}

}  // namespace

Image drawBonusIcon(int number) {
    Image image(kIconSize, kIconSize);
    const Rgba white = rgb(255, 255, 255), gold = rgb(255, 210, 40);
    const Vec2 c{kCentre, kCentre};
    switch (number) {
    case 1:
        badge(image, rgb(120, 60, 200));
        image.fill(star(c, 15, 6.5f, 5), rgb(150, 90, 10));
        image.fill(star(c, 13, 5.5f, 5), gold);
        break;
    case 2:
        badge(image, rgb(30, 150, 150));
        image.fill(roundedBox({kCentre, kCentre - 13}, 10, 2.2f, 1.5f), rgb(120, 70, 30));
        image.fill(roundedBox({kCentre, kCentre + 13}, 10, 2.2f, 1.5f), rgb(120, 70, 30));
        image.fill(polygon({{kCentre - 8, kCentre - 11}, {kCentre + 8, kCentre - 11}, {kCentre + 1.5f, kCentre}, {kCentre + 8, kCentre + 11},
                            {kCentre - 8, kCentre + 11}, {kCentre - 1.5f, kCentre}}),
                   rgb(225, 245, 250, 0.9f));
        image.fill(polygon({{kCentre - 4.5f, kCentre - 6}, {kCentre + 4.5f, kCentre - 6}, {kCentre, kCentre - 1}}), rgb(240, 190, 90));
        image.fill(polygon({{kCentre, kCentre + 4}, {kCentre + 7, kCentre + 10.5f}, {kCentre - 7, kCentre + 10.5f}}), rgb(240, 190, 90));
        break;
    case 3:
    case 4:
    case 5: {
        const Rgba colours[3] = {rgb(240, 130, 20), rgb(230, 60, 40), rgb(210, 30, 130)};
        badge(image, colours[number - 3]);
        drawText(image, std::string("x") + static_cast<char>('0' + number - 1), 17, white);
        break;
    }
    case 6:
        badge(image, rgb(110, 120, 135));
        image.fill(polygon({{kCentre, kCentre - 15}, {kCentre + 13, kCentre - 10}, {kCentre + 11, kCentre + 4}, {kCentre, kCentre + 16},
                            {kCentre - 11, kCentre + 4}, {kCentre - 13, kCentre - 10}}),
                   white);
        image.fill(polygon({{kCentre, kCentre - 12}, {kCentre + 10, kCentre - 8}, {kCentre + 8.5f, kCentre + 3}, {kCentre, kCentre + 12.5f},
                            {kCentre - 8.5f, kCentre + 3}, {kCentre - 10, kCentre - 8}}),
                   rgb(40, 100, 220));
        image.fill(capsule({kCentre, kCentre - 8}, {kCentre, kCentre + 8}, 1.5f), rgb(255, 255, 255, 0.8f));
        break;
    case 7:
        badge(image, rgb(60, 140, 230));
        snowflake(image, c, 13, white);
        image.fill(subtract(circle(c, 17), circle(c, 13.5f)), rgb(230, 30, 40));
        image.fill(intersect(capsule({kCentre - 11, kCentre - 11}, {kCentre + 11, kCentre + 11}, 2.2f), circle(c, 14)), rgb(230, 30, 40));
        break;
    case 8:
        badge(image, rgb(40, 160, 70));
        drawText(image, "+100", 12, white);
        break;
    case 9:
        badge(image, rgb(20, 110, 60));
        drawText(image, "+200", 12, gold);
        break;
    default:
        badge(image, rgb(30, 40, 110));
        image.fill(polygon({{kCentre + 4, kCentre - 17}, {kCentre - 9, kCentre + 2}, {kCentre - 1, kCentre + 2}, {kCentre - 5, kCentre + 17},
                            {kCentre + 9, kCentre - 3}, {kCentre + 1, kCentre - 3}}),
                   gold);
        break;
    }
    return image;
}

}  // namespace samplegen
