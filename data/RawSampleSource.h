#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "common/Recycled.h"
#include "data/SampleSource.h"

namespace tavox {

// Where the samples of a file lie and how they are stored.
struct SampleLayout {
    SampleFormat format = SampleFormat::S16le;
    std::int32_t channels = 1;         // interleaved, 1 to MaxChannels
    std::int32_t channel = 1;          // the one read, from 1
    std::uint64_t offset = 0;          // bytes before the first frame
    std::optional<std::uint64_t> end;  // where the frames end; nothing: at the end of the file
};

// Samples stored as they are: frames of interleaved channels of one sample
// format from an offset of a file; bytes after the last whole frame are no
// sample. A sequence file is one (16-bit signed little-endian samples, one
// channel, no header and no rate), and so is every file that no other kind
// claims, read as the input options describe it.
class RawSampleSource final : public SampleSource, public Recycled<RawSampleSource> {
public:
    // `file` as raw samples with the format and channels of `options`;
    // fftResultFormatErr when it has no channel options.channel.
    static SourceOpening Open(std::unique_ptr<InputFile> file, const InputOptions& options);
    static std::optional<std::uint64_t> Measure(FileSystem& fileSystem, const std::string& path,
                                                const InputOptions& options);

    // The layout's channel must be one of its channels.
    RawSampleSource(std::unique_ptr<InputFile> file, const SampleLayout& layout,
                    std::optional<double> rate = std::nullopt) noexcept;

    std::optional<std::uint64_t> Samples() const override;
    bool BoundedSamples() const noexcept override { return SixteenBitValues(layout_.format); }
    std::optional<double> SampleRate() const noexcept override { return rate_; }
    std::int32_t Channels() const noexcept override { return layout_.channels; }
    std::optional<FileIdentity> Identity() const override;
    SourceRead Read(std::uint64_t first, std::span<double> out, ByteBuffer& bytes) const override;

private:
    std::unique_ptr<InputFile> file_;
    SampleLayout layout_;
    std::size_t frameBytes_;
    std::optional<double> rate_;
};

}  // namespace tavox
