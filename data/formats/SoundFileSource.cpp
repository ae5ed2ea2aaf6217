#include "data/formats/SoundFileSource.h"

#include <sndfile.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "data/RawSampleSource.h"
#include "data/SampleDecoding.h"
#include "data/formats/StatedData.h"

namespace tavox {
namespace {

constexpr double FullScale = 32768.0;
// Rates are read from above 0 to below this.
constexpr double MaxStatedRate = 1e12;
// libsndfile reads a header a few bytes at a time: this much of the file's
// beginning is read once and served from memory.
constexpr std::size_t HeadCacheBytes = 4096;
// Frames that libsndfile decodes to check where stored samples lie.
constexpr sf_count_t CheckedFrames = 64;
constexpr std::size_t DecodeStepBytes = std::size_t{1} << 20;

constexpr const char* NotFinite = "a sample is not a finite number (NaN or infinity)";
constexpr const char* EndsEarly = "the file ends before the frames its header states (damaged or cut short)";

constexpr std::array<unsigned char, 16> W64Riff = {'r',  'i',  'f',  'f',  0x2E, 0x91, 0xCF, 0x11,
                                                   0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00};

bool HasAt(std::span<const std::byte> head, std::size_t at, std::span<const unsigned char> text) {
    return head.size() >= at + text.size() && std::memcmp(head.data() + at, text.data(), text.size()) == 0;
}

bool HasAt(std::span<const std::byte> head, std::size_t at, std::string_view text) {
    return HasAt(head, at, std::span(reinterpret_cast<const unsigned char*>(text.data()), text.size()));
}

// libsndfile's file: an InputFile read at a position of its own.
class VirtualFile {
public:
    explicit VirtualFile(std::unique_ptr<InputFile> file) : file_(std::move(file)), size_(file_->Size()) {}

    static SF_VIRTUAL_IO* Io() {
        static SF_VIRTUAL_IO io{&Length, &Seek, &Read, &Write, &Tell};
        return &io;
    }
    bool Sized() const noexcept { return size_.has_value(); }
    std::uint64_t Size() const noexcept { return size_.value_or(0); }
    InputFile& File() noexcept { return *file_; }
    std::unique_ptr<InputFile> Take() noexcept { return std::move(file_); }
    bool ReadFailed() const noexcept { return readFailed_; }
    // The file's first bytes as read so far (up to HeadCacheBytes).
    std::span<const std::byte> Head() const noexcept { return head_; }
    // Where the last absolute seek went (-1 once forgotten).
    sf_count_t LastSeek() const noexcept { return lastSeek_; }
    void ForgetSeek() noexcept { lastSeek_ = -1; }
    // Reads as libsndfile does, from the cached beginning where it can.
    std::size_t ReadAt(std::uint64_t offset, std::span<std::byte> out) {
        if (!headRead_) {
            headRead_ = true;
            head_.resize(std::min<std::uint64_t>(HeadCacheBytes, Size()));
            const auto got = file_->ReadAt(0, head_);
            if (!got) {
                readFailed_ = true;
                head_.clear();
            } else {
                head_.resize(*got);
            }
        }
        if (offset + out.size() <= head_.size()) {
            std::memcpy(out.data(), head_.data() + offset, out.size());
            return out.size();
        }
        const auto got = file_->ReadAt(offset, out);
        if (!got) readFailed_ = true;
        return got.value_or(0);
    }

private:
    static VirtualFile& Self(void* self) { return *static_cast<VirtualFile*>(self); }
    static sf_count_t Length(void* self) { return static_cast<sf_count_t>(Self(self).Size()); }
    static sf_count_t Seek(sf_count_t offset, int whence, void* self) {
        VirtualFile& file = Self(self);
        const sf_count_t from = whence == SEEK_CUR   ? file.position_
                                : whence == SEEK_END ? static_cast<sf_count_t>(file.Size())
                                                     : 0;
        if (offset < 0 && -offset > from) return -1;
        file.position_ = from + offset;
        if (whence == SEEK_SET) file.lastSeek_ = offset;
        return file.position_;
    }
    static sf_count_t Read(void* to, sf_count_t count, void* self) {
        VirtualFile& file = Self(self);
        if (count <= 0) return 0;
        const std::size_t got = file.ReadAt(static_cast<std::uint64_t>(file.position_),
                                            std::span(static_cast<std::byte*>(to), static_cast<std::size_t>(count)));
        file.position_ += static_cast<sf_count_t>(got);
        return static_cast<sf_count_t>(got);
    }
    static sf_count_t Write(const void*, sf_count_t, void*) { return 0; }
    static sf_count_t Tell(void* self) { return Self(self).position_; }

    std::unique_ptr<InputFile> file_;
    std::optional<std::uint64_t> size_;
    sf_count_t position_ = 0;
    sf_count_t lastSeek_ = -1;
    std::vector<std::byte> head_;
    bool headRead_ = false;
    bool readFailed_ = false;
};

struct SoundCloser {
    void operator()(SNDFILE* sound) const noexcept { sf_close(sound); }
};
using SoundHandle = std::unique_ptr<SNDFILE, SoundCloser>;

// libsndfile keeps the error of a failed open in one place for the process.
std::mutex& OpeningLock() {
    static std::mutex lock;
    return lock;
}

std::optional<std::string> InfoProblem(const SF_INFO& info) {
    if (info.channels < 1 || info.channels > MaxChannels) {
        return "the file states " + std::to_string(info.channels) + " channels; 1 to " + std::to_string(MaxChannels) +
               " can be read";
    }
    if (info.samplerate <= 0) return "the file states a sample rate of " + std::to_string(info.samplerate) + " Hz";
    if (info.frames < 0) return std::string("the file states no length");
    return std::nullopt;
}

// The rate the file states: an AIFF's own, which libsndfile reads as a whole
// number only, else libsndfile's; nothing when it lies outside 0 to 10^12 Hz.
std::optional<double> StatedRate(const SF_INFO& info, std::span<const std::byte> head) {
    const auto aiff = (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_AIFF ? StatedAiffRate(head) : std::nullopt;
    const double rate = aiff.value_or(info.samplerate);
    if (!std::isfinite(rate) || rate <= 0 || rate >= MaxStatedRate) return std::nullopt;
    return rate;
}

bool SixteenBitEncoding(int format) {
    const int encoding = format & SF_FORMAT_SUBMASK;
    return encoding == SF_FORMAT_PCM_16 || encoding == SF_FORMAT_PCM_S8 || encoding == SF_FORMAT_PCM_U8;
}

// The format of samples stored as they are in containers whose samples lie
// in one block; nothing for any other.
std::optional<SampleFormat> StoredFormat(int format, bool bigEndian) {
    switch (format & SF_FORMAT_TYPEMASK) {
        case SF_FORMAT_WAV:
        case SF_FORMAT_WAVEX:
        case SF_FORMAT_RF64:
        case SF_FORMAT_W64:
        case SF_FORMAT_AIFF:
        case SF_FORMAT_CAF:
            break;
        default:
            return std::nullopt;
    }
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8:
            return SampleFormat::S8;
        case SF_FORMAT_PCM_U8:
            return SampleFormat::U8;
        case SF_FORMAT_PCM_16:
            return bigEndian ? SampleFormat::S16be : SampleFormat::S16le;
        case SF_FORMAT_PCM_24:
            return bigEndian ? SampleFormat::S24be : SampleFormat::S24le;
        case SF_FORMAT_PCM_32:
            return bigEndian ? SampleFormat::S32be : SampleFormat::S32le;
        case SF_FORMAT_FLOAT:
            return bigEndian ? SampleFormat::F32be : SampleFormat::F32le;
        case SF_FORMAT_DOUBLE:
            return bigEndian ? SampleFormat::F64be : SampleFormat::F64le;
        default:
            return std::nullopt;
    }
}

// Samples decoded by libsndfile; one read at a time.
class DecodedSoundSource final : public SampleSource {
public:
    DecodedSoundSource(std::unique_ptr<VirtualFile> file, SoundHandle sound, const SF_INFO& info, double rate,
                       std::int32_t channel)
        : file_(std::move(file)), sound_(std::move(sound)), info_(info), rate_(rate), channel_(channel) {}

    std::optional<std::uint64_t> Samples() const override { return static_cast<std::uint64_t>(info_.frames); }
    bool BoundedSamples() const noexcept override { return SixteenBitEncoding(info_.format); }
    std::optional<double> SampleRate() const noexcept override { return rate_; }
    std::int32_t Channels() const noexcept override { return info_.channels; }
    std::optional<FileIdentity> Identity() const override { return file_->File().Identity(); }

    SourceRead Read(std::uint64_t first, std::span<double> out, ByteBuffer& /*bytes*/) const override {
        std::lock_guard lock(mutex_);
        const auto frames = static_cast<std::uint64_t>(info_.frames);
        if (first >= frames) return SourceRead{};
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), frames - first));
        if (position_ != static_cast<sf_count_t>(first)) {
            position_ = sf_seek(sound_.get(), static_cast<sf_count_t>(first), SEEK_SET);
            if (position_ != static_cast<sf_count_t>(first)) return Failed();
        }
        const auto channels = static_cast<std::size_t>(info_.channels);
        const std::size_t step = std::max<std::size_t>(1, DecodeStepBytes / (sizeof(double) * channels));
        if (scratch_.size() < std::min(step, count) * channels) scratch_.resize(std::min(step, count) * channels);
        std::size_t done = 0;
        while (done < count) {
            const std::size_t wanted = std::min(step, count - done);
            const sf_count_t got = sf_readf_double(sound_.get(), scratch_.data(), static_cast<sf_count_t>(wanted));
            position_ += std::max<sf_count_t>(got, 0);
            std::size_t bad = 0;
            for (std::size_t i = 0; i < static_cast<std::size_t>(std::max<sf_count_t>(got, 0)); ++i) {
                const double x = scratch_[i * channels + static_cast<std::size_t>(channel_ - 1)] * FullScale;
                bad += std::isfinite(x) ? 0 : 1;
                out[done + i] = x;
            }
            if (bad > 0) return SourceRead{0, fftResultFormatErr, NotFinite};
            if (got != static_cast<sf_count_t>(wanted)) return Failed();
            done += wanted;
        }
        return SourceRead{count, fftResultAllRight, nullptr};
    }

private:
    SourceRead Failed() const {
        position_ = -1;
        if (file_->ReadFailed()) return SourceRead{0, fftResultFileSysErr, nullptr};
        return SourceRead{0, fftResultFormatErr, EndsEarly};
    }

    std::unique_ptr<VirtualFile> file_;  // outlives the handle
    SoundHandle sound_;
    SF_INFO info_;
    double rate_;
    std::int32_t channel_;
    mutable std::mutex mutex_;
    mutable sf_count_t position_ = -1;  // the frame libsndfile reads next; -1 when unknown
    mutable std::vector<double> scratch_;
};

// What the samples stored in the file gave: a layout that reads them as
// raw samples, a refusal, or neither (libsndfile decodes them).
struct StoredSamples {
    std::optional<SampleLayout> layout;
    std::optional<SourceOpening> refusal;
};

// True when libsndfile's reading of the first frames is what the layout reads.
bool SameFirstFrames(SNDFILE* sound, VirtualFile& file, const SF_INFO& info, const SampleLayout& layout) {
    const sf_count_t frames = std::min<sf_count_t>(info.frames, CheckedFrames);
    const auto channels = static_cast<std::size_t>(info.channels);
    std::vector<double> decoded(static_cast<std::size_t>(frames) * channels);
    if (sf_seek(sound, 0, SEEK_SET) != 0 || sf_readf_double(sound, decoded.data(), frames) != frames) return false;
    const std::size_t frameBytes = SampleBytes(layout.format) * channels;
    std::vector<std::byte> bytes(static_cast<std::size_t>(frames) * frameBytes);
    if (file.ReadAt(layout.offset, bytes) != bytes.size()) return false;
    std::vector<double> stored(static_cast<std::size_t>(frames));
    for (std::size_t c = 0; c < channels; ++c) {
        if (!DecodeChannel(bytes, layout.format, channels, c, stored)) return false;
        for (std::size_t i = 0; i < stored.size(); ++i) {
            if (stored[i] != decoded[i * channels + c] * FullScale) return false;
        }
    }
    return true;
}

StoredSamples FindStoredSamples(SNDFILE* sound, VirtualFile& file, const SF_INFO& info, std::int32_t channel) {
    const bool swapped = sf_command(sound, SFC_RAW_DATA_NEEDS_ENDSWAP, nullptr, 0) == SF_TRUE;
    const bool bigEndian = swapped == (std::endian::native == std::endian::little);
    const auto format = StoredFormat(info.format, bigEndian);
    if (!format) return {};
    file.ForgetSeek();
    if (sf_seek(sound, 0, SEEK_SET) != 0 || file.LastSeek() < 0) return {};
    const auto offset = static_cast<std::uint64_t>(file.LastSeek());
    const std::uint64_t frameBytes = SampleBytes(*format) * static_cast<std::uint64_t>(info.channels);
    const std::uint64_t size = file.Size();
    const auto read = [&file](std::uint64_t at, std::span<std::byte> out) { return file.ReadAt(at, out); };
    const auto stated = StatedDataBytes(read, info.format & SF_FORMAT_TYPEMASK, offset);
    const std::uint64_t held = size > offset ? size - offset : 0;
    if ((stated && *stated > held) || static_cast<std::uint64_t>(info.frames) > held / frameBytes) {
        return {std::nullopt, SourceOpening::Refused(fftResultFormatErr,
                                                     "the data chunk states " +
                                                         std::to_string(stated.value_or(info.frames * frameBytes)) +
                                                         " bytes of samples, but the file holds " +
                                                         std::to_string(held) + " after its start (cut short?)")};
    }
    const SampleLayout layout{*format, info.channels, channel, offset,
                              offset + static_cast<std::uint64_t>(info.frames) * frameBytes};
    if (!SameFirstFrames(sound, file, info, layout)) return {};
    return {layout, std::nullopt};
}

// libsndfile must reach the last frame, so that a file cut short is refused
// before anything is written for it.
bool LastFrameDecodes(SNDFILE* sound, const SF_INFO& info) {
    if (info.frames == 0) return true;
    std::vector<double> frame(static_cast<std::size_t>(info.channels));
    return sf_seek(sound, info.frames - 1, SEEK_SET) == info.frames - 1 && sf_readf_double(sound, frame.data(), 1) == 1;
}

}  // namespace

bool SoundFiles::Claims(FileSystem& /*fileSystem*/, const std::string& /*path*/, std::span<const std::byte> head) {
    if ((HasAt(head, 0, "RIFF") || HasAt(head, 0, "RIFX") || HasAt(head, 0, "RF64")) && HasAt(head, 8, "WAVE")) {
        return true;
    }
    if (HasAt(head, 0, "FORM") && (HasAt(head, 8, "AIFF") || HasAt(head, 8, "AIFC"))) return true;
    return HasAt(head, 0, W64Riff) || HasAt(head, 0, "fLaC") || HasAt(head, 0, "caff");
}

SourceOpening SoundFiles::Open(FileSystem& /*fileSystem*/, const std::string& /*path*/,
                               std::unique_ptr<InputFile> input, const InputOptions& options) {
    auto file = std::make_unique<VirtualFile>(std::move(input));
    if (!file->Sized()) return SourceOpening::Refused(fftResultFileSysErr);
    SF_INFO info{};
    SoundHandle sound;
    std::string error;
    {
        std::lock_guard lock(OpeningLock());
        sound.reset(sf_open_virtual(VirtualFile::Io(), SFM_READ, &info, file.get()));
        if (!sound) error = sf_strerror(nullptr);
    }
    if (!sound) {
        if (file->ReadFailed()) return SourceOpening::Refused(fftResultFileSysErr);
        return SourceOpening::Refused(fftResultFormatErr, "libsndfile: " + error);
    }
    if (const auto problem = InfoProblem(info)) return SourceOpening::Refused(fftResultFormatErr, *problem);
    const auto rate = StatedRate(info, file->Head());
    if (!rate) return SourceOpening::Refused(fftResultFormatErr, "the file states a sample rate outside 0 to 10^12 Hz");
    if (auto refusal = ChannelRefusal(options, info.channels)) return std::move(*refusal);

    StoredSamples stored = FindStoredSamples(sound.get(), *file, info, options.channel);
    if (file->ReadFailed()) return SourceOpening::Refused(fftResultFileSysErr);
    if (stored.refusal) return std::move(*stored.refusal);
    if (stored.layout) {
        sound.reset();
        return SourceOpening{
            std::make_unique<RawSampleSource>(file->Take(), *stored.layout, *rate), fftResultAllRight, {}};
    }
    if (!LastFrameDecodes(sound.get(), info)) {
        if (file->ReadFailed()) return SourceOpening::Refused(fftResultFileSysErr);
        return SourceOpening::Refused(fftResultFormatErr,
                                      std::string(EndsEarly) + "; libsndfile: " + sf_strerror(sound.get()));
    }
    return SourceOpening{
        std::make_unique<DecodedSoundSource>(std::move(file), std::move(sound), info, *rate, options.channel),
        fftResultAllRight,
        {}};
}

}  // namespace tavox

namespace tavox {

std::vector<SourceExample> SoundFiles::Examples(const std::string& folder, std::span<const std::int16_t> frames,
                                                std::int32_t channels, std::int32_t rate) {
    struct Variant {
        const char* name;
        const char* file;
        int format;
    };
    constexpr Variant Variants[] = {
        {"WAV", "example.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        {"FLAC", "example.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
        {"AIFF", "example.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
    };
    std::vector<SourceExample> written;
    for (const Variant& variant : Variants) {
        const std::string path = folder + variant.file;
        SF_INFO info{0, rate, channels, variant.format, 0, 0};
        SoundHandle sound(sf_open(path.c_str(), SFM_WRITE, &info));
        if (!sound) continue;
        const auto count = static_cast<sf_count_t>(frames.size() / static_cast<std::size_t>(channels));
        if (sf_writef_short(sound.get(), frames.data(), count) != count) continue;
        sound.reset();
        written.push_back({variant.name, path});
    }
    return written;
}

}  // namespace tavox
