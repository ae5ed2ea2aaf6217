#include "data/RawSampleSource.h"

#include <algorithm>

#include "data/SampleDecoding.h"

namespace tavox {
namespace {

// Upper bound of the bytes of one positioned read.
constexpr std::size_t MaxReadBytes = std::size_t{4} << 20;

constexpr const char* NotFinite = "a sample is not a finite number (NaN or infinity)";

std::size_t FrameBytes(SampleFormat format, std::int32_t channels) {
    return SampleBytes(format) * static_cast<std::size_t>(std::max(channels, 1));
}

}  // namespace

SourceOpening RawSampleSource::Open(std::unique_ptr<InputFile> file, const InputOptions& options) {
    if (auto refusal = ChannelRefusal(options, options.channels)) return std::move(*refusal);
    const SampleLayout layout{options.sampleFormat, options.channels, options.channel, 0, std::nullopt};
    return SourceOpening{std::make_unique<RawSampleSource>(std::move(file), layout), fftResultAllRight, {}};
}

std::optional<std::uint64_t> RawSampleSource::Measure(FileSystem& fileSystem, const std::string& path,
                                                      const InputOptions& options) {
    const auto bytes = fileSystem.FileSize(path);
    if (!bytes) return std::nullopt;
    return *bytes / FrameBytes(options.sampleFormat, options.channels);
}

RawSampleSource::RawSampleSource(std::unique_ptr<InputFile> file, const SampleLayout& layout,
                                 std::optional<double> rate) noexcept
    : file_(std::move(file)), layout_(layout), frameBytes_(FrameBytes(layout.format, layout.channels)), rate_(rate) {}

std::optional<std::uint64_t> RawSampleSource::Samples() const {
    const auto end = layout_.end ? layout_.end : file_->Size();
    if (!end) return std::nullopt;
    return *end > layout_.offset ? (*end - layout_.offset) / frameBytes_ : 0;
}

std::optional<FileIdentity> RawSampleSource::Identity() const {
    return file_->Identity();
}

SourceRead RawSampleSource::Read(std::uint64_t first, std::span<double> out, ByteBuffer& bytes) const {
    const std::size_t stepFrames = std::max<std::size_t>(1, MaxReadBytes / frameBytes_);
    const auto channel = static_cast<std::size_t>(layout_.channel - 1);
    const auto channels = static_cast<std::size_t>(layout_.channels);
    SourceRead read;
    while (read.count < out.size()) {
        const std::size_t frames = std::min(stepFrames, out.size() - read.count);
        const std::uint64_t at = layout_.offset + (first + read.count) * frameBytes_;
        std::uint64_t wanted = frames * frameBytes_;
        if (layout_.end) wanted = at >= *layout_.end ? 0 : std::min(wanted, *layout_.end - at);
        if (wanted == 0) break;
        if (bytes.size() < wanted) bytes.resize(wanted);
        const auto got = file_->ReadAt(at, std::span(bytes.data(), wanted));
        if (!got) return SourceRead{0, fftResultFileSysErr, nullptr};
        const std::size_t complete = *got / frameBytes_;
        const std::span<const std::byte> whole(bytes.data(), complete * frameBytes_);
        if (!DecodeChannel(whole, layout_.format, channels, channel, out.subspan(read.count, complete))) {
            return SourceRead{0, fftResultFormatErr, NotFinite};
        }
        read.count += complete;
        if (complete < frames) break;
    }
    return read;
}

}  // namespace tavox
