#include "tools/samplegen/raster.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace samplegen {

namespace {

float dot(Vec2 a, Vec2 b) { return a.x * b.x + a.y * b.y; }
float length(Vec2 a) { return std::sqrt(dot(a, a)); }

Box boxAround(Vec2 centre, float rx, float ry) { return {centre.x - rx, centre.y - ry, centre.x + rx, centre.y + ry}; }

Box unionOf(Box a, Box b) {
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

Box intersectionOf(Box a, Box b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

float segmentDistance(Vec2 p, Vec2 a, Vec2 b) {
    Vec2 pa = p - a, ba = b - a;
    float along = dot(ba, ba) > 0 ? std::clamp(dot(pa, ba) / dot(ba, ba), 0.0f, 1.0f) : 0.0f;
    return length(pa - ba * along);
}

}  // namespace

Rgba rgb(int red, int green, int blue, float alpha) { return {red / 255.0f, green / 255.0f, blue / 255.0f, alpha}; }

Rgba mix(Rgba a, Rgba b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

// ---------------------------------------------------------------------------------------------------
// Shapes

Shape circle(Vec2 centre, float radius) {
    return {[=](Vec2 p) { return length(p - centre) - radius; }, boxAround(centre, radius, radius)};
}

Shape ellipse(Vec2 centre, float rx, float ry) {
    // A first-order distance estimate: exact on the outline, which is all the edge ramp needs.
    return {[=](Vec2 p) {
                Vec2 q = p - centre;
                float k0 = length(Vec2{q.x / rx, q.y / ry});
                float k1 = length(Vec2{q.x / (rx * rx), q.y / (ry * ry)});
                return k1 > 0 ? k0 * (k0 - 1.0f) / k1 : -std::min(rx, ry);
            },
            boxAround(centre, rx, ry)};
}

Shape capsule(Vec2 a, Vec2 b, float radius) {
    Box box{std::min(a.x, b.x) - radius, std::min(a.y, b.y) - radius, std::max(a.x, b.x) + radius, std::max(a.y, b.y) + radius};
    return {[=](Vec2 p) { return segmentDistance(p, a, b) - radius; }, box};
}

Shape stroke(std::vector<Vec2> points, float radius) {
    Box box{points.front().x, points.front().y, points.front().x, points.front().y};
    for (Vec2 p : points) box = unionOf(box, Box{p.x, p.y, p.x, p.y});
    box = {box.left - radius, box.top - radius, box.right + radius, box.bottom + radius};
    return {[points = std::move(points), radius](Vec2 p) {
                float best = std::numeric_limits<float>::max();
                for (std::size_t i = 1; i < points.size(); ++i) best = std::min(best, segmentDistance(p, points[i - 1], points[i]));
                if (points.size() == 1) best = length(p - points[0]);
                return best - radius;
            },
            box};
}

Shape roundedBox(Vec2 centre, float halfWidth, float halfHeight, float radius) {
    return {[=](Vec2 p) {
                Vec2 q{std::fabs(p.x - centre.x) - (halfWidth - radius), std::fabs(p.y - centre.y) - (halfHeight - radius)};
                Vec2 outside{std::max(q.x, 0.0f), std::max(q.y, 0.0f)};
                return length(outside) + std::min(std::max(q.x, q.y), 0.0f) - radius;
            },
            boxAround(centre, halfWidth, halfHeight)};
}

Shape polygon(std::vector<Vec2> points) {
    Box box{points.front().x, points.front().y, points.front().x, points.front().y};
    for (Vec2 p : points) box = unionOf(box, Box{p.x, p.y, p.x, p.y});
    return {[points = std::move(points)](Vec2 p) {
                // Distance to the nearest edge; the sign flips once per edge crossed by a ray to the left.
                float nearest = dot(p - points[0], p - points[0]);
                float sign = 1.0f;
                for (std::size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
                    Vec2 e = points[j] - points[i], w = p - points[i];
                    float along = std::clamp(dot(w, e) / dot(e, e), 0.0f, 1.0f);
                    Vec2 b = w - e * along;
                    nearest = std::min(nearest, dot(b, b));
                    bool c1 = p.y >= points[i].y, c2 = p.y < points[j].y, c3 = e.x * w.y > e.y * w.x;
                    if ((c1 && c2 && c3) || (!c1 && !c2 && !c3)) sign = -sign;
                }
                return sign * std::sqrt(nearest);
            },
            box};
}

Shape halfPlane(Vec2 point, Vec2 outward, Box box) {
    float norm = length(outward);
    Vec2 n{outward.x / norm, outward.y / norm};
    return {[=](Vec2 p) { return dot(p - point, n); }, box};
}

Shape unite(Shape a, Shape b) {
    Box box = unionOf(a.box, b.box);
    return {[da = std::move(a.distance), db = std::move(b.distance)](Vec2 p) { return std::min(da(p), db(p)); }, box};
}

Shape intersect(Shape a, Shape b) {
    Box box = intersectionOf(a.box, b.box);
    return {[da = std::move(a.distance), db = std::move(b.distance)](Vec2 p) { return std::max(da(p), db(p)); }, box};
}

Shape subtract(Shape a, Shape b) {
    Box box = a.box;
    return {[da = std::move(a.distance), db = std::move(b.distance)](Vec2 p) { return std::max(da(p), -db(p)); }, box};
}

Shape grow(Shape a, float amount) {
    Box box{a.box.left - amount, a.box.top - amount, a.box.right + amount, a.box.bottom + amount};
    return {[da = std::move(a.distance), amount](Vec2 p) { return da(p) - amount; }, box};
}

// ---------------------------------------------------------------------------------------------------
// Transforms

Transform Transform::translation(float x, float y) { return {1, 0, 0, 1, x, y}; }

Transform Transform::rotation(float radians) {
    float c = std::cos(radians), s = std::sin(radians);
    return {c, -s, s, c, 0, 0};
}

Transform Transform::scaling(float sx, float sy) { return {sx, 0, 0, sy, 0, 0}; }

Transform Transform::then(const Transform& o) const {
    return {o.a * a + o.b * c, o.a * b + o.b * d, o.c * a + o.d * c, o.c * b + o.d * d, o.a * e + o.b * f + o.e, o.c * e + o.d * f + o.f};
}

Vec2 Transform::apply(Vec2 p) const { return {a * p.x + b * p.y + e, c * p.x + d * p.y + f}; }

Transform Transform::inverse() const {
    float det = a * d - b * c;
    Transform r{d / det, -b / det, -c / det, a / det, 0, 0};
    r.e = -(r.a * e + r.b * f);
    r.f = -(r.c * e + r.d * f);
    return r;
}

float Transform::scale() const { return std::sqrt(std::fabs(a * d - b * c)); }

// ---------------------------------------------------------------------------------------------------
// Image

Image::Image(int width, int height) : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * height * 4, 0.0f) {}

void Image::fill(const Shape& shape, Rgba colour, const Transform& toPixels, float softness) {
    if (shape.box.right < shape.box.left || shape.box.bottom < shape.box.top) return;
    // Pixels whose centre lies within the ramp of the transformed box.
    Vec2 corners[4] = {toPixels.apply({shape.box.left, shape.box.top}), toPixels.apply({shape.box.right, shape.box.top}),
                       toPixels.apply({shape.box.left, shape.box.bottom}), toPixels.apply({shape.box.right, shape.box.bottom})};
    float minX = corners[0].x, maxX = corners[0].x, minY = corners[0].y, maxY = corners[0].y;
    for (Vec2 c : corners) {
        minX = std::min(minX, c.x), maxX = std::max(maxX, c.x);
        minY = std::min(minY, c.y), maxY = std::max(maxY, c.y);
    }
    float margin = softness + 1.0f;
    int x0 = std::max(0, static_cast<int>(std::floor(minX - margin)));
    int y0 = std::max(0, static_cast<int>(std::floor(minY - margin)));
    int x1 = std::min(width_ - 1, static_cast<int>(std::ceil(maxX + margin)));
    int y1 = std::min(height_ - 1, static_cast<int>(std::ceil(maxY + margin)));
    Transform toLocal = toPixels.inverse();
    float scale = toPixels.scale();
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            Vec2 local = toLocal.apply({x + 0.5f, y + 0.5f});
            float coverage = std::clamp(0.5f - shape.distance(local) * scale / softness, 0.0f, 1.0f);
            if (coverage <= 0.0f) continue;
            float alpha = colour.a * coverage;
            float* px = &pixels_[(static_cast<std::size_t>(y) * width_ + x) * 4];
            px[0] = colour.r * alpha + px[0] * (1 - alpha);
            px[1] = colour.g * alpha + px[1] * (1 - alpha);
            px[2] = colour.b * alpha + px[2] * (1 - alpha);
            px[3] = alpha + px[3] * (1 - alpha);
        }
    }
}

void Image::recolour(const std::function<Rgba(Rgba, int, int)>& shade) {
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            float* px = &pixels_[(static_cast<std::size_t>(y) * width_ + x) * 4];
            if (px[3] <= 0.0f) continue;
            Rgba straight{px[0] / px[3], px[1] / px[3], px[2] / px[3], px[3]};
            Rgba shaded = shade(straight, x, y);
            px[0] = std::clamp(shaded.r, 0.0f, 1.0f) * px[3];
            px[1] = std::clamp(shaded.g, 0.0f, 1.0f) * px[3];
            px[2] = std::clamp(shaded.b, 0.0f, 1.0f) * px[3];
        }
    }
}

float Image::alphaAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0.0f;
    return pixels_[(static_cast<std::size_t>(y) * width_ + x) * 4 + 3];
}

std::vector<std::uint8_t> Image::toBgra() const {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(width_) * height_ * 4, 0);
    auto byte = [](float v) { return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
    for (std::size_t i = 0; i < out.size(); i += 4) {
        const float* px = &pixels_[i];
        std::uint8_t alpha = byte(px[3]);
        if (alpha == 0) continue;  // fully transparent pixels stay black, which compresses best
        out[i + 0] = byte(px[2] / px[3]);
        out[i + 1] = byte(px[1] / px[3]);
        out[i + 2] = byte(px[0] / px[3]);
        out[i + 3] = alpha;
    }
    return out;
}

}  // namespace samplegen
