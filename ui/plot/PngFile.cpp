#include "ui/plot/PngFile.h"

#include <zlib.h>

#include <QImage>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <span>
#include <utility>
#include <vector>

#include "data/FileSystem.h"

namespace tavox {
namespace {

void AppendBig32(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

void AppendChunk(std::string& out, const char type[4], std::string_view data) {
    AppendBig32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.append(type, 4);
    out.append(data);
    const auto crc =
        crc32(0, reinterpret_cast<const Bytef*>(out.data() + start), static_cast<uInt>(out.size() - start));
    AppendBig32(out, static_cast<std::uint32_t>(crc));
}

// A zlib stream of one deflate block with the fixed Huffman codes, whose
// only matches repeat the byte before (distance 1). A plot filtered with
// "up" is mostly runs of zeros, which this codes at 13 bits per 258 bytes
// in time that grows with the runs, not with their length.
class RunDeflater {
public:
    explicit RunDeflater(std::string& out) : out_(out) {
        out_ += '\x78';  // deflate, 32 KiB window
        out_ += '\x01';  // fastest, no dictionary; 0x7801 is a multiple of 31
        Put(1, 1);       // the last block
        Put(1, 2);       // fixed Huffman codes
    }

    void Byte(std::uint8_t value) {
        if (runLength_ > 0 && value == runByte_) {
            ++runLength_;
            return;
        }
        FlushRun();
        runByte_ = value;
        runLength_ = 1;
    }
    void Zeros(std::size_t count) {
        if (count == 0) return;
        if (runLength_ == 0 || runByte_ != 0) {
            FlushRun();
            runByte_ = 0;
        }
        runLength_ += count;
    }
    void Finish() {
        FlushRun();
        PutSymbol(256);
        if (bitCount_ > 0) Put(0, 8 - bitCount_);
        a_ %= Modulus;
        b_ %= Modulus;
        AppendBig32(out_, static_cast<std::uint32_t>(b_ << 16 | a_));
    }

private:
    static constexpr std::uint64_t Modulus = 65521;

    void Put(std::uint32_t code, int bits) {
        bitBuffer_ |= std::uint64_t{code} << bitCount_;
        bitCount_ += bits;
        while (bitCount_ >= 8) {
            out_ += static_cast<char>(bitBuffer_ & 0xFF);
            bitBuffer_ >>= 8;
            bitCount_ -= 8;
        }
    }
    // The fixed code of each literal/length symbol, reversed: Huffman codes
    // go out most significant bit first.
    struct Code {
        std::uint16_t bits;
        std::uint8_t length;
    };
    static const std::array<Code, 288>& FixedCodes() {
        static const std::array<Code, 288> codes = [] {
            std::array<Code, 288> table{};
            for (unsigned symbol = 0; symbol < 288; ++symbol) {
                const auto [code, length] = symbol < 144   ? std::pair{0x30 + symbol, 8}
                                            : symbol < 256 ? std::pair{0x190 + symbol - 144, 9}
                                            : symbol < 280 ? std::pair{symbol - 256, 7}
                                                           : std::pair{0xC0 + symbol - 280, 8};
                unsigned reversed = 0;
                for (int i = 0; i < length; ++i) reversed |= ((code >> i) & 1U) << (length - 1 - i);
                table[symbol] = {static_cast<std::uint16_t>(reversed), static_cast<std::uint8_t>(length)};
            }
            return table;
        }();
        return codes;
    }
    void PutSymbol(unsigned symbol) {
        const Code code = codes_[symbol];
        Put(code.bits, code.length);
    }
    void Literal(std::uint8_t value) {
        PutSymbol(value);
        lastByte_ = value;
        hasLast_ = true;
    }
    // A copy of 3..258 bytes from distance 1.
    void Match(unsigned length) {
        static constexpr unsigned Base[] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                            31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
        static constexpr int Extra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                        2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        unsigned code = 28;
        while (Base[code] > length) --code;
        PutSymbol(257 + code);
        if (Extra[code] > 0) Put(length - Base[code], Extra[code]);
        Put(0, 5);  // distance code 0: distance 1
    }
    void FlushRun() {
        std::size_t n = runLength_;
        if (n == 0) return;
        const std::uint64_t v = runByte_;
        if (n < 8) {
            // Adler-32 byte by byte, reduced now and then.
            for (std::size_t i = 0; i < n; ++i) {
                a_ += v;
                b_ += a_;
            }
            if ((unreduced_ += n) >= 4096) {
                a_ %= Modulus;
                b_ %= Modulus;
                unreduced_ = 0;
            }
        } else {
            // Adler-32 of n bytes of value v in one step.
            a_ %= Modulus;
            b_ = (b_ + (n % Modulus) * a_ + v * ((n * (n + 1) / 2) % Modulus)) % Modulus;
            a_ = (a_ + (n % Modulus) * v) % Modulus;
            unreduced_ = 0;
        }
        runLength_ = 0;
        if (!hasLast_ || lastByte_ != runByte_) {
            Literal(runByte_);
            --n;
        }
        while (n >= 3) {
            const auto length = static_cast<unsigned>(std::min<std::size_t>(n, 258));
            // Leave no tail of one or two bytes after a split.
            const unsigned take = n > 258 && n - 258 < 3 ? length - 3 : length;
            Match(take);
            n -= take;
        }
        for (; n > 0; --n) Literal(runByte_);
    }

    std::string& out_;
    std::uint64_t bitBuffer_ = 0;
    int bitCount_ = 0;
    const std::array<Code, 288>& codes_ = FixedCodes();
    std::uint64_t a_ = 1;
    std::uint64_t b_ = 0;
    std::size_t unreduced_ = 0;  // bytes added to a_ and b_ since they were last reduced
    std::uint8_t runByte_ = 0;
    std::size_t runLength_ = 0;
    std::uint8_t lastByte_ = 0;
    bool hasLast_ = false;
};

}  // namespace

std::string EncodePng(const QImage& source) {
    const QImage image =
        source.format() == QImage::Format_RGB32 ? source : source.convertToFormat(QImage::Format_RGB32);
    const int width = image.width();
    const int height = image.height();

    std::string compressed;
    RunDeflater deflater(compressed);
    const std::vector<QRgb> black(static_cast<std::size_t>(width), qRgb(0, 0, 0));
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        const QRgb* above = y > 0 ? reinterpret_cast<const QRgb*>(image.constScanLine(y - 1)) : black.data();
        deflater.Byte(2);  // "up": each byte minus the one above it
        if (y > 0 && std::memcmp(row, above, sizeof(QRgb) * static_cast<std::size_t>(width)) == 0) {
            deflater.Zeros(3 * static_cast<std::size_t>(width));
            continue;
        }
        for (int x = 0; x < width;) {
            int same = x;
            while (same < width && row[same] == above[same]) ++same;
            deflater.Zeros(3 * static_cast<std::size_t>(same - x));
            if (same == width) break;
            deflater.Byte(static_cast<std::uint8_t>(qRed(row[same]) - qRed(above[same])));
            deflater.Byte(static_cast<std::uint8_t>(qGreen(row[same]) - qGreen(above[same])));
            deflater.Byte(static_cast<std::uint8_t>(qBlue(row[same]) - qBlue(above[same])));
            x = same + 1;
        }
    }
    deflater.Finish();

    std::string png("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    AppendBig32(header, static_cast<std::uint32_t>(width));
    AppendBig32(header, static_cast<std::uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, standard filters, no interlace
    AppendChunk(png, "IHDR", header);
    AppendChunk(png, "IDAT", compressed);
    AppendChunk(png, "IEND", {});
    return png;
}

namespace {}  // namespace

PendingFile WriteBeside(const std::string& path, std::string_view bytes) {
    PendingFile pending;
    errno = 0;
    pending.file = DefaultFileSystem()->CreateOutput(path);
    if (!pending.file) {
        pending.error = errno != 0 ? std::strerror(errno) : "the file could not be created";
        return pending;
    }
    pending.file->Write(std::as_bytes(std::span(bytes.data(), bytes.size())));
    return pending;
}

std::string Commit(PendingFile& pending) {
    if (!pending.error.empty()) return pending.error;
    if (!pending.file) return "nothing to put in place";
    const CommitResult result = pending.file->Commit(std::nullopt);
    pending.file.reset();
    switch (result) {
        case CommitResult::Replaced:
            return {};
        case CommitResult::WriteFailed:
            return "not every byte could be written (a full disk or a file-size limit)";
        default:
            return "the file could not take its name";
    }
}

void Discard(PendingFile& pending) noexcept {
    pending.file.reset();
}

std::string ReplaceFileAtomically(const std::string& path, std::string_view bytes) {
    PendingFile pending = WriteBeside(path, bytes);
    return Commit(pending);
}

}  // namespace tavox
