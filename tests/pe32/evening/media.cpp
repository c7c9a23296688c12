#include "tests/pe32/evening/media.h"

#include "tests/pe32/evening/archives.h"
#include "tests/pe32/evening/host_engine.h"
#include "tests/pe32/evening/host_tables.h"
#include "tests/pe32/evening/kit.h"

namespace evening {
namespace {

std::int32_t playing = 0;
std::int32_t videosOpen = 0;

// ---------------------------------------------------------------------------------------------------
// Bitmaps and videos

class HostBitmap : public Offered<IBitmap> {
public:
    HostBitmap(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel) : Offered("IBitmap") {
        info_ = BitmapInfo{width, height, bitsPerPixel};
        pitch_ = (width * bitsPerPixel / 8 + 3) & ~3;
        bytes = static_cast<std::uint8_t*>(allocate(static_cast<std::size_t>(pitch_ * height)));
    }
    void unusedSlot0() override { fail("IBitmap slot 0 called"); }
    const BitmapInfo* info() override {
        note("call IBitmap::info %i", info_.bitsPerPixel);
        return &info_;
    }
    PixelRows* lockRows(std::int32_t firstRow, std::int32_t lastRow) override {
        note("call IBitmap::lockRows %i %i %i", info_.bitsPerPixel, firstRow, lastRow);
        if (firstRow < 0 || lastRow >= info_.height || firstRow > lastRow || locked_) return nullptr;
        locked_ = true;
        rows_ = PixelRows{bytes + firstRow * pitch_, info_.bitsPerPixel, pitch_};
        return &rows_;
    }
    void unlockRows(PixelRows* rows) override {
        note("call IBitmap::unlockRows %i", info_.bitsPerPixel);
        if (rows != &rows_ || !locked_) fail("a bitmap unlock of rows it did not hand out");
        locked_ = false;
    }
    std::uint8_t* row(std::int32_t y) { return bytes + y * pitch_; }

    std::uint8_t* bytes;

private:
    BitmapInfo info_{};
    std::int32_t pitch_ = 0;
    PixelRows rows_{};
    bool locked_ = false;
};

class HostVideo : public Offered<IVideo> {
public:
    explicit HostVideo(const VideoLook& look)
        : Offered("IVideo"), look_(look), colour_(look.width, look.height, 16), alpha_(look.width, look.height, 8) {
        paint();
    }
    std::int32_t frameCount() override {
        note("call IVideo::frameCount %s -> %i", look_.path, look_.frames);
        return look_.frames;
    }
    std::int32_t seek(std::int32_t frame) override {
        note("call IVideo::seek %s %i", look_.path, frame);
        return show(frame);
    }
    std::int32_t next() override {
        note("call IVideo::next %s", look_.path);
        return show(frame_ + 1);
    }
    Point* size(Point* result) override {
        note("call IVideo::size %s", look_.path);
        *result = Point(look_.width, look_.height);
        return result;
    }
    std::int32_t bitmapCount() override {
        note("call IVideo::bitmapCount %s", look_.path);
        return 2;
    }
    InterfaceTable* bitmap(std::int32_t index) override {
        note("call IVideo::bitmap %s %i", look_.path, index);
        return index == 0 ? &alpha_.table : index == 1 ? &colour_.table : nullptr;
    }

private:
    std::int32_t show(std::int32_t frame) {
        if (frame < 0 || frame >= look_.frames) return 0;
        frame_ = frame;
        paint();
        return 1;
    }

    // An egg of a figure that bobs with the frame: opaque inside, a soft rim, transparent outside;
    // its colours move with the frame so that every step shows.
    void paint() {
        const std::int32_t w = look_.width, h = look_.height;
        const std::int32_t cx = w / 2, cy = h / 2 + (frame_ % 5) - 2;
        const std::int32_t rx = w / 2 - 2, ry = h / 2 - 3;
        for (std::int32_t y = 0; y < h; ++y) {
            auto* colours = reinterpret_cast<std::uint16_t*>(colour_.row(y));
            std::uint8_t* alphas = alpha_.row(y);
            for (std::int32_t x = 0; x < w; ++x) {
                const std::int32_t dx = (x - cx) * 64 / rx, dy = (y - cy) * 64 / ry;
                const std::int32_t d = dx * dx + dy * dy;  // 4096 on the rim
                alphas[x] = static_cast<std::uint8_t>(d < 2900 ? 255 : d < 4096 ? (4096 - d) * 255 / 1196 : 0);
                const std::uint32_t r = (x * 3 + frame_ * 2 + look_.shape) & 31, g = (y + frame_ * look_.shape) & 31;
                const std::uint32_t b = ((x ^ y) + look_.shape * 7) & 31;
                colours[x] = static_cast<std::uint16_t>(r << 10 | g << 5 | b | ((x & 1) << 15));  // bit 15 is not colour
            }
        }
    }

    VideoLook look_;
    HostBitmap colour_;
    HostBitmap alpha_;
    std::int32_t frame_ = 0;
};

class VideoFactory : public Offered<IVideoFactory> {
public:
    VideoFactory(const VideoLook* looks, std::int32_t count) : Offered("IVideoFactory", "avifile"), looks_(looks), count_(count) {}
    InterfaceTable* open(const char* path) override {
        note("call IVideoFactory::open %s", path);
        for (std::int32_t i = 0; i < count_; ++i)
            if (sameText(looks_[i].path, path)) {
                ++videosOpen;
                return &make<HostVideo>(looks_[i])->table;
            }
        return nullptr;
    }
    void close(InterfaceTable* video) override {
        note("call IVideoFactory::close");
        if (video) --videosOpen;
    }

private:
    const VideoLook* looks_;
    std::int32_t count_;
};

// ---------------------------------------------------------------------------------------------------
// Sounds: preloaded from the module's stream, ending on the host clock after their length

class HostSound : public ISound, public IPreloadSound {
public:
    explicit HostSound(const ResourceInfo& info) : length_(static_cast<std::int32_t>(info.words[1])) {
        offer<ISound>(table, "ISound", static_cast<ISound*>(this));
        offer<IPreloadSound>(table, "IPreloadSound", static_cast<IPreloadSound*>(this));
    }
    std::int32_t isPlaying() override { return playing_; }
    std::int32_t durationMs() override { return length_; }
    void stop() override {
        note("call ISound::stop playing %i", playing_);
        // The notice still follows, at the next pass of events.
        if (playing_ && ending_) host().bringForward(ending_);
    }
    std::int32_t preload(StreamAdapterParts* stream) override {
        // Read as a host reads a module stream: its size, then its bytes through "IRead".
        const std::int32_t size = static_cast<IStream*>(stream)->size();
        char bytes[512];
        const std::int32_t total = readThrough(&stream->interfaces, bytes, sizeof bytes);
        note("call IPreloadSound::preload size %i read %i checksum %x", size, total, checksum(bytes, static_cast<std::size_t>(total)));
        loaded_ = total > 0;
        return loaded_ ? 1 : 0;
    }
    void unload() override {
        note("call IPreloadSound::unload");
        loaded_ = false;
    }
    std::int32_t play(IListener* listener, IReferenceCount* referenceCount) override {
        note("call IPreloadSound::play listener %s reference %s", listener ? "given" : "none", referenceCount ? "given" : "none");
        if (!loaded_ || playing_) return 0;
        playing_ = 1;
        ++playing;
        // The notice names the sound in word 3 once the module's Sound has seen it.
        ending_ = make<Ending>(this, listener);
        host().post(host().now() + static_cast<std::uint32_t>(length_), ending_, make<HostMessage>(kSoundEnded, 0, 0));
        return 1;
    }

    InterfaceTable table;

private:
    // Stands between the queue and the module's listener: marks the sound ended on delivery.
    struct Ending : IListener {
        Ending(HostSound* s, IListener* l) : sound(s), listener(l) {}
        std::int32_t receive(Message* message) override {
            if (sound->playing_) --playing;
            sound->playing_ = 0;
            return listener ? listener->receive(message) : (deleteMessage(message), 1);
        }
        HostSound* sound;
        IListener* listener;
    };

    std::int32_t length_;
    std::int32_t playing_ = 0;
    bool loaded_ = false;
    Ending* ending_ = nullptr;
};

class SoundFactory : public Offered<ISoundFactory> {
public:
    SoundFactory() : Offered("ISoundFactory", "sounds") {}
    InterfaceTable* create(ResourceInfo* info) override {
        note("call ISoundFactory::create words %u %u %u", info->words[1], info->words[2], info->words[3]);
        return &make<HostSound>(*info)->table;
    }
    void destroy(InterfaceTable* sound) override { note("call ISoundFactory::destroy %s", sound ? "a sound" : "null"); }
};

// ---------------------------------------------------------------------------------------------------
// The font: 8 pixels a character. It notes what it is asked to draw and draws nothing itself, so that
// the frame checksums are of the module's own pixels.

class BlockFont : public IFontRenderer, public IFontPhase {
public:
    struct Scale : IFontScale {
        explicit Scale(const char* axis) : axis(axis) {}
        void set(double scale) override {
            note("call IFontScale::set %s %i", axis, static_cast<std::int32_t>(scale * 1000.0));
            value = scale;
        }
        double get() override {
            note("call IFontScale::get %s", axis);
            return value;
        }
        const char* axis;
        double value = 1.0;
    };

    BlockFont() : vertical("vertical"), horizontal("horizontal") {
        font.glyphHeight = 17;
        font.linePermille = 1000;
        font.renderer = this;
        font.phaseHandler = this;
        font.verticalScale = &vertical;
        font.horizontalScale = &horizontal;
    }
    void unusedSlot0() override { fail("font renderer slot 0 called"); }
    std::int32_t textWidth(const char* text) override {
        note("call IFontRenderer::textWidth \"%s\"", text);
        return static_cast<std::int32_t>(textLength(text)) * 8;
    }
    void drawText(Canvas* canvas, std::int32_t x, std::int32_t y, const char* text) override {
        note("call IFontRenderer::drawText %i %i \"%s\" phase %i colour %i %i %i", x, y, text, phase_, canvas->colour.red,
             canvas->colour.green, canvas->colour.blue);
    }
    std::int32_t setPhase(std::int32_t phase) override {
        note("call IFontPhase::setPhase %i", phase);
        phase_ = phase;
        return phase;
    }

    Font font;
    Scale vertical;
    Scale horizontal;

private:
    std::int32_t phase_ = 0;
};

// ---------------------------------------------------------------------------------------------------
// The producer's objects

// "allalpha": laid out as the module's text display up to its font, the one field a pawn reads. Its
// two interface tables stay null: a call through one would fault, named, in the emulated run.
struct FontSource {
    const void* visibleTable = nullptr;
    const void* touchableTable = nullptr;
    InterfaceTable interfaces;
    Rect area;
    std::int32_t hidden = 0;
    Point position;
    Font* font = nullptr;
};

// "pingouin": laid out as the module's alpha video, whose sequence operations the pawn runs on it
// (the module's own code, on these fields), over a video laid out as the module's, which the module
// steps with its own frame seeking.
struct PenguinVideo {
    virtual void* deletingDestructor(unsigned) { return this; }
    ResourceEntry* entry = nullptr;
    IVideoFactory* videoFactory = nullptr;
    InterfaceTable* handle = nullptr;
    IVideo* player = nullptr;
    const char* path = nullptr;
    std::int32_t frameCount = 0;
    std::int32_t bitmapCount = 0;
    std::int32_t frame = 0;
    Point size;
};

struct PenguinSequence {
    char* name;
    std::int32_t first;
    std::int32_t count;
    std::int32_t position;
    PenguinSequence* next;
};

struct PenguinPrimary {
    virtual void* deletingDestructor(unsigned) {
        fail("the penguin's deleting destructor called: the producer owns it");
        return this;
    }
};

class Penguin : public PenguinPrimary, public IVisible {
public:
    Penguin(HostVideo* source, InterfaceTable* handle) {
        offer<IVisible>(interfaces, "IVisible", static_cast<IVisible*>(this));
        video = make<PenguinVideo>();
        video->handle = handle;
        video->player = source;
        video->path = "producer/pingouin/dual.avi";
        video->frameCount = source->frameCount();
        video->bitmapCount = 2;
        source->size(&video->size);
        frameCount = video->frameCount;
    }
    void addSequence(const char* name, std::int32_t first, std::int32_t count) {
        auto* node = make<PenguinSequence>();
        *node = PenguinSequence{copyText(name), first, count, 0, sequences};
        sequences = node;
    }
    void draw(Canvas*) override {
        note("call Penguin::draw at %i %i frame %i", at.x, at.y, video->frame);
    }
    Rect* bounds(Rect* result) override {
        *result = Rect(at.x, at.y, video->size.x, video->size.y);
        return result;
    }
    std::int32_t isHidden() override { return 0; }
    void setPosition(std::int32_t x, std::int32_t y) override {
        note("call Penguin::setPosition %i %i", x, y);
        at = Point(x, y);
    }

    InterfaceTable interfaces;
    PenguinVideo* video = nullptr;
    PenguinSequence* sequences = nullptr;
    PenguinSequence* current = nullptr;
    std::int32_t frameCount = 0;
    // The host's own, after what the module reads.
    Point at;
};

// "bonus01".."bonus10": a badge whose blend tables the pawn rewrites for its blink (with the module's
// own setOpacity, on this record); each draw shows a checksum of the six tables as they are then.
class Badge : public BonusPicture {
public:
    explicit Badge(std::int32_t number) : number_(number) {}
    void draw(Canvas*) override {
        const std::uint16_t* const parts[] = {blend.srcRed, blend.srcGreen, blend.srcBlue, blend.dstRed, blend.dstGreen, blend.dstBlue};
        std::uint32_t tables = 2166136261u;
        // Every 61st entry: a sample across every colour and alpha that costs little under the emulator.
        for (const std::uint16_t* part : parts)
            for (std::int32_t i = 0; i < BlendTables::kEntries; i += 61) tables = checksum(&part[i], sizeof part[i], tables);
        note("call BonusPicture::draw %i at %i %i opacity %i tables %x", number_, at_.x, at_.y,
             static_cast<std::int32_t>(blend.opacity * 1000.0), tables);
    }
    Rect* bounds(Rect* result) override {
        *result = Rect(at_.x, at_.y, 24, 24);
        return result;
    }
    std::int32_t isHidden() override { return 0; }
    void setPosition(std::int32_t x, std::int32_t y) override { at_ = Point(x, y); }

private:
    std::int32_t number_;
    Point at_;
};

class Producer : public Offered<IKTProducer> {
public:
    Producer() : Offered("IKTProducer", "producer") {}
    void unusedSlot0() override { fail("producer slot 0 called"); }
    void unusedSlot1() override { fail("producer slot 1 called"); }
    void* getObject(const char* name) override {
        note("call IKTProducer::getObject %s", name);
        if (sameTextNoCase(name, "allalpha")) return fontSource;
        if (sameTextNoCase(name, "pingouin")) return static_cast<PenguinPrimary*>(penguin);
        for (std::int32_t n = 1; n <= 10; ++n) {
            char badgeName[16];
            format(badgeName, sizeof badgeName, n < 10 ? "bonus0%i" : "bonus%i", n);
            if (sameTextNoCase(name, badgeName)) return static_cast<BonusPicture*>(badges[n - 1]);
        }
        return nullptr;  // "scoresnd" too: a producer without a score sound
    }
    FontSource* fontSource = nullptr;
    Penguin* penguin = nullptr;
    Badge* badges[10] = {};
};

EveningSurface* theSurface = nullptr;
BlockFont* theFont = nullptr;

}  // namespace

// ---------------------------------------------------------------------------------------------------

void EveningSurface::unusedSlot0() { fail("surface slot 0 called: it is the host's own"); }

void EveningSurface::setColour(Colour colour) {
    note("call ISurface::setColour %i %i %i %i %i", colour.red, colour.green, colour.blue, colour.fourth, colour.fifth);
}

PixelRows* EveningSurface::lockRows(std::int32_t firstRow, std::int32_t lastRow) {
    note("call ISurface::lockRows %i %i", firstRow, lastRow);
    if (firstRow < 0 || lastRow >= kScreenHeight || firstRow > lastRow) {
        fail("surface rows outside the surface asked for");
        return nullptr;
    }
    ++locked;
    rows = PixelRows{pixels + firstRow * kScreenWidth, 16, kScreenWidth * 2};
    return &rows;
}

void EveningSurface::unlockRows(PixelRows* given) {
    note("call ISurface::unlockRows");
    if (given != &rows || locked <= 0) fail("a surface unlock of rows it did not hand out");
    --locked;
}

void EveningSurface::clear(std::uint32_t frame) {
    for (std::int32_t y = 0; y < kScreenHeight; ++y)
        for (std::int32_t x = 0; x < kScreenWidth; ++x)
            pixels[y * kScreenWidth + x] = static_cast<std::uint16_t>(((x + frame) & 31) << 5 | ((y >> 4) & 31));
}

std::uint32_t EveningSurface::checksum() const { return evening::checksum(pixels, sizeof pixels); }

EveningSurface& surface() {
    if (!theSurface) theSurface = make<EveningSurface>();
    return *theSurface;
}

Canvas* canvas() {
    static Canvas context;
    context.surface = &surface();
    context.clip = Rect(0, 0, kScreenWidth, kScreenHeight);
    context.origin = Point(0, 0);
    context.colour = Colour(0, 0, 0);
    context.font = theFont ? &theFont->font : nullptr;
    return &context;
}

void offerMediaFactories(const VideoLook* looks, std::int32_t count) {
    make<VideoFactory>(looks, count);
    make<SoundFactory>();
}

void offerProducer(const VideoLook& penguinLook) {
    theFont = make<BlockFont>();
    auto* producer = make<Producer>();
    producer->fontSource = make<FontSource>();
    producer->fontSource->font = &theFont->font;
    auto* source = make<HostVideo>(penguinLook);
    producer->penguin = make<Penguin>(source, &source->table);
    static const char* const names[] = {"wait01", "wait02", "wait03", "buzz01", "buzz02", "buzz03", "freeze"};
    for (std::int32_t i = 0; i < 7; ++i) producer->penguin->addSequence(names[i], i * 3, 3);
    for (std::int32_t n = 0; n < 10; ++n) producer->badges[n] = make<Badge>(n + 1);
}

std::int32_t soundsPlaying() { return playing; }
std::int32_t openVideos() { return videosOpen; }

}  // namespace evening
