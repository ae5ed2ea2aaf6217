#include "data/MatrixFormats.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include "data/ArchiveWriter.h"
#include "data/NpyFormat.h"
#include "data/SpectrumWriter.h"

namespace tavox {
namespace {

std::string JsonNumber(double x) {
    if (!std::isfinite(x)) return "null";
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, x).ptr);
}

void AppendEscape(std::string& json, std::uint32_t c) {
    static constexpr char Hex[] = "0123456789abcdef";
    json += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) json += Hex[(c >> shift) & 0xF];
}

// The length of the UTF-8 sequence that begins `text` and its code point;
// 0 when it is no valid sequence.
std::size_t Utf8Sequence(std::string_view text, std::uint32_t& c) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (lead >= 0xF8 || length == 0 || length > text.size()) return 0;
    c = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        c = (c << 6) | (byte(i) & 0x3F);
    }
    static constexpr std::uint32_t Least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < Least[length] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) return 0;
    return length;
}

// A JSON string of ASCII characters: others as \u escapes (pairs beyond the
// basic plane), bytes that are no UTF-8 as U+FFFD.
std::string JsonString(std::string_view text) {
    std::string json = "\"";
    while (!text.empty()) {
        const auto first = static_cast<unsigned char>(text.front());
        if (first >= 0x20 && first < 0x7F) {
            if (first == '"' || first == '\\') json += '\\';
            json += static_cast<char>(first);
            text.remove_prefix(1);
            continue;
        }
        std::uint32_t c = first;
        std::size_t length = first < 0x80 ? 1 : Utf8Sequence(text, c);
        if (length == 0) {
            c = 0xFFFD;
            length = 1;
        }
        if (c >= 0x10000) {
            AppendEscape(json, 0xD800 + ((c - 0x10000) >> 10));
            AppendEscape(json, 0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            AppendEscape(json, c);
        }
        text.remove_prefix(length);
    }
    return json + "\"";
}

void AppendWord(std::string& bytes, std::uint64_t word) {
    for (int b = 0; b < 8; ++b, word >>= 8) bytes += static_cast<char>(word & 0xFF);
}

// The bytes of values as little-endian float64.
void AppendDoubles(std::string& bytes, std::span<const double> values) {
    for (const double x : values) AppendWord(bytes, std::bit_cast<std::uint64_t>(x));
}

std::span<const std::byte> Bytes(std::string_view text) {
    return std::as_bytes(std::span<const char>(text.data(), text.size()));
}

class NpyMatrix final : public MatrixWriter {
public:
    NpyMatrix(OutputFile& file, const MatrixLayout& layout, ByteBuffer& buffer) : out_(file, buffer) {
        const std::array<std::size_t, 2> dims = {static_cast<std::size_t>(layout.series.count), layout.shape.bins};
        out_.Append(NpyArrayHeader("<f8", dims));
    }
    void Row(std::span<const double> values, std::int16_t) override {
        for (const double x : values) out_.AppendLittleEndian(std::bit_cast<std::uint64_t>(x));
    }
    bool Finish() override {
        out_.Flush();
        return true;
    }

private:
    SpectrumWriter out_;
};

class F32Matrix final : public MatrixWriter {
public:
    F32Matrix(OutputFile& file, ByteBuffer& buffer) : out_(file, buffer) {}
    void Row(std::span<const double> values, std::int16_t) override {
        for (const double x : values) out_.AppendLittleEndian(std::bit_cast<std::uint32_t>(FaithfulFloat(x)));
    }
    bool Finish() override {
        out_.Flush();
        return true;
    }

private:
    SpectrumWriter out_;
};

class CsvMatrix final : public MatrixWriter {
public:
    CsvMatrix(OutputFile& file, const MatrixLayout& layout, ByteBuffer& buffer) : out_(file, buffer), layout_(layout) {
        const bool rate = layout.context.rate.has_value();
        out_.Append(rate ? "exposure,start,time_s," : "exposure,start,");
        out_.Append(BinColumn);
        if (rate) {
            out_.Append(",");
            out_.Append(FrequencyColumn);
        }
        out_.Append(",");
        out_.Append(layout.shape.names[0]);
        out_.Append("\n");
    }
    void Row(std::span<const double> values, std::int16_t k) override {
        const bool rate = layout_.context.rate.has_value();
        // The columns that every line of the row begins with.
        char* at = lead_.data();
        char* const end = at + lead_.size();
        at = std::to_chars(at, end, k).ptr;
        *at++ = ',';
        at = std::to_chars(at, end, layout_.series.Start(k)).ptr;
        *at++ = ',';
        if (rate) {
            at = std::to_chars(at, end, ExposureTime(layout_, k)).ptr;
            *at++ = ',';
        }
        const std::string_view lead(lead_.data(), static_cast<std::size_t>(at - lead_.data()));
        for (std::size_t bin = 0; bin < values.size(); ++bin) {
            out_.Append(lead);
            out_.AppendIndex(bin);
            if (rate) {
                out_.Append(",");
                out_.AppendNumber(BinFrequency(layout_, bin));
            }
            out_.Append(",");
            out_.AppendNumber(values[bin]);
            out_.Append("\n");
        }
    }
    bool Finish() override {
        out_.Flush();
        return true;
    }

private:
    SpectrumWriter out_;
    MatrixLayout layout_;
    std::array<char, 80> lead_{};
};

// The members of an .npz: S streamed row by row, the axes and the meta at the end.
class NpzMatrix final : public MatrixWriter {
public:
    NpzMatrix(std::unique_ptr<ArchiveWriter> archive, const MatrixLayout& layout)
        : archive_(std::move(archive)), layout_(layout), meta_(MatrixMeta(layout)) {
        const std::array<std::size_t, 2> dims = {static_cast<std::size_t>(layout.series.count), layout.shape.bins};
        const std::string header = NpyArrayHeader("<f8", dims);
        const std::uint64_t size = header.size() + std::uint64_t{dims[0]} * dims[1] * 8;
        ok_ = archive_->BeginMember("S.npy", size) && archive_->Write(Bytes(header));
        if constexpr (std::endian::native != std::endian::little) row_.reserve(layout.shape.bins * 8);
    }
    void Row(std::span<const double> values, std::int16_t) override {
        if (!ok_) return;
        // The values are little-endian doubles as they lie in memory on most hosts.
        if constexpr (std::endian::native == std::endian::little) {
            ok_ = archive_->Write(std::as_bytes(values));
            return;
        }
        row_.clear();
        AppendDoubles(row_, values);
        ok_ = archive_->Write(Bytes(row_));
    }
    bool Finish() override {
        ok_ = ok_ && archive_->EndMember();
        const std::size_t rows = static_cast<std::size_t>(layout_.series.count);
        std::vector<double> f(layout_.shape.bins);
        for (std::size_t k = 0; k < f.size(); ++k) f[k] = BinFrequency(layout_, k);
        std::vector<double> t(rows);
        std::vector<std::int64_t> start(rows);
        for (std::size_t k = 0; k < rows; ++k) {
            t[k] = ExposureTime(layout_, static_cast<std::int16_t>(k + 1));
            start[k] = layout_.series.Start(static_cast<std::int16_t>(k + 1));
        }
        std::string bytes;
        AppendDoubles(bytes, f);
        Member("f.npy", "<f8", {f.size()}, bytes);
        bytes.clear();
        AppendDoubles(bytes, t);
        Member("t.npy", "<f8", {rows}, bytes);
        bytes.clear();
        for (const std::int64_t s : start) AppendWord(bytes, static_cast<std::uint64_t>(s));
        Member("start.npy", "<i8", {rows}, bytes);
        // ASCII text, so each character is one UCS-4 code unit.
        bytes.clear();
        for (const char c : meta_) bytes += std::string{c, '\0', '\0', '\0'};
        Member("meta.npy", "<U" + std::to_string(meta_.size()), {}, bytes);
        return ok_ && archive_->Close();
    }

private:
    void Member(std::string_view name, const std::string& descr, std::initializer_list<std::size_t> dims,
                std::string_view data) {
        const std::string header = NpyArrayHeader(descr, std::span<const std::size_t>(dims.begin(), dims.size()));
        ok_ = ok_ && archive_->BeginMember(name, header.size() + data.size()) && archive_->Write(Bytes(header)) &&
              archive_->Write(Bytes(data)) && archive_->EndMember();
    }

    std::unique_ptr<ArchiveWriter> archive_;
    MatrixLayout layout_;
    std::string meta_;
    std::string row_;
    bool ok_ = false;
};

}  // namespace

double ExposureTime(const MatrixLayout& layout, std::int16_t k) noexcept {
    const double centre = static_cast<double>(layout.series.Start(k)) + static_cast<double>(layout.series.width) / 2;
    return layout.context.rate ? centre / *layout.context.rate : centre;
}

double BinFrequency(const MatrixLayout& layout, std::size_t k) noexcept {
    const auto bin = static_cast<double>(k);
    if (!layout.context.rate || layout.context.width == 0) return bin;
    return bin * *layout.context.rate / static_cast<double>(layout.context.width);
}

std::string MatrixMeta(const MatrixLayout& layout) {
    const ExposureSeries& series = layout.series;
    const SpectrumContext& context = layout.context;
    // The window's constants are those of its own width, below the points
    // transformed when padded.
    const auto n = static_cast<double>(context.samples > 0 ? context.samples : context.width);
    const double s1 = context.weightSum;
    const double s2 = context.weightSquares;
    const double nenbw = n * s2 / (s1 * s1);
    const std::string rate = context.rate ? JsonNumber(*context.rate) : "null";
    std::string json =
        "{\"source\": " + JsonString(layout.source) + ", \"channel\": " + std::to_string(layout.channel) +
        ", \"rate\": " + rate + ", \"window\": " + JsonString(series.window) +
        ", \"width\": " + std::to_string(series.width) + ", \"bins\": " + std::to_string(layout.shape.bins) +
        ", \"exposures\": " + std::to_string(series.count) + ", \"first\": " + std::to_string(series.Start(1)) +
        ", \"step\": " + std::to_string(series.step) + ", \"center\": " + (series.center ? "true" : "false");
    json += ", \"points\": " + std::to_string(context.width) +
            ", \"scale\": " + JsonString(ScaleName(context.quantity.scale)) +
            ", \"unit\": " + JsonString(UnitName(context.quantity.unit)) +
            ", \"quantity\": " + JsonString(layout.shape.names[0]) +
            ", \"full_scale\": " + (context.fullScale ? JsonNumber(*context.fullScale) : "null");
    json += ", \"window_sum\": " + JsonNumber(s1) + ", \"window_squares\": " + JsonNumber(s2) +
            ", \"coherent_gain\": " + JsonNumber(s1 / n) + ", \"nenbw_bins\": " + JsonNumber(nenbw) +
            ", \"enbw_hz\": " + (context.rate ? JsonNumber(nenbw * *context.rate / n) : "null");
    json += std::string(", \"time_unit\": ") + (context.rate ? "\"s\"" : "\"samples\"") +
            ", \"frequency_unit\": " + (context.rate ? "\"Hz\"" : "\"bin\"") + "}";
    return json;
}

bool HoldsMatrix(OutputFormat format) noexcept {
    return format != OutputFormat::Raw;
}

std::unique_ptr<MatrixWriter> MakeMatrixWriter(OutputFile& file, const MatrixLayout& layout, OutputFormat format,
                                               ByteBuffer& buffer) {
    switch (format) {
        case OutputFormat::Npy:
            return std::make_unique<NpyMatrix>(file, layout, buffer);
        case OutputFormat::F32:
            return std::make_unique<F32Matrix>(file, buffer);
        case OutputFormat::Csv:
            return std::make_unique<CsvMatrix>(file, layout, buffer);
        case OutputFormat::Npz:
            if (auto archive = MakeArchiveWriter(file)) return std::make_unique<NpzMatrix>(std::move(archive), layout);
            return nullptr;
        case OutputFormat::Raw:
            break;
    }
    return nullptr;
}

}  // namespace tavox
