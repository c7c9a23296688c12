#include "host/core/raw_avi.h"

#include <algorithm>
#include <cstring>

namespace hostengine {
namespace {

constexpr std::uint32_t fourcc(const char (&text)[5]) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[0])) |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[1])) << 8 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[2])) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[3])) << 24;
}

std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 | static_cast<std::uint32_t>(p[2]) << 16 |
           static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

std::uint64_t stride(std::int32_t width, std::int32_t bitsPerPixel) {
    return ((static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(bitsPerPixel) + 31) / 32) * 4;
}

// Lists nest: hdrl > strl, movi > rec. Anything deeper is not a file this reader knows.
constexpr int kMaxListDepth = 4;

}  // namespace

// ---------------------------------------------------------------------------------------------------
// Reader

class RawAviReader::Parser {
public:
    Parser(RawAviReader& reader, std::uint64_t fileSize) : reader_(reader), fileSize_(fileSize) {}

    bool run(std::string& error) {
        std::uint8_t head[12];
        if (fileSize_ < 12 || !readAt(0, head, 12) || le32(head) != fourcc("RIFF") || le32(head + 8) != fourcc("AVI ")) {
            error = "not an AVI file";
            return false;
        }
        std::uint64_t riffEnd = 8 + static_cast<std::uint64_t>(le32(head + 4));
        if (riffEnd > fileSize_) {
            error = "truncated: the file is shorter than its RIFF header says";
            return false;
        }
        if (!walk(12, riffEnd, 0, error)) return false;
        if (!haveVideo_) {
            error = "no uncompressed video stream";
            return false;
        }
        if (!haveMovi_ || reader_.frames_.empty()) {
            error = "no frames";
            return false;
        }
        return true;
    }

private:
    bool readAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t size) {
        reader_.file_.clear();
        reader_.file_.seekg(static_cast<std::streamoff>(offset));
        reader_.file_.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(size));
        return static_cast<std::size_t>(reader_.file_.gcount()) == size;
    }

    // Walks the chunks between `from` and `to`, the extent of the enclosing chunk's data.
    bool walk(std::uint64_t from, std::uint64_t to, int depth, std::string& error, std::uint32_t listType = fourcc("AVI ")) {
        if (depth > kMaxListDepth) {
            error = "lists nested too deeply";
            return false;
        }
        std::uint64_t at = from;
        while (at + 8 <= to) {
            std::uint8_t head[8];
            if (!readAt(at, head, 8)) {
                error = "truncated chunk header";
                return false;
            }
            std::uint32_t id = le32(head);
            std::uint64_t size = le32(head + 4);
            std::uint64_t data = at + 8;
            if (data + size > to) {
                error = "truncated: a chunk runs past the end of its list";
                return false;
            }
            if (id == fourcc("LIST")) {
                std::uint8_t type[4];
                if (size < 4 || !readAt(data, type, 4)) {
                    error = "list without a type";
                    return false;
                }
                std::uint32_t kind = le32(type);
                if (kind == fourcc("strl")) ++streamIndex_;
                if (kind == fourcc("movi")) haveMovi_ = true;
                if (kind == fourcc("hdrl") || kind == fourcc("strl") || kind == fourcc("movi") || kind == fourcc("rec "))
                    if (!walk(data + 4, data + size, depth + 1, error, kind)) return false;
            } else if (listType == fourcc("strl")) {
                if (!streamChunk(id, data, size, error)) return false;
            } else if (listType == fourcc("movi") || listType == fourcc("rec ")) {
                if (!frameChunk(id, data, size, error)) return false;
            }
            at = data + size + (size & 1);  // chunks start on even offsets
        }
        return true;
    }

    bool streamChunk(std::uint32_t id, std::uint64_t data, std::uint64_t size, std::string& error) {
        if (haveVideo_ && streamIndex_ - 1 != videoStream_) return true;
        if (id == fourcc("strh")) {
            std::uint8_t strh[28];
            if (size < sizeof strh || !readAt(data, strh, sizeof strh)) {
                error = "stream header too short";
                return false;
            }
            pendingVideo_ = le32(strh) == fourcc("vids");
            if (pendingVideo_) {
                reader_.scale_ = le32(strh + 20);
                reader_.rate_ = le32(strh + 24);
            }
        } else if (id == fourcc("strf") && pendingVideo_ && !haveVideo_) {
            pendingVideo_ = false;
            std::uint8_t bih[40];
            if (size < sizeof bih || !readAt(data, bih, sizeof bih)) {
                error = "video format too short";
                return false;
            }
            std::int32_t width = static_cast<std::int32_t>(le32(bih + 4));
            std::int32_t height = static_cast<std::int32_t>(le32(bih + 8));
            std::uint16_t bits = le16(bih + 14);
            std::uint32_t compression = le32(bih + 16);
            if (compression != 0 || (bits != 32 && bits != 24)) {
                error = "the video is compressed or not 24/32-bit";
                return false;
            }
            if (width <= 0 || width > kMaxVideoSide || height == 0 || height < -kMaxVideoSide || height > kMaxVideoSide) {
                error = "frame size out of range";
                return false;
            }
            reader_.width_ = width;
            reader_.height_ = height < 0 ? -height : height;
            reader_.bottomUp_ = height > 0;
            reader_.bitsPerPixel_ = bits;
            frameBytes_ = stride(width, bits) * static_cast<std::uint64_t>(reader_.height_);
            videoStream_ = streamIndex_ - 1;
            haveVideo_ = true;
        }
        return true;
    }

    bool frameChunk(std::uint32_t id, std::uint64_t data, std::uint64_t size, std::string& error) {
        if (!haveVideo_ || videoStream_ > 99) return true;
        char digits[3] = {static_cast<char>('0' + videoStream_ / 10), static_cast<char>('0' + videoStream_ % 10), 0};
        std::uint32_t low = static_cast<std::uint32_t>(static_cast<std::uint8_t>(digits[0])) |
                            static_cast<std::uint32_t>(static_cast<std::uint8_t>(digits[1])) << 8;
        if ((id & 0xFFFF) != low) return true;
        std::uint32_t type = id >> 16;
        if (type != (fourcc("00db") >> 16) && type != (fourcc("00dc") >> 16)) return true;
        if (size == 0) {
            // A dropped frame: the previous picture stays on show.
            reader_.frames_.push_back(Chunk{0, 0});
            return true;
        }
        if (size < frameBytes_) {
            error = "a frame is shorter than its picture";
            return false;
        }
        reader_.frames_.push_back(Chunk{data, static_cast<std::uint32_t>(size)});
        return true;
    }

    RawAviReader& reader_;
    std::uint64_t fileSize_;
    std::uint64_t frameBytes_ = 0;
    int streamIndex_ = 0;
    int videoStream_ = 0;
    bool pendingVideo_ = false;
    bool haveVideo_ = false;
    bool haveMovi_ = false;
};

std::unique_ptr<RawAviReader> RawAviReader::open(const std::string& path, std::string& error) {
    std::unique_ptr<RawAviReader> reader(new RawAviReader);
    reader->file_.open(path, std::ios::binary);
    if (!reader->file_) {
        error = "cannot open the file";
        return nullptr;
    }
    reader->file_.seekg(0, std::ios::end);
    std::streamoff length = reader->file_.tellg();
    if (length < 0) {
        error = "cannot read the file's length";
        return nullptr;
    }
    Parser parser(*reader, static_cast<std::uint64_t>(length));
    if (!parser.run(error)) return nullptr;
    reader->stored_.resize(stride(reader->width_, reader->bitsPerPixel_) * static_cast<std::size_t>(reader->height_));
    return reader;
}

bool RawAviReader::readFrame(std::int32_t index, std::uint8_t* bgra) {
    if (index < 0 || index >= frameCount()) return false;
    // Dropped frames repeat the last stored one; before any, the picture is clear.
    std::int32_t stored = index;
    while (stored >= 0 && frames_[static_cast<std::size_t>(stored)].size == 0) --stored;
    const std::size_t pixels = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
    if (stored < 0) {
        std::memset(bgra, 0, pixels * 4);
        return true;
    }
    const Chunk& chunk = frames_[static_cast<std::size_t>(stored)];
    file_.clear();
    file_.seekg(static_cast<std::streamoff>(chunk.offset));
    file_.read(reinterpret_cast<char*>(stored_.data()), static_cast<std::streamsize>(stored_.size()));
    if (static_cast<std::size_t>(file_.gcount()) != stored_.size()) return false;

    const std::size_t rowBytes = stride(width_, bitsPerPixel_);
    for (std::int32_t y = 0; y < height_; ++y) {
        std::int32_t from = bottomUp_ ? height_ - 1 - y : y;
        const std::uint8_t* in = stored_.data() + static_cast<std::size_t>(from) * rowBytes;
        std::uint8_t* out = bgra + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) * 4;
        if (bitsPerPixel_ == 32) {
            std::memcpy(out, in, static_cast<std::size_t>(width_) * 4);
        } else {
            for (std::int32_t x = 0; x < width_; ++x, in += 3, out += 4) {
                out[0] = in[0];
                out[1] = in[1];
                out[2] = in[2];
                out[3] = 255;
            }
        }
    }
    return true;
}

// ---------------------------------------------------------------------------------------------------
// Writer

namespace {

// Fixed offsets of the header this writer lays out: RIFF, LIST hdrl (avih, LIST strl (strh, strf)), LIST movi.
constexpr std::uint32_t kAvihData = 32;
constexpr std::uint32_t kStrhData = 108;
constexpr std::uint32_t kMoviList = 212;
constexpr std::uint32_t kMoviType = 220;  // idx1 offsets count from here
constexpr std::uint32_t kFirstChunk = 224;

void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void put16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

}  // namespace

RawAviWriter::~RawAviWriter() {
    if (file_.is_open()) finish();
}

bool RawAviWriter::open(const std::string& path, std::int32_t width, std::int32_t height, std::uint32_t fps, bool bottomUp) {
    if (file_.is_open() || width <= 0 || height <= 0 || width > kMaxVideoSide || height > kMaxVideoSide || fps == 0) return false;
    width_ = width;
    height_ = height;
    bottomUp_ = bottomUp;
    frameBytes_ = static_cast<std::uint32_t>(width) * static_cast<std::uint32_t>(height) * 4;
    sizes_.clear();
    failed_ = false;
    row_.resize(static_cast<std::size_t>(width) * 4);

    std::vector<std::uint8_t> h;
    auto tag = [&](const char(&text)[5]) { put32(h, fourcc(text)); };
    tag("RIFF"), put32(h, 0), tag("AVI ");
    tag("LIST"), put32(h, 192), tag("hdrl");
    tag("avih"), put32(h, 56);
    put32(h, 1000000 / fps);  // microseconds per frame
    put32(h, static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{frameBytes_} * fps, 0xFFFFFFFFu)));  // bytes per second
    put32(h, 0);                      // padding granularity
    put32(h, 0x10);                   // has an index
    put32(h, 0);                      // total frames, filled in by finish
    put32(h, 0);                      // initial frames
    put32(h, 1);                      // streams
    put32(h, frameBytes_);            // suggested buffer size
    put32(h, static_cast<std::uint32_t>(width));
    put32(h, static_cast<std::uint32_t>(height));
    for (int i = 0; i < 4; ++i) put32(h, 0);
    tag("LIST"), put32(h, 116), tag("strl");
    tag("strh"), put32(h, 56);
    tag("vids"), put32(h, 0);         // type, handler
    put32(h, 0);                      // flags
    put16(h, 0), put16(h, 0);         // priority, language
    put32(h, 0);                      // initial frames
    put32(h, 1), put32(h, fps);       // scale, rate
    put32(h, 0);                      // start
    put32(h, 0);                      // length, filled in by finish
    put32(h, frameBytes_);            // suggested buffer size
    put32(h, 0xFFFFFFFFu);            // quality: default
    put32(h, 0);                      // sample size: varies
    put16(h, 0), put16(h, 0), put16(h, static_cast<std::uint16_t>(width)), put16(h, static_cast<std::uint16_t>(height));
    tag("strf"), put32(h, 40);
    put32(h, 40);
    put32(h, static_cast<std::uint32_t>(width));
    put32(h, static_cast<std::uint32_t>(bottomUp ? height : -height));
    put16(h, 1), put16(h, 32);        // planes, bits
    put32(h, 0);                      // BI_RGB
    put32(h, frameBytes_);
    for (int i = 0; i < 4; ++i) put32(h, 0);
    tag("LIST"), put32(h, 4), tag("movi");
    if (h.size() != kFirstChunk) return false;

    file_.open(path, std::ios::binary | std::ios::trunc);
    if (!file_) return false;
    file_.write(reinterpret_cast<const char*>(h.data()), static_cast<std::streamsize>(h.size()));
    return static_cast<bool>(file_);
}

bool RawAviWriter::addFrame(const std::uint8_t* bgra) {
    if (!file_.is_open() || failed_ || !bgra) return false;
    // Room for this frame, its index entry and the header must stay inside the RIFF's 32-bit size.
    std::uint64_t total = kFirstChunk + (static_cast<std::uint64_t>(sizes_.size()) + 1) * (8 + frameBytes_ + 16) + 8;
    if (total > 0xFFFFFFF0u) return false;
    std::vector<std::uint8_t> head;
    put32(head, fourcc("00db"));
    put32(head, frameBytes_);
    file_.write(reinterpret_cast<const char*>(head.data()), 8);
    const std::size_t rowBytes = static_cast<std::size_t>(width_) * 4;
    for (std::int32_t y = 0; y < height_; ++y) {
        std::int32_t from = bottomUp_ ? height_ - 1 - y : y;
        file_.write(reinterpret_cast<const char*>(bgra + static_cast<std::size_t>(from) * rowBytes), static_cast<std::streamsize>(rowBytes));
    }
    if (!file_) {
        failed_ = true;
        return false;
    }
    sizes_.push_back(frameBytes_);
    return true;
}

bool RawAviWriter::finish() {
    if (!file_.is_open()) return false;
    std::vector<std::uint8_t> index;
    put32(index, fourcc("idx1"));
    put32(index, static_cast<std::uint32_t>(sizes_.size() * 16));
    std::uint32_t offset = kFirstChunk - kMoviType;
    for (std::uint32_t size : sizes_) {
        put32(index, fourcc("00db"));
        put32(index, 0x10);  // key frame
        put32(index, offset);
        put32(index, size);
        offset += 8 + size;
    }
    file_.write(reinterpret_cast<const char*>(index.data()), static_cast<std::streamsize>(index.size()));

    const std::uint32_t moviSize = 4 + offset - (kFirstChunk - kMoviType);
    const std::uint32_t riffSize = kMoviList + 8 + moviSize + static_cast<std::uint32_t>(index.size()) - 8;
    const std::uint32_t frames = static_cast<std::uint32_t>(sizes_.size());
    auto patch = [&](std::uint32_t at, std::uint32_t value) {
        std::vector<std::uint8_t> bytes;
        put32(bytes, value);
        file_.seekp(at);
        file_.write(reinterpret_cast<const char*>(bytes.data()), 4);
    };
    patch(4, riffSize);
    patch(kAvihData + 16, frames);
    patch(kStrhData + 32, frames);
    patch(kMoviList + 4, moviSize);
    bool ok = static_cast<bool>(file_) && !failed_;
    file_.close();
    return ok && !file_.fail();
}

bool writeRawAvi(const std::string& path, std::int32_t width, std::int32_t height, std::uint32_t fps,
                 const std::vector<std::vector<std::uint8_t>>& frames, bool bottomUp) {
    const std::size_t frameBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    RawAviWriter writer;
    if (!writer.open(path, width, height, fps, bottomUp)) return false;
    for (const auto& frame : frames) {
        if (frame.size() != frameBytes || !writer.addFrame(frame.data())) {
            writer.finish();
            return false;
        }
    }
    return writer.finish();
}

// ---------------------------------------------------------------------------------------------------
// Factory

RawAviVideoFactory::RawAviVideoFactory()
    : HostVideoFactory("avifile", [](const std::string& path, std::string& error) -> std::unique_ptr<FrameSource> {
          return RawAviReader::open(path, error);
      }) {}

std::unique_ptr<HostVideoFactory> registerRawAviVideoFactory(HostEngine&) { return std::make_unique<RawAviVideoFactory>(); }

}  // namespace hostengine
