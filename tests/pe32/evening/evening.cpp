// The evening: five players' pawns through the shipping plug-in, from init to release, with every
// message, the score operations and bonuses, the penguin, slides, holds and sounds, drawn on a clock
// that crosses 2^32. Everything the host sees goes into the transcript: the host operations the
// module calls, its log lines, the results of the player operations, the bounds of every visible
// in the registry and a checksum of the surface after every frame.
#include "tests/pe32/evening/archives.h"
#include "tests/pe32/evening/evening_harness.h"
#include "tests/pe32/evening/host_engine.h"
#include "tests/pe32/evening/host_tables.h"
#include "tests/pe32/evening/kit.h"
#include "tests/pe32/evening/media.h"

namespace evening {
namespace {

constexpr std::int32_t kPawns = 5;
constexpr std::int32_t kFrames = 180;
constexpr std::uint32_t kFrameMs = 16;
constexpr std::uint32_t kEveningStart = 0xFFFFF800u;  // the clock wraps about two seconds in

const char* const kSequences[] = {"wait01", "wait02", "wait03", "wait04", "wait05", "wait06", "wait07",
                                  "buzz01", "buzz02", "buzz03", "hppy01", "hppy02", "hppy03", "uhppy01",
                                  "uhppy02", "uhppy03", "l_left", "l_rght", "freeze"};
constexpr std::int32_t kSequenceCount = 19;

const VideoLook kLooks[] = {
    {"robot/dual.avi", 56, 72, kSequenceCount * 3, 3},
    {"blob/dual.avi", 48, 64, kSequenceCount * 4, 11},
    {"cat/dual.avi", 40, 80, kSequenceCount * 3 + 1, 23},
};
const VideoLook kPenguinLook = {"producer/pingouin/dual.avi", 44, 60, 21, 17};

// A pawn archive: its video and a sequence table of `length` frames a sequence (the cat's table
// lists its sequences from the end of the video and holds a line without "@"). The table's one
// section is listed by the host, over the same text the module reads.
MemoryArchive* pawnArchive(const char* name, std::int32_t length, bool backwards) {
    auto* archive = make<MemoryArchive>(name);
    auto* ini = make<MemoryArchive>("sequence.ini");
    auto* section = make<MemoryArchive>("color");
    ini->add("color", "archive/inisection", nullptr, 0, true)->opensAs = section;
    constexpr std::int32_t kCapacity = 1024;
    auto* text = static_cast<char*>(allocate(kCapacity));
    std::int32_t used = format(text, kCapacity, "[color]\n");
    for (std::int32_t i = 0; i < kSequenceCount + (backwards ? 1 : 0); ++i) {
        const char* key = i < kSequenceCount ? kSequences[i] : "comment";
        const std::int32_t first = backwards ? (kSequenceCount - 1 - i) * length + 1 : i * length;
        const std::int32_t line = i < kSequenceCount ? format(text + used, kCapacity - used, "%s=%i@%i\n", key, length, first)
                                                     : format(text + used, kCapacity - used, "%s=none\n", key);
        const std::int32_t valueAt = static_cast<std::int32_t>(textLength(key)) + 1;
        section->add(key, "text", text + used + valueAt, line - valueAt - 1);
        used += line;
    }
    archive->add("dual.avi", "video", nullptr, 0);
    archive->add("sequence.ini", "archive/ini", text, used, true)->opensAs = ini;
    return archive;
}

MemoryArchive* soundArchive(const char* name, std::uint32_t lengthMs) {
    auto* archive = make<MemoryArchive>(name);
    auto* bytes = static_cast<char*>(allocate(300));
    for (std::int32_t i = 0; i < 300; ++i) bytes[i] = static_cast<char>(i * 7 + static_cast<std::int32_t>(lengthMs));
    MemoryEntry* sound = archive->add("sound", "sound/wav", bytes, 300);
    sound->info.words[1] = lengthMs;  // this host's sounds last words[1] milliseconds
    sound->info.words[2] = 22050;
    sound->info.words[3] = 1 | 16 << 16;
    return archive;
}

ResourceDir* buildResources() {
    auto* root = make<MemoryArchive>("root");
    root->add("robot", "archive/dir", nullptr, 0, true)->opensAs = pawnArchive("robot", 3, false);
    root->add("blob", "archive/dir", nullptr, 0, true)->opensAs = pawnArchive("blob", 4, false);
    root->add("cat", "archive/dir", nullptr, 0, true)->opensAs = pawnArchive("cat", 3, true);
    root->add("BUZZ1.WAV", "archive/wav", nullptr, 0)->opensAs = soundArchive("buzz1.wav", 250);
    root->add("buzz2.wav", "archive/wav", nullptr, 0)->opensAs = soundArchive("buzz2.wav", 400);
    root->add("buzz3.wav", "archive/wav", nullptr, 0)->opensAs = soundArchive("buzz3.wav", 90);
    // Read only asynchronously: the module's blocking read waits in pumpEvents for the completion.
    root->add("scorefontphase", "text", "2\n", 2)->asynchronous = true;
    return makeRoot(root);
}

// An effect record of the host's, handed to a score text in place of the pawn's own: the same code
// and name, so the score looks the same, but the module's call of its slot 0 is the host's to see.
struct HostEffect : TextEffect {
    HostEffect() {
        code = kTextEffectCode;
        name = "TextShapeFX::zandrel";
    }
    void* deletingDestructor(unsigned flags) override {
        note("call TextEffect::deletingDestructor flags %u", flags);
        return this;
    }
};

// The first score text in the registry (the last pawn's) takes the host's effect; the module destroys
// the one it held, and the host's at the pawn's teardown.
void attachHostEffect() {
    for (RegistryNode* node = registry().head; node; node = node->next)
        if (sameText(node->interfaceName, "ITouchable")) {
            note("attach host effect -> %i", interfaceFrom<ITouchable>(node->value)->attach(make<HostEffect>()));
            return;
        }
    fail("no score text in the registry");
}

struct Player {
    InterfaceTable* handle = nullptr;
    IKTPlayer* player = nullptr;
    IVisible* visible = nullptr;
};

void send(const Player& pawn, std::uint32_t code, std::int32_t parameter) {
    note("send %x %i", code, parameter);
    pawn.player->receive(make<HostMessage>(code, parameter, 0));
}

void reportPawn(std::int32_t index, const Player& pawn) {
    note("pawn %i score %i streak %i index %i activity %i frozen %i hidden %i bonus %i tag %i video %s", index,
         pawn.player->getScore(), pawn.player->getStreak(), pawn.player->getPlayerIndex(), pawn.player->getActivity(),
         pawn.player->isFrozen(), pawn.player->isHidden(), pawn.player->getBonusState(), pawn.player->getTag(),
         pawn.player->getVideo() ? "yes" : "none");
}

// Every visible and touchable of every object, as the registry holds them: the module's pawns,
// figures, videos and score texts among them, each asked for its rectangle through its table.
void reportRegistry() {
    std::int32_t index = 0;
    for (RegistryNode* node = registry().head; node; node = node->next, ++index) {
        const bool visible = sameText(node->interfaceName, "IVisible");
        if (!visible && !sameText(node->interfaceName, "ITouchable")) continue;
        Rect r(-1, -1, -1, -1);
        IVisible* shown = visible ? interfaceFrom<IVisible>(node->value) : nullptr;
        ITouchable* touchable = visible ? nullptr : interfaceFrom<ITouchable>(node->value);
        if ((visible ? shown->bounds(&r) : touchable->touchBounds(&r)) != &r)
            fail("a bounds operation returned another address than the one it was given");
        note("registry %i %s %s bounds %i %i %i %i %s %i", index, node->objectName, node->interfaceName, r.x, r.y, r.width, r.height,
             visible ? "hidden" : "hit", visible ? shown->isHidden() : touchable->hitTest(3, 4));
    }
}

// What happens at each frame, beyond the update and draw of every pawn: a message sent, or a player
// operation called, in the order listed. Pawn -1 is every pawn.
enum { kRobot, kBlob, kCat, kGhost, kSecond, kEvery = -1 };
struct Cue {
    std::int32_t frame, pawn;
    void (*act)(const Player& pawn);
};
const Cue kCues[] = {
    {25, kRobot, [](const Player& p) { send(p, 0x000B0003, 0); }},  // buzz
    {25, kBlob, [](const Player& p) { send(p, 0x000B0003, 1); }},   // silent buzz
    {30, kRobot, [](const Player& p) { send(p, 0x000B0004, 0); }},  // happy
    {30, kCat, [](const Player& p) { send(p, 0x000B0005, 2); }},    // unhappy 3
    {30, kBlob, [](const Player& p) { send(p, 0x000B0006, 0); }},   // look left
    {32, kRobot, [](const Player& p) { p.player->addScore(100); }},
    {32, kRobot, [](const Player& p) { p.player->countAnswer(1); }},
    {32, kBlob, [](const Player& p) { p.player->loseScore(50, 20); }},
    {32, kCat, [](const Player& p) { p.player->addBonusScore(30); }},
    {32, kGhost, [](const Player& p) { p.player->addScore(7); }},
    {40, kBlob, [](const Player& p) { p.player->setBonus(3); }},
    {40, kBlob, [](const Player& p) { p.player->setBonus(-1); }},  // used: blinks, triples bonus points
    {40, kBlob, [](const Player& p) { p.player->addBonusScore(30); }},
    {50, kRobot, [](const Player& p) { p.player->setBonus(16); }},  // the penguin
    {50, kRobot, [](const Player& p) { send(p, 0x000B0003, 0); }},
    {60, kCat, [](const Player& p) { send(p, 0x000B0001, -1); }},    // freeze below 1
    {70, kRobot, [](const Player& p) { send(p, 0x000B0001, 0); }},   // the penguin freezes too
    {70, kCat, [](const Player& p) { p.player->thaw(); }},
    {80, kRobot, [](const Player& p) { send(p, 0x000B0008, 0); }},  // unfreeze
    {90, kRobot, [](const Player& p) { p.player->setBonus(0); }},   // the penguin ends
    {90, kRobot, [](const Player& p) { p.player->addBonusScore(37); }},
    {95, kBlob, [](const Player& p) { send(p, 0x000B000B, 200); }},  // wait hold
    {95, kCat, [](const Player& p) { send(p, 0x000B0007, 0); }},     // look right
    {95, kRobot, [](const Player& p) { send(p, 0x00050001, 0); }},   // not a pawn's message: deleted, nothing else
    {95, kRobot, [](const Player& p) { send(p, 0x000B000C, 0); }},
    {95, kRobot, [](const Player& p) { send(p, 0x000B0002, 0); }},
    {110, kBlob, [](const Player& p) { send(p, 0x000B0009, 300); }},  // going down
    {110, kRobot, [](const Player& p) { p.player->setScorePhase(1); }},
    {110, kRobot, [](const Player& p) { p.player->setTag(77); }},
    {110, kCat, [](const Player& p) { p.player->setHidden(1); }},
    {125, kBlob, [](const Player& p) { send(p, 0x000B000A, 200); }},  // back up, from 480
    {125, kCat, [](const Player& p) { p.player->setHidden(0); }},
    {125, kSecond, [](const Player& p) { p.player->setActivity(-2); }},
    {140, kRobot, [](const Player& p) { p.player->subtractScore(500); }},
    {140, kEvery, [](const Player& p) { p.player->addScore(25); }},
    {170, kRobot, [](const Player& p) { send(p, 0x000B0003, 0); }},  // still sounding when the pawn is given back
};

void cue(std::int32_t frame, Player* pawns) {
    if (frame == 0)
        for (std::int32_t i = 0; i < kPawns; ++i) {
            pawns[i].visible->setPosition(10 + 125 * i, 480);
            pawns[i].player->showScore(1);
            send(pawns[i], 0x000B000A, 300);  // coming up
        }
    for (const Cue& c : kCues)
        if (c.frame == frame)
            for (std::int32_t i = 0; i < kPawns; ++i)
                if (c.pawn == i || c.pawn == kEvery) c.act(pawns[i]);
}

}  // namespace

}  // namespace evening

int playEvening(const EveningHarness& harness) {
    using namespace evening;
    setHarness(harness);
    note("evening begins");
    host().setTime(kEveningStart);
    offerArchiveFactories();
    offerMediaFactories(kLooks, 3);
    offerProducer(kPenguinLook);
    ResourceDir* root = buildResources();

    note("dependencies %s", harness.dependencies() ? "some" : "none");
    const char* args[4] = {"first", nullptr, "third", nullptr};
    InterfaceTable* plugin = harness.init(&host(), args);
    if (!plugin) return fail("init gave no plug-in object");
    note("plug-in %s registry head %s %s", plugin->objectName ? plugin->objectName : "(unnamed)", registry().head->objectName,
         registry().head->interfaceName);
    IKTPlayerFactory* factory = lookup<IKTPlayerFactory>(plugin, "ikTPlayerFactory");
    if (!factory || findRegistered("pawn", "IKTPlayerFactory") != lookupValue(plugin, "IKTPlayerFactory"))
        return fail("no IKTPlayerFactory in the plug-in's table and the registry");

    static const char* const archives[kPawns] = {"robot", "blob", "cat", "ghost", "robot"};
    Player pawns[kPawns];
    for (std::int32_t i = 0; i < kPawns; ++i) {
        pawns[i].handle = factory->createPlayer(root, archives[i], i + 1);
        pawns[i].player = lookup<IKTPlayer>(pawns[i].handle, "IKTPlayer");
        pawns[i].visible = lookup<IVisible>(pawns[i].handle, "ivisible");
        if (!pawns[i].player || !pawns[i].visible) return fail("a pawn without IKTPlayer or IVisible");
        reportPawn(i, pawns[i]);
    }
    reportRegistry();
    attachHostEffect();

    for (std::int32_t frame = 0; frame < kFrames; ++frame) {
        note("frame %i begins at %u", frame, host().now());
        cue(frame, pawns);
        host().pumpEvents();
        for (Player& pawn : pawns) pawn.player->update();
        surface().clear(static_cast<std::uint32_t>(frame));
        for (Player& pawn : pawns) pawn.visible->draw(canvas());
        note("frame %i checksum %x", frame, surface().checksum());
        if (surface().locked) fail("surface rows left locked after a draw");
        if (frame % 30 == 29) {
            for (std::int32_t i = 0; i < kPawns; ++i) reportPawn(i, pawns[i]);
            reportRegistry();
        }
        host().advance(kFrameMs);
    }

    for (Player& pawn : pawns) factory->destroyPlayer(pawn.handle);
    factory->destroyPlayer(nullptr);
    for (std::int32_t pass = 0; pass < 4; ++pass) {
        host().advance(200);
        host().pumpEvents();
    }
    note("after the pawns: registry %i nodes, %i of them unnamed", registeredCount(nullptr), registeredCount("<unnamed>"));
    harness.release();
    harness.release();
    note("after release: %i nodes of the plug-in object", registeredCount("pawn"));
    if (registeredCount("pawn") != 0) fail("the plug-in object's registry nodes outlived release");
    if (messagesAlive() != 0) fail("messages not deleted");
    if (soundsPlaying() != 0) fail("sounds still playing");
    note("open videos %i, open streams %i, events pending %i", openVideos(), openStreams(), host().pending());
    note("evening ends with %i failures", failures());
    return failures() ? 1 : 0;
}
