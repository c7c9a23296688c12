#include "tools/samplegen/figures.h"

#include <algorithm>
#include <cmath>

namespace samplegen {

namespace {

constexpr float kPi = 3.14159265358979f;

// Where an arm of the given length ends: 0 hangs straight down, 0.5 points sideways, 1 straight up.
Vec2 armEnd(Vec2 shoulder, float raise, float length, float side) {
    float angle = raise * kPi;
    return {shoulder.x + side * std::sin(angle) * length, shoulder.y + std::cos(angle) * length};
}

// A smile curve across [-halfWidth, halfWidth] at row y: the middle sinks for a grin, rises for a frown.
Shape mouthCurve(float y, float halfWidth, float depth, float smile, float thickness) {
    std::vector<Vec2> points;
    for (int i = 0; i <= 8; ++i) {
        float x = -halfWidth + 2 * halfWidth * i / 8.0f;
        float u = x / halfWidth;
        points.push_back({x, y + depth * smile * (1 - u * u)});
    }
    return stroke(points, thickness);
}

// The upper part of an eye (above a line through (cx, y)), tilted down at the outer side when sad.
Shape lidOver(Shape eye, float cx, float y, float sadness, float outer) {
    Box box = eye.box;
    return intersect(std::move(eye), halfPlane({cx, y}, {-0.5f * sadness * outer, 1.0f}, box));
}

Shape fourPointStar(Vec2 centre, float size) {
    float s = size, k = size * 0.22f;
    return polygon({{centre.x, centre.y - s}, {centre.x + k, centre.y - k}, {centre.x + s, centre.y}, {centre.x + k, centre.y + k},
                    {centre.x, centre.y + s}, {centre.x - k, centre.y + k}, {centre.x - s, centre.y}, {centre.x - k, centre.y - k}});
}

Shape teardrop(Vec2 centre, float radius) {
    return unite(circle(centre, radius), polygon({{centre.x - radius * 0.9f, centre.y - radius * 0.4f},
                                                  {centre.x + radius * 0.9f, centre.y - radius * 0.4f},
                                                  {centre.x, centre.y - radius * 2.6f}}));
}

// What every figure has around it: the ground shadow, ice and tears, at character-specific spots.
struct Extras {
    std::vector<Vec2> icicles;     // top of each icicle
    std::vector<Vec2> frostSpots;  // pale patches on the body
    std::vector<Vec2> glints;      // where frost sparkles may shine
    Vec2 tearFrom;                 // the outer corner of an eye
};

void drawShadow(Image& image, const Pose& pose) {
    float shrink = std::clamp(1.0f - pose.lift / 50.0f, 0.4f, 1.0f);
    Transform at = Transform::translation(kFrameWidth / 2.0f + pose.shiftX, kGroundRow + 1.5f);
    image.fill(ellipse({0, 0}, 30 * shrink * pose.squashX, 4.5f * shrink), rgb(0, 0, 0, 0.28f * shrink), at, 5.0f);
}

void drawFrost(Image& image, const Pose& pose, const Transform& body, const Extras& extras) {
    if (pose.frost <= 0) return;
    const Rgba ice = rgb(190, 228, 255);
    float amount = pose.frost;
    image.recolour([&](Rgba c, int, int) {
        Rgba tinted = mix(c, ice, 0.5f * amount);
        float lift = 0.1f * amount;
        return Rgba{tinted.r + lift, tinted.g + lift, tinted.b + lift, c.a};
    });
    for (Vec2 spot : extras.frostSpots) image.fill(ellipse(spot, 7, 4), rgb(240, 250, 255, 0.55f * amount), body, 3.0f);
    for (Vec2 top : extras.icicles) {
        image.fill(polygon({{top.x - 3.2f, top.y - 1}, {top.x + 3.2f, top.y - 1}, {top.x, top.y + 9}}), rgb(215, 240, 255, 0.85f * amount), body);
    }
    // Two of the glints shine in each frame, so frames of the frozen pose twinkle.
    for (std::size_t i = 0; i < extras.glints.size(); ++i) {
        int phase = (pose.sparkle + static_cast<int>(i) * 3) % 5;
        if (phase > 1) continue;
        float size = phase == 0 ? 6.0f : 4.0f;
        image.fill(fourPointStar(extras.glints[i], size), rgb(255, 255, 255, 0.95f * amount), body);
    }
}

void drawTear(Image& image, const Pose& pose, const Transform& body, const Extras& extras) {
    if (pose.tear < 0) return;
    Vec2 at{extras.tearFrom.x, extras.tearFrom.y + pose.tear * 34};
    image.fill(teardrop(at, 2.6f), rgb(120, 190, 255, 0.9f * (1.0f - 0.6f * pose.tear)), body);
}

Transform bodyTransform(const Pose& pose) {
    return Transform::scaling(pose.squashX, pose.squashY)
        .then(Transform::rotation(pose.lean))
        .then(Transform::translation(kFrameWidth / 2.0f + pose.shiftX, kGroundRow - pose.lift));
}

// ---------------------------------------------------------------------------------------------------
// The round robot: a teal ball on short legs with a dark visor, glowing eyes and an antenna.

void drawRobot(Image& image, const Pose& pose) {
    const Transform body = bodyTransform(pose);
    const Rgba metal = rgb(140, 148, 160), darkMetal = rgb(78, 84, 96), rim = rgb(30, 92, 108), shell = rgb(72, 180, 196);
    const Rgba visor = rgb(20, 26, 46), glow = rgb(90, 240, 255), orange = rgb(255, 140, 30);
    const Face& face = pose.face;

    // Legs and feet, then the arms behind the shell.
    for (float side : {-1.0f, 1.0f}) {
        image.fill(capsule({side * 13, -22}, {side * 14, -7}, 5.5f), metal, body);
        image.fill(roundedBox({side * 15, -4}, 10, 4.5f, 4), darkMetal, body);
    }
    for (float side : {-1.0f, 1.0f}) {
        Vec2 shoulder{side * 34, -60};
        Vec2 hand = armEnd(shoulder, side < 0 ? pose.armLeft : pose.armRight, 24, side);
        image.fill(capsule(shoulder, hand, 4.5f), metal, body);
        image.fill(circle(hand, 6.5f), darkMetal, body);
    }

    // Antenna: its tip lags behind the lean.
    Vec2 tip{-pose.lean * 30, -113};
    image.fill(capsule({0, -96}, tip, 2.0f), metal, body);
    image.fill(circle(tip, 9), rgb(255, 160, 60, 0.35f), body, 4.0f);
    image.fill(circle(tip, 5), orange, body);

    // The shell with its rim, shading and highlight.
    image.fill(circle({0, -58}, 40), rim, body);
    image.fill(circle({0, -58}, 37.5f), shell, body);
    image.fill(intersect(circle({0, -58}, 37.5f), halfPlane({0, -40}, {0, -1}, Box{-40, -40, 40, -18})), rgb(40, 140, 160, 0.5f), body, 6.0f);
    image.fill(ellipse({-15, -82}, 11, 7), rgb(255, 255, 255, 0.35f), body, 2.0f);
    image.fill(circle({-24, -73}, 3), rgb(255, 255, 255, 0.5f), body);

    // Visor and eyes.
    image.fill(roundedBox({0, -66}, 27, 13, 11), visor, body);
    for (float side : {-1.0f, 1.0f}) {
        float cx = side * 11 + face.lookX * 5, cy = -66 + face.lookY * 2;
        if (face.happyEyes) {
            image.fill(stroke({{cx - 5, cy + 2}, {cx, cy - 3}, {cx + 5, cy + 2}}, 2.0f), glow, body);
        } else if (face.eyeOpen < 0.2f) {
            image.fill(capsule({cx - 5, cy}, {cx + 5, cy}, 1.6f), glow, body);
        } else {
            Shape eye = ellipse({cx, cy}, 5, 6.5f * face.eyeOpen);
            if (face.sadness > 0) eye = subtract(std::move(eye), lidOver(ellipse({cx, cy}, 7, 9), cx, cy - 6.5f + 5.5f * face.sadness, face.sadness, side));
            image.fill(circle({cx, cy}, 8), rgb(90, 240, 255, 0.25f), body, 4.0f);
            image.fill(eye, glow, body);
        }
    }

    // Mouth: a glowing line, or an open grille.
    if (face.mouthOpen > 0.05f) {
        image.fill(ellipse({0, -45}, 7 + 2 * face.mouthOpen, 2 + 5 * face.mouthOpen), visor, body);
        image.fill(capsule({-4, -45}, {4, -45}, 0.8f), glow, body);
    } else {
        image.fill(mouthCurve(-46, 9, 4, face.smile, 1.6f), visor, body);
    }

    // Chest panel and its three lights.
    image.fill(roundedBox({0, -31}, 15, 6, 3), visor, body);
    const Rgba lit[3] = {rgb(255, 70, 70), rgb(255, 220, 60), rgb(90, 255, 120)};
    for (int i = 0; i < 3; ++i) {
        Vec2 at{-9.0f + 9.0f * i, -31};
        bool on = (pose.lights >> i) & 1;
        if (on) image.fill(circle(at, 5), Rgba{lit[i].r, lit[i].g, lit[i].b, 0.4f}, body, 3.0f);
        image.fill(circle(at, 2.8f), on ? lit[i] : mix(lit[i], visor, 0.65f), body);
    }

    Extras extras;
    extras.icicles = {{-30, -30}, {-20, -21}, {-8, -19}, {6, -19}, {19, -21}, {29, -29}};
    extras.frostSpots = {{-20, -88}, {22, -80}, {-28, -46}};
    extras.glints = {{-22, -84}, {24, -90}, {30, -48}, {-33, -56}, {0, -113}, {12, -30}};
    extras.tearFrom = {-15, -62};
    drawTear(image, pose, body, extras);
    drawFrost(image, pose, body, extras);
}

// ---------------------------------------------------------------------------------------------------
// The tall blob: a purple gumdrop with a pale belly, big eyes and two bobbly feelers.

void drawBlob(Image& image, const Pose& pose) {
    const Transform body = bodyTransform(pose);
    const Rgba rim = rgb(92, 36, 128), skin = rgb(160, 86, 210), belly = rgb(220, 184, 245), spot = rgb(132, 66, 180);
    const Rgba ink = rgb(50, 12, 60), pink = rgb(255, 120, 180);
    const Face& face = pose.face;

    // A tall ellipse with its foot cut flat where it meets the ground.
    auto gumdrop = [] { return intersect(ellipse({0, -50}, 38, 56), halfPlane({0, 0}, {0, 1}, Box{-40, -108, 40, 0})); };

    // Feelers and arms go behind the body.
    for (float side : {-1.0f, 1.0f}) {
        Vec2 root{side * 7, -100}, end{side * 13 - pose.lean * 25, -116};
        image.fill(capsule(root, end, 2.5f), rim, body);
        image.fill(circle(end, 4.2f), pink, body);
        image.fill(circle({end.x - 1.2f, end.y - 1.2f}, 1.3f), rgb(255, 230, 240), body);
    }
    for (float side : {-1.0f, 1.0f}) {
        Vec2 shoulder{side * 31, -46};
        Vec2 hand = armEnd(shoulder, side < 0 ? pose.armLeft : pose.armRight, 21, side);
        image.fill(capsule(shoulder, hand, 7), rim, body);
        image.fill(capsule(shoulder, hand, 4.6f), skin, body);
        image.fill(circle(hand, 6.5f), rim, body);
        image.fill(circle(hand, 4.5f), skin, body);
    }

    image.fill(gumdrop(), rim, body);
    image.fill(grow(gumdrop(), -2.5f), skin, body);
    image.fill(intersect(ellipse({0, -32}, 24, 28), grow(gumdrop(), -2.5f)), belly, body);
    for (Vec2 at : {Vec2{-27, -72}, Vec2{-31, -52}, Vec2{26, -88}, Vec2{31, -64}, Vec2{-17, -96}}) image.fill(circle(at, 3.2f), spot, body);
    image.fill(ellipse({-15, -93}, 8, 5), rgb(255, 255, 255, 0.3f), body, 2.0f);

    // Eyes.
    for (float side : {-1.0f, 1.0f}) {
        float cx = side * 13, cy = -80;
        if (face.happyEyes) {
            image.fill(stroke({{cx - 7, cy + 3}, {cx, cy - 4}, {cx + 7, cy + 3}}, 2.4f), ink, body);
            continue;
        }
        if (face.eyeOpen < 0.15f) {
            image.fill(stroke({{cx - 8, cy}, {cx, cy + 3}, {cx + 8, cy}}, 1.8f), ink, body);
            continue;
        }
        image.fill(ellipse({cx, cy}, 11, 13), rim, body);
        image.fill(ellipse({cx, cy}, 9.5f, 11.5f), rgb(255, 255, 255), body);
        Vec2 pupil{cx + face.lookX * 4, cy + 2 + face.lookY * 3};
        image.fill(intersect(circle(pupil, 5.2f), ellipse({cx, cy}, 9.5f, 11.5f)), rgb(20, 10, 30), body);
        image.fill(circle({pupil.x - 1.8f, pupil.y - 2}, 1.7f), rgb(255, 255, 255), body);
        // The lid comes down from the top as the eye closes, tilted when sad.
        float lidY = cy - 12 + (1.0f - face.eyeOpen) * 24 + face.sadness * 8;
        if (face.eyeOpen < 0.99f || face.sadness > 0) {
            image.fill(lidOver(ellipse({cx, cy}, 11, 13), cx, lidY, face.sadness, side), skin, body);
            image.fill(intersect(capsule({cx - 11, lidY - face.sadness * 5.5f * side}, {cx + 11, lidY + face.sadness * 5.5f * side}, 1.3f),
                                 ellipse({cx, cy}, 11, 13)),
                       rim, body);
        }
    }

    // Mouth.
    if (face.mouthOpen > 0.05f) {
        Shape mouth = ellipse({0, -57}, 8 + 3 * face.mouthOpen, 2.5f + 8 * face.mouthOpen);
        image.fill(mouth, rgb(90, 14, 40), body);
        image.fill(intersect(ellipse({0, -57 + 6 * face.mouthOpen}, 6, 4), ellipse({0, -57}, 8 + 3 * face.mouthOpen, 2.5f + 8 * face.mouthOpen)),
                   pink, body);
    } else {
        image.fill(mouthCurve(-59, 12, 5, face.smile, 2.0f), ink, body);
    }

    Extras extras;
    extras.icicles = {{-32, -14}, {-22, -4}, {-10, -1}, {4, -1}, {16, -3}, {28, -11}};
    extras.frostSpots = {{-19, -98}, {23, -92}, {-30, -38}, {28, -30}};
    extras.glints = {{-23, -96}, {19, -100}, {33, -44}, {-34, -60}, {13, -117}, {0, -22}};
    extras.tearFrom = {-21, -74};
    drawTear(image, pose, body, extras);
    drawFrost(image, pose, body, extras);
}

// ---------------------------------------------------------------------------------------------------
// The penguin: black and white, with an orange beak and feet.

void drawPenguin(Image& image, const Pose& pose) {
    const Transform body = bodyTransform(pose);
    const Rgba black = rgb(26, 28, 38), white = rgb(248, 248, 244), orange = rgb(255, 150, 24), darkOrange = rgb(210, 100, 10);
    const Face& face = pose.face;

    for (float side : {-1.0f, 1.0f}) {
        Vec2 shoulder{side * 25, -58};
        Vec2 tip = armEnd(shoulder, side < 0 ? pose.armLeft : pose.armRight, 26, side);
        image.fill(stroke({shoulder, shoulder + (tip - shoulder) * 0.5f, tip}, 5.5f), black, body);
    }
    image.fill(ellipse({0, -50}, 32, 47), black, body);
    image.fill(ellipse({-12, -80}, 9, 6), rgb(120, 130, 170, 0.45f), body, 3.0f);
    Shape front = unite(ellipse({0, -36}, 22, 32), unite(circle({-9, -72}, 11), circle({9, -72}, 11)));
    image.fill(intersect(std::move(front), grow(ellipse({0, -50}, 32, 47), -3)), white, body);

    for (float side : {-1.0f, 1.0f}) {
        float cx = side * 9 + face.lookX * 2.5f, cy = -74;
        if (face.eyeOpen < 0.2f) {
            image.fill(stroke({{cx - 4, cy}, {cx, cy + 2}, {cx + 4, cy}}, 1.3f), black, body);
        } else {
            image.fill(ellipse({cx, cy}, 3.6f, 4.2f * face.eyeOpen), black, body);
            image.fill(circle({cx - 1.2f, cy - 1.5f}, 1.2f), white, body);
        }
    }

    float open = face.mouthOpen;
    image.fill(polygon({{-5.5f, -62 + 3 * open}, {5.5f, -62 + 3 * open}, {0, -55 + 5 * open}}), darkOrange, body);
    image.fill(polygon({{-8, -66}, {8, -66}, {0, -58 - 1.5f * open}}), orange, body);
    for (float side : {-1.0f, 1.0f}) image.fill(ellipse({side * 12, -3}, 10, 4.5f), orange, body);

    Extras extras;
    extras.icicles = {{-26, -20}, {-14, -8}, {14, -8}, {26, -20}};
    extras.frostSpots = {{-18, -84}, {18, -86}, {0, -24}};
    extras.glints = {{-20, -88}, {22, -80}, {-28, -40}, {27, -46}, {0, -98}, {6, -30}};
    extras.tearFrom = {-12, -72};
    drawTear(image, pose, body, extras);
    drawFrost(image, pose, body, extras);
}

}  // namespace

Image drawFigure(Character character, const Pose& pose) {
    Image image(kFrameWidth, kFrameHeight);
    drawShadow(image, pose);
    switch (character) {
    case Character::Robot: drawRobot(image, pose); break;
    case Character::Blob: drawBlob(image, pose); break;
    case Character::Penguin: drawPenguin(image, pose); break;
    }
    return image;
}

}  // namespace samplegen
