// The reference producer: found through the host as pawns find it, handing out the shared media by
// name, and pictures whose blend tables decide how they are drawn.
#include <cstdint>
#include <string>
#include <vector>

#include "media/alpha_video.h"
#include "media/sound.h"
#include "media/text_display.h"
#include "tests/core/pawn_fixture.h"

using namespace pawntest;

namespace {

IKTProducer* producerOf(hostengine::HostEngine& host) {
    return interfaceFrom<IKTProducer>(host.findInterface(nullptr, "IKTProducer"));
}

std::string bonusName(int number) {
    char name[16];
    std::snprintf(name, sizeof name, "bonus%2.2i", number);
    return name;
}

}  // namespace

TEST(Producer, IsFoundThroughTheHostAndAnswersItsNamesInAnyLetterCase) {
    PawnWorld world;
    IKTProducer* producer = producerOf(world.host);
    ASSERT_EQ(producer, static_cast<IKTProducer*>(world.producer.get()));
    EXPECT_EQ(world.host.findInterface("PRODUCER", "iktproducer"), world.host.findInterface(nullptr, "IKTProducer"));

    auto* sound = static_cast<SoundResource*>(producer->getObject("scoresnd"));
    ASSERT_TRUE(sound && sound->sound());
    EXPECT_EQ(producer->getObject("ScoreSnd"), sound);
    auto* text = static_cast<TextDisplay*>(producer->getObject("allalpha"));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->font, world.font.font());
    EXPECT_EQ(producer->getObject("ALLALPHA"), text);
    auto* penguin = static_cast<KTAlphaVideo*>(producer->getObject("pingouin"));
    ASSERT_NE(penguin, nullptr);
    EXPECT_EQ(penguin->selectSequence("freeze"), 1);
    EXPECT_EQ(producer->getObject("PingOuin"), penguin);

    for (int n = 1; n <= 10; ++n) {
        void* picture = producer->getObject(bonusName(n).c_str());
        ASSERT_NE(picture, nullptr) << n;
        EXPECT_EQ(producer->getObject(("BONUS" + bonusName(n).substr(5)).c_str()), picture);
    }
    for (const char* unknown : {"bonus00", "bonus11", "bonus1", "bonus010", "bonusx1", "score", "", "pingouin "})
        EXPECT_EQ(producer->getObject(unknown), nullptr) << '"' << unknown << '"';
    EXPECT_EQ(producer->getObject(nullptr), nullptr);
}

TEST(Producer, MissingMediaYieldNullExceptThePicturesWhichBecomeBadges) {
    WorldOptions options;
    options.scoreSound = false;
    options.penguin = false;
    options.bonusVideos = {};
    PawnWorld world(options);
    hostengine::Producer& producer = *world.producer;
    EXPECT_EQ(producer.getObject("scoresnd"), nullptr);
    EXPECT_EQ(producer.getObject("pingouin"), nullptr);
    EXPECT_NE(producer.getObject("allalpha"), nullptr);
    for (int n = 1; n <= 10; ++n) {
        hostengine::ProducerPicture* badge = producer.bonusPicture(n);
        ASSERT_NE(badge, nullptr);
        EXPECT_EQ(boundsOf(badge).width, 48);
        // A disc: clear corners, a solid middle, and a number in a colour that stands out on it.
        EXPECT_EQ(badge->alpha().row(0)[0], 0);
        EXPECT_EQ(badge->alpha().row(24)[24], 255);
        const std::uint32_t disc = badge->colour().pixel(24, 4);
        int numberPixels = 0;
        for (int y = 12; y < 36; ++y)
            for (int x = 8; x < 40; ++x) numberPixels += badge->colour().pixel(x, y) != disc;
        EXPECT_GT(numberPixels, 20) << n;
    }
    EXPECT_NE(producer.bonusPicture(1)->colour().pixel(24, 4), producer.bonusPicture(2)->colour().pixel(24, 4));

    // Pawns take what there is: no score sound, no penguin.
    PawnHandle pawn = world.create();
    ASSERT_TRUE(pawn);
    pawn.player->addScore(10);
    EXPECT_TRUE(world.scoreSoundsPlayed().empty());
    pawn.player->setBonus(16);
    EXPECT_EQ(pawn.player->getVideo(), nullptr) << "no figure on show until the penguin goes";
    world.drawFresh(pawn);
    pawn.player->setBonus(0);
    EXPECT_EQ(pawn.player->getVideo(), pawn.ownVideo);
}

TEST(Producer, AnUnreadableBonusVideoFallsBackToABadge) {
    WorldOptions options;
    options.bonusVideos = {};
    PawnWorld world(options);
    // A media root of its own, listed after the corrupt file was written.
    writeFile(world.dir / "media2/bonus05.avi", std::string("RIFF\x10\x00\x00\x00" "AVI junk", 16));
    ResourceDir* media = world.archives.makeRootDir(world.dir / "media2");
    hostengine::Producer producer(world.host, media, world.font.font());
    hostengine::ProducerPicture* picture = producer.bonusPicture(5);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(boundsOf(picture).width, hostengine::ProducerPicture::kBadgeSize);
    EXPECT_NE(producer.pictureError(), "");
}

TEST(Producer, APicturesOpacityDecidesHowItIsBlended) {
    PawnWorld world;
    hostengine::ProducerPicture* picture = world.producer->bonusPicture(3);
    ASSERT_NE(picture, nullptr);
    const std::uint16_t colour = hostengine::rgb555(PawnWorld::bonusVideoColour());
    const std::uint16_t ground = hostengine::rgb555(0, 0, 248);
    auto drawAt = [&](double opacity) {
        world.surface.fill(ground);
        picture->blend.setOpacity(opacity);
        picture->setPosition(10, 20);
        picture->draw(&world.canvas);
        return world.surface.pixel(18, 28);
    };
    EXPECT_EQ(drawAt(1.0), colour);
    EXPECT_EQ(world.surface.pixel(10, 20), ground) << "transparent border";
    EXPECT_EQ(drawAt(0.0), ground);
    const std::uint16_t half = drawAt(0.5);
    EXPECT_TRUE(half != colour && half != ground);
    EXPECT_EQ(picture->colour().locks().outstanding() + picture->alpha().locks().outstanding() + world.surface.locks().outstanding(), 0);

    // Partly off the screen: only what lies on it is drawn, nothing is locked beyond it.
    picture->blend.setOpacity(1.0);
    world.surface.fill(0);
    picture->setPosition(-8, PawnWorld::kScreenHeight - 4);
    picture->draw(&world.canvas);
    EXPECT_EQ(world.surface.pixel(0, PawnWorld::kScreenHeight - 1), colour);
    EXPECT_EQ(world.surface.locks().refused(), 0);
    picture->setPosition(INT32_MAX - 2, INT32_MIN);
    picture->draw(&world.canvas);
    EXPECT_EQ(world.surface.locks().refused(), 0);
}
