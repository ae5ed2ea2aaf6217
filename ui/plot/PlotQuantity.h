#pragma once

#include <QString>

#include "common/SpectrumOptions.h"

namespace tavox {

// The lowest level a spectrum of another quantity than the amplitude in
// counts is drawn at (its 0 included); that one stops at DbFloor.
inline constexpr double LevelFloor = -400.0;

// The quantity the dB scale shows `quantity` in: itself when in dB, else
// counts in dBFS and volts in dBV.
SpectrumQuantity LevelQuantity(SpectrumQuantity quantity) noexcept;

// A value of `quantity` as a level of LevelQuantity: 20 log10 of an
// amplitude, 10 log10 of a power, re full scale or 1 V; the value itself
// when in dB. The amplitude in counts as ToDb; others not below LevelFloor.
double ToLevel(double value, SpectrumQuantity quantity) noexcept;

// A value of `quantity` as the amplitude it stands for, in proportion:
// itself for amplitudes, the root of a power, 10^(level/20) of a level in
// dB (0 for -inf), so that ratios of amplitudes say how far bins stand apart.
double AmplitudeOf(double value, SpectrumQuantity quantity) noexcept;

// The axis title of `quantity`, "PSD (dBFS/Hz)"; on the dB scale that of
// its level. The amplitude in counts keeps "magnitude" and
// "level (dB re 32767)".
QString QuantityTitle(SpectrumQuantity quantity, bool levels);

// The unit a readout gives after a value: "V²/Hz"; empty for counts.
QString QuantityUnit(SpectrumQuantity quantity);

}  // namespace tavox
