#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "media/alpha_video.h"
#include "media/dual_video.h"
#include "tests/support/host_doubles.h"

using namespace doubles;

namespace {

using Table = std::vector<SequenceText>;  // in listing order

// A root holding the archive "pawn1": "dual.avi" (a 200-frame video of 4 x 4 pixels) unless told
// otherwise and, unless `table` is null, "sequence.ini" whose section "color" lists the sequences.
struct PawnArchive {
    explicit PawnArchive(const Table* table, bool withVideo = true) {
        hostVideo.bitmaps = {&colour.table, &alpha.table};
        videoFactory.video = &hostVideo;
        MemArchive* pawn = rootArchive.addArchive("pawn1");
        if (withVideo) pawn->add("dual.avi", "", "video", "file://pawn1/dual.avi");
        MemArchive* color = table ? pawn->addArchive("sequence.ini")->addArchive("color") : nullptr;
        for (const SequenceText& sequence : table ? *table : Table{}) color->add(sequence.name, sequence.text);
        video = create<KTAlphaVideo>(root.findEntry(nullptr, "pawn1", nullptr));
        hostVideo.calls.clear();
    }
    ~PawnArchive() { destroyAlphaVideo(video); }

    std::vector<std::string> sequenceNames() const {
        std::vector<std::string> names;
        for (const Sequence* node = video->sequences; node; node = node->next) names.push_back(node->name);
        return names;
    }

    hostengine::HostEngine host;
    MemArchiveFactory archiveFactory;
    FakeVideoFactory videoFactory;
    FakeVideo hostVideo{200, Point(4, 4)};
    MemoryBitmap colour{4, 4, 16};
    MemoryBitmap alpha{4, 4, 8};
    MemArchive rootArchive;
    MemRoot root{rootArchive};
    KTAlphaVideo* video = nullptr;
};

}  // namespace

TEST(KTAlphaVideo, TheTableIsReadInReverseWithTheWholeVideoLastAndSelectingRestartsASequence) {
    const Table table{{"wait01", "25@100"}, {"buzz01", "10@0"}, {"dup", "5@10"}, {"noat", "12"}, {"dup", "7@20"}};
    PawnArchive pawn(&table);
    EXPECT_EQ(pawn.sequenceNames(), (std::vector<std::string>{"dup", "dup", "buzz01", "wait01", "*"}));
    EXPECT_EQ(pawn.video->current->name, std::string("*"));  // the whole video selected
    struct Lookup {
        const char* name;
        std::int32_t found;
        std::int32_t length;
    };
    const Lookup lookups[] = {
        {"WAIT01", 1, 25}, {"Buzz01", 1, 10}, {"dup", 1, 7},  // the later entry shadows the earlier one
        {"noat", 0, 7},    {"*", 1, 200},     {"wait", 0, 200}, {"", 0, 200},
    };
    for (const Lookup& lookup : lookups) {
        EXPECT_EQ(pawn.video->selectSequence(lookup.name), lookup.found) << lookup.name;
        EXPECT_EQ(pawn.video->sequenceLength(), lookup.length) << lookup.name;
    }
    EXPECT_EQ(pawn.host.countLog("KTAlphaVideo: Sequence 'noat' not found.\n"), 1);
    pawn.video->selectSequence("wait01");
    pawn.video->setFrame(5);
    EXPECT_EQ(pawn.video->selectSequence("sad01"), 0);  // a miss keeps the current sequence where it is
    EXPECT_EQ(pawn.video->currentFrame(), 5);
    EXPECT_EQ(pawn.video->selectSequence("wait01"), 1);  // selecting restarts it, without moving the video
    EXPECT_EQ(pawn.video->currentFrame(), 0);
    EXPECT_EQ(pawn.hostVideo.calls, (std::vector<std::string>{"seek 105"}));
}

TEST(KTAlphaVideo, NumbersAreReadAsAtoiReadsThemAndNeverSeekOutsideTheVideo) {
    struct Case {
        std::string text;
        std::int32_t count;
        std::int32_t first;
        std::vector<std::pair<std::int32_t, std::int32_t>> frames;  // setFrame argument and result, in turn
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        // A run of frames: the following frame is the host's step (and its result); past the end the
        // length and before the start 0, and nothing moves.
        {"12@40", 12, 40, {{0, 1}, {1, 7}, {11, 1}, {12, 12}, {-1, 0}}, {"seek 40", "next", "seek 51"}},
        {" 12@ 40xyz", 12, 40, {{3, 1}}, {"seek 43"}},
        {"abc@def", 0, 0, {{0, 0}}, {}},
        {"-5@10", -5, 10, {{0, -5}}, {}},                     // a negative count holds no frame
        {"5@-3", 5, -3, {{1, 0}}, {}},                        // frame -2: before the video
        {"9@-3", 9, -3, {{8, 1}}, {"seek 5"}},
        {"99999999999@0", INT32_MAX, 0, {{1000, 0}}, {}},     // saturated, and past the last frame
        {"3@2147483647", 3, INT32_MAX, {{1, 0}}, {}},         // first + index leaves the 32-bit range
        {"3@-99999999999", 3, INT32_MIN, {{2, 0}}, {}},
        {"+4@+1\n", 4, 1, {{3, 1}}, {"seek 4"}},
        {"12@40" + std::string(300, ' '), 12, 40, {}, {}},   // cut at 127 bytes, still a whole number pair
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const Table table{{"seq", c.text}, {std::string(300, 'w'), "2@3"}};
        PawnArchive pawn(&table);
        ASSERT_EQ(pawn.video->selectSequence("seq"), 1);
        EXPECT_EQ(pawn.video->current->count, c.count);
        EXPECT_EQ(pawn.video->current->first, c.first);
        for (const auto& [index, result] : c.frames) EXPECT_EQ(pawn.video->setFrame(index), result) << index;
        EXPECT_EQ(pawn.hostVideo.calls, c.calls);
        EXPECT_EQ(pawn.video->selectSequence(table[1].name.c_str()), 1);  // a long name is kept whole
    }
    // The "@" of an entry lying past what is read skips the entry; one named "*" shadows the whole
    // video, which is selected at first.
    const Table table{{"late", std::string(127, ' ') + "12@40"}, {"*", "3@7"}};
    PawnArchive pawn(&table);
    EXPECT_EQ(pawn.video->sequenceLength(), 3);
    EXPECT_EQ(pawn.video->selectSequence("late"), 0);
}

TEST(KTAlphaVideo, WithoutATableOnlyTheWholeVideoAndWithoutAVideoNothingIsThere) {
    PawnArchive tableless(nullptr);
    EXPECT_EQ(tableless.host.countLog("missing resource:<<sequence.ini/color>>\n"), 1);
    EXPECT_EQ(tableless.sequenceNames(), (std::vector<std::string>{"*"}));
    EXPECT_EQ(tableless.video->sequenceLength(), 200);

    // Without a video the table is not read. (The pawn's calls on such a video, which has no current
    // sequence, are the allocation-failure test's: they crash it if any reaches for the video.)
    const Table table{{"wait01", "25@100"}};
    PawnArchive videoless(&table, false);
    EXPECT_EQ(videoless.host.countLog("missing resource:<<dual.avi>>\n"), 1);
    EXPECT_EQ(videoless.video->sequences, nullptr);
    EXPECT_EQ(videoless.video->selectSequence("wait01"), 0);
    EXPECT_EQ(boundsOf(videoless.video->visible()).width, 0);
    EXPECT_TRUE(videoless.videoFactory.opened.empty());
}

TEST(KTAlphaVideo, ItsVisiblePartIsTheVideosAtTheSamePlaceAndItsLayoutThePenguins) {
    PawnArchive pawn(nullptr);
    IVisible* visible = pawn.video->handle()->find<IVisible>("IVISIBLE");  // how the host finds it
    ASSERT_EQ(visible, pawn.video->visible());
    visible->setPosition(2, 3);
    pawn.colour.fill16(0x7c00);
    pawn.alpha.fill8(255);
    MemorySurface surface(8, 8);
    Canvas canvas = canvasOver(surface);
    visible->draw(&canvas);
    EXPECT_EQ((std::vector<int>{surface.pixel16(1, 2), surface.pixel16(2, 3), surface.pixel16(6, 7)}), (std::vector<int>{0, 0x7c00, 0}));
    // The layout the producer's penguin shares.
    KTAlphaVideo* v = pawn.video;
    auto at = [v](const void* field) { return static_cast<const char*>(field) - reinterpret_cast<const char*>(v); };
    const std::vector<std::ptrdiff_t> offsets{at(static_cast<IVisible*>(v)), at(&v->interfaces), at(&v->video),
                                              at(&v->sequences),             at(&v->current),    at(&v->frameCount)};
    if (sizeof(void*) == 4) { EXPECT_EQ(offsets, (std::vector<std::ptrdiff_t>{4, 8, 20, 24, 28, 32})); }
    EXPECT_TRUE(std::is_sorted(offsets.begin(), offsets.end()));
}
