#include "data/SampleSource.h"

#include <string_view>

#include "data/RawSampleSource.h"

namespace tavox {
namespace {

// One kind of input file: whether it reads a path, and how it opens and
// measures one. The first kind of Kinds that claims a path reads it.
struct SourceKind {
    bool (*claims)(std::string_view path) noexcept;
    SourceOpening (*open)(FileSystem& fileSystem, const std::string& path);
    std::optional<std::uint64_t> (*measure)(FileSystem& fileSystem, const std::string& path);
};

template <class Source>
constexpr SourceKind Kind() {
    return {&Source::Claims, &Source::Open, &Source::Measure};
}

// Raw claims every file, so it comes last.
constexpr SourceKind Kinds[] = {
    Kind<RawSampleSource>(),
};

const SourceKind& KindOf(const std::string& path) noexcept {
    for (const SourceKind& kind : Kinds) {
        if (kind.claims(path)) return kind;
    }
    return Kinds[std::size(Kinds) - 1];
}

}  // namespace

SourceOpening SampleSource::Open(FileSystem& fileSystem, const std::string& path) {
    return KindOf(path).open(fileSystem, path);
}

std::optional<std::uint64_t> SampleSource::Measure(FileSystem& fileSystem, const std::string& path) {
    return KindOf(path).measure(fileSystem, path);
}

}  // namespace tavox
