#include "tools/samplegen/sounds.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <stdexcept>

namespace samplegen {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Harmonics stop below this share of the sample rate, so nothing folds back as aliasing.
constexpr double kHighestHarmonic = 0.45 * kSampleRate;

// One tone built from harmonics: `frequency` gives the fundamental at each moment (the phase is
// integrated, so glides and jumps stay click-free) and `weight` each harmonic's amplitude.
std::vector<double> additive(double seconds, const std::function<double(double t)>& frequency,
                             const std::function<double(int harmonic, double hz)>& weight) {
    std::size_t count = static_cast<std::size_t>(seconds * kSampleRate);
    std::vector<double> out(count);
    double phase = 0;
    for (std::size_t i = 0; i < count; ++i) {
        double t = static_cast<double>(i) / kSampleRate;
        double hz = frequency(t);
        double value = 0;
        for (int k = 1; k * hz < kHighestHarmonic; ++k) {
            double w = weight(k, hz);
            if (w != 0) value += w * std::sin(k * phase);
        }
        out[i] = value;
        phase += 2 * kPi * hz / kSampleRate;
        if (phase > 2 * kPi * 1024) phase -= 2 * kPi * 1024;
    }
    return out;
}

double squareWeight(int k, double) { return k % 2 ? 1.0 / k : 0.0; }
double sawWeight(int k, double) { return 1.0 / k; }

// Short fades at both ends (no clicks), then the peak scaled to `peak` of full scale.
std::vector<std::int16_t> finish(std::vector<double> wave, double fadeIn, double fadeOut, double peak = 0.7) {
    std::size_t in = static_cast<std::size_t>(fadeIn * kSampleRate), out = static_cast<std::size_t>(fadeOut * kSampleRate);
    for (std::size_t i = 0; i < wave.size(); ++i) {
        double gain = 1;
        if (i < in) gain = static_cast<double>(i) / in;
        if (wave.size() - i <= out) gain = std::min(gain, static_cast<double>(wave.size() - 1 - i) / out);
        wave[i] *= gain;
    }
    double loudest = 0;
    for (double v : wave) loudest = std::max(loudest, std::fabs(v));
    std::vector<std::int16_t> samples(wave.size());
    for (std::size_t i = 0; i < wave.size(); ++i) {
        double v = loudest > 0 ? wave[i] / loudest * peak : 0;
        samples[i] = static_cast<std::int16_t>(std::lround(v * 32767.0));
    }
    return samples;
}

void putLittle(std::ofstream& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

std::vector<std::int16_t> buzzerSound(int number) {
    switch (number) {
    case 1:  // a low square buzz with a little vibrato and a rasping tremolo
    {
        auto wave = additive(0.55, [](double t) { return 140.0 * (1 + 0.02 * std::sin(2 * kPi * 6 * t)); }, squareWeight);
        for (std::size_t i = 0; i < wave.size(); ++i) wave[i] *= 0.75 + 0.25 * std::sin(2 * kPi * 35 * i / kSampleRate);
        return finish(std::move(wave), 0.005, 0.04);
    }
    case 2:  // a two-tone alarm, high and low every 90 ms
        return finish(additive(0.6, [](double t) { return static_cast<int>(t / 0.09) % 2 ? 494.0 : 660.0; },
                               [](int k, double hz) { return k * hz < 4000 ? squareWeight(k, hz) : 0.0; }),
                      0.005, 0.04);
    case 3:  // a rising chirp, a sawtooth sweeping two octaves up
        return finish(additive(0.4, [](double t) { return 250.0 * std::pow(4.4, t / 0.4); }, sawWeight), 0.005, 0.03);
    default:  // a honk: two slightly detuned sawtooths through a vowel-like bump near 800 Hz
    {
        auto formant = [](int k, double hz) {
            double f = k * hz;
            return (1.0 / k) * (1 + 3 * std::exp(-std::pow((f - 800) / 280, 2)));
        };
        auto low = additive(0.7, [](double) { return 180.0; }, formant);
        auto high = additive(0.7, [](double) { return 190.5; }, formant);
        for (std::size_t i = 0; i < low.size(); ++i) low[i] += high[i];
        return finish(std::move(low), 0.01, 0.08);
    }
    }
}

std::vector<std::int16_t> scoreSound() {
    // A coin: a short B5, then a ringing E6 that dies away.
    const double first = 0.07, total = 0.45;
    auto bright = [](int k, double) { return k == 1 ? 1.0 : k == 2 ? 0.3 : k == 3 ? 0.12 : 0.0; };
    auto wave = additive(total, [=](double t) { return t < first ? 987.77 : 1318.51; }, bright);
    for (std::size_t i = 0; i < wave.size(); ++i) {
        double t = static_cast<double>(i) / kSampleRate;
        wave[i] *= t < first ? 0.8 : std::exp(-(t - first) * 9);
    }
    return finish(std::move(wave), 0.003, 0.03);
}

void writeWav(const std::string& path, const std::vector<std::int16_t>& samples, int rate) {
    std::ofstream out(path, std::ios::binary);
    if (!out) throw std::runtime_error(path + ": cannot create the file");
    std::uint32_t dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    putLittle(out, 36 + dataBytes, 4);
    out.write("WAVEfmt ", 8);
    putLittle(out, 16, 4);         // size of the format chunk
    putLittle(out, 1, 2);          // PCM
    putLittle(out, 1, 2);          // mono
    putLittle(out, static_cast<std::uint32_t>(rate), 4);
    putLittle(out, static_cast<std::uint32_t>(rate) * 2, 4);  // bytes per second
    putLittle(out, 2, 2);          // bytes per frame
    putLittle(out, 16, 2);         // bits per sample
    out.write("data", 4);
    putLittle(out, dataBytes, 4);
    for (std::int16_t s : samples) putLittle(out, static_cast<std::uint16_t>(s), 2);
    if (!out) throw std::runtime_error(path + ": write failed");
}

}  // namespace samplegen
