#include "data/RawSampleSource.h"

#include "data/SampleBlocks.h"

namespace tavox {
namespace {

constexpr std::uint64_t BytesPerSample = 2;

}  // namespace

bool RawSampleSource::Claims(std::string_view) noexcept {
    return true;
}

SourceOpening RawSampleSource::Open(FileSystem& fileSystem, const std::string& path) {
    std::unique_ptr<InputFile> file = fileSystem.OpenRead(path);
    if (!file) return SourceOpening{nullptr, fftResultFileSysErr, {}};
    return SourceOpening{std::make_unique<RawSampleSource>(std::move(file)), fftResultAllRight, {}};
}

std::optional<std::uint64_t> RawSampleSource::Measure(FileSystem& fileSystem, const std::string& path) {
    const auto bytes = fileSystem.FileSize(path);
    if (!bytes) return std::nullopt;
    return *bytes / BytesPerSample;
}

RawSampleSource::RawSampleSource(std::unique_ptr<InputFile> file) noexcept : file_(std::move(file)) {}

std::optional<std::uint64_t> RawSampleSource::Samples() const {
    const auto bytes = file_->Size();
    if (!bytes) return std::nullopt;
    return *bytes / BytesPerSample;
}

std::optional<FileIdentity> RawSampleSource::Identity() const {
    return file_->Identity();
}

std::optional<std::size_t> RawSampleSource::Read(std::uint64_t first, std::span<double> out, ByteBuffer& bytes) const {
    const std::size_t wanted = out.size() * BytesPerSample;
    if (bytes.size() < wanted) bytes.resize(wanted);
    const auto got = file_->ReadAt(first * BytesPerSample, std::span(bytes.data(), wanted));
    if (!got) return std::nullopt;
    const std::size_t complete = *got / BytesPerSample;
    SamplesFromBytes(std::span<const std::byte>(bytes.data(), complete * BytesPerSample), out.first(complete));
    return complete;
}

}  // namespace tavox
