#include "data/SpectrumFormats.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "data/Data.h"
#include "data/FileSystem.h"
#include "data/SampleBlocks.h"

namespace tavox {
namespace {

constexpr std::size_t BlockBytes = 64 * 1024;
// Room one step may add past a full block: a CSV line of four numbers.
constexpr std::size_t StepBytes = 128;
// numpy.save leaves room for the first dimension to grow to this many digits.
constexpr std::size_t NpyGrowthDigits = 21;
constexpr std::size_t NpyAlignment = 64;

// Fills the buffer and hands it to the file whenever a block is full.
class BlockWriter {
public:
    BlockWriter(OutputFile& file, ByteBuffer& buffer) : file_(file), buffer_(buffer) { ReserveSpectrumBuffer(buffer_); }

    // Room for `bytes` more (at most a block), handing the buffer on first when
    // they would not fit.
    std::byte* Reserve(std::size_t bytes) {
        if (used_ + bytes > buffer_.size()) Flush();
        return buffer_.data() + used_;
    }
    void Advance(std::size_t bytes) {
        used_ += bytes;
        if (used_ >= BlockBytes) Flush();
    }
    void Append(std::string_view text) {
        while (!text.empty()) {
            const std::size_t n = std::min(text.size(), StepBytes);
            std::memcpy(Reserve(n), text.data(), n);
            Advance(n);
            text.remove_prefix(n);
        }
    }
    template <class Word>
    void AppendLittleEndian(Word word) {
        std::byte* at = Reserve(sizeof word);
        std::memcpy(at, &word, sizeof word);
        if constexpr (std::endian::native != std::endian::little) std::reverse(at, at + sizeof word);
        Advance(sizeof word);
    }
    void AppendNumber(double x) {
        char* at = reinterpret_cast<char*>(Reserve(32));
        Advance(static_cast<std::size_t>(std::to_chars(at, at + 32, x).ptr - at));
    }
    void AppendIndex(std::size_t k) {
        char* at = reinterpret_cast<char*>(Reserve(24));
        Advance(static_cast<std::size_t>(std::to_chars(at, at + 24, k).ptr - at));
    }
    void Flush() {
        if (used_ > 0) file_.Write(std::span<const std::byte>(buffer_.data(), used_));
        used_ = 0;
    }

private:
    OutputFile& file_;
    ByteBuffer& buffer_;
    std::size_t used_ = 0;
};

void WriteRaw(BlockWriter& out, std::span<const double> values) {
    constexpr std::size_t chunk = BlockBytes / 2;
    for (std::size_t first = 0; first < values.size(); first += chunk) {
        const std::size_t n = std::min(chunk, values.size() - first);
        BytesFromValues(values.subspan(first, n), std::span(out.Reserve(n * 2), n * 2));
        out.Advance(n * 2);
    }
}

void WriteCsv(BlockWriter& out, std::span<const double> values, const SpectrumShape& shape,
              const std::optional<double>& rate) {
    out.Append("bin");
    if (rate) out.Append(",frequency_hz");
    out.Append(",magnitude");
    if (shape.rows > 1) out.Append(",phase_deg");
    out.Append("\n");
    const double width = static_cast<double>(shape.width);
    for (std::size_t k = 0; k < shape.bins; ++k) {
        out.AppendIndex(k);
        if (rate) {
            out.Append(",");
            out.AppendNumber(static_cast<double>(k) * *rate / width);
        }
        for (std::size_t row = 0; row < shape.rows; ++row) {
            const std::size_t at = row * shape.bins + k;
            out.Append(",");
            if (at < values.size()) out.AppendNumber(values[at]);
        }
        out.Append("\n");
    }
}

}  // namespace

namespace {

// Collects what WriteSpectrum writes.
class StringOutput final : public OutputFile {
public:
    void Write(std::span<const std::byte> bytes) override {
        text.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    bool Finish() override { return true; }
    CommitResult Commit(const std::optional<FileIdentity>&) override { return CommitResult::Replaced; }
    std::string text;
};

}  // namespace

std::string SpectrumBytes(std::span<const double> values, const SpectrumShape& shape, const OutputOptions& options) {
    StringOutput out;
    ByteBuffer buffer;
    WriteSpectrum(out, values, shape, options, buffer);
    return std::move(out.text);
}

void ReserveSpectrumBuffer(ByteBuffer& buffer) {
    if (buffer.size() < BlockBytes + StepBytes) buffer.resize(BlockBytes + StepBytes);
}

float FaithfulFloat(double x) noexcept {
    const float nearest = static_cast<float>(x);
    const std::int16_t sample = Data::ToSample16(x);
    if (Data::ToSample16(nearest) == sample) return nearest;
    const float next = std::nextafter(nearest, x > nearest ? INFINITY : -INFINITY);
    return Data::ToSample16(next) == sample ? next : nearest;
}

std::string NpyHeader(const SpectrumShape& shape) {
    const std::string first = std::to_string(shape.rows > 1 ? shape.rows : shape.bins);
    const std::string dims = shape.rows > 1 ? first + ", " + std::to_string(shape.bins) : first + ",";
    std::string dict = "{'descr': '<f8', 'fortran_order': False, 'shape': (" + dims + "), }";
    dict.append(NpyGrowthDigits - std::min(NpyGrowthDigits, first.size()), ' ');
    constexpr std::size_t prefix = 10;  // magic, version and the 16-bit header length
    // At least one blank before the closing line feed, as numpy writes it.
    dict.append(NpyAlignment - (prefix + dict.size() + 1) % NpyAlignment, ' ');
    dict += '\n';
    std::string header("\x93NUMPY\x01\x00", 8);
    header += static_cast<char>(dict.size() & 0xFF);
    header += static_cast<char>(dict.size() >> 8);
    return header + dict;
}

void WriteSpectrum(OutputFile& file, std::span<const double> values, const SpectrumShape& shape,
                   const OutputOptions& options, ByteBuffer& buffer) {
    BlockWriter out(file, buffer);
    switch (options.format) {
        case OutputFormat::Raw:
            WriteRaw(out, values);
            break;
        case OutputFormat::F32:
            for (const double x : values) out.AppendLittleEndian(std::bit_cast<std::uint32_t>(FaithfulFloat(x)));
            break;
        case OutputFormat::Npy:
            out.Append(NpyHeader(shape));
            for (const double x : values) out.AppendLittleEndian(std::bit_cast<std::uint64_t>(x));
            break;
        case OutputFormat::Csv:
            WriteCsv(out, values, shape, options.rate);
            break;
    }
    out.Flush();
}

}  // namespace tavox
