// The bundled sounds, synthesised: four distinct buzzers and the score's coin "ding", written as
// 16-bit PCM mono WAV files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace samplegen {

constexpr int kSampleRate = 22050;

// Buzzer 1 to 4: a square-wave buzz, a two-tone alarm, a rising chirp and a game-show honk.
std::vector<std::int16_t> buzzerSound(int number);
std::vector<std::int16_t> scoreSound();

// Throws std::runtime_error when the file cannot be written.
void writeWav(const std::string& path, const std::vector<std::int16_t>& samples, int rate = kSampleRate);

}  // namespace samplegen
