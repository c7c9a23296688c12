// The fuzzer's bytes as a stream of small decisions. Reading past the end yields zeros, so every input
// decodes to a complete, finite run. Every read happens in its own statement or in a sequenced
// operand: the order of evaluation of function arguments and of most operands differs between
// compilers, and an input must decode to the same run whichever compiler built the target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace fuzzhost {

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return offset_ >= size_; }

    std::uint8_t byte() { return empty() ? 0 : data_[offset_++]; }
    std::uint16_t u16() {
        const std::uint16_t low = byte();
        return static_cast<std::uint16_t>(low | (byte() << 8));
    }
    std::uint32_t u32() {
        const std::uint32_t low = u16();
        return low | (static_cast<std::uint32_t>(u16()) << 16);
    }
    bool flag() { return (byte() & 1) != 0; }

    // A number in [0, n); 0 for n below 2.
    std::uint32_t below(std::uint32_t n) { return n < 2 ? 0 : (n <= 256 ? byte() % n : u32() % n); }
    std::int32_t range(std::int32_t low, std::int32_t high) {
        return low + static_cast<std::int32_t>(below(static_cast<std::uint32_t>(high - low + 1)));
    }

    // A 32-bit value biased toward the ones that break arithmetic: bounds, signs, small numbers.
    std::int32_t value() {
        switch (byte() % 8) {
            case 0: return 0;
            case 1: return range(-3, 3);
            case 2: return static_cast<std::int32_t>(u16());
            case 3: return -static_cast<std::int32_t>(u16());
            case 4: return INT32_MAX - range(0, 2);
            case 5: return INT32_MIN + range(0, 2);
            case 6: return range(-1000, 1000);
            default: return static_cast<std::int32_t>(u32());
        }
    }

    // Up to `limit` bytes taken as text (NUL bytes end it early).
    std::string text(std::size_t limit) {
        std::size_t length = below(static_cast<std::uint32_t>(limit + 1));
        std::string out;
        for (std::size_t i = 0; i < length && !empty(); ++i) {
            char c = static_cast<char>(byte());
            if (c == '\0') break;
            out += c;
        }
        return out;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t offset_ = 0;
};

}  // namespace fuzzhost
