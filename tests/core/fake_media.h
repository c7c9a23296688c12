// Small test doubles of the host's media interfaces: memory bitmaps and surfaces with lock accounting,
// a scripted video and its factory, a host sound and its factory, a recording font, and an in-memory
// archive tree for resource lookups. Each records what the module asked of it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "core/abi.h"
#include "host/core/host_engine.h"
#include "module/services.h"
#include "resources/resource_dir.h"
#include "tests/support/counted_message.h"

namespace fakes {

// ---------------------------------------------------------------------------------------------------
// Pixels in memory

// Rows of pixels with exact pitch (so reading or writing past them shows under the sanitizer), lock
// accounting and a switch that makes locking fail.
class PixelStore {
public:
    PixelStore(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel)
        : info_{width, height, bitsPerPixel},
          pitch_(width * bitsPerPixel / 8),
          bytes_(static_cast<std::size_t>(pitch_) * static_cast<std::size_t>(height)) {}

    const BitmapInfo* info() const { return &info_; }
    std::int32_t width() const { return info_.width; }
    std::int32_t height() const { return info_.height; }

    PixelRows* lock(std::int32_t first, std::int32_t last) {
        lockCalls.emplace_back(first, last);
        if (failing || first < 0 || last >= info_.height || first > last) return nullptr;
        auto rows = std::make_unique<PixelRows>(PixelRows{bytes_.data() + static_cast<std::size_t>(first) * pitch_,
                                                          info_.bitsPerPixel, pitch_});
        PixelRows* result = rows.get();
        open_.push_back(std::move(rows));
        return result;
    }

    void unlock(PixelRows* rows) {
        for (auto it = open_.begin(); it != open_.end(); ++it) {
            if (it->get() == rows) {
                open_.erase(it);
                return;
            }
        }
        ++strayUnlocks;
    }

    int outstanding() const { return static_cast<int>(open_.size()); }

    std::uint16_t pixel16(std::int32_t x, std::int32_t y) const {
        std::uint16_t value;
        std::memcpy(&value, bytes_.data() + static_cast<std::size_t>(y) * pitch_ + x * 2, 2);
        return value;
    }
    void setPixel16(std::int32_t x, std::int32_t y, std::uint16_t value) {
        std::memcpy(bytes_.data() + static_cast<std::size_t>(y) * pitch_ + x * 2, &value, 2);
    }
    void setPixel8(std::int32_t x, std::int32_t y, std::uint8_t value) { bytes_[static_cast<std::size_t>(y) * pitch_ + x] = value; }
    void fill16(std::uint16_t value) {
        for (std::int32_t y = 0; y < info_.height; ++y)
            for (std::int32_t x = 0; x < info_.width; ++x) setPixel16(x, y, value);
    }
    void fill8(std::uint8_t value) { std::memset(bytes_.data(), value, bytes_.size()); }

    std::vector<std::pair<std::int32_t, std::int32_t>> lockCalls;
    int strayUnlocks = 0;
    bool failing = false;

private:
    BitmapInfo info_;
    std::int32_t pitch_;
    std::vector<std::uint8_t> bytes_;
    std::vector<std::unique_ptr<PixelRows>> open_;
};

class MemoryBitmap : public IBitmap, public PixelStore {
public:
    MemoryBitmap(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel)
        : PixelStore(width, height, bitsPerPixel) {
        table.add("IBitmap", entryValueOf<IBitmap>(this));
    }
    ~MemoryBitmap() { table.teardown(); }

    void unusedSlot0() override {}
    const BitmapInfo* info() override { return PixelStore::info(); }
    PixelRows* lockRows(std::int32_t first, std::int32_t last) override { return lock(first, last); }
    void unlockRows(PixelRows* rows) override { unlock(rows); }

    InterfaceTable table;
};

class MemorySurface : public ISurface, public PixelStore {
public:
    MemorySurface(std::int32_t width, std::int32_t height) : PixelStore(width, height, 16) {}
    void unusedSlot0() override {}
    void setColour(Colour colour) override { colours.push_back(colour); }
    PixelRows* lockRows(std::int32_t first, std::int32_t last) override { return lock(first, last); }
    void unlockRows(PixelRows* rows) override { unlock(rows); }

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
        return 1;
    }
    std::int32_t next() override {
        calls.push_back("next");
        return nextResult;
    }
    Point* size(Point* result) override {
        *result = size_;
        return result;
    }
    std::int32_t bitmapCount() override { return static_cast<std::int32_t>(bitmaps.size()); }
    InterfaceTable* bitmap(std::int32_t index) override {
        calls.push_back("bitmap " + std::to_string(index));
        return bitmaps.at(static_cast<std::size_t>(index));
    }

    InterfaceTable table;
    std::vector<InterfaceTable*> bitmaps;  // handles, not owned
    std::vector<std::string> calls;
    std::int32_t nextResult = 7;

private:
    std::int32_t frames_;
    Point size_;
};

// A video factory registered with the host under an object name; opens `video` for any path.
class FakeVideoFactory : public hostengine::HostObject, public IVideoFactory {
public:
    explicit FakeVideoFactory(const char* objectName = "avifile") : HostObject(objectName) {
        interfaces.add("IVideoFactory", entryValueOf<IVideoFactory>(this));
    }
    InterfaceTable* open(const char* path) override {
        opened.push_back(path ? path : "(null)");
        return video ? &video->table : handle;
    }
    void close(InterfaceTable* handle) override { closed.push_back(handle); }

    FakeVideo* video = nullptr;        // what open hands out
    InterfaceTable* handle = nullptr;  // handed out instead while video is null; both null: open fails
    std::vector<std::string> opened;
    std::vector<InterfaceTable*> closed;
};

// ---------------------------------------------------------------------------------------------------
// Sound

class FakeHostSound {
public:
    struct SoundPart : ISound {
        FakeHostSound* owner;
        std::int32_t isPlaying() override { return owner->playing; }
        std::int32_t durationMs() override { return 500; }
        void stop() override { owner->calls.push_back("stop"); }
    };
    struct PreloadPart : IPreloadSound {
        FakeHostSound* owner;
        std::int32_t preload(StreamAdapterParts* stream) override {
            owner->calls.push_back(stream ? "preload" : "preload null");
            return owner->preloadResult;
        }
        void unload() override { owner->calls.push_back("unload"); }
        std::int32_t play(IListener* listener, IReferenceCount* references) override {
            owner->calls.push_back("play");
            owner->listener = listener;
            owner->referenceCount = references;
            owner->playing = owner->playResult;
            return owner->playResult;
        }
    };
    struct VolumePart : ISoundVolume {
        FakeHostSound* owner;
        std::int32_t setVolume(double volume) override {
            owner->volumes.push_back(volume);
            return 5;
        }
    };

    // `parts`: which interfaces the sound offers, from "ISound", "IPreloadSound", "ISoundVolume".
    explicit FakeHostSound(const std::vector<std::string>& parts) {
        sound_.owner = this;
        preload_.owner = this;
        volume_.owner = this;
        for (const std::string& part : parts) {
            if (part == "ISound") table.add("ISound", entryValueOf<ISound>(&sound_));
            if (part == "IPreloadSound") table.add("IPreloadSound", entryValueOf<IPreloadSound>(&preload_));
            if (part == "ISoundVolume") table.add("ISoundVolume", entryValueOf<ISoundVolume>(&volume_));
        }
    }
    ~FakeHostSound() { table.teardown(); }

    // The end of playback as the host reports it: a notice to the listener given to play.
    void finish(int* deletions) {
        playing = 0;
        if (listener) listener->receive(new CountedMessage(kSoundEnded, 0, 0, deletions));
    }

    InterfaceTable table;
    std::vector<std::string> calls;
    std::vector<double> volumes;
    IListener* listener = nullptr;
    IReferenceCount* referenceCount = nullptr;
    std::int32_t preloadResult = 1;
    std::int32_t playResult = 1;
    std::int32_t playing = 0;

private:
    SoundPart sound_;
    PreloadPart preload_;
    VolumePart volume_;
};

class FakeSoundFactory : public hostengine::HostObject, public ISoundFactory {
public:
    FakeSoundFactory() : HostObject("soundfactory") { interfaces.add("ISoundFactory", entryValueOf<ISoundFactory>(this)); }

    InterfaceTable* create(ResourceInfo* info) override {
        infos.push_back(info);
        if (!createSucceeds) return nullptr;
        sounds.push_back(std::make_unique<FakeHostSound>(parts));
        return &sounds.back()->table;
    }
    void destroy(InterfaceTable* sound) override { destroyed.push_back(sound); }

    FakeHostSound* last() { return sounds.empty() ? nullptr : sounds.back().get(); }

    std::vector<std::string> parts{"ISound", "IPreloadSound", "ISoundVolume"};
    bool createSucceeds = true;
    std::vector<ResourceInfo*> infos;
    std::vector<std::unique_ptr<FakeHostSound>> sounds;
    std::vector<InterfaceTable*> destroyed;
};

// ---------------------------------------------------------------------------------------------------
// Font

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

// A Font whose renderer records each line; 10 pixels per character. Phase and scale handlers are
// present, each recording what it was given.
class RecordingFont : public Font {
public:
    struct Renderer : IFontRenderer {
        RecordingFont* owner;
        void unusedSlot0() override {}
        std::int32_t textWidth(const char* text) override { return 10 * static_cast<std::int32_t>(std::strlen(text)); }
        void drawText(Canvas* canvas, std::int32_t x, std::int32_t y, const char* text) override {
            owner->drawn.push_back({x, y, text, canvas->colour.red, owner->phase()});
        }
    };
    struct Phase : IFontPhase {
        RecordingFont* owner;
        std::int32_t setPhase(std::int32_t phase) override {
            owner->phases.push_back(phase);
            return 40 + phase;
        }
    };
    struct Scale : IFontScale {
        double value = 1.0;
        void set(double scale) override { value = scale; }
        double get() override { return value; }
    };

    explicit RecordingFont(std::int32_t height) {
        glyphHeight = height;
        renderer_.owner = this;
        phase_.owner = this;
        renderer = &renderer_;
        phaseHandler = &phase_;
        verticalScale = &vertical;
        horizontalScale = &horizontal;
    }

    std::vector<DrawnText> drawn;
    std::vector<std::int32_t> phases;
    Scale vertical;
    Scale horizontal;

private:
    Renderer renderer_;
    Phase phase_;
};

// ---------------------------------------------------------------------------------------------------
// Archives in memory

// One archive: a listing of entries, each with a text and, for containers, an inner archive.
class MemoryArchive : public IArchive {
public:
    MemoryArchive() { table.add("IArchive", entryValueOf<IArchive>(this)); }
    ~MemoryArchive() { table.teardown(); }

    // A plain entry holding `text`.
    ResourceEntry* add(const std::string& name, const std::string& text, const std::string& locator = "") {
        return addEntry(name, text, locator, nullptr);
    }
    // An entry opened as an archive of its own, returned for filling.
    MemoryArchive* addArchive(const std::string& name) {
        inner_.push_back(std::make_unique<MemoryArchive>());
        addEntry(name, "", "", inner_.back().get());
        return inner_.back().get();
    }

    ResourceEntry* nextEntry(ResourceEntry* previous) override {
        if (!previous) return entries_.empty() ? nullptr : &entries_.front()->entry;
        for (std::size_t i = 0; i + 1 < entries_.size(); ++i)
            if (&entries_[i]->entry == previous) return &entries_[i + 1]->entry;
        return nullptr;
    }
    ResourceInfo* infoOf(ResourceEntry* entry) override { return &itemOf(entry)->info; }
    InterfaceTable* open(ResourceEntry* entry, ResourceInfo*) override {
        streams_.push_back(std::make_unique<Stream>(itemOf(entry)->text));
        ++opens;
        return &streams_.back()->table;
    }
    void close(InterfaceTable* stream) override {
        ++closes;
        for (auto it = streams_.begin(); it != streams_.end(); ++it)
            if (&(*it)->table == stream) {
                streams_.erase(it);
                return;
            }
    }

    InterfaceTable table;
    int opens = 0;
    int closes = 0;

    static std::uint32_t typeIdOf(const char* name) { return services().typeRegistry->typeIdOf(name); }

private:
    struct Item {
        ResourceEntry entry;
        ResourceInfo info;
        std::string name;
        std::string locator;
        std::string text;
    };
    struct Stream : IStream, IRead {
        explicit Stream(std::string data_) : data(std::move(data_)) {
            table.add("IStream", entryValueOf<IStream>(this));
            table.add("IRead", entryValueOf<IRead>(this));
        }
        ~Stream() { table.teardown(); }
        std::int32_t size() override { return static_cast<std::int32_t>(data.size()); }
        std::int32_t read(void* buffer, std::int32_t wanted) override {
            std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(wanted), data.size() - offset);
            std::memcpy(buffer, data.data() + offset, n);
            offset += n;
            return static_cast<std::int32_t>(n);
        }
        InterfaceTable table;
        std::string data;
        std::size_t offset = 0;
    };

    ResourceEntry* addEntry(const std::string& name, const std::string& text, const std::string& locator, MemoryArchive* inner) {
        entries_.push_back(std::make_unique<Item>());
        Item& item = *entries_.back();
        item.name = name;
        item.locator = locator;
        item.text = text;
        item.entry = ResourceEntry{typeIdOf(inner ? "archive/memory" : "text"), inner ? 1u : 0u, item.locator.c_str(),
                                   reinterpret_cast<std::uintptr_t>(inner), item.name.c_str(), nullptr};
        item.info = ResourceInfo{};
        item.info.words[0] = item.entry.typeId;
        item.info.words[1] = static_cast<std::uint32_t>(entries_.size());
        return &item.entry;
    }
    Item* itemOf(ResourceEntry* entry) {
        for (auto& item : entries_)
            if (&item->entry == entry) return item.get();
        return nullptr;
    }

    std::vector<std::unique_ptr<Item>> entries_;
    std::vector<std::unique_ptr<MemoryArchive>> inner_;
    std::vector<std::unique_ptr<Stream>> streams_;
};

// Opens the inner archive an entry carries (in its archive-own word).
class MemoryArchiveFactory : public hostengine::HostObject, public IArchiveFactory {
public:
    MemoryArchiveFactory() : HostObject("memory") { interfaces.add("IArchiveFactory", entryValueOf<IArchiveFactory>(this)); }
    InterfaceTable* create(ResourceEntry* entry, ResourceInfo*, InterfaceTable*) override {
        auto* inner = reinterpret_cast<MemoryArchive*>(entry->archiveWord);
        return inner ? &inner->table : nullptr;
    }
};

// A root node over a memory archive; frees what the module opened below it when it goes.
class MemoryRoot : public ResourceDir {
public:
    explicit MemoryRoot(MemoryArchive& archive) : ResourceDir(&archive, &archive.table) {}
    ~MemoryRoot() { releaseDescendants(); }
};

}  // namespace fakes
