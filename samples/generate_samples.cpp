// Writes the bundled sample signals as 16-bit little-endian sequence files.
// Deterministic: the same files on every machine.

#include <cmath>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr std::size_t Length = 8192;

std::int16_t ToSample(double v) {
    const double r = std::nearbyint(v);
    return static_cast<std::int16_t>(r > 32767 ? 32767 : r < -32767 ? -32767 : r);
}

bool Write(const std::string& path, const std::function<double(std::size_t)>& signal) {
    std::vector<char> bytes;
    bytes.reserve(Length * 2);
    for (std::size_t n = 0; n < Length; ++n) {
        const auto u = static_cast<std::uint16_t>(ToSample(signal(n)));
        bytes.push_back(static_cast<char>(u & 0xFF));
        bytes.push_back(static_cast<char>(u >> 8));
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// Uniform values in [-1, 1) from a fixed linear congruential sequence.
class Noise {
public:
    double Next() {
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(state_ >> 11) / 4503599627370496.0 - 1.0;
    }

private:
    std::uint64_t state_ = 20240601;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: tavox_samples <folder>\n";
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    Noise noise;
    const bool ok =
        // 8000 on bin 64 of a 1024-sample exposure.
        Write(folder + "sine_bin64.dat", [](std::size_t n) { return 8000.0 * std::sin(2 * Pi * 64.0 * n / 1024); }) &&
        // 6000 on bin 100 and 2000 on bin 300, over a constant level of 1000.
        Write(folder + "two_tones.dat",
              [](std::size_t n) {
                  return 1000.0 + 6000.0 * std::cos(2 * Pi * 100.0 * n / 1024) +
                         2000.0 * std::cos(2 * Pi * 300.0 * n / 1024);
              }) &&
        // Linear sweep from 0.01 to 0.4 cycles per sample.
        Write(folder + "chirp.dat",
              [](std::size_t n) {
                  const double t = static_cast<double>(n);
                  const double rate = (0.4 - 0.01) / Length;
                  return 10000.0 * std::sin(2 * Pi * (0.01 * t + rate * t * t / 2));
              }) &&
        // White noise with a tone of 1500 on bin 200 buried in it.
        Write(folder + "noise.dat",
              [&noise](std::size_t n) { return 3000.0 * noise.Next() + 1500.0 * std::cos(2 * Pi * 200.0 * n / 1024); });
    if (!ok) {
        std::cerr << "tavox_samples: cannot write into " << folder << '\n';
        return 1;
    }
    return 0;
}
