#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "common/Enums.h"
#include "data/BlockCache.h"
#include "data/FileSystem.h"

namespace tavox {

struct SourceOpening;

// The samples of one input file, read through a FileSystem, as doubles on
// the scale of 16-bit integers (full scale 32768). Samples are numbered from
// 0; a file of several channels gives those of one. Open for its lifetime.
class SampleSource {
public:
    virtual ~SampleSource() = default;

    // Opens `path` as the kind of source its file is (raw 16-bit samples
    // when no other kind claims it).
    static SourceOpening Open(FileSystem& fileSystem, const std::string& path);
    // The samples `path` holds as Open would read them, measured without
    // reading any; nothing when unknown.
    static std::optional<std::uint64_t> Measure(FileSystem& fileSystem, const std::string& path);

    // Samples in the source; nothing when the file system cannot tell.
    virtual std::optional<std::uint64_t> Samples() const = 0;
    // True when every sample is a 16-bit integer value, so that no transform
    // of them can overflow.
    virtual bool BoundedSamples() const noexcept = 0;
    // Samples per second the file states; nothing when it states none.
    virtual std::optional<double> SampleRate() const noexcept { return std::nullopt; }
    // Channels the file holds.
    virtual std::int32_t Channels() const noexcept { return 1; }
    // Identity of the file that holds the samples (see InputFile::Identity).
    virtual std::optional<FileIdentity> Identity() const = 0;
    // Reads the samples from `first` into `out`, using `bytes` (grown as
    // needed) for the file's bytes. Returns the count read, short only at the
    // end of the source, or nothing on a read error, which leaves `out`
    // unspecified. Several threads may read at once, each with a buffer of
    // its own, when the file system allows concurrent use.
    virtual std::optional<std::size_t> Read(std::uint64_t first, std::span<double> out, ByteBuffer& bytes) const = 0;
};

// What opening a source gave: the source, or the result code of the file
// and a line that says why it was refused (empty when none is known).
struct SourceOpening {
    std::unique_ptr<SampleSource> source;
    std::int32_t result = fftResultAllRight;
    std::string reason;
};

}  // namespace tavox
