#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "data/SampleSource.h"

namespace tavox {

// Sound files, read with libsndfile through the FileSystem: WAV (RIFF,
// RIFX, RF64), W64, FLAC, AIFF/AIFC and CAF, known by their first bytes.
// Samples stored uncompressed are read at their offset in the file (as raw
// samples, checked against libsndfile's reading of the first frames); any
// other encoding is decoded by libsndfile. A file that libsndfile refuses,
// that states no valid rate, whose data chunk states more bytes than the
// file holds, or whose last frame cannot be decoded, is refused with
// fftResultFormatErr and libsndfile's words; a read error of the file
// system gives fftResultFileSysErr.
struct SoundFiles {
    static bool Claims(FileSystem& fileSystem, const std::string& path, std::span<const std::byte> head);
    static SourceOpening Open(FileSystem& fileSystem, const std::string& path, std::unique_ptr<InputFile> file,
                              const InputOptions& options);
    // A 16-bit WAV, a 24-bit FLAC and a 16-bit AIFF (SourceKind::examples).
    static std::vector<SourceExample> Examples(const std::string& folder, std::span<const std::int16_t> frames,
                                               std::int32_t channels, std::int32_t rate);
};

}  // namespace tavox
