#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/Recycled.h"
#include "data/SampleSource.h"

namespace tavox {

// A sequence file: a bare run of 16-bit signed little-endian samples, one
// channel, no header and no rate; a last odd byte is no sample. Every file
// that no other kind claims is read as one.
class RawSampleSource final : public SampleSource, public Recycled<RawSampleSource> {
public:
    static bool Claims(std::string_view path) noexcept;
    // fftResultFileSysErr when the file cannot be opened.
    static SourceOpening Open(FileSystem& fileSystem, const std::string& path);
    static std::optional<std::uint64_t> Measure(FileSystem& fileSystem, const std::string& path);

    explicit RawSampleSource(std::unique_ptr<InputFile> file) noexcept;

    std::optional<std::uint64_t> Samples() const override;
    bool BoundedSamples() const noexcept override { return true; }
    std::optional<FileIdentity> Identity() const override;
    std::optional<std::size_t> Read(std::uint64_t first, std::span<double> out, ByteBuffer& bytes) const override;

private:
    std::unique_ptr<InputFile> file_;
};

}  // namespace tavox
