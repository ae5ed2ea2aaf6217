#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "data/SampleSource.h"

namespace tavox {

// SigMF recordings: a .sigmf-meta file (JSON, see ReadSigmfMeta) and the
// samples it describes, in the .sigmf-data file of the same base name or
// the file its core:dataset names. A path names a recording when it is its
// .sigmf-meta, or its .sigmf-data beside a .sigmf-meta. The samples are read
// as raw samples of the datatype, from core:header_bytes to
// core:trailing_bytes before the end, with the rate of core:sample_rate.
struct SigmfRecordings {
    static bool Claims(FileSystem& fileSystem, const std::string& path, std::span<const std::byte> head);
    // fftResultFormatErr, with the field that makes it unreadable, for
    // metadata that cannot be read; fftResultFileSysErr, with the file, for
    // a data file that cannot be opened.
    static SourceOpening Open(FileSystem& fileSystem, const std::string& path, std::unique_ptr<InputFile> file,
                              const InputOptions& options);
    // A recording of ri16_le samples (SourceKind::examples).
    static std::vector<SourceExample> Examples(const std::string& folder, std::span<const std::int16_t> frames,
                                               std::int32_t channels, std::int32_t rate);
};

}  // namespace tavox
