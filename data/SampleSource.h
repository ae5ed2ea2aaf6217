#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/Enums.h"
#include "common/InputOptions.h"
#include "data/BlockCache.h"
#include "data/FileSystem.h"

namespace tavox {

struct SourceOpening;
struct SourceKind;

// What a Read gave: `count` samples, short only at the end of the source,
// or a failure, which leaves the samples unspecified: fftResultFileSysErr
// for a read error, fftResultFormatErr for samples that cannot be read
// (`problem`, a static text, says why).
struct SourceRead {
    std::size_t count = 0;
    std::int32_t result = fftResultAllRight;
    const char* problem = nullptr;
};

// The samples of one channel of an input file, read through a FileSystem,
// as doubles on the scale of 16-bit integers (full scale 32768; see
// DecodeChannel). Samples are numbered from 0, one per frame of the file.
// Open for its lifetime.
class SampleSource {
public:
    // Bytes of a file's beginning that the kinds are shown.
    static constexpr std::size_t HeadBytes = 16;

    virtual ~SampleSource() = default;

    // Opens channel options.channel of `path` as the kind of source its
    // contents name: the first added kind that claims it, else raw samples
    // as `options` describe them (every file with InputKind::Raw).
    // fftResultFileSysErr when the file cannot be opened or read,
    // fftResultFormatErr, with a reason, when it cannot be decoded or has no
    // such channel.
    static SourceOpening Open(FileSystem& fileSystem, const std::string& path, const InputOptions& options = {});
    // The samples Open would give; nothing when unknown or refused.
    static std::optional<std::uint64_t> Measure(FileSystem& fileSystem, const std::string& path,
                                                const InputOptions& options = {});
    // Adds a kind of input file, asked after those added before it and
    // before raw samples; a kind of a name already added is ignored. Not to
    // be called while sources are being opened.
    static void AddKind(const SourceKind& kind);
    // The kinds added, in the order they are asked.
    static std::vector<SourceKind> AddedKinds();

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
    // needed) for the file's bytes. Several threads may read at once, each
    // with a buffer of its own, when the file system allows concurrent use.
    virtual SourceRead Read(std::uint64_t first, std::span<double> out, ByteBuffer& bytes) const = 0;
};

// What opening a source gave: the source, or the result code of the file
// and a line that says why it was refused (empty when none is known).
struct SourceOpening {
    std::unique_ptr<SampleSource> source;
    std::int32_t result = fftResultAllRight;
    std::string reason;

    static SourceOpening Refused(std::int32_t result, std::string reason = {}) {
        return SourceOpening{nullptr, result, std::move(reason)};
    }
};

// A file of a kind written for the self-test: what it is ("WAV") and where.
struct SourceExample {
    std::string name;
    std::string path;
};

// One kind of input file besides raw samples.
struct SourceKind {
    const char* name;
    // True when the kind reads `path`, whose file begins with `head` (up to
    // SampleSource::HeadBytes bytes, fewer for a shorter file).
    bool (*claims)(FileSystem& fileSystem, const std::string& path, std::span<const std::byte> head);
    // Opens channel options.channel of `path`, which `file` holds open.
    SourceOpening (*open)(FileSystem& fileSystem, const std::string& path, std::unique_ptr<InputFile> file,
                          const InputOptions& options);
    // Writes files of the kind into `folder` (ending in "/"), one per variant
    // worth a known-answer check, each holding `frames`: interleaved 16-bit
    // values of `channels` channels at `rate` Hz, stored so that they read
    // back exactly. Null, or nothing written, when the kind has none.
    std::vector<SourceExample> (*examples)(const std::string& folder, std::span<const std::int16_t> frames,
                                           std::int32_t channels, std::int32_t rate);
};

// The refusal of a channel beyond the `channels` a file holds; nothing when
// options.channel is one of them.
std::optional<SourceOpening> ChannelRefusal(const InputOptions& options, std::int32_t channels);

}  // namespace tavox
