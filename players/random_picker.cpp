#include "players/random_picker.h"

#include <cstdlib>
#include <ctime>

RandomPicker::RandomPicker() { std::srand(static_cast<unsigned>(std::time(nullptr))); }

std::int32_t RandomPicker::pick(std::int32_t key, std::int32_t n) {
    if (n < 1) return 0;
    const std::uintptr_t previous = last.get(key);
    std::int32_t choice = std::rand() % n;
    // With a single value there is nothing else to draw: it is taken even if it was the last choice.
    if (previous != 0 && n > 1)
        while (static_cast<std::uintptr_t>(choice) == previous - 1) choice = std::rand() % n;
    last.set(key, static_cast<std::uintptr_t>(choice) + 1);
    return choice;
}
