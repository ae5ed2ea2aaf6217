#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "data/SampleSource.h"
#include "data/formats/InputFormats.h"
#include "data/formats/SigmfMeta.h"
#include "fuzz/FuzzInput.h"
#include "fuzz/MemoryFileSystem.h"
#include "fuzz/Targets.h"

namespace tavox::fuzz {
namespace {

// Frames read at most, so that a header that states millions costs little.
constexpr std::size_t MaxFrames = std::size_t{1} << 16;

MemoryFileSystem::Bytes BytesOf(const std::string& text) {
    return MemoryFileSystem::Bytes(reinterpret_cast<const std::byte*>(text.data()),
                                   reinterpret_cast<const std::byte*>(text.data() + text.size()));
}

// Opens `path` as `options` say and reads it whole (up to MaxFrames), then a
// part of it again from the middle: the kinds' results only, the rate and
// channels they promise, 16-bit values where they say so, and the same
// values however the reads are cut.
void ReadSource(MemoryFileSystem& fileSystem, const std::string& path, const InputOptions& options) {
    const SourceOpening opening = SampleSource::Open(fileSystem, path, options);
    if (!opening.source) {
        FUZZ_CHECK(opening.result == fftResultFileSysErr || opening.result == fftResultFormatErr);
        FUZZ_CHECK(opening.result == fftResultFileSysErr || !opening.reason.empty());
        return;
    }
    const SampleSource& source = *opening.source;
    FUZZ_CHECK(source.Channels() >= options.channel && source.Channels() <= MaxChannels);
    if (const auto rate = source.SampleRate()) FUZZ_CHECK(std::isfinite(*rate) && *rate > 0 && *rate < 1e12);
    const auto samples = source.Samples();
    if (!samples) return;
    const std::size_t frames = static_cast<std::size_t>(std::min<std::uint64_t>(*samples, MaxFrames));
    std::vector<double> whole(frames);
    ByteBuffer bytes;
    const SourceRead read = source.Read(0, whole, bytes);
    FUZZ_CHECK(read.result == fftResultAllRight || read.result == fftResultFormatErr ||
               read.result == fftResultFileSysErr);
    if (read.result != fftResultAllRight) {
        FUZZ_CHECK(read.result != fftResultFormatErr || read.problem != nullptr);
        return;
    }
    FUZZ_CHECK(read.count == frames);
    for (const double x : whole) {
        FUZZ_CHECK(std::isfinite(x));
        if (source.BoundedSamples()) FUZZ_CHECK(x == std::round(x) && x >= -32768 && x <= 32767);
    }
    const std::size_t middle = frames / 3;
    std::vector<double> part(frames - middle);
    const SourceRead again = source.Read(middle, part, bytes);
    FUZZ_CHECK(again.result == fftResultAllRight && again.count == part.size());
    FUZZ_CHECK(std::equal(part.begin(), part.end(), whole.begin() + static_cast<std::ptrdiff_t>(middle)));
}

InputOptions TakeOptions(FuzzInput& input) {
    const auto flags = input.Take<std::uint8_t>();
    InputOptions options;
    options.channel = 1 + (flags & 3);
    options.channels = 1 + ((flags >> 2) & 3);
    options.sampleFormat = static_cast<SampleFormat>((flags >> 4) % SampleFormatNames.size());
    return options;
}

}  // namespace

int SoundFile(const std::uint8_t* data, std::size_t size) {
    RegisterInputFormats();
    FuzzInput input(data, size);
    const InputOptions options = TakeOptions(input);
    MemoryFileSystem fileSystem;
    fileSystem.Put("/d/in", BytesOf(input.TakeRest()));
    ReadSource(fileSystem, "/d/in", options);
    return 0;
}

int SigmfMetaText(const std::uint8_t* data, std::size_t size) {
    RegisterInputFormats();
    FuzzInput input(data, size);
    const InputOptions options = TakeOptions(input);
    const std::string samples = input.TakeText(256);
    const std::string text = input.TakeRest();
    const SigmfReading reading = ReadSigmfMeta(text);
    FUZZ_CHECK(reading.meta.has_value() == reading.error.empty());
    FUZZ_CHECK(reading.error.find('\n') == std::string::npos);
    if (reading.meta) {
        const SigmfMeta& meta = *reading.meta;
        FUZZ_CHECK(meta.channels >= 1 && meta.channels <= MaxChannels);
        if (meta.rate) FUZZ_CHECK(std::isfinite(*meta.rate) && *meta.rate > 0 && *meta.rate < 1e12);
        if (meta.dataset) FUZZ_CHECK(!meta.dataset->empty() && meta.dataset->find('/') == std::string::npos);
    }
    MemoryFileSystem fileSystem;
    fileSystem.Put("/d/r.sigmf-meta", BytesOf(text));
    fileSystem.Put("/d/r.sigmf-data", BytesOf(samples));
    if (reading.meta && reading.meta->dataset) fileSystem.Put("/d/" + *reading.meta->dataset, BytesOf(samples));
    ReadSource(fileSystem, "/d/r.sigmf-data", options);
    return 0;
}

}  // namespace tavox::fuzz
