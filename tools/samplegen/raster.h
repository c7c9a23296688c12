// Anti-aliased vector drawing for the sample pictures: shapes are signed distance functions (negative
// inside, in pixels), so every edge gets a one-pixel coverage ramp and the alpha picture soft edges.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace samplegen {

struct Vec2 {
    float x = 0;
    float y = 0;
};

inline Vec2 operator+(Vec2 a, Vec2 b) { return {a.x + b.x, a.y + b.y}; }
inline Vec2 operator-(Vec2 a, Vec2 b) { return {a.x - b.x, a.y - b.y}; }
inline Vec2 operator*(Vec2 a, float s) { return {a.x * s, a.y * s}; }

// Straight (not premultiplied) colour, components 0..1.
struct Rgba {
    float r = 0;
    float g = 0;
    float b = 0;
    float a = 1;
};

Rgba rgb(int red, int green, int blue, float alpha = 1.0f);
Rgba mix(Rgba a, Rgba b, float t);

struct Box {
    float left = 0;
    float top = 0;
    float right = 0;
    float bottom = 0;
};

// A region as a distance field over local coordinates, with a box that holds all of it.
struct Shape {
    std::function<float(Vec2)> distance;
    Box box;
};

Shape circle(Vec2 centre, float radius);
Shape ellipse(Vec2 centre, float rx, float ry);
Shape capsule(Vec2 a, Vec2 b, float radius);             // a thick segment with round ends
Shape stroke(std::vector<Vec2> points, float radius);    // a thick polyline
Shape roundedBox(Vec2 centre, float halfWidth, float halfHeight, float radius);
Shape polygon(std::vector<Vec2> points);                 // any simple polygon, either winding
Shape halfPlane(Vec2 point, Vec2 outward, Box box);      // inside is where (p - point) . outward < 0

Shape unite(Shape a, Shape b);
Shape intersect(Shape a, Shape b);
Shape subtract(Shape a, Shape b);
Shape grow(Shape a, float amount);  // a positive amount thickens, a negative one thins

// Local coordinates to pixels: x' = a x + b y + e, y' = c x + d y + f.
struct Transform {
    float a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;

    static Transform translation(float x, float y);
    static Transform rotation(float radians);
    static Transform scaling(float sx, float sy);
    Transform then(const Transform& outer) const;  // this first, then outer
    Vec2 apply(Vec2 p) const;
    Transform inverse() const;
    float scale() const;  // pixels per local unit (geometric mean of the axes)
};

// Premultiplied RGBA in floats; composites with "over".
class Image {
public:
    Image(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }

    // Covers the shape (local coordinates, mapped through `toPixels`) with the colour. `softness`
    // widens the edge ramp, in pixels, for blurred shapes such as shadows and glows.
    void fill(const Shape& shape, Rgba colour, const Transform& toPixels = {}, float softness = 1.0f);
    // Runs `shade` over every pixel with some coverage, in straight colour; alpha is kept.
    void recolour(const std::function<Rgba(Rgba colour, int x, int y)>& shade);
    float alphaAt(int x, int y) const;

    // 8-bit BGRA with straight alpha, rows top-down: what the encoders take.
    std::vector<std::uint8_t> toBgra() const;

private:
    int width_;
    int height_;
    std::vector<float> pixels_;  // r, g, b, a premultiplied
};

}  // namespace samplegen
