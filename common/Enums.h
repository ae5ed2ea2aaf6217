#pragma once

#include <cstdint>

namespace tavox {

// Outcome of one file's transform. Any other number is a runtime error
// number trapped inside a transform method.
enum fftResultEnum : std::int32_t {
    fftResultAllRight = 1101,
    fftResultFileSysErr = 1102,
    fftResultFileNameErr = 1103,
    fftResultOutOfMemory = 1104,
    fftResultRepeatFail = 1105,
    fftResultShortFile = 1106,
    fftResultTargetFull = 1107,
    fftResultFormatErr = 1108,
};

enum fftMethodEnum : std::int32_t {
    fftMethodSimple = 0,
    fftMethodAverage = 1,
    fftMethodMulti = 2,
};

enum fftWindowEnum : std::int32_t {
    fftWindowRectangle = 0,
    fftWindowHanning = 1,
    fftWindowFlatTop = 2,
};

enum fftDataEnum : std::int32_t {
    fftDataDiskFile = 0,
    fftDataExcelRange = 1,
};

// Operation codes of Data::SaveSequence.
enum SaveOpEnum : std::int32_t {
    SaveReset = -1,
    SaveStore = 1,
    SaveAdd = 2,
    SaveAverage = 4,
    SaveWrite = 8,
};

// Booleans exchanged with automation clients: true is -1.
inline constexpr std::int16_t VariantTrue = -1;
inline constexpr std::int16_t VariantFalse = 0;

}  // namespace tavox
