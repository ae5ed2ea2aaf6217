#include "data/SampleSource.h"

#include <array>
#include <cstring>
#include <mutex>
#include <vector>

#include "data/RawSampleSource.h"

namespace tavox {
namespace {

// The kinds in the order they are asked; raw samples come after them all.
std::vector<SourceKind>& Kinds() {
    static std::vector<SourceKind> kinds;
    return kinds;
}

bool Detecting(const InputOptions& options) {
    return options.kind == InputKind::Detect && !Kinds().empty();
}

}  // namespace

void SampleSource::AddKind(const SourceKind& kind) {
    static std::mutex adding;
    std::lock_guard lock(adding);
    for (const SourceKind& known : Kinds()) {
        if (std::strcmp(known.name, kind.name) == 0) return;
    }
    Kinds().push_back(kind);
}

std::vector<SourceKind> SampleSource::AddedKinds() {
    return Kinds();
}

SourceOpening SampleSource::Open(FileSystem& fileSystem, const std::string& path, const InputOptions& options) {
    std::unique_ptr<InputFile> file = fileSystem.OpenRead(path);
    if (!file) return SourceOpening::Refused(fftResultFileSysErr);
    if (Detecting(options)) {
        std::array<std::byte, HeadBytes> head{};
        const auto got = file->ReadAt(0, head);
        if (!got) return SourceOpening::Refused(fftResultFileSysErr);
        const std::span<const std::byte> begins(head.data(), *got);
        for (const SourceKind& kind : Kinds()) {
            if (kind.claims(fileSystem, path, begins)) return kind.open(fileSystem, path, std::move(file), options);
        }
    }
    return RawSampleSource::Open(std::move(file), options);
}

std::optional<std::uint64_t> SampleSource::Measure(FileSystem& fileSystem, const std::string& path,
                                                   const InputOptions& options) {
    if (!Detecting(options)) return RawSampleSource::Measure(fileSystem, path, options);
    const SourceOpening opening = Open(fileSystem, path, options);
    if (!opening.source) return std::nullopt;
    return opening.source->Samples();
}

std::optional<SourceOpening> ChannelRefusal(const InputOptions& options, std::int32_t channels) {
    if (options.channel >= 1 && options.channel <= channels) return std::nullopt;
    return SourceOpening::Refused(fftResultFormatErr,
                                  "channel " + std::to_string(options.channel) + " was asked for, but the file holds " +
                                      std::to_string(channels) + (channels == 1 ? " channel" : " channels"));
}

}  // namespace tavox
