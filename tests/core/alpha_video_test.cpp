#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/allocator.h"
#include "tests/support/host_doubles.h"
#include "host/core/host_engine.h"
#include "media/alpha_video.h"
#include "media/dual_video.h"

using doubles::FakeVideo;
using doubles::FakeVideoFactory;
using doubles::MemArchive;
using doubles::MemArchiveFactory;
using doubles::MemoryBitmap;
using doubles::MemRoot;
using doubles::MemorySurface;
using hostengine::HostEngine;

namespace {

using Table = std::vector<std::pair<std::string, std::string>>;  // sequence name, text, in listing order

// A root holding the archive "pawn1": "dual.avi" (a 200-frame video of 4 x 4 pixels) and, unless
// `table` is null, "sequence.ini" whose section "color" lists the sequences.
struct PawnArchive {
    explicit PawnArchive(const Table* table, bool withVideo = true) : hostVideo(200, Point(4, 4)), colour(4, 4, 16), alpha(4, 4, 8) {
        hostVideo.bitmaps = {&colour.table, &alpha.table};
        videoFactory.video = &hostVideo;
        MemArchive* pawn = rootArchive.addArchive("pawn1");
        if (withVideo) pawn->add("dual.avi", "", "video", "file://pawn1/dual.avi");
        if (table) {
            MemArchive* section = pawn->addArchive("sequence.ini")->addArchive("color");
            for (const auto& [name, text] : *table) section->add(name, text);
        }
        video = create<KTAlphaVideo>(root.findEntry(nullptr, "pawn1", nullptr));
        hostVideo.calls.clear();
    }
    ~PawnArchive() { destroyAlphaVideo(video); }

    std::vector<std::string> sequenceNames() const {
        std::vector<std::string> names;
        for (const Sequence* node = video->sequences; node; node = node->next) names.push_back(node->name);
        return names;
    }

    HostEngine host;
    MemArchiveFactory archiveFactory;
    FakeVideoFactory videoFactory;
    FakeVideo hostVideo;
    MemoryBitmap colour;
    MemoryBitmap alpha;
    MemArchive rootArchive;
    MemRoot root{rootArchive};
    KTAlphaVideo* video = nullptr;
};

}  // namespace

TEST(KTAlphaVideo, ASequenceIsARunOfConsecutiveFrames) {
    const Table table{{"wait01", "12@40"}};
    PawnArchive pawn(&table);
    ASSERT_EQ(pawn.video->selectSequence("wait01"), 1);
    EXPECT_EQ(pawn.video->sequenceLength(), 12);
    EXPECT_EQ(pawn.video->setFrame(0), 1);
    EXPECT_EQ(pawn.video->setFrame(1), 7);  // the following frame: the host's step and its result
    EXPECT_EQ(pawn.video->setFrame(11), 1);
    EXPECT_EQ(pawn.video->currentFrame(), 11);
    EXPECT_EQ(pawn.video->setFrame(12), 12);  // past the end: the length, and nothing moves
    EXPECT_EQ(pawn.video->setFrame(-1), 0);   // before the start: nothing moves either
    EXPECT_EQ(pawn.video->currentFrame(), 11);
    EXPECT_EQ(pawn.hostVideo.calls, (std::vector<std::string>{"seek 40", "next", "seek 51"}));
}

TEST(KTAlphaVideo, TheTableIsReadInReverseWithTheWholeVideoLast) {
    const Table table{{"wait01", "25@100"}, {"buzz01", "10@0"}, {"dup", "5@10"}, {"noat", "12"}, {"dup", "7@20"}};
    PawnArchive pawn(&table);
    EXPECT_EQ(pawn.sequenceNames(), (std::vector<std::string>{"dup", "dup", "buzz01", "wait01", "*"}));
    EXPECT_EQ(pawn.video->current->name, std::string("*"));  // the whole video selected
    EXPECT_EQ(pawn.video->frameCount, 200);

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
    EXPECT_EQ(pawn.host.countLog("KTAlphaVideo: Sequence 'wait' not found.\n"), 1);
}

TEST(KTAlphaVideo, SelectingRestartsTheSequenceAndAMissKeepsTheCurrentOne) {
    const Table table{{"wait01", "25@100"}, {"happy01", "8@30"}};
    PawnArchive pawn(&table);
    pawn.video->selectSequence("wait01");
    pawn.video->setFrame(5);
    EXPECT_EQ(pawn.video->selectSequence("sad01"), 0);
    EXPECT_EQ(pawn.video->currentFrame(), 5);
    EXPECT_EQ(pawn.video->sequenceLength(), 25);
    EXPECT_EQ(pawn.video->selectSequence("wait01"), 1);
    EXPECT_EQ(pawn.video->currentFrame(), 0);
    EXPECT_EQ(pawn.hostVideo.calls, (std::vector<std::string>{"seek 105"}));  // selecting does not move the video
}

TEST(KTAlphaVideo, WithoutATableOnlyTheWholeVideoExists) {
    PawnArchive pawn(nullptr);
    EXPECT_EQ(pawn.host.countLog("missing resource:<<sequence.ini/color>>\n"), 1);
    EXPECT_EQ(pawn.sequenceNames(), (std::vector<std::string>{"*"}));
    EXPECT_EQ(pawn.video->selectSequence("wait01"), 0);
    EXPECT_EQ(pawn.host.logLines().back().level, 3);
    EXPECT_EQ(pawn.video->sequenceLength(), 200);
}

TEST(KTAlphaVideo, NumbersAreReadAsAtoiReadsThemAndNeverSeekOutsideTheVideo) {
    struct Case {
        const char* text;
        std::int32_t count;
        std::int32_t first;
        std::int32_t index;  // setFrame argument after selecting
        std::int32_t result;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {" 12@ 40xyz", 12, 40, 3, 1, {"seek 43"}},
        {"abc@def", 0, 0, 0, 0, {}},
        {"-5@10", -5, 10, 0, -5, {}},                        // a negative count holds no frame
        {"5@-3", 5, -3, 1, 0, {}},                           // frame -2: before the video
        {"9@-3", 9, -3, 8, 1, {"seek 5"}},
        {"99999999999@0", INT32_MAX, 0, 1000, 0, {}},        // saturated, and past the last frame
        {"3@2147483647", 3, INT32_MAX, 1, 0, {}},            // first + index leaves the 32-bit range
        {"3@-99999999999", 3, INT32_MIN, 2, 0, {}},
        {"+4@+1\n", 4, 1, 3, 1, {"seek 4"}},
    };
    // An entry named "*" shadows the whole video, which is selected at first.
    const Table star{{"*", "3@7"}};
    PawnArchive shadowed(&star);
    EXPECT_EQ(shadowed.video->sequenceLength(), 3);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const Table table{{"seq", c.text}};
        PawnArchive pawn(&table);
        ASSERT_EQ(pawn.video->selectSequence("seq"), 1);
        EXPECT_EQ(pawn.video->current->count, c.count);
        EXPECT_EQ(pawn.video->current->first, c.first);
        EXPECT_EQ(pawn.video->setFrame(c.index), c.result);
        EXPECT_EQ(pawn.hostVideo.calls, c.calls);
    }
}

TEST(KTAlphaVideo, LongValuesAreCutAt127BytesAndLongNamesKeptWhole) {
    const std::string longName(300, 'w');
    const Table table{
        {"long", "12@40" + std::string(300, ' ')},
        {"late", std::string(127, ' ') + "12@40"},  // the "@" lies past what is read: skipped
        {longName, "2@3"},
    };
    PawnArchive pawn(&table);
    EXPECT_EQ(pawn.video->selectSequence("long"), 1);
    EXPECT_EQ(pawn.video->sequenceLength(), 12);
    EXPECT_EQ(pawn.video->selectSequence("late"), 0);
    EXPECT_EQ(pawn.video->selectSequence(longName.c_str()), 1);
    EXPECT_EQ(pawn.video->sequenceLength(), 2);
}

TEST(KTAlphaVideo, WithoutAVideoEverythingIsHarmlessAndEmpty) {
    const Table table{{"wait01", "25@100"}};
    PawnArchive pawn(&table, false);
    EXPECT_EQ(pawn.host.countLog("missing resource:<<dual.avi>>\n"), 1);
    KTAlphaVideo& video = *pawn.video;
    EXPECT_EQ(video.sequences, nullptr);
    // The pawn's own calls on it.
    video.visible()->setPosition(10, 280);
    EXPECT_EQ(video.selectSequence("wait01"), 0);
    for (std::int32_t frame : {0, -1, 5}) EXPECT_EQ(video.setFrame(frame), 0);
    EXPECT_EQ(video.sequenceLength() + video.currentFrame(), 0);
    MemorySurface surface(8, 8);
    Canvas canvas = doubles::canvasOver(surface);
    video.visible()->draw(&canvas);
    EXPECT_TRUE(surface.lockCalls.empty());
    EXPECT_EQ(boundsOf(video.visible()).width, 0);
    EXPECT_TRUE(pawn.videoFactory.opened.empty());
}

TEST(KTAlphaVideo, ItsVisiblePartIsTheVideosAtTheSamePlace) {
    PawnArchive pawn(nullptr);
    IVisible* visible = pawn.video->handle()->find<IVisible>("IVISIBLE");
    ASSERT_EQ(visible, pawn.video->visible());
    visible->setPosition(2, 3);
    EXPECT_EQ(boundsOf(visible).width, 4);
    pawn.colour.fill16(0x7c00);
    pawn.alpha.fill8(255);
    MemorySurface surface(8, 8);
    Canvas canvas = doubles::canvasOver(surface);
    visible->draw(&canvas);
    EXPECT_EQ((std::vector<int>{surface.pixel16(1, 2), surface.pixel16(2, 3), surface.pixel16(6, 7)}), (std::vector<int>{0, 0x7c00, 0}));
    EXPECT_EQ(pawn.videoFactory.opened, (std::vector<std::string>{"pawn1/dual.avi"}));
}

TEST(KTAlphaVideo, DestructionClosesTheVideoAndFreesTheSequences) {
    const auto before = allocationStats().live;
    {
        const Table table{{"wait01", "25@100"}, {"buzz01", "10@0"}};
        PawnArchive pawn(&table);
        destroyAlphaVideo(pawn.video);
        pawn.video = nullptr;
        EXPECT_EQ(pawn.videoFactory.closed, (std::vector<InterfaceTable*>{&pawn.hostVideo.table}));
    }
    EXPECT_EQ(allocationStats().live, before);
}

TEST(KTAlphaVideo, LayoutIsTheOneTheProducersPenguinShares) {
    PawnArchive pawn(nullptr);
    KTAlphaVideo* v = pawn.video;
    auto at = [v](const void* field) { return static_cast<const char*>(field) - reinterpret_cast<const char*>(v); };
    const std::ptrdiff_t offsets[] = {at(static_cast<IVisible*>(v)), at(&v->interfaces), at(&v->video),
                                      at(&v->sequences),             at(&v->current),    at(&v->frameCount)};
    const std::ptrdiff_t shipping[] = {4, 8, 20, 24, 28, 32};
    for (int i = 0; i < 6; ++i) {
        if (sizeof(void*) == 4) { EXPECT_EQ(offsets[i], shipping[i]) << i; }
        if (i > 0) { EXPECT_GT(offsets[i], offsets[i - 1]) << i; }
    }
    if (sizeof(void*) == 4) { EXPECT_EQ(sizeof(Sequence), 20u); }  // five 32-bit fields
}
