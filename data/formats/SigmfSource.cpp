#include "data/formats/SigmfSource.h"

#include <fstream>
#include <string_view>

#include "data/Path.h"
#include "data/RawSampleSource.h"
#include "data/formats/SigmfMeta.h"

namespace tavox {
namespace {

constexpr std::string_view MetaExtension = ".sigmf-meta";
constexpr std::string_view DataExtension = ".sigmf-data";
constexpr std::size_t MaxMetaBytes = std::size_t{64} << 20;

bool EndsWith(std::string_view text, std::string_view end) {
    return text.size() > end.size() && text.substr(text.size() - end.size()) == end;
}

// The metadata of the recording `path` names, or empty.
std::string MetaPath(const std::string& path) {
    if (EndsWith(path, MetaExtension)) return path;
    if (EndsWith(path, DataExtension))
        return path.substr(0, path.size() - DataExtension.size()) + std::string(MetaExtension);
    return {};
}

}  // namespace

bool SigmfRecordings::Claims(FileSystem& fileSystem, const std::string& path, std::span<const std::byte> /*head*/) {
    const std::string meta = MetaPath(path);
    return !meta.empty() && (meta == path || fileSystem.FileExists(meta));
}

SourceOpening SigmfRecordings::Open(FileSystem& fileSystem, const std::string& path,
                                    std::unique_ptr<InputFile> /*file*/, const InputOptions& options) {
    const std::string metaPath = MetaPath(path);
    const auto text = fileSystem.ReadSmallFile(metaPath, MaxMetaBytes + 1);
    if (!text || text->empty()) {
        return SourceOpening::Refused(fftResultFileSysErr, "the metadata " + PathName(metaPath) + " cannot be read");
    }
    if (text->size() > MaxMetaBytes) {
        return SourceOpening::Refused(fftResultFormatErr,
                                      "the metadata is larger than " + std::to_string(MaxMetaBytes >> 20) + " MiB");
    }
    const SigmfReading reading = ReadSigmfMeta(*text);
    if (!reading.meta) return SourceOpening::Refused(fftResultFormatErr, reading.error);
    const SigmfMeta& meta = *reading.meta;
    if (auto refusal = ChannelRefusal(options, meta.channels)) return std::move(*refusal);

    const std::string dataName =
        meta.dataset ? *meta.dataset
                     : PathName(metaPath.substr(0, metaPath.size() - MetaExtension.size())) + ".sigmf-data";
    const std::string dataPath = PathFolder(metaPath) + dataName;
    std::unique_ptr<InputFile> data = fileSystem.OpenRead(dataPath);
    if (!data) return SourceOpening::Refused(fftResultFileSysErr, "the data file " + dataName + " cannot be opened");
    const auto size = data->Size();
    if (!size) return SourceOpening::Refused(fftResultFileSysErr, "the data file " + dataName + " cannot be measured");
    if (meta.headerBytes + meta.trailingBytes > *size) {
        return SourceOpening::Refused(fftResultFormatErr, "the data file " + dataName + " holds " +
                                                              std::to_string(*size) +
                                                              " bytes, fewer than its header and trailing bytes");
    }
    const SampleLayout layout{meta.format, meta.channels, options.channel, meta.headerBytes,
                              *size - meta.trailingBytes};
    return SourceOpening{std::make_unique<RawSampleSource>(std::move(data), layout, meta.rate), fftResultAllRight, {}};
}

std::vector<SourceExample> SigmfRecordings::Examples(const std::string& folder, std::span<const std::int16_t> frames,
                                                     std::int32_t channels, std::int32_t rate) {
    std::string bytes;
    for (const std::int16_t sample : frames) {
        const auto word = static_cast<std::uint16_t>(sample);
        bytes += static_cast<char>(word & 0xFF);
        bytes += static_cast<char>(word >> 8);
    }
    const std::string meta =
        "{\"global\": {\"core:datatype\": \"ri16_le\", \"core:version\": \"1.2.0\", "
        "\"core:num_channels\": " +
        std::to_string(channels) + ", \"core:sample_rate\": " + std::to_string(rate) +
        "}, \"captures\": [{\"core:sample_start\": 0}], \"annotations\": []}\n";
    std::ofstream data(folder + "example.sigmf-data", std::ios::binary | std::ios::trunc);
    std::ofstream text(folder + "example.sigmf-meta", std::ios::binary | std::ios::trunc);
    if (!data.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) || !(text << meta)) return {};
    return {{"SigMF", folder + "example.sigmf-meta"}};
}

}  // namespace tavox
