// The messages test and fuzz hosts hand the module, which owns them from then on and deletes them
// through slot 0. Each counts itself, so a test can tell that none was lost or deleted twice.
#pragma once

#include <cstdint>

#include "core/abi.h"

class CountedMessage final : public Message {
public:
    // Words 3 and 4 as given; `deletions`, when given, counts this message's deletion too.
    CountedMessage(std::uint32_t messageCode, std::intptr_t third, std::intptr_t fourth, int* deletions = nullptr)
        : deletions_(deletions) {
        code = messageCode;
        word3 = third;
        word4 = fourth;
        ++live();
    }
    void* deletingDestructor(unsigned) override {
        --live();
        if (deletions_) ++*deletions_;
        delete this;
        return this;
    }
    // Messages made and not yet deleted, in this process.
    static int& live() {
        static int count = 0;
        return count;
    }

private:
    int* deletions_;
};

// The game's messages to a pawn: code 0x000B000k, the parameter in word 3.
constexpr std::uint32_t kFreeze = 0x000B0001;
constexpr std::uint32_t kBuzz = 0x000B0003;
constexpr std::uint32_t kHappy = 0x000B0004;
constexpr std::uint32_t kUnhappy = 0x000B0005;
constexpr std::uint32_t kLookLeft = 0x000B0006;
constexpr std::uint32_t kLookRight = 0x000B0007;
constexpr std::uint32_t kUnfreeze = 0x000B0008;
constexpr std::uint32_t kGoingDown = 0x000B0009;
constexpr std::uint32_t kComingUp = 0x000B000A;
constexpr std::uint32_t kWaitHold = 0x000B000B;

inline Message* gameMessage(std::uint32_t messageCode, std::int32_t parameter, int* deletions = nullptr) {
    return new CountedMessage(messageCode, parameter, 0, deletions);
}
