// Random choice of a numbered animation that never repeats the previous choice made for the same key.
#pragma once

#include <cstdint>

#include "core/abi.h"

class RandomPicker {
public:
    // Slot k holds the last choice for key k plus one; 0 (also a slot never set) means none yet.
    PtrArray last;

    RandomPicker();  // reseeds the process-wide generator with the calendar time
    RandomPicker(const RandomPicker&) = delete;
    RandomPicker& operator=(const RandomPicker&) = delete;

    // A number in [0, n), never the previous choice for `key` while another one exists. A key below 0
    // has no history; a bound below 1 yields 0.
    std::int32_t pick(std::int32_t key, std::int32_t n);

    void release() { last.release(); }  // frees the history's storage, as teardown does first
};
