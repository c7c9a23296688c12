// The reference producer: found through the host as pawns find it, handing out the shared media by
// name, and pictures whose blend tables decide how they are drawn.
#include <cstdint>
#include <string>

#include "media/alpha_video.h"
#include "media/sound.h"
#include "media/text_display.h"
#include "tests/support/world.h"

using namespace pawntest;

TEST(Producer, IsFoundThroughTheHostAndAnswersItsNamesInAnyLetterCase) {
    PawnWorld world;
    auto* producer = interfaceFrom<IKTProducer>(world.host.findInterface("PRODUCER", "iktproducer"));
    ASSERT_EQ(producer, static_cast<IKTProducer*>(world.producer.get()));
    auto* sound = static_cast<SoundResource*>(producer->getObject("ScoreSnd"));
    ASSERT_TRUE(sound && sound->sound());
    auto* text = static_cast<TextDisplay*>(producer->getObject("ALLALPHA"));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->font, world.font.font());
    auto* penguin = static_cast<KTAlphaVideo*>(producer->getObject("PingOuin"));
    ASSERT_NE(penguin, nullptr);
    EXPECT_EQ(penguin->selectSequence("freeze"), 1);
    for (const char* name : {"bonus01", "BONUS07", "bonus10"}) EXPECT_NE(producer->getObject(name), nullptr) << name;
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
    // A corrupt video, in a media root of its own listed after the file was written, is a badge too.
    writeFile(world.dir / "media2/bonus05.avi", std::string("RIFF\x10\x00\x00\x00" "AVI junk", 16));
    hostengine::Producer corrupt(world.host, world.archives.makeRootDir(world.dir / "media2"), world.font.font());
    EXPECT_EQ(boundsOf(corrupt.bonusPicture(5)).width, hostengine::ProducerPicture::kBadgeSize);
    EXPECT_NE(corrupt.pictureError(), "");

    hostengine::Producer& producer = *world.producer;
    EXPECT_EQ(producer.getObject("scoresnd"), nullptr);
    EXPECT_EQ(producer.getObject("pingouin"), nullptr);
    for (int n = 1; n <= 10; ++n) {
        hostengine::ProducerPicture* badge = producer.bonusPicture(n);
        ASSERT_NE(badge, nullptr);
        EXPECT_EQ(boundsOf(badge).width, 48);
        // A disc: clear corners, a solid middle, and a number in a colour that stands out on it.
        EXPECT_EQ(badge->alpha().row(0)[0] + 255 - badge->alpha().row(24)[24], 0) << n;
        int numberPixels = 0;
        for (int y = 12; y < 36; ++y)
            for (int x = 8; x < 40; ++x) numberPixels += badge->colour().pixel(x, y) != badge->colour().pixel(24, 4);
        EXPECT_GT(numberPixels, 20) << n;
    }
    EXPECT_NE(producer.bonusPicture(1)->colour().pixel(24, 4), producer.bonusPicture(2)->colour().pixel(24, 4));
}
