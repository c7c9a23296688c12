// Host doubles for the fuzz targets: archives in memory whose listings, texts and streams the fuzzer
// shapes (streams that read short, negative or nothing, or only asynchronously), videos and bitmaps of
// any size and pitch, a drawing surface, sounds that report their end from the host's event passes,
// a font and a producer. Everything is made afresh for each input and torn down after it, so that
// every input starts from the same host.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
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

namespace fuzzhost {

// A host-made message, deleted through its table like every message.
class HostMessage final : public Message {
public:
    HostMessage(std::uint32_t code_, std::intptr_t value) {
        code = code_;
        word3 = value;
        word4 = value;
    }
    void* deletingDestructor(unsigned) override { delete this; return this; }
};

// The host the doubles post their events to and take type ids from: the fuzz process's one host (its
// clock, log and event passes; the log is cleared after every input so that a long run does not grow
// it without end), or a test's own host while a HostScope of it lives.
inline hostengine::HostEngine*& scopedHost() {
    static hostengine::HostEngine* engine = nullptr;
    return engine;
}

inline hostengine::HostEngine& host() {
    if (hostengine::HostEngine* engine = scopedHost()) return *engine;
    static hostengine::HostEngine engine;
    return engine;
}

class HostScope {
public:
    explicit HostScope(hostengine::HostEngine& engine) : previous_(scopedHost()) { scopedHost() = &engine; }
    ~HostScope() { scopedHost() = previous_; }
    HostScope(const HostScope&) = delete;
    HostScope& operator=(const HostScope&) = delete;

private:
    hostengine::HostEngine* previous_;
};

// Ends an input: runs what the host still has queued and forgets the log.
inline void settleHost() {
    host().drainEvents(100);
    host().clearLog();
}

inline std::uint32_t typeId(const char* name) { return host().typeRegistry()->typeIdOf(name); }

// ---------------------------------------------------------------------------------------------------
// Streams and archives

enum class ReadMode : std::uint8_t {
    Direct,    // "IRead": the bytes asked for, as far as there are any
    Short,     // "IRead": at most half of what was asked for
    Negative,  // "IRead": -1 and nothing read
    Claims,    // "IRead": reads what it has but claims the whole size asked for
    Async,     // only "IASyncRead": the completion comes from the next event pass
    Nothing,   // neither: a stream that cannot be read
    Count
};

class MemArchive;

class MemStream : public IStream, public IRead, public IASyncRead, public ISeekable {
public:
    MemStream(std::string data, ReadMode mode) : data_(std::move(data)), mode_(mode), alive_(std::make_shared<bool>(true)) {
        table.add("IStream", entryValueOf<IStream>(this));
        if (mode_ == ReadMode::Async) table.add("IASyncRead", entryValueOf<IASyncRead>(this));
        else if (mode_ != ReadMode::Nothing) table.add("IRead", entryValueOf<IRead>(this));
        table.add("ISeekable", entryValueOf<ISeekable>(static_cast<ISeekable*>(this)));
    }
    ~MemStream() {
        *alive_ = false;
        table.teardown();
    }
    MemStream(const MemStream&) = delete;
    MemStream& operator=(const MemStream&) = delete;

    std::int32_t size() override { return static_cast<std::int32_t>(data_.size()); }
    std::int32_t read(void* buffer, std::int32_t wanted) override {
        if (mode_ == ReadMode::Negative) return -1;
        if (wanted <= 0 || !buffer) return 0;
        std::int32_t limit = mode_ == ReadMode::Short ? wanted / 2 : wanted;
        std::int32_t n = copyOut(buffer, limit);
        return mode_ == ReadMode::Claims ? wanted : n;
    }
    std::int32_t read(void* buffer, std::int32_t wanted, IListener* listener) override {
        std::shared_ptr<bool> alive = alive_;
        host().post([this, alive, buffer, wanted, listener] {
            if (!*alive || !listener) return;
            std::int32_t n = (wanted > 0 && buffer) ? copyOut(buffer, wanted) : 0;
            listener->receive(new HostMessage(0x00020004, n));
        });
        return 1;
    }
    std::int32_t seek(std::int32_t offset, std::int32_t origin) override {
        std::int64_t base = origin == 1 ? static_cast<std::int64_t>(offset_) : origin == 2 ? static_cast<std::int64_t>(data_.size()) : 0;
        std::int64_t target = base + offset;
        if (target < 0 || target > static_cast<std::int64_t>(data_.size())) return -1;
        offset_ = static_cast<std::size_t>(target);
        return static_cast<std::int32_t>(offset_);
    }
    std::int32_t tell() override { return static_cast<std::int32_t>(offset_); }

    InterfaceTable table;

private:
    std::int32_t copyOut(void* buffer, std::int32_t wanted) {
        std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(wanted), data_.size() - offset_);
        std::memcpy(buffer, data_.data() + offset_, n);
        offset_ += n;
        return static_cast<std::int32_t>(n);
    }

    std::string data_;
    std::size_t offset_ = 0;
    ReadMode mode_;
    std::shared_ptr<bool> alive_;
};

enum class OpenAs : std::uint8_t {
    Archive,     // the factory opens the inner archive
    Refused,     // the factory returns null
    Bare,        // the factory returns an object without "IArchive"
    NoFactory,   // a type no factory is registered for
};

// One archive: a listing of entries, each with a text and, for containers, an inner archive.
class MemArchive : public IArchive {
public:
    struct Item {
        ResourceEntry entry{};
        ResourceInfo info{};
        std::string name;
        std::string locator;
        std::string text;
        MemArchive* inner = nullptr;
        ReadMode mode = ReadMode::Direct;
        OpenAs openAs = OpenAs::Archive;
        bool noInfo = false;     // infoOf yields null
        bool openFails = false;  // open yields null
    };

    MemArchive() { table.add("IArchive", entryValueOf<IArchive>(this)); }
    ~MemArchive() {
        streams_.clear();
        table.teardown();
    }
    MemArchive(const MemArchive&) = delete;
    MemArchive& operator=(const MemArchive&) = delete;

    // A plain entry of type `typeName` holding `text`.
    Item& add(const std::string& name, const std::string& text, const char* typeName = "text") {
        items_.push_back(std::make_unique<Item>());
        Item& item = *items_.back();
        item.name = name;
        item.text = text;
        item.entry = ResourceEntry{typeId(typeName), 0, nullptr, 0, nullptr, nullptr};
        fix(item);
        return item;
    }
    // An entry opened as an archive of its own, returned for filling (or `existing`, which makes
    // listings that contain themselves or share an archive).
    MemArchive* addArchive(const std::string& name, OpenAs openAs = OpenAs::Archive, MemArchive* existing = nullptr) {
        MemArchive* inner = existing;
        if (!inner) {
            owned_.push_back(std::make_unique<MemArchive>());
            inner = owned_.back().get();
        }
        Item& item = add(name, "", openAs == OpenAs::NoFactory ? "archive/nothing" : "archive/memory");
        item.entry.container = 1;
        item.inner = inner;
        item.openAs = openAs;
        return inner;
    }
    void setLocator(Item& item, const std::string& locator) {
        item.locator = locator;
        fix(item);
    }

    ResourceEntry* nextEntry(ResourceEntry* previous) override {
        if (!previous) return items_.empty() ? nullptr : &items_.front()->entry;
        for (std::size_t i = 0; i + 1 < items_.size(); ++i)
            if (&items_[i]->entry == previous) return &items_[i + 1]->entry;
        return nullptr;
    }
    ResourceInfo* infoOf(ResourceEntry* entry) override {
        Item* item = itemOf(entry);
        return item && !item->noInfo ? &item->info : nullptr;
    }
    InterfaceTable* open(ResourceEntry* entry, ResourceInfo*) override {
        Item* item = itemOf(entry);
        if (!item || item->openFails) return nullptr;
        streams_.push_back(std::make_unique<MemStream>(item->text, item->mode));
        return &streams_.back()->table;
    }
    void close(InterfaceTable* stream) override {
        for (auto it = streams_.begin(); it != streams_.end(); ++it)
            if (&(*it)->table == stream) {
                streams_.erase(it);
                return;
            }
    }

    Item* itemOf(const ResourceEntry* entry) {
        for (auto& item : items_)
            if (&item->entry == entry) return item.get();
        return nullptr;
    }
    std::size_t size() const { return items_.size(); }
    Item& item(std::size_t index) { return *items_[index]; }
    std::size_t openStreams() const { return streams_.size(); }

    InterfaceTable table;

private:
    static void fix(Item& item) {
        item.entry.name = item.name.c_str();
        item.entry.locator = item.locator.c_str();
        item.info = ResourceInfo{};
        item.info.words[0] = item.entry.typeId;
        item.info.words[1] = static_cast<std::uint32_t>(item.text.size());
    }

    std::vector<std::unique_ptr<Item>> items_;
    std::vector<std::unique_ptr<MemArchive>> owned_;
    std::vector<std::unique_ptr<MemStream>> streams_;
};

// The factory of the "memory" kind: opens the inner archive an entry carries, as the entry says.
class MemArchiveFactory : public hostengine::HostObject, public IArchiveFactory {
public:
    MemArchiveFactory() : HostObject("memory") { interfaces.add("IArchiveFactory", entryValueOf<IArchiveFactory>(this)); }
    InterfaceTable* create(ResourceEntry* entry, ResourceInfo*, InterfaceTable*) override {
        ++creations;
        for (MemArchive* archive : archives)
            if (MemArchive::Item* item = archive->itemOf(entry)) {
                if (item->openAs == OpenAs::Refused || !item->inner) return nullptr;
                if (item->openAs == OpenAs::Bare) return &bare_;
                return &item->inner->table;
            }
        return nullptr;
    }
    std::vector<MemArchive*> archives;  // every archive whose entries this factory may be asked to open
    int creations = 0;

private:
    InterfaceTable bare_;
};

// A root node over a memory archive; frees what the module opened below it when it goes.
class MemRoot : public ResourceDir {
public:
    explicit MemRoot(MemArchive& archive) : ResourceDir(&archive, &archive.table) {}
    ~MemRoot() { releaseDescendants(); }
};

// ---------------------------------------------------------------------------------------------------
// Pixels

// Rows of pixels with an exact extent, so that a read or write past them shows under the sanitizer.
// A negative pitch lays the rows out bottom-up, as device bitmaps may.
class PixelBuffer {
public:
    PixelBuffer(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel, std::int32_t pitch)
        : info_{width, height, bitsPerPixel}, pitch_(pitch) {
        const std::size_t rowBytes = static_cast<std::size_t>(pitch < 0 ? -static_cast<std::int64_t>(pitch) : pitch);
        bytes_.assign(rowBytes * static_cast<std::size_t>(height > 0 ? height : 0), 0x5A);
    }
    // The smallest pitch that holds a row, plus `extra` bytes, negated for bottom-up rows.
    static std::int32_t pitchFor(std::int32_t width, std::int32_t bitsPerPixel, std::int32_t extra, bool bottomUp) {
        std::int32_t pitch = width * bitsPerPixel / 8 + extra;
        return bottomUp ? -pitch : pitch;
    }

    PixelRows* lock(std::int32_t first, std::int32_t last) {
        if (failing || first < 0 || last >= info_.height || first > last) return nullptr;
        open_.push_back(std::make_unique<PixelRows>(PixelRows{row(first), info_.bitsPerPixel, pitch_}));
        return open_.back().get();
    }
    void unlock(PixelRows* rows) {
        for (auto it = open_.begin(); it != open_.end(); ++it)
            if (it->get() == rows) {
                open_.erase(it);
                return;
            }
        ++strayUnlocks;
    }
    std::uint8_t* row(std::int32_t y) {
        const std::size_t rowBytes = static_cast<std::size_t>(pitch_ < 0 ? -static_cast<std::int64_t>(pitch_) : pitch_);
        const std::size_t index = static_cast<std::size_t>(pitch_ < 0 ? info_.height - 1 - y : y);
        return bytes_.data() + index * rowBytes;
    }
    void fillRandom(std::uint32_t seed) {
        for (std::uint8_t& b : bytes_) {
            seed = seed * 1103515245u + 12345u;
            b = static_cast<std::uint8_t>(seed >> 24);
        }
    }

    const BitmapInfo* info() const { return &info_; }
    int outstanding() const { return static_cast<int>(open_.size()); }
    bool failing = false;
    int strayUnlocks = 0;

private:
    BitmapInfo info_;
    std::int32_t pitch_;
    std::vector<std::uint8_t> bytes_;
    std::vector<std::unique_ptr<PixelRows>> open_;
};

class FuzzBitmap : public IBitmap, public PixelBuffer {
public:
    FuzzBitmap(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel, std::int32_t pitch)
        : PixelBuffer(width, height, bitsPerPixel, pitch) {
        table.add("IBitmap", entryValueOf<IBitmap>(this));
    }
    ~FuzzBitmap() { table.teardown(); }
    void unusedSlot0() override {}
    const BitmapInfo* info() override { return PixelBuffer::info(); }
    PixelRows* lockRows(std::int32_t first, std::int32_t last) override { return lock(first, last); }
    void unlockRows(PixelRows* rows) override { unlock(rows); }
    InterfaceTable table;
};

class FuzzSurface : public ISurface, public PixelBuffer {
public:
    FuzzSurface(std::int32_t width, std::int32_t height, std::int32_t pitch) : PixelBuffer(width, height, 16, pitch) {}
    void unusedSlot0() override {}
    void setColour(Colour) override {}
    PixelRows* lockRows(std::int32_t first, std::int32_t last) override { return lock(first, last); }
    void unlockRows(PixelRows* rows) override { unlock(rows); }
};

// ---------------------------------------------------------------------------------------------------
// Videos

class FuzzVideo : public IVideo {
public:
    FuzzVideo(std::int32_t frames, Point frameSize) : frames_(frames), size_(frameSize) {
        table.add("IVideo", entryValueOf<IVideo>(this));
    }
    ~FuzzVideo() { table.teardown(); }
    std::int32_t frameCount() override { return frames_; }
    std::int32_t seek(std::int32_t frame) override {
        if (frame < 0 || frame >= frames_) ++outOfRange;
        return 1;
    }
    std::int32_t next() override { return 1; }
    Point* size(Point* result) override {
        *result = size_;
        return result;
    }
    std::int32_t bitmapCount() override { return static_cast<std::int32_t>(bitmaps.size()); }
    InterfaceTable* bitmap(std::int32_t index) override {
        if (index < 0 || index >= bitmapCount()) {
            ++outOfRange;
            return nullptr;
        }
        return bitmaps[static_cast<std::size_t>(index)];
    }

    InterfaceTable table;
    std::vector<InterfaceTable*> bitmaps;  // handles, not owned; null entries allowed
    int outOfRange = 0;                    // seeks or bitmaps asked for outside the video

private:
    std::int32_t frames_;
    Point size_;
};

// The "avifile" factory: opens `video` for any path (or nothing, when it is null).
class FuzzVideoFactory : public hostengine::HostObject, public IVideoFactory {
public:
    FuzzVideoFactory() : HostObject("avifile") { interfaces.add("IVideoFactory", entryValueOf<IVideoFactory>(this)); }
    InterfaceTable* open(const char*) override {
        if (!video) return nullptr;
        ++openCount;
        return &video->table;
    }
    void close(InterfaceTable*) override { ++closeCount; }

    FuzzVideo* video = nullptr;
    int openCount = 0;
    int closeCount = 0;
};

// ---------------------------------------------------------------------------------------------------
// Sounds: each playback ends at the next event pass (or when stopped), with a notice to its listener.

class FuzzSoundFactory;

class FuzzSound : public ISound, public IPreloadSound, public ISoundVolume {
public:
    explicit FuzzSound(bool preloads) : preloads_(preloads), alive_(std::make_shared<bool>(true)) {
        table.add("ISound", entryValueOf<ISound>(this));
        table.add("IPreloadSound", entryValueOf<IPreloadSound>(this));
        table.add("ISoundVolume", entryValueOf<ISoundVolume>(this));
    }
    ~FuzzSound() {
        *alive_ = false;
        table.teardown();
    }
    std::int32_t isPlaying() override { return playing_; }
    std::int32_t durationMs() override { return 100; }
    void stop() override {}
    std::int32_t preload(StreamAdapterParts* stream) override {
        if (!stream || !preloads_) return 0;
        // Reads through the stream's "IRead", as a host preloads.
        IRead* reader = stream->interfaces.find<IRead>("IRead");
        char buffer[64];
        return reader && reader->read(buffer, sizeof buffer) >= 0 ? 1 : 0;
    }
    void unload() override {}
    std::int32_t play(IListener* listener, IReferenceCount*) override {
        if (playing_) return 0;
        playing_ = 1;
        std::shared_ptr<bool> alive = alive_;
        host().post([this, alive, listener] {
            if (!*alive) return;
            playing_ = 0;
            if (listener) listener->receive(new HostMessage(kSoundEnded, 0));
        });
        return 1;
    }
    std::int32_t setVolume(double) override { return 1; }

    InterfaceTable table;

private:
    bool preloads_;
    std::int32_t playing_ = 0;
    std::shared_ptr<bool> alive_;
};

class FuzzSoundFactory : public hostengine::HostObject, public ISoundFactory {
public:
    FuzzSoundFactory() : HostObject("sound") { interfaces.add("ISoundFactory", entryValueOf<ISoundFactory>(this)); }
    InterfaceTable* create(ResourceInfo*) override {
        if (createsNothing) return nullptr;
        sounds_.push_back(std::make_unique<FuzzSound>(preloads));
        return &sounds_.back()->table;
    }
    void destroy(InterfaceTable* sound) override {
        for (auto it = sounds_.begin(); it != sounds_.end(); ++it)
            if (&(*it)->table == sound) {
                sounds_.erase(it);
                return;
            }
    }
    bool createsNothing = false;
    bool preloads = true;
    std::size_t liveSounds() const { return sounds_.size(); }

private:
    std::vector<std::unique_ptr<FuzzSound>> sounds_;
};

// ---------------------------------------------------------------------------------------------------
// Font and producer

class FuzzFont : public Font {
public:
    struct Renderer : IFontRenderer {
        void unusedSlot0() override {}
        std::int32_t textWidth(const char* text) override { return text ? 6 * static_cast<std::int32_t>(std::strlen(text)) : 0; }
        void drawText(Canvas*, std::int32_t, std::int32_t, const char* text) override { drawn += text ? std::strlen(text) : 0; }
        std::size_t drawn = 0;
    };
    FuzzFont() {
        glyphHeight = 12;
        renderer = &renderer_;
    }
    Renderer renderer_;
};

// A bonus picture: places itself and draws nothing but a lock of the context's first row.
class FuzzPicture : public BonusPicture {
public:
    void draw(Canvas* canvas) override {
        if (!canvas) return;
        if (PixelRows* rows = canvas->lockRows(0, 0)) canvas->unlockRows(rows);
    }
    Rect* bounds(Rect* result) override {
        *result = Rect(at.x, at.y, 16, 16);
        return result;
    }
    std::int32_t isHidden() override { return 0; }
    void setPosition(std::int32_t x, std::int32_t y) override { at = Point(x, y); }
    Point at;
};

class FuzzProducer : public hostengine::HostObject, public IKTProducer {
public:
    FuzzProducer() : HostObject("producer") { interfaces.add("IKTProducer", entryValueOf<IKTProducer>(this)); }
    ~FuzzProducer() override {
        if (scoreSound) scoreSound->deletingDestructor(1);
        if (penguin) penguin->deletingDestructor(1);
        destroy(fontSource);
    }
    void unusedSlot0() override {}
    void unusedSlot1() override {}
    void* getObject(const char* name) override {
        if (nullForAll || !name) return nullptr;
        std::string key = name;
        if (key == "scoresnd") return scoreSound;
        if (key == "allalpha") return fontSource;
        if (key == "pingouin") return penguin;
        if (key.size() == 7 && key.compare(0, 5, "bonus") == 0) {
            int number = std::atoi(key.c_str() + 5);
            if (number >= 1 && number <= 10) return &pictures[static_cast<std::size_t>(number - 1)];
        }
        return nullptr;
    }

    bool nullForAll = false;
    SoundResource* scoreSound = nullptr;  // owned
    TextDisplay* fontSource = nullptr;    // owned
    KTAlphaVideo* penguin = nullptr;      // owned
    FuzzPicture pictures[10];
};

// ---------------------------------------------------------------------------------------------------
// A pawn's archive: dual.avi and a sequence table of "count@first" texts.

struct SequenceText {
    std::string name;
    std::string text;
};

// Adds an archive named `name` to `parent` holding "dual.avi" and "sequence.ini/color" with `table`.
inline MemArchive* addFigureArchive(MemArchive& parent, const std::string& name, const std::vector<SequenceText>& table) {
    MemArchive* figure = parent.addArchive(name);
    MemArchive::Item& dual = figure->add("dual.avi", "", "video");
    figure->setLocator(dual, "mem://" + name + "/dual.avi");
    MemArchive* ini = figure->addArchive("sequence.ini");
    MemArchive* color = ini->addArchive("color");
    for (const SequenceText& sequence : table) color->add(sequence.name, sequence.text);
    return figure;
}

// The sequences a pawn plays: wait01..07, buzz01..03, hppy01..03, uhppy01..03, l_left, l_rght, freeze.
inline std::vector<SequenceText> pawnTable(std::int32_t framesEach) {
    std::vector<SequenceText> table;
    std::int32_t next = 0;
    auto add = [&](const std::string& name) {
        table.push_back(SequenceText{name, std::to_string(framesEach) + "@" + std::to_string(next)});
        next += framesEach;
    };
    for (int i = 1; i <= 7; ++i) add("wait0" + std::to_string(i));
    for (int i = 1; i <= 3; ++i) add("buzz0" + std::to_string(i));
    for (int i = 1; i <= 3; ++i) add("hppy0" + std::to_string(i));
    for (int i = 1; i <= 3; ++i) add("uhppy0" + std::to_string(i));
    add("l_left");
    add("l_rght");
    add("freeze");
    return table;
}

// Registers every archive reachable from `root` with the factory.
inline void registerArchives(MemArchiveFactory& factory, MemArchive& root, int depth = 0) {
    factory.archives.push_back(&root);
    if (depth > 16) return;
    for (std::size_t i = 0; i < root.size(); ++i)
        if (MemArchive* inner = root.item(i).inner)
            if (inner != &root) registerArchives(factory, *inner, depth + 1);
}

// Stops the run when the module leaves something behind: libFuzzer reports the input.
inline void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

}  // namespace fuzzhost
