#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

#include "host/core/producer_picture.h"
#include "host/core/surface.h"
#include "media/blend.h"

using namespace hostengine;

// The picture's draw goes through the module's vector kernel at full opacity and its tables during a
// blink; either way every pixel must be what the table reference makes of it.
TEST(HostProducerPicture, DrawMatchesTheTableReferenceAtEveryOpacityAndClip) {
    std::unique_ptr<ProducerPicture> picture = ProducerPicture::badge(7);
    // Every alpha value appears: the badge's own edge has few of them.
    for (int y = 0; y < ProducerPicture::kBadgeSize; ++y)
        for (int x = 0; x < 12; ++x) picture->alpha().row(y)[x] = static_cast<std::uint8_t>((y * 12 + x) * 255 / 575);
    const struct {
        double opacity;
        std::int32_t x, y;
    } cases[] = {{1.0, 20, 10}, {0.5, 20, 10}, {0.01, 20, 10}, {1.0, -13, -5}, {0.73, 70, 30}, {1.0, 90, 50}};
    std::vector<std::int32_t> identity(48);
    std::iota(identity.begin(), identity.end(), 0);
    for (const auto& c : cases) {
        Surface drawn(100, 60), expected(100, 60);
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 100; ++x) drawn.row(y)[x] = expected.row(y)[x] = static_cast<std::uint16_t>((x * 331 + y * 977) & 0x7fff);
        picture->blend.setOpacity(c.opacity);
        picture->setPosition(c.x, c.y);
        Canvas canvas = makeCanvas(drawn);
        picture->draw(&canvas);

        const Rect area = Rect(c.x, c.y, 48, 48).intersect(Rect(0, 0, 100, 60));
        if (area.width > 0 && area.height > 0) {
            BlendTables& t = picture->blend;
            PixelRows colour{picture->colour().row(0), 16, picture->colour().pitch()}, alpha{picture->alpha().row(0), 8, picture->alpha().pitch()};
            PixelRows destination{expected.row(area.y), 16, expected.pitch()};
            blendReference(BlendTableSet{t.srcRed, t.srcGreen, t.srcBlue, t.dstRed, t.dstGreen, t.dstBlue}, identity.data(), colour, alpha,
                           destination, area, area.x - c.x, area.y - c.y);
        }
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 100; ++x)
                ASSERT_EQ(drawn.pixel(x, y), expected.pixel(x, y)) << "opacity " << c.opacity << " at " << c.x << "," << c.y << " pixel " << x << "," << y;
    }
}
