#include "host/core/producer_picture.h"
#include "host/core/host_video.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

#include "host/core/bitmap_font.h"
#include "host/core/surface.h"
#include "media/blend.h"
#include "media/blend_fast.h"

namespace hostengine {
namespace {

// Opens a video and closes it again however the reading ends.
class OpenVideo {
public:
    OpenVideo(IVideoFactory* factory, const std::string& path) : factory_(factory) {
        if (factory_) handle_ = factory_->open(path.c_str());
    }
    ~OpenVideo() {
        if (handle_) factory_->close(handle_);
    }
    OpenVideo(const OpenVideo&) = delete;
    OpenVideo& operator=(const OpenVideo&) = delete;
    InterfaceTable* handle() const { return handle_; }

private:
    IVideoFactory* factory_;
    InterfaceTable* handle_ = nullptr;
};

// Rows of a bitmap, handed back however the copy ends.
class LockedRows {
public:
    LockedRows(IBitmap* bitmap, std::int32_t height) : bitmap_(bitmap) {
        if (bitmap_ && height > 0) rows_ = bitmap_->lockRows(0, height - 1);
    }
    ~LockedRows() {
        if (rows_) bitmap_->unlockRows(rows_);
    }
    LockedRows(const LockedRows&) = delete;
    LockedRows& operator=(const LockedRows&) = delete;
    const PixelRows* rows() const { return rows_; }
    const std::uint8_t* row(std::int32_t y) const {
        return static_cast<const std::uint8_t*>(rows_->pixels) + static_cast<std::intptr_t>(y) * rows_->pitch;
    }

private:
    IBitmap* bitmap_;
    PixelRows* rows_ = nullptr;
};

// Disc colours that stay apart from one another, and from the pawns' figures in tests.
struct BadgeColours {
    Colour disc;
    Colour number;
};

BadgeColours badgeColours(std::int32_t number) {
    static const std::uint8_t kDiscs[10][3] = {
        {200, 40, 40},  {40, 160, 40},  {40, 80, 200},  {232, 200, 40}, {160, 40, 200},
        {40, 200, 200}, {232, 120, 24}, {120, 120, 120}, {24, 96, 72},  {248, 248, 248},
    };
    const std::uint8_t* disc = kDiscs[static_cast<std::size_t>((number - 1 + 1000) % 10)];
    // Dark numbers on light discs, light ones on dark discs, by the disc's luma.
    const int luma = (disc[0] * 299 + disc[1] * 587 + disc[2] * 114) / 1000;
    const Colour numberColour = luma > 140 ? Colour(0, 0, 0) : Colour(255, 255, 255);
    return BadgeColours{Colour(disc[0], disc[1], disc[2]), numberColour};
}

}  // namespace

ProducerPicture::ProducerPicture(std::int32_t width, std::int32_t height)
    : colour_(width, height, 16), alpha_(width, height, 8), coordMap_(static_cast<std::size_t>(std::max(width, height))) {
    std::iota(coordMap_.begin(), coordMap_.end(), 0);
    blend.setOpacity(1.0);
}

std::unique_ptr<ProducerPicture> ProducerPicture::fromVideo(IVideoFactory* factory, const std::string& path, std::string& error) {
    if (!factory) {
        error = "no video factory";
        return nullptr;
    }
    OpenVideo video(factory, path);
    IVideo* player = video.handle() ? video.handle()->find<IVideo>("IVideo") : nullptr;
    if (!player) {
        error = path + ": the video factory cannot open it";
        return nullptr;
    }
    player->seek(0);

    // The pictures of the first frame, found by depth as the module's own videos find them.
    Point size = sizeOf(player);
    IBitmap* colourBitmap = nullptr;
    IBitmap* alphaBitmap = nullptr;
    for (std::int32_t i = 0; i < player->bitmapCount(); ++i) {
        InterfaceTable* handle = player->bitmap(i);
        IBitmap* bitmap = handle ? handle->find<IBitmap>("IBitmap") : nullptr;
        const BitmapInfo* info = bitmap ? bitmap->info() : nullptr;
        if (!info) continue;
        size.x = std::min(size.x, info->width);
        size.y = std::min(size.y, info->height);
        if (info->bitsPerPixel == 16) colourBitmap = bitmap;
        else if (info->bitsPerPixel == 8) alphaBitmap = bitmap;
    }
    if (!colourBitmap) {
        error = path + ": the video has no colour picture";
        return nullptr;
    }
    if (size.x <= 0 || size.y <= 0 || size.x > kMaxVideoSide || size.y > kMaxVideoSide) {
        error = path + ": unusable picture size";
        return nullptr;
    }

    auto picture = std::make_unique<ProducerPicture>(size.x, size.y);
    LockedRows colourRows(colourBitmap, size.y);
    if (!colourRows.rows() || colourRows.rows()->bitsPerPixel != 16) {
        error = path + ": the colour picture cannot be read";
        return nullptr;
    }
    for (std::int32_t y = 0; y < size.y; ++y) {
        std::memcpy(picture->colour_.row16(y), colourRows.row(y), static_cast<std::size_t>(size.x) * 2);
        for (std::int32_t x = 0; x < size.x; ++x) picture->colour_.row16(y)[x] &= 0x7fff;
    }
    LockedRows alphaRows(alphaBitmap, size.y);
    for (std::int32_t y = 0; y < size.y; ++y) {
        if (alphaRows.rows())
            std::memcpy(picture->alpha_.row(y), alphaRows.row(y), static_cast<std::size_t>(size.x));
        else
            std::memset(picture->alpha_.row(y), 255, static_cast<std::size_t>(size.x));
    }
    return picture;
}

std::unique_ptr<ProducerPicture> ProducerPicture::badge(std::int32_t number) {
    constexpr std::int32_t n = kBadgeSize;
    auto picture = std::make_unique<ProducerPicture>(n, n);
    const BadgeColours colours = badgeColours(number);

    // The number is written by the host's own pixel font on a scratch surface of the disc's colour.
    Surface scratch(n, n);
    scratch.fill(rgb555(colours.disc));
    BitmapFont font(3, 0);
    Canvas canvas = makeCanvas(scratch);
    canvas.font = font.font();
    canvas.colour = colours.number;
    const std::string text = std::to_string(number);
    if (font.textWidth(text.c_str()) > n - 8) font.font()->setScaleX(0.6);  // three digits still fit
    const std::int32_t width = font.textWidth(text.c_str());
    const std::int32_t height = font.lineHeight();
    canvas.drawText((n - width) / 2, (n - height) / 2, text.c_str());

    // A disc of radius n/2 whose edge fades out over one and a half pixels.
    const double centre = (n - 1) / 2.0, radius = n / 2.0 - 0.5;
    for (std::int32_t y = 0; y < n; ++y) {
        for (std::int32_t x = 0; x < n; ++x) {
            const double distance = std::hypot(x - centre, y - centre);
            const double cover = std::clamp((radius - distance) / 1.5 + 0.5, 0.0, 1.0);
            picture->alpha_.row(y)[x] = static_cast<std::uint8_t>(std::lround(cover * 255.0));
            picture->colour_.row16(y)[x] = scratch.pixel(x, y);
        }
    }
    return picture;
}

void ProducerPicture::draw(Canvas* canvas) {
    if (!canvas) return;
    ++draws_;
    lastDrawOpacity_ = blend.opacity;
    const std::int32_t w = colour_.width(), h = colour_.height();
    const Rect drawn = Rect(position_.x, position_.y, w, h).intersect(drawableArea(*canvas));
    if (drawn.width <= 0 || drawn.height <= 0) return;
    // Both differences lie within the picture, which the intersection never leaves.
    const std::int32_t skipX = static_cast<std::int32_t>(std::int64_t{drawn.x} - position_.x);
    const std::int32_t skipY = static_cast<std::int32_t>(std::int64_t{drawn.y} - position_.y);

    PixelRows* destination = canvas->lockRows(drawn.y, drawn.y + drawn.height - 1);
    if (!destination) return;
    PixelRows* colourRows = colour_.lockRows(0, h - 1);
    PixelRows* alphaRows = alpha_.lockRows(0, h - 1);
    if (colourRows && alphaRows && destination->bitsPerPixel == 16) {
        const BlendTableSet tables{blend.srcRed, blend.srcGreen, blend.srcBlue, blend.dstRed, blend.dstGreen, blend.dstBlue};
        // The module's dispatch: its vector kernel at full opacity (bit for bit the tables' result),
        // the tables themselves while a blink has the opacity elsewhere.
        blendDraw(tables, blend.opacity, coordMap_.data(), 1.0, *colourRows, *alphaRows, *destination, drawn, skipX, skipY);
    }
    alpha_.unlockRows(alphaRows);
    colour_.unlockRows(colourRows);
    canvas->unlockRows(destination);
}

}  // namespace hostengine
