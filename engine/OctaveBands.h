#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tavox {

// A fractional-octave band of IEC 61260-1 (base 10, G = 10^(3/10)): band x
// of b per octave has the exact mid frequency 1000 G^(x/b) for odd b and
// 1000 G^((2x+1)/(2b)) for even b, edges mid G^(-+1/(2b)), and for 1/1 and
// 1/3 octaves the nominal mid frequency of ISO 266 (31.5, 63, 125...); for
// 1/6 and 1/12 octaves the exact one to three significant digits.
struct OctaveBand {
    std::int32_t index = 0;
    double nominal = 0;
    double exact = 0;
    double lower = 0;
    double upper = 0;
};

OctaveBand BandOf(std::int32_t perOctave, std::int32_t index) noexcept;

// What a one-sided power spectrum (bins `binHz` apart) holds within a band:
// the sum over bins m of c_m P_m / nenbw, c_m the part of bin m's interval
// [m - 1/2, m + 1/2] binHz inside the band, and the sum of the c_m.
struct BandPower {
    OctaveBand band;
    double bins = 0;
    double power = 0;
};

// Every band from the first whose lower edge lies at or above one bin to
// the last whose upper edge lies at or below the last bin's upper edge, in
// frequency order. `nenbw` is the window's noise bandwidth in these bins.
std::vector<BandPower> BandPowers(std::span<const double> power, std::int32_t perOctave, double binHz, double nenbw);

}  // namespace tavox
