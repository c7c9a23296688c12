// The host/module contract: every interface and record that crosses the boundary between the
// host engine and pawn.kvx, in binary order. A host can be written from this file alone.
//
// Binary rules that hold for everything below:
// - The host is a 32-bit Windows program built with Microsoft's compiler, and these are its rules:
//   operations are `thiscall` (this in ECX, arguments on the stack, popped by the callee), except the
//   variadic Host::log, which is `cdecl` with `this` as its first stack argument.
// - An interface is a class of pure virtual operations; its slot order is the contract. There are no
//   overloaded virtuals and no C++ virtual destructors (compilers emit two slots for those); where a
//   table starts with a deleting destructor, it is the explicit first slot `deletingDestructor`, which
//   destroys the object, frees it when flags & 1, and returns `this` as Microsoft's compiler does.
// - No operation returns a record by value. Compilers disagree on that for member functions (Microsoft's
//   passes the result's address as the first stack argument with `this` in ECX, for every size; GCC for
//   Windows swaps the two and returns 8-byte records in EAX:EDX), so the contract spells out what
//   Microsoft's compiler does: `Rect* bounds(Rect* result)` fills *result and returns result, which is
//   binary-identical to its `Rect bounds()`. boundsOf, touchBoundsOf and sizeOf below are the callers'
//   shorthand. Records passed by value (Colour to ISurface::setColour) and doubles agree everywhere.
// - No exception crosses the boundary: the module is built without exceptions, and host operations
//   called by the module must not throw.
// - The module calls only the slots described here; slots marked "not called by the module" are the
//   host's own and may be anything.
// - An object exposes its interfaces through an InterfaceTable of (name, entry value) pairs. The entry
//   value of an interface is the address of the interface part plus 4; whoever looks an interface up
//   subtracts 4 again (entryValueOf / interfaceFrom below). Null stays null.
// - An object is handed around as its handle: the address of its InterfaceTable.
// - Integers at the interfaces are signed 32-bit, flags 32-bit 0 / nonzero, times milliseconds of the
//   host clock, animated values doubles.
// - 32-bit builds have the exact sizes and offsets asserted at the end of this file, for Windows (the
//   shipping DLL: doubles aligned to 8) and for Linux (the 32-bit tests: doubles aligned to 4). 64-bit
//   builds (tests, tools) keep every field order with native pointers and natural alignment.
#pragma once

#include <cstddef>
#include <cstdint>

class Canvas;
class Font;
struct InterfaceTable;
struct Message;
struct ResourceEntry;
struct ResourceInfo;
class ResourceDir;      // resources/resource_dir.h: a node of the archive tree; the host makes the root
class StreamAdapter;    // resources/stream_adapter.h: the module's stream over a host stream
class KTAlphaVideo;     // media/alpha_video.h: a pawn's figure; the producer's penguin is one too
class SoundResource;    // media/sound.h: a sound tied to an archive entry; the producer's "scoresnd"
class TextDisplay;      // media/text_display.h: the producer's "allalpha" carries its Font like one

using EntryValue = std::uintptr_t;

// ---------------------------------------------------------------------------------------------------
// Entry values and handles

template <class Interface>
inline EntryValue entryValueOf(Interface* part) {
    return part ? reinterpret_cast<EntryValue>(part) + 4 : 0;
}

template <class Interface>
inline Interface* interfaceFrom(EntryValue value) {
    return value ? reinterpret_cast<Interface*>(value - 4) : nullptr;
}

// ---------------------------------------------------------------------------------------------------
// Geometry values

struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;
    Point() = default;
    Point(std::int32_t x_, std::int32_t y_) : x(x_), y(y_) {}
};

// Position then size; the right edge x + width and the bottom edge y + height lie outside.
struct Rect {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    Rect() = default;
    Rect(std::int32_t x_, std::int32_t y_, std::int32_t w, std::int32_t h) : x(x_), y(y_), width(w), height(h) {}
    Rect intersect(const Rect& other) const;  // empty results keep the pair of maxima as position
};

// ---------------------------------------------------------------------------------------------------
// Growable array of pointer-sized slots: grows in steps of 16, unset slots read as 0.

struct PtrArray {
    std::uintptr_t* data = nullptr;
    std::int32_t capacity = 0;
    std::int32_t count = 0;

    PtrArray();
    ~PtrArray();
    PtrArray(const PtrArray&) = delete;
    PtrArray& operator=(const PtrArray&) = delete;

    std::uintptr_t get(std::int32_t index) const;          // 0 at or beyond count, and for index < 0
    void set(std::int32_t index, std::uintptr_t value);    // grows as needed; index < 0 stores nothing
    std::int32_t append(std::uintptr_t value);             // returns the new index
    std::int32_t size() const { return count; }
    void assign(const PtrArray& other);                    // starts again from 16 slots, then copies
    void release();                                        // frees the block: empty, no capacity
};

// ---------------------------------------------------------------------------------------------------
// Interface tables and the host-wide object registry

struct InterfacePair {
    char* name;        // heap copy, owned by the table
    EntryValue value;  // entry value of the interface part
};

struct InterfaceTable {
    InterfacePair* pairs = nullptr;  // exactly count pairs; null while empty
    std::int32_t count = 0;
    const char* objectName = nullptr;  // borrowed; null means unnamed ("<unnamed>" in the registry)

    InterfaceTable() = default;
    explicit InterfaceTable(const char* name) : objectName(name) {}

    // Appends a pair and inserts a node into the registry. `interfaceName` must outlive the table.
    struct RegistryNode* add(const char* interfaceName, EntryValue value);
    EntryValue lookup(const char* interfaceName) const;  // first pair, ASCII case-insensitive; 0 if none
    void teardown();                                     // removes this table's nodes, frees the pairs

    template <class Interface>
    Interface* find(const char* interfaceName) const { return interfaceFrom<Interface>(lookup(interfaceName)); }
};

struct RegistryNode {
    InterfaceTable* table;      // the table that made the entry
    EntryValue value;           // the entry value
    const char* objectName;     // the table's object name, or "<unnamed>"
    const char* interfaceName;  // the caller's string itself, not the table's copy
    RegistryNode* next;
};

// The host owns the list; the module links and unlinks its own nodes.
struct ObjectRegistry {
    RegistryNode* head = nullptr;
    RegistryNode* cursor = nullptr;  // most recently inserted node; head after a removal

    RegistryNode* insert(const char* objectName, const char* interfaceName, InterfaceTable* table, EntryValue value);
    void removeAll(const InterfaceTable* table);
};

// ---------------------------------------------------------------------------------------------------
// Messages. The sender makes one, the receiver owns it and deletes it through slot 0.
//   0x000B0001..0x000B000B  to a pawn; word3 = signed 32-bit parameter
//   0x00050001              a sound's end of playback; word3 = address of the Sound's IListener part
//   0x00020001..0x00020006  host stream read completions; word4 = signed 32-bit value
//   0x00120001              TextEffect (same shape; word2 = effect name)

struct Message {
    virtual void* deletingDestructor(unsigned flags) = 0;  // slot 0: destroy (and free when flags & 1); this
    std::uint32_t code = 0;   // family in the high 16 bits, kind in the low 16 bits
    std::uint32_t word2 = 0;
    std::intptr_t word3 = 0;  // 32-bit parameter in its low half, or an address
    std::intptr_t word4 = 0;

    std::uint32_t family() const { return code >> 16; }
    std::uint32_t kind() const { return code & 0xFFFFu; }
    std::int32_t parameter() const { return static_cast<std::int32_t>(word3); }
    std::int32_t value() const { return static_cast<std::int32_t>(word4); }

protected:
    Message() = default;
    ~Message() = default;
};

inline void deleteMessage(Message* message) {
    if (message) message->deletingDestructor(1);
}

constexpr std::uint32_t kFamilyStream = 0x0002;
constexpr std::uint32_t kFamilySound = 0x0005;
constexpr std::uint32_t kFamilyPawn = 0x000B;
constexpr std::uint32_t kSoundEnded = 0x00050001;
constexpr std::uint32_t kTextEffectCode = 0x00120001;

// ---------------------------------------------------------------------------------------------------
// Resources

// An archive's description of one entry; word 0 is the entry's type id. Nine 32-bit words everywhere.
struct ResourceInfo {
    std::uint32_t words[9];
};

// One entry of a host archive listing, made and kept by the archive.
struct ResourceEntry {
    std::uint32_t typeId;          // TypeRegistry id
    std::uint32_t container;       // nonzero: searches by name and type descend into it
    const char* locator;           // "scheme://rest"; videos open the rest
    std::uintptr_t archiveWord;    // the archive's own; the module never reads it
    const char* name;
    ResourceDir* owner;            // written by the module each time a node lists the entry
};

// ---------------------------------------------------------------------------------------------------
// The host engine, as the module sees it.

struct TypeRegistry {
    virtual std::uint32_t typeIdOf(const char* typeName) = 0;  // same name, same id
    virtual const char* typeNameOf(std::uint32_t typeId) = 0;  // archives are "archive/<kind>"
};

struct Host {
    virtual void unusedSlot0() = 0;                                         // not called by the module
    virtual void pumpEvents() = 0;                                          // one pass of host events; delivers async completions
    virtual void unusedSlot2() = 0;                                         // not called by the module
    virtual void unusedSlot3() = 0;                                         // not called by the module
    virtual ObjectRegistry* objectRegistry() = 0;                           // the host-wide list of interfaces
    virtual TypeRegistry* typeRegistry() = 0;                               // resource type names and ids
    virtual void* spareServiceB() = 0;                                      // stored by init, never read
    virtual void* spareServiceA() = 0;                                      // stored by init, never read
    virtual EntryValue findInterface(const char* objectName, const char* interfaceName) = 0;  // objectName null: any object
    virtual void log(std::int32_t level, const char* format, ...) = 0;      // one diagnostic line; 1 trace/missing, 3 failing service
    virtual void unusedSlot10() = 0;                                        // not called by the module
    virtual void unusedSlot11() = 0;                                        // not called by the module
    virtual std::uint32_t currentTime() = 0;                                // milliseconds; differences wrap at 2^32
};

// ---------------------------------------------------------------------------------------------------
// Common module-side interfaces (also implemented by host objects)

struct IListener {
    virtual std::int32_t receive(Message* message) = 0;  // takes ownership of the message; returns 1
};

struct IReferenceCount {
    virtual void addRef() = 0;
    virtual void releaseRef() = 0;  // destroys the object when the count reaches 0
};

struct IVisible {
    virtual void draw(Canvas* canvas) = 0;                         // onto the context
    virtual Rect* bounds(Rect* result) = 0;                        // the rectangle covered, into *result; result
    virtual std::int32_t isHidden() = 0;                           // nonzero: hidden
    virtual void setPosition(std::int32_t x, std::int32_t y) = 0;  // top-left corner
};

struct TextEffect;
struct ITouchable {
    virtual std::int32_t hitTest(std::int32_t x, std::int32_t y) = 0;  // nonzero: the point touches
    virtual Rect* touchBounds(Rect* result) = 0;                       // the touchable rectangle, into *result; result
    virtual std::int32_t attach(TextEffect* effect) = 0;  // 1: the effect is taken over; 0: caller keeps it
};

inline Rect boundsOf(IVisible* visible) {
    Rect result;
    visible->bounds(&result);
    return result;
}

inline Rect touchBoundsOf(ITouchable* touchable) {
    Rect result;
    touchable->touchBounds(&result);
    return result;
}

// ---------------------------------------------------------------------------------------------------
// Archives and streams (host side)

struct IArchiveFactory {
    // Opens the archive of `entry`; `stream` is the handle of the module's stream over its data, or null.
    virtual InterfaceTable* create(ResourceEntry* entry, ResourceInfo* info, InterfaceTable* stream) = 0;
};

struct IArchive {
    virtual ResourceEntry* nextEntry(ResourceEntry* previous) = 0;  // first for null; null at the end
    virtual ResourceInfo* infoOf(ResourceEntry* entry) = 0;         // the archive keeps the record
    virtual InterfaceTable* open(ResourceEntry* entry, ResourceInfo* info) = 0;  // a host stream, or null
    virtual void close(InterfaceTable* stream) = 0;
};

struct IStream {
    virtual std::int32_t size() = 0;  // bytes of data in the stream, -1 when unknown
};

struct IRead {
    virtual std::int32_t read(void* buffer, std::int32_t size) = 0;  // bytes read, at most size
};

struct IASyncRead {
    // Starts a read; one completion of family 0x0002 reaches `listener` later, from pumpEvents.
    virtual std::int32_t read(void* buffer, std::int32_t size, IListener* listener) = 0;
};

struct ISeekable {
    virtual std::int32_t seek(std::int32_t offset, std::int32_t origin) = 0;  // origin 0 start, 1 current, 2 end
    virtual std::int32_t tell() = 0;
};

// The listener part of the module's stream adapter: receive, then two operations of its own.
struct IStreamListener : IListener {
    virtual std::int32_t unusedQuery() = 0;     // yields 0
    virtual std::int32_t isAsynchronous() = 0;  // nonzero when the host stream reads asynchronously
};

// The front of every StreamAdapter, as a host sees it: two interface parts, then its table.
// IPreloadSound::preload receives one of these and reads through its "IRead".
class StreamAdapterParts : public IStreamListener, public IStream {
public:
    InterfaceTable interfaces;

protected:
    StreamAdapterParts() = default;
    ~StreamAdapterParts() = default;
};

// ---------------------------------------------------------------------------------------------------
// Sound (host side)

struct ISoundFactory {
    virtual InterfaceTable* create(ResourceInfo* info) = 0;  // a new host sound, or null
    virtual void destroy(InterfaceTable* sound) = 0;         // also for null
};

struct ISound {
    virtual std::int32_t isPlaying() = 0;
    virtual std::int32_t durationMs() = 0;
    virtual void stop() = 0;  // the end-of-playback notice still follows
};

struct IPreloadSound {
    virtual std::int32_t preload(StreamAdapterParts* stream) = 0;  // nonzero on success
    virtual void unload() = 0;
    // Nonzero if playback started; the 0x00050001 notice later reaches `listener` from pumpEvents.
    virtual std::int32_t play(IListener* listener, IReferenceCount* referenceCount) = 0;
};

struct ISoundVolume {
    virtual std::int32_t setVolume(double volume) = 0;  // 0.0 .. 1.0
};

struct ISoundPanorama {
    virtual std::int32_t setPanorama(double pan) = 0;  // never called by the module
};

struct ISoundFrequency {
    virtual std::int32_t setFrequency(double factor) = 0;  // never called by the module
};

struct ISoundQueue {
    virtual std::int32_t queue(InterfaceTable* sound) = 0;  // never called by the module
};

// ---------------------------------------------------------------------------------------------------
// Video and bitmaps (host side)

// A lock of rows: the address of the first locked row's first byte.
struct PixelRows {
    void* pixels;
    std::int32_t bitsPerPixel;
    std::int32_t pitch;  // bytes from one row to the next
};

struct BitmapInfo {
    std::int32_t width;
    std::int32_t height;
    std::int32_t bitsPerPixel;  // 16: RGB555 colour, 8: alpha
};

struct IBitmap {
    virtual void unusedSlot0() = 0;                                                // not called by the module
    virtual const BitmapInfo* info() = 0;
    virtual PixelRows* lockRows(std::int32_t firstRow, std::int32_t lastRow) = 0;  // null on failure
    virtual void unlockRows(PixelRows* rows) = 0;
};

struct IVideo {
    virtual std::int32_t frameCount() = 0;
    virtual std::int32_t seek(std::int32_t frame) = 0;  // moves to the frame; result unused
    virtual std::int32_t next() = 0;                    // moves to the following frame
    virtual Point* size(Point* result) = 0;             // width, height into *result; result
    virtual std::int32_t bitmapCount() = 0;
    virtual InterfaceTable* bitmap(std::int32_t index) = 0;  // handle holding "IBitmap"; shows the current frame
};

inline Point sizeOf(IVideo* video) {
    Point result;
    video->size(&result);
    return result;
}

struct IVideoFactory {
    virtual InterfaceTable* open(const char* path) = 0;  // handle holding "IVideo", or null
    virtual void close(InterfaceTable* video) = 0;
};

// ---------------------------------------------------------------------------------------------------
// Drawing: the host's context and font. Their members are shared code; the host owns the objects.

// Red, green, blue (0..255), a fourth word (0) and a fifth (-1 when built from components).
struct Colour {
    std::int32_t red = 0;
    std::int32_t green = 0;
    std::int32_t blue = 0;
    std::int32_t fourth = 0;
    std::int32_t fifth = 0;
    Colour() = default;
    Colour(std::int32_t r, std::int32_t g, std::int32_t b) : red(r), green(g), blue(b), fourth(0), fifth(-1) {}
};

// The surface under a drawing context: 16-bit RGB555 pixels. The host keeps every context's clip
// rectangle, moved by its origin, inside its surface: the module draws within the clip and reads
// nothing else about the surface.
struct ISurface {
    virtual void unusedSlot0() = 0;             // not called by the module
    virtual void setColour(Colour colour) = 0;  // the context's drawing colour, for the surface's own drawing
    virtual PixelRows* lockRows(std::int32_t firstRow, std::int32_t lastRow) = 0;  // null on failure
    virtual void unlockRows(PixelRows* rows) = 0;
};

struct IFontRenderer {
    virtual void unusedSlot0() = 0;                                // not called by the module
    virtual std::int32_t textWidth(const char* text) = 0;          // pixels
    virtual void drawText(Canvas* canvas, std::int32_t x, std::int32_t y, const char* text) = 0;  // top-left, current colour
};

struct IFontPhase {
    virtual std::int32_t setPhase(std::int32_t phase) = 0;  // 0 plain, 1 outline pass
};

struct IFontScale {
    virtual void set(double scale) = 0;
    virtual double get() = 0;
};

class Font {
public:
    std::int32_t glyphHeight = 0;   // height of a line of glyphs
    std::int32_t linePermille = 1000;  // line advance factor in thousandths
    IFontRenderer* renderer = nullptr;         // expected present
    IFontPhase* phaseHandler = nullptr;        // optional
    IFontScale* verticalScale = nullptr;       // optional
    IFontScale* horizontalScale = nullptr;     // optional
    std::int32_t currentPhase = 0;             // the last phase set

    std::int32_t setPhase(std::int32_t phase);  // stores it; the handler's result, 0 without one
    std::int32_t phase() const { return currentPhase; }
    double scaleX() const;
    double scaleY() const;
    void setScaleX(double scale);
    void setScaleY(double scale);
};

// The host drawing context. Rows and columns given to it are relative to its origin.
class Canvas {
public:
    ISurface* surface = nullptr;
    Rect clip;              // in context coordinates
    Point origin;           // added to every row and column
    Colour colour;
    Font* font = nullptr;

    PixelRows* lockRows(std::int32_t firstRow, std::int32_t lastRow);  // null on failure
    void unlockRows(PixelRows* rows);                                  // nothing for null
    Colour setColour(Colour newColour);                                // returns the previous colour
    Font* setFont(Font* newFont);                                      // returns the previous font
    void drawText(std::int32_t x, std::int32_t y, const char* text);   // through the font's renderer
};

// ---------------------------------------------------------------------------------------------------
// The game's producer and the shared media it hands out

// Objects a host makes in the module's own layouts. The module runs its own (non-virtual) code on
// their fields, so a host that does not link the module's classes lays them out exactly so; offsets
// are those of the 32-bit builds, tables of operations are one pointer each.
//
//   ResourceDir, the root of the tree handed to createPlayer (44 bytes): 0 table {find(path)},
//     4 factory, 8 archive (IArchive*), 12 archiveHandle, 16 entry (null), 20 info (null), 24 stream
//     (null), 28 parent (null), 32 children: a PtrArray {data, capacity, count} whose block has room for
//     16 nodes (the module grows it with its own allocator only past that). The module lists, searches,
//     reads and opens streams on it with its own code, and calls its `find` through the table.
//   "allalpha": any object whose 32-bit word at offset 48 is the Font* (where a TextDisplay keeps it,
//     after its IVisible and ITouchable tables, InterfaceTable, area, hidden flag and position).
//   "pingouin", a KTAlphaVideo (36 bytes): 0 table {deletingDestructor}, 4 IVisible table, 8 its
//     InterfaceTable, 20 video, 24 sequences, 28 current, 32 frameCount. `sequences` is a list of
//     Sequence {0 name, 4 first, 8 count, 12 position, 16 next}; `video` points at a Video (44 bytes):
//     0 table {deletingDestructor}, 4 entry, 8 videoFactory, 12 handle, 16 player (IVideo*), 20 path,
//     24 frameCount, 28 bitmapCount, 32 frame, 36 size (Point). Pawns select sequences and frames with
//     the module's code (which steps `player` through `frame`), then place and draw it through its
//     IVisible table.
//   "scoresnd", a SoundResource: 0 table {deletingDestructor}, 4 info (ResourceInfo), 40 the Sound*,
//     whose layout is media/sound.h's; a producer may hand out null instead.

struct IKTProducer {
    virtual void unusedSlot0() = 0;  // not called by the module
    virtual void unusedSlot1() = 0;  // not called by the module
    // "scoresnd": SoundResource or null; "allalpha": an object carrying a Font as a TextDisplay does;
    // "pingouin": a KTAlphaVideo; "bonus01".."bonus10": a BonusPicture. The producer keeps them all.
    virtual void* getObject(const char* name) = 0;
};

// Six tables of 32 x 256 entries (component c, alpha a at c * 256 + a) that blend by look-up and add.
struct BlendTables {
    static constexpr int kEntries = 32 * 256;
    double opacity = 1.0;
    std::uint16_t srcRed[kEntries];
    std::uint16_t srcGreen[kEntries];
    std::uint16_t srcBlue[kEntries];
    std::uint16_t dstRed[kEntries];
    std::uint16_t dstGreen[kEntries];
    std::uint16_t dstBlue[kEntries];

    void setOpacity(double newOpacity);  // rebuilds the six tables with m = trunc(c * a * opacity * (1/255))
};

// A bonus picture as the producer hands it out: its IVisible part, then the blend tables that its own
// draw uses. Pawns place it, draw it and set its opacity.
class BonusPicture : public IVisible {
public:
    BlendTables blend;

protected:
    BonusPicture() = default;
    ~BonusPicture() = default;
};

// The effect record a pawn attaches to its score text.
struct TextEffect {
    virtual void* deletingDestructor(unsigned flags) = 0;  // slot 0: destroy (and free when flags & 1); this
    std::uint32_t code = 0;     // 0x00120001
    const char* name = nullptr; // "TextShapeFX::zandrel"

protected:
    TextEffect() = default;
    ~TextEffect() = default;
};

// ---------------------------------------------------------------------------------------------------
// The plug-in's interfaces

struct IKTPlayerFactory {
    // A new pawn's handle (its table holds "IKTPlayer" and "IVisible"), or null.
    virtual InterfaceTable* createPlayer(ResourceDir* resourceRoot, const char* archiveName, std::int32_t playerIndex) = 0;
    virtual void destroyPlayer(InterfaceTable* pawnHandle) = 0;  // null does nothing
};

struct IKTPlayer {
    virtual std::int32_t receive(Message* message) = 0;             //  1 family 0x000B messages; deletes it; 1
    virtual void drawScore(Canvas* canvas) = 0;                     //  2 the score under the pawn, when shown
    virtual void addScore(std::int32_t points) = 0;                 //  3 score += points; roll; sound
    virtual void addBonusScore(std::int32_t points) = 0;            //  4 as changed by the bonus in use
    virtual void loseScore(std::int32_t points, std::int32_t alternative) = 0;  // 5 never below 0
    virtual void subtractScore(std::int32_t points) = 0;            //  6 never below 0
    virtual std::int32_t getScore() = 0;                            //  7
    virtual std::int32_t getStreak() = 0;                           //  8 > 0 right answers in a row, < 0 wrong ones
    virtual std::int32_t getPlayerIndex() = 0;                      //  9
    virtual void setPlayerIndex(std::int32_t index) = 0;            // 10
    virtual void countAnswer(std::int32_t outcome) = 0;             // 11 < 0 reset, 0 wrong, > 0 right
    virtual void update() = 0;                                      // 12 per frame: slide, holds, reactions, frames
    virtual void setHidden(std::int32_t flag) = 0;                  // 13
    virtual std::int32_t isHidden() = 0;                            // 14
    virtual std::int32_t isFrozen() = 0;                            // 15 activity below 1
    virtual void showScore(std::int32_t flag) = 0;                  // 16
    virtual std::int32_t thaw() = 0;                                // 17 activity + 1, at most 1
    virtual std::int32_t getActivity() = 0;                         // 18
    virtual void setActivity(std::int32_t level) = 0;               // 19 below 1 freezes
    virtual void setScorePhase(std::int32_t phase) = 0;             // 20 font phase override, 0 none
    virtual std::int32_t getTag() = 0;                              // 21
    virtual void setTag(std::int32_t value) = 0;                    // 22
    virtual std::int32_t getBonusState() = 0;                       // 23 (bonusActive << 8) + bonusNumber
    virtual void setBonus(std::int32_t number) = 0;                 // 24 1..10, 16 penguin; -1 use, -2 end if used, 0 end
    virtual KTAlphaVideo* getVideo() = 0;                           // 25 the figure on show
};

// ---------------------------------------------------------------------------------------------------
// Exported functions of pawn.kvx (undecorated C names)

extern "C" {
using PluginInitFunction = InterfaceTable* (*)(Host* host, const char* const* args);  // args: four strings, any null
using PluginReleaseFunction = void (*)();
using PluginDependenciesFunction = const char* const* (*)();  // null: needs no other module
}

// ---------------------------------------------------------------------------------------------------
// Exact layouts of the shipping 32-bit build

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(Point) == 8 && sizeof(Rect) == 16);
static_assert(offsetof(Rect, width) == 8 && offsetof(Rect, height) == 12);
static_assert(sizeof(PtrArray) == 12 && offsetof(PtrArray, capacity) == 4 && offsetof(PtrArray, count) == 8);
static_assert(sizeof(InterfacePair) == 8);
static_assert(sizeof(InterfaceTable) == 12 && offsetof(InterfaceTable, count) == 4 && offsetof(InterfaceTable, objectName) == 8);
static_assert(sizeof(RegistryNode) == 20);
static_assert(offsetof(RegistryNode, table) == 0 && offsetof(RegistryNode, value) == 4 && offsetof(RegistryNode, objectName) == 8 &&
              offsetof(RegistryNode, interfaceName) == 12 && offsetof(RegistryNode, next) == 16);
static_assert(sizeof(ObjectRegistry) == 8 && offsetof(ObjectRegistry, cursor) == 4);
static_assert(sizeof(ResourceEntry) == 24);
static_assert(offsetof(ResourceEntry, container) == 4 && offsetof(ResourceEntry, locator) == 8 && offsetof(ResourceEntry, archiveWord) == 12 &&
              offsetof(ResourceEntry, name) == 16 && offsetof(ResourceEntry, owner) == 20);
static_assert(sizeof(ResourceInfo) == 36);
static_assert(sizeof(Colour) == 20);
static_assert(sizeof(PixelRows) == 12 && sizeof(BitmapInfo) == 12);
static_assert(sizeof(Message) == 20, "table, code, word 2, word 3, word 4");
static_assert(sizeof(TextEffect) == 12, "table, code, name");
static_assert(sizeof(Font) == 28 && offsetof(Font, linePermille) == 4 && offsetof(Font, renderer) == 8 &&
              offsetof(Font, phaseHandler) == 12 && offsetof(Font, verticalScale) == 16 &&
              offsetof(Font, horizontalScale) == 20 && offsetof(Font, currentPhase) == 24);
static_assert(sizeof(Canvas) == 52 && offsetof(Canvas, clip) == 4 && offsetof(Canvas, origin) == 20 &&
              offsetof(Canvas, colour) == 28 && offsetof(Canvas, font) == 48);
static_assert(offsetof(BlendTables, srcRed) == 8 && offsetof(BlendTables, dstBlue) == 8 + 5 * 2 * BlendTables::kEntries &&
              sizeof(BlendTables) == 8 + 6 * 2 * BlendTables::kEntries);
#if defined(_WIN32)
// Windows aligns a double in a record to 8 bytes: the blend tables of a bonus picture start 8 bytes in,
// after its table of operations and 4 bytes of padding.
static_assert(alignof(BlendTables) == 8 && sizeof(BonusPicture) == 8 + sizeof(BlendTables));
#else
// 32-bit Linux aligns a double in a record to 4 bytes: the blend tables follow the table of operations.
static_assert(alignof(BlendTables) == 4 && sizeof(BonusPicture) == 4 + sizeof(BlendTables));
#endif
#endif
static_assert(sizeof(ResourceInfo) == 36, "ResourceInfo is nine 32-bit words on every target");
