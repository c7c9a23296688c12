#include "host/core/host_font.h"

#include <algorithm>
#include <limits>
#include <string>

#include "host/core/surface.h"

namespace hostengine {

CoverageMask::CoverageMask(const Rect& where) : area(where) {
    values.assign(static_cast<std::size_t>(std::max(0, area.width)) * static_cast<std::size_t>(std::max(0, area.height)), 0);
}

void CoverageMask::raise(std::int32_t x, std::int32_t y, std::uint8_t value) {
    if (x < area.x || y < area.y || x - area.x >= area.width || y - area.y >= area.height) return;
    std::uint8_t& at = row(y)[x - area.x];
    at = std::max(at, value);
}

CoverageMask dilate(const CoverageMask& mask, std::int32_t radius) {
    CoverageMask grown(mask.area);
    const std::int32_t w = mask.area.width, h = mask.area.height;
    // A disc with the rim rounded outwards: for radius 2 the offsets (±2, ±1) belong, (±2, ±2) not.
    std::vector<std::pair<std::int32_t, std::int32_t>> disc;
    for (std::int32_t dy = -radius; dy <= radius; ++dy)
        for (std::int32_t dx = -radius; dx <= radius; ++dx)
            if (dx * dx + dy * dy <= radius * radius + 1) disc.emplace_back(dx, dy);
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x) {
            std::uint8_t value = mask.values[static_cast<std::size_t>(y) * w + x];
            if (value == 0) continue;
            for (auto [dx, dy] : disc) {
                std::int32_t nx = x + dx, ny = y + dy;
                if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
                std::uint8_t& at = grown.values[static_cast<std::size_t>(ny) * w + nx];
                at = std::max(at, value);
            }
        }
    return grown;
}

void drawCoverage(Canvas& canvas, const CoverageMask& mask, const Rect& target, std::uint16_t colour) {
    Rect r = target.intersect(mask.area).intersect(drawableArea(canvas));
    if (r.width <= 0 || r.height <= 0) return;
    PixelRows* rows = canvas.lockRows(r.y, r.y + r.height - 1);
    if (!rows) return;
    if (rows->bitsPerPixel != 16 || !rows->pixels) {
        canvas.unlockRows(rows);
        return;
    }
    const std::uint32_t sR = (colour >> 10) & 31, sG = (colour >> 5) & 31, sB = colour & 31;
    for (std::int32_t i = 0; i < r.height; ++i) {
        auto* line = reinterpret_cast<std::uint16_t*>(static_cast<std::uint8_t*>(rows->pixels) + static_cast<std::intptr_t>(i) * rows->pitch);
        const std::uint8_t* cover = mask.values.data() + static_cast<std::size_t>(r.y + i - mask.area.y) * mask.area.width + (r.x - mask.area.x);
        for (std::int32_t j = 0; j < r.width; ++j) {
            std::uint32_t a = cover[j];
            if (a == 0) continue;
            std::uint16_t& d = line[r.x + j];
            if (a == 255) {
                d = colour & 0x7fff;
                continue;
            }
            auto mix = [a](std::uint32_t s, std::uint32_t dest) { return (s * a + dest * (255 - a) + 127) / 255; };
            d = static_cast<std::uint16_t>((mix(sR, (d >> 10) & 31) << 10) | (mix(sG, (d >> 5) & 31) << 5) | mix(sB, d & 31));
        }
    }
    canvas.unlockRows(rows);
}

std::vector<std::uint32_t> decodeUtf8(const char* text) {
    std::vector<std::uint32_t> points;
    if (!text) return points;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p) {
        std::uint32_t c = *p;
        int more = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        if (more < 0) {
            points.push_back(0xFFFD);
            ++p;
            continue;
        }
        std::uint32_t value = more == 0 ? c : c & (0x3F >> more);
        int taken = 1;
        for (; taken <= more; ++taken) {
            if ((p[taken] & 0xC0) != 0x80) break;
            value = (value << 6) | (p[taken] & 0x3F);
        }
        static const std::uint32_t kSmallest[4] = {0, 0x80, 0x800, 0x10000};
        if (taken <= more || value < kSmallest[more] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            points.push_back(0xFFFD);
            p += taken;  // stops at the byte that broke the sequence, NUL included
            continue;
        }
        points.push_back(value);
        p += taken;
    }
    return points;
}

// ---------------------------------------------------------------------------------------------------
// Font

HostFont::HostFont() {
    font_.renderer = this;
    font_.phaseHandler = this;
    font_.verticalScale = &vertical_;
    font_.horizontalScale = &horizontal_;
}

std::int32_t HostFont::setPhase(std::int32_t phase) {
    phase_ = phase;
    return 1;
}

// The module calls textWidth and drawText: a host failure (memory) must not escape into it.
std::int32_t HostFont::textWidth(const char* text) {
    try {
        std::int64_t width = measure(decodeUtf8(text));
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(width, 0, std::numeric_limits<std::int32_t>::max()));
    } catch (...) {
        return 0;
    }
}

std::int32_t HostFont::lineHeight() {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(boxHeight(), 0, std::numeric_limits<std::int32_t>::max()));
}

void HostFont::drawText(Canvas* canvas, std::int32_t x, std::int32_t y, const char* text) {
    if (!canvas || !text) return;
    try {
        drawLine(*canvas, x, y, text);
    } catch (...) {
        // Nothing drawn; every lock taken has been given back by then.
    }
}

HostFont::Run* HostFont::findRun(const std::string& text, bool outline) {
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        Run& run = runs_[i];
        if (run.outline != outline || run.scaleX != scaleX() || run.scaleY != scaleY() || run.text != text) continue;
        if (i > 0) std::rotate(runs_.begin(), runs_.begin() + static_cast<std::ptrdiff_t>(i), runs_.begin() + static_cast<std::ptrdiff_t>(i) + 1);
        return &runs_.front();
    }
    return nullptr;
}

void HostFont::drawLine(Canvas& context, std::int32_t x, std::int32_t y, const char* text) {
    Canvas* canvas = &context;
    const bool outline = phase_ == 1;
    Run* run = findRun(text, outline);
    std::vector<std::uint32_t> points;
    std::int64_t width, height;
    if (run) {
        width = run->width;
        height = run->height;
    } else {
        points = decodeUtf8(text);
        width = measure(points);
        height = boxHeight();
    }
    if (width <= 0 || height <= 0) return;
    // Only the part of the box that can show is rasterised, however long the line.
    Rect box(x, y, static_cast<std::int32_t>(std::min<std::int64_t>(width, INT32_MAX)), static_cast<std::int32_t>(std::min<std::int64_t>(height, INT32_MAX)));
    Rect target = box.intersect(drawableArea(*canvas));
    if (target.width <= 0 || target.height <= 0) return;
    const std::int32_t margin = outline ? outlineRadius_ : 0;
    // The mask reaches `margin` beyond the target so that glyphs just outside still grow into it.
    auto widen = [margin](std::int32_t from, std::int32_t extent, std::int32_t& start) {
        std::int64_t low = std::max<std::int64_t>(std::int64_t{from} - margin, INT32_MIN);
        std::int64_t high = std::min<std::int64_t>(std::int64_t{from} + extent + margin, INT32_MAX);
        start = static_cast<std::int32_t>(low);
        return static_cast<std::int32_t>(high - low);
    };
    Rect reach;
    reach.width = widen(target.x, target.width, reach.x);
    reach.height = widen(target.y, target.height, reach.y);
    const Rect area = reach.intersect(box);
    const Rect relative(static_cast<std::int32_t>(std::int64_t{area.x} - box.x), static_cast<std::int32_t>(std::int64_t{area.y} - box.y),
                        area.width, area.height);
    const bool reusable = run && run->mask.area.x == relative.x && run->mask.area.y == relative.y &&
                          run->mask.area.width == relative.width && run->mask.area.height == relative.height;
    if (!reusable) {
        if (points.empty()) points = decodeUtf8(text);
        CoverageMask mask(area);
        render(points, x, y, mask);
        if (outline) mask = dilate(mask, outlineRadius_);
        mask.area = relative;
        if (!run) {
            if (runs_.size() >= kRunsKept) runs_.pop_back();
            runs_.insert(runs_.begin(), Run{text, outline, scaleX(), scaleY(), width, height, CoverageMask(Rect())});
            run = &runs_.front();
        }
        run->mask = std::move(mask);
    }
    // The kept mask is lent out at this box's place and handed back where it belongs.
    run->mask.area = area;
    drawCoverage(*canvas, run->mask, target, rgb555(canvas->colour));
    run->mask.area = relative;
}

}  // namespace hostengine
