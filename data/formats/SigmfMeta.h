#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/InputOptions.h"

namespace tavox {

// What the metadata of a SigMF recording (a .sigmf-meta file, JSON) says
// of its samples.
struct SigmfMeta {
    SampleFormat format = SampleFormat::S16le;  // core:datatype, real samples only
    std::int32_t channels = 1;                  // core:num_channels
    std::optional<double> rate;                 // core:sample_rate
    std::optional<std::string> dataset;         // core:dataset: the data file's name, beside the metadata
    std::uint64_t headerBytes = 0;              // core:header_bytes of the first capture
    std::uint64_t trailingBytes = 0;            // core:trailing_bytes
};

// The metadata, or one line naming what makes it unreadable: no JSON
// object, a field of the wrong type or value, a datatype that the SigMF
// grammar does not form ("ri16" and "i16_le" are none), complex samples,
// metadata without samples, or header bytes inside the samples.
struct SigmfReading {
    std::optional<SigmfMeta> meta;
    std::string error;
};
SigmfReading ReadSigmfMeta(std::string_view text);

// Whether `text` is a datatype of the grammar, and which: real samples
// give their format, complex ones `complex`.
struct SigmfDatatype {
    bool valid = false;
    bool complex = false;
    SampleFormat format = SampleFormat::S16le;
};
SigmfDatatype ParseSigmfDatatype(std::string_view text) noexcept;

}  // namespace tavox
