// In-memory doubles of the host's objects, for the unit tests, the fault tests and the fuzz targets:
// archives whose listings, texts and streams a test shapes (streams that read short, negative or
// nothing, or only asynchronously), bitmaps and surfaces of any size and pitch with lock accounting,
// a scripted video, sounds that end at the host's next event pass or when a test says, a recording
// font and a producer. Each records what the module asked of it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "core/abi.h"
#include "core/allocator.h"
#include "host/core/host_engine.h"
#include "media/alpha_video.h"
#include "media/sound.h"
#include "media/text_display.h"
#include "module/services.h"
#include "resources/resource_dir.h"
#include "tests/support/counted_message.h"

namespace doubles {

// The host the doubles post events to and take type ids from: the engine the module is bound to (the
// latest one made), or the process's own while there is none.
inline hostengine::HostEngine& host() {
    if (auto* bound = dynamic_cast<hostengine::HostEngine*>(services().host)) return *bound;
    static hostengine::HostEngine engine;
    return engine;
}

inline std::uint32_t typeId(const char* name) { return host().typeRegistry()->typeIdOf(name); }

// ---------------------------------------------------------------------------------------------------
// Streams and archives

// How a stream reads. Through "IRead": Direct the bytes asked for, as far as there are any; Short at
// most half of them; Negative -1 and nothing read; Claims what it has while claiming the whole size
// asked for. Async only through "IASyncRead", the completion coming from the next event pass; Nothing
// by neither, a stream that cannot be read.
enum class ReadMode : std::uint8_t { Direct, Short, Negative, Claims, Async, Nothing, Count };

class MemStream : public IStream, public IRead, public IASyncRead {
public:
    MemStream(std::string data, ReadMode mode) : data_(std::move(data)), mode_(mode) {
        table.add("IStream", entryValueOf<IStream>(this));
        if (mode_ == ReadMode::Async) table.add("IASyncRead", entryValueOf<IASyncRead>(this));
        else if (mode_ != ReadMode::Nothing) table.add("IRead", entryValueOf<IRead>(this));
    }
    ~MemStream() { *alive_ = false; table.teardown(); }

    std::int32_t size() override { return static_cast<std::int32_t>(data_.size()); }
    std::int32_t read(void* buffer, std::int32_t wanted) override {
        if (mode_ == ReadMode::Negative) return -1;
        if (wanted <= 0 || !buffer) return 0;
        const std::int32_t n = copyOut(buffer, mode_ == ReadMode::Short ? wanted / 2 : wanted);
        return mode_ == ReadMode::Claims ? wanted : n;
    }
    std::int32_t read(void* buffer, std::int32_t wanted, IListener* listener) override {
        host().post([this, alive = alive_, buffer, wanted, listener] {
            if (!*alive || !listener) return;
            const std::int32_t n = (wanted > 0 && buffer) ? copyOut(buffer, wanted) : 0;
            listener->receive(new CountedMessage(0x00020004, n, n));
        });
        return 1;
    }

    InterfaceTable table;

private:
    std::int32_t copyOut(void* buffer, std::int32_t wanted) {
        const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(wanted), data_.size() - offset_);
        std::memcpy(buffer, data_.data() + offset_, n);
        offset_ += n;
        return static_cast<std::int32_t>(n);
    }

    std::string data_;
    std::size_t offset_ = 0;
    ReadMode mode_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);  // a completion never reaches a closed stream
};

// How a container entry opens: Archive the inner archive; Refused the factory returns null; Bare it
// returns an object without "IArchive"; NoFactory a type no factory is registered for.
enum class OpenAs : std::uint8_t { Archive, Refused, Bare, NoFactory };

// One archive: a listing of entries, each with a text and, for containers, an inner archive. An
// entry's own word points at its item, so that the factory opens it as the item says.
class MemArchive : public IArchive {
public:
    struct Item {
        ResourceEntry entry{};
        ResourceInfo info{};
        std::string name, locator, text;
        MemArchive* inner = nullptr;
        ReadMode mode = ReadMode::Direct;
        OpenAs openAs = OpenAs::Archive;
        bool noInfo = false;     // infoOf yields null
        bool openFails = false;  // open yields null
    };

    MemArchive() { table.add("IArchive", entryValueOf<IArchive>(this)); }
    ~MemArchive() { streams_.clear(); table.teardown(); }

    // A plain entry of type `typeName` holding `text`.
    Item& add(const std::string& name, const std::string& text, const char* typeName = "text", const std::string& locator = "") {
        Item& item = items_.emplace_back();
        item.name = name;
        item.text = text;
        item.entry = ResourceEntry{typeId(typeName), 0, nullptr, reinterpret_cast<std::uintptr_t>(&item), item.name.c_str(), nullptr};
        item.info = ResourceInfo{{item.entry.typeId, static_cast<std::uint32_t>(text.size())}};
        setLocator(item, locator);
        return item;
    }
    // An entry opened as an archive of its own, returned for filling (or `existing`, which makes
    // listings that contain themselves or share an archive).
    MemArchive* addArchive(const std::string& name, OpenAs openAs = OpenAs::Archive, MemArchive* existing = nullptr) {
        if (!existing) existing = owned_.emplace_back(std::make_unique<MemArchive>()).get();
        Item& item = add(name, "", openAs == OpenAs::NoFactory ? "archive/nothing" : "archive/memory");
        item.entry.container = 1;
        item.inner = existing;
        item.openAs = openAs;
        return existing;
    }
    void setLocator(Item& item, const std::string& locator) { item.entry.locator = (item.locator = locator).c_str(); }

    ResourceEntry* nextEntry(ResourceEntry* previous) override {
        if (!previous) return items_.empty() ? nullptr : &items_.front().entry;
        for (std::size_t i = 0; i + 1 < items_.size(); ++i)
            if (&items_[i].entry == previous) return &items_[i + 1].entry;
        return nullptr;
    }
    ResourceInfo* infoOf(ResourceEntry* entry) override {
        Item* item = itemOf(entry);
        return item && !item->noInfo ? &item->info : nullptr;
    }
    InterfaceTable* open(ResourceEntry* entry, ResourceInfo*) override {
        Item* item = itemOf(entry);
        if (!item || item->openFails) return nullptr;
        ++opens;
        return &streams_.emplace_back(std::make_unique<MemStream>(item->text, item->mode))->table;
    }
    void close(InterfaceTable* stream) override {
        ++closes;
        std::erase_if(streams_, [stream](const auto& open) { return &open->table == stream; });
    }

    InterfaceTable table;
    int opens = 0, closes = 0;  // streams

private:
    // Only the archive's own entries: an entry of another one passed here is the module's fault.
    Item* itemOf(const ResourceEntry* entry) {
        for (Item& item : items_)
            if (&item.entry == entry) return &item;
        return nullptr;
    }

    std::deque<Item> items_;  // entries point into their items, which must stay put
    std::vector<std::unique_ptr<MemArchive>> owned_;
    std::vector<std::unique_ptr<MemStream>> streams_;
};

// The factory of the "memory" kind: opens the inner archive an entry carries, as the entry says.
class MemArchiveFactory : public hostengine::HostObject, public IArchiveFactory {
public:
    MemArchiveFactory() : HostObject("memory") { interfaces.add("IArchiveFactory", entryValueOf<IArchiveFactory>(this)); }
    InterfaceTable* create(ResourceEntry* entry, ResourceInfo*, InterfaceTable*) override {
        const auto* item = entry ? reinterpret_cast<const MemArchive::Item*>(entry->archiveWord) : nullptr;
        if (!item || !item->inner || item->openAs == OpenAs::Refused) return nullptr;
        return item->openAs == OpenAs::Bare ? &bare_ : &item->inner->table;
    }

private:
    InterfaceTable bare_;
};

// A root node over a memory archive; frees what the module opened below it when it goes.
class MemRoot : public ResourceDir {
public:
    explicit MemRoot(MemArchive& archive) : ResourceDir(&archive, &archive.table) {}
    ~MemRoot() { releaseDescendants(); }
};

// A pawn's sequence table entry: its name and its "count@first" text.
struct SequenceText {
    std::string name, text;
};

// Adds an archive `name` to `parent` holding "dual.avi" and "sequence.ini/color" with `table`.
inline MemArchive* addFigureArchive(MemArchive& parent, const std::string& name, const std::vector<SequenceText>& table) {
    MemArchive* figure = parent.addArchive(name);
    figure->add("dual.avi", "", "video", "mem://" + name + "/dual.avi");
    MemArchive* color = figure->addArchive("sequence.ini")->addArchive("color");
    for (const SequenceText& sequence : table) color->add(sequence.name, sequence.text);
    return figure;
}

// The sequences a pawn plays, one after another: wait01..07, buzz01..03, hppy01..03, uhppy01..03,
// l_left, l_rght, freeze.
inline std::vector<SequenceText> pawnTable(std::int32_t framesEach) {
    std::vector<SequenceText> table;
    auto add = [&](const std::string& name) {
        const std::int32_t first = static_cast<std::int32_t>(table.size()) * framesEach;
        table.push_back(SequenceText{name, std::to_string(framesEach) + "@" + std::to_string(first)});
    };
    for (const char* kind : {"wait0", "buzz0", "hppy0", "uhppy0"})
        for (int i = 1; i <= (kind[0] == 'w' ? 7 : 3); ++i) add(kind + std::to_string(i));
    for (const char* name : {"l_left", "l_rght", "freeze"}) add(name);
    return table;
}

// ---------------------------------------------------------------------------------------------------
// Pixels

// Rows of pixels with an exact extent, so that a read or write past them shows under the sanitizer;
// lock accounting and a switch that makes locking fail. Pitch 0 packs the rows; a negative pitch lays
// them out bottom-up, as device bitmaps may. `Face` is the host interface the rows are locked through.
template <class Face>
class PixelStore : public Face {
public:
    PixelStore(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel, std::int32_t pitch)
        : info_{width, height, bitsPerPixel},
          pitch_(pitch ? pitch : width * bitsPerPixel / 8),
          bytes_(static_cast<std::size_t>(std::abs(pitch_)) * static_cast<std::size_t>(std::max(height, 0))) {}
    // The smallest pitch that holds a row, plus `extra` bytes, negated for bottom-up rows.
    static std::int32_t pitchFor(std::int32_t width, std::int32_t bitsPerPixel, std::int32_t extra, bool bottomUp) {
        const std::int32_t pitch = width * bitsPerPixel / 8 + extra;
        return bottomUp ? -pitch : pitch;
    }

    void unusedSlot0() override {}
    PixelRows* lockRows(std::int32_t first, std::int32_t last) override {
        lockCalls.emplace_back(first, last);
        if (failing || first < 0 || last >= info_.height || first > last) return nullptr;
        return open_.emplace_back(std::make_unique<PixelRows>(PixelRows{row(first), info_.bitsPerPixel, pitch_})).get();
    }
    void unlockRows(PixelRows* rows) override {
        if (std::erase_if(open_, [rows](const auto& open) { return open.get() == rows; }) == 0) ++strayUnlocks;
    }
    int outstanding() const { return static_cast<int>(open_.size()); }

    std::int32_t width() const { return info_.width; }
    std::int32_t height() const { return info_.height; }
    std::uint8_t* row(std::int32_t y) {
        const std::size_t index = static_cast<std::size_t>(pitch_ < 0 ? info_.height - 1 - y : y);
        return bytes_.data() + index * static_cast<std::size_t>(std::abs(pitch_));
    }
    std::uint16_t pixel16(std::int32_t x, std::int32_t y) {
        std::uint16_t value;
        std::memcpy(&value, row(y) + 2 * x, 2);
        return value;
    }
    void setPixel16(std::int32_t x, std::int32_t y, std::uint16_t value) { std::memcpy(row(y) + 2 * x, &value, 2); }
    void fill16(std::uint16_t value) {
        for (std::int32_t y = 0; y < info_.height; ++y)
            for (std::int32_t x = 0; x < info_.width; ++x) setPixel16(x, y, value);
    }
    void fill8(std::uint8_t value) { std::fill(bytes_.begin(), bytes_.end(), value); }
    void fillRandom(std::uint32_t seed) {
        for (std::uint8_t& b : bytes_) {
            seed = seed * 1103515245u + 12345u;
            b = static_cast<std::uint8_t>(seed >> 24);
        }
    }

    std::vector<std::pair<std::int32_t, std::int32_t>> lockCalls;  // every lock asked for, refused ones too
    int strayUnlocks = 0;
    bool failing = false;

protected:
    BitmapInfo info_;

private:
    std::int32_t pitch_;
    std::vector<std::uint8_t> bytes_;
    std::vector<std::unique_ptr<PixelRows>> open_;
};

class MemoryBitmap : public PixelStore<IBitmap> {
public:
    MemoryBitmap(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel, std::int32_t pitch = 0)
        : PixelStore(width, height, bitsPerPixel, pitch) {
        table.add("IBitmap", entryValueOf<IBitmap>(this));
    }
    ~MemoryBitmap() { table.teardown(); }
    const BitmapInfo* info() override { return &info_; }

    InterfaceTable table;
};

class MemorySurface : public PixelStore<ISurface> {
public:
    MemorySurface(std::int32_t width, std::int32_t height, std::int32_t pitch = 0) : PixelStore(width, height, 16, pitch) {}
    void setColour(Colour colour) override { colours.push_back(colour); }

    std::vector<Colour> colours;  // every colour the context passed on
};

// A drawing context over a surface, clipped to the whole surface unless a test says otherwise.
inline Canvas canvasOver(MemorySurface& surface) {
    Canvas canvas;
    canvas.surface = &surface;
    canvas.clip = Rect(0, 0, surface.width(), surface.height());
    return canvas;
}

// ---------------------------------------------------------------------------------------------------
// Video

class FakeVideo : public IVideo {
public:
    FakeVideo(std::int32_t frames, Point frameSize) : frames_(frames), size_(frameSize) {
        table.add("IVideo", entryValueOf<IVideo>(this));
    }
    ~FakeVideo() { table.teardown(); }

    std::int32_t frameCount() override { return frames_; }
    std::int32_t seek(std::int32_t frame) override {
        calls.push_back("seek " + std::to_string(frame));
        outOfRange += frame < 0 || frame >= frames_;
        return 1;
    }
    std::int32_t next() override { calls.push_back("next"); return 7; }
    Point* size(Point* result) override { return &(*result = size_); }
    std::int32_t bitmapCount() override { return static_cast<std::int32_t>(bitmaps.size()); }
    InterfaceTable* bitmap(std::int32_t index) override {
        calls.push_back("bitmap " + std::to_string(index));
        if (index >= 0 && index < bitmapCount()) return bitmaps[static_cast<std::size_t>(index)];
        ++outOfRange;
        return nullptr;
    }

    InterfaceTable table;
    std::vector<InterfaceTable*> bitmaps;  // handles, not owned; null entries allowed
    std::vector<std::string> calls;
    int outOfRange = 0;  // seeks or bitmaps asked for outside the video

private:
    std::int32_t frames_;
    Point size_;
};

// A video factory registered under an object name; opens `video` for any path.
class FakeVideoFactory : public hostengine::HostObject, public IVideoFactory {
public:
    explicit FakeVideoFactory(const char* objectName = "avifile") : HostObject(objectName) {
        interfaces.add("IVideoFactory", entryValueOf<IVideoFactory>(this));
    }
    InterfaceTable* open(const char* path) override {
        opened.push_back(path ? path : "(null)");
        return video ? &video->table : handle;
    }
    void close(InterfaceTable*) override { ++closes; }
    // Handles given out and not closed (one closed twice shows as a huge number).
    std::size_t stillOpen() const { return (video || handle ? opened.size() : 0) - closes; }

    FakeVideo* video = nullptr;        // what open hands out
    InterfaceTable* handle = nullptr;  // handed out instead while video is null; both null: open fails
    std::vector<std::string> opened;
    std::size_t closes = 0;
};

// ---------------------------------------------------------------------------------------------------
// Sound

class FakeSound : public ISound, public IPreloadSound, public ISoundVolume {
public:
    // `parts`: which interfaces the sound offers, from "ISound", "IPreloadSound", "ISoundVolume".
    FakeSound(const std::vector<std::string>& parts, bool endsOnNextPass) : endsOnNextPass_(endsOnNextPass) {
        for (const std::string& part : parts) {
            if (part == "ISound") table.add("ISound", entryValueOf<ISound>(this));
            if (part == "IPreloadSound") table.add("IPreloadSound", entryValueOf<IPreloadSound>(this));
            if (part == "ISoundVolume") table.add("ISoundVolume", entryValueOf<ISoundVolume>(this));
        }
    }
    ~FakeSound() { retire(); table.teardown(); }

    std::int32_t isPlaying() override { return playing; }
    std::int32_t durationMs() override { return 500; }
    void stop() override { calls.push_back("stop"); }
    std::int32_t preload(StreamAdapterParts* stream) override {
        calls.push_back(stream ? "preload" : "preload null");
        // Reads through the stream's "IRead", as a host preloads.
        IRead* reader = stream ? stream->interfaces.find<IRead>("IRead") : nullptr;
        char buffer[64];
        return reader && reader->read(buffer, sizeof buffer) >= 0 ? preloadResult : 0;
    }
    void unload() override { calls.push_back("unload"); }
    std::int32_t play(IListener* playListener, IReferenceCount*) override {
        calls.push_back("play");
        if (playing) return 0;
        listener = playListener;
        playing = playResult;
        if (playing && endsOnNextPass_)
            host().post([this, alive = alive_] {
                if (*alive) finish(nullptr);
            });
        return playResult;
    }
    std::int32_t setVolume(double volume) override { volumes.push_back(volume); return 5; }

    // The end of playback as the host reports it: a notice to the listener given to play.
    void finish(int* deletions) {
        playing = 0;
        if (listener) listener->receive(new CountedMessage(kSoundEnded, 0, 0, deletions));
    }
    // Destroyed by the module: a playback still under way ends without a notice.
    void retire() { *alive_ = false; }
    bool retired() const { return !*alive_; }

    InterfaceTable table;
    std::vector<std::string> calls;
    std::vector<double> volumes;
    IListener* listener = nullptr;
    std::int32_t preloadResult = 1;
    std::int32_t playResult = 1;
    std::int32_t playing = 0;

private:
    bool endsOnNextPass_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// Keeps every sound it made until it goes itself, so that a test can look at one the module destroyed.
class FakeSoundFactory : public hostengine::HostObject, public ISoundFactory {
public:
    FakeSoundFactory() : HostObject("soundfactory") { interfaces.add("ISoundFactory", entryValueOf<ISoundFactory>(this)); }
    InterfaceTable* create(ResourceInfo* info) override {
        infos.push_back(info);
        if (createsNothing) return nullptr;
        return &sounds.emplace_back(std::make_unique<FakeSound>(parts, endsOnNextPass))->table;
    }
    void destroy(InterfaceTable* sound) override {
        destroyed.push_back(sound);
        for (auto& made : sounds)
            if (&made->table == sound) made->retire();
    }

    FakeSound* last() { return sounds.empty() ? nullptr : sounds.back().get(); }
    std::size_t liveSounds() const {
        return static_cast<std::size_t>(std::count_if(sounds.begin(), sounds.end(), [](const auto& made) { return !made->retired(); }));
    }

    std::vector<std::string> parts{"ISound", "IPreloadSound", "ISoundVolume"};
    bool createsNothing = false;
    bool endsOnNextPass = true;  // false: each playback ends when the test calls finish
    std::vector<ResourceInfo*> infos;
    std::vector<std::unique_ptr<FakeSound>> sounds;
    std::vector<InterfaceTable*> destroyed;
};

// ---------------------------------------------------------------------------------------------------
// Font and producer

struct DrawnText {
    std::int32_t x;
    std::int32_t y;
    std::string text;
    std::int32_t red;    // the context's colour at the call
    std::int32_t phase;  // the font's phase at the call
    bool operator==(const DrawnText&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const DrawnText& d) {
    return out << "(" << d.x << "," << d.y << ",'" << d.text << "',red " << d.red << ",phase " << d.phase << ")";
}

// A Font that renders itself, recording each line, `charWidth` pixels per character. With `handlers`,
// phase and scale handlers are present, each recording what it was given.
class RecordingFont : public Font, public IFontRenderer {
public:
    struct Phase : IFontPhase {
        RecordingFont* owner;
        std::int32_t setPhase(std::int32_t phase) override { owner->phases.push_back(phase); return 40 + phase; }
    };
    struct Scale : IFontScale {
        double value = 1.0;
        void set(double scale) override { value = scale; }
        double get() override { return value; }
    };

    explicit RecordingFont(std::int32_t height, std::int32_t charWidth = 10, bool handlers = true) : charWidth_(charWidth) {
        glyphHeight = height;
        renderer = this;
        phase_.owner = this;
        if (!handlers) return;
        phaseHandler = &phase_;
        verticalScale = &vertical;
        horizontalScale = &horizontal;
    }

    void unusedSlot0() override {}
    std::int32_t textWidth(const char* text) override { return text ? charWidth_ * static_cast<std::int32_t>(std::strlen(text)) : 0; }
    void drawText(Canvas* canvas, std::int32_t x, std::int32_t y, const char* text) override {
        drawn.push_back({x, y, text ? text : "", canvas ? canvas->colour.red : 0, phase()});
    }

    std::vector<DrawnText> drawn;
    std::vector<std::int32_t> phases;
    Scale vertical;
    Scale horizontal;

private:
    std::int32_t charWidth_;
    Phase phase_;
};

// A bonus picture: places itself and draws nothing but a lock of the context's first row.
class StillPicture : public BonusPicture {
public:
    void draw(Canvas* canvas) override {
        if (!canvas) return;
        if (PixelRows* rows = canvas->lockRows(0, 0)) canvas->unlockRows(rows);
    }
    Rect* bounds(Rect* result) override { return &(*result = Rect(at.x, at.y, 16, 16)); }
    std::int32_t isHidden() override { return 0; }
    void setPosition(std::int32_t x, std::int32_t y) override { at = Point(x, y); }
    Point at;
};

// The game's producer: hands out the media it owns by name, or nothing at all.
class FakeProducer : public hostengine::HostObject, public IKTProducer {
public:
    FakeProducer() : HostObject("producer") { interfaces.add("IKTProducer", entryValueOf<IKTProducer>(this)); }
    ~FakeProducer() override {
        if (scoreSound) scoreSound->deletingDestructor(1);
        if (penguin) penguin->deletingDestructor(1);
        destroy(fontSource);
    }
    void unusedSlot0() override {}
    void unusedSlot1() override {}
    void* getObject(const char* name) override {
        if (nullForAll || !name) return nullptr;
        const std::string key = name;
        if (key == "scoresnd") return scoreSound;
        if (key == "allalpha") return fontSource;
        if (key == "pingouin") return penguin;
        const int number = key.size() == 7 && key.compare(0, 5, "bonus") == 0 ? std::atoi(key.c_str() + 5) : 0;
        return number >= 1 && number <= 10 ? &pictures[number - 1] : nullptr;
    }

    bool nullForAll = false;
    SoundResource* scoreSound = nullptr;  // owned
    TextDisplay* fontSource = nullptr;    // owned
    KTAlphaVideo* penguin = nullptr;      // owned
    StillPicture pictures[10];
};

}  // namespace doubles
