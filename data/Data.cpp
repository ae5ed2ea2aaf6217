#include "data/Data.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <new>

#include "common/Numeric.h"
#include "data/BlockCache.h"
#include "data/FileSystem.h"
#include "data/Path.h"
#include "data/Range.h"
#include "data/SampleBlocks.h"

namespace tavox {
namespace {

// Upper bound of one positioned read and of the conversion buffer of a write.
constexpr std::size_t ReadChunkSamples = 512 * 1024;
constexpr std::size_t WriteChunkSamples = 64 * 1024;
constexpr std::int32_t MaxExposureNumber = 999;

template <class T>
std::string ShortestText(T value) {
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    return ec == std::errc() ? std::string(text, end) : std::string();
}

// The text form of a cell value, from which its leading number is read.
std::string TextForm(const Variant& value) {
    switch (value.Kind()) {
        case VariantKind::String:
            return *value.AsString();
        case VariantKind::Boolean:
            return *value.Get<bool>() ? "True" : "False";
        case VariantKind::Integer:
            return std::to_string(*value.Get<std::int16_t>());
        case VariantKind::Long:
            return std::to_string(*value.Get<std::int32_t>());
        case VariantKind::Byte:
            return std::to_string(*value.Get<std::uint8_t>());
        case VariantKind::Single:
            return ShortestText(*value.Get<float>());
        case VariantKind::Decimal:
            return value.Get<Decimal>()->ToString();
        case VariantKind::Double:
        case VariantKind::Currency:
        case VariantKind::Date:
            return ShortestText(value.ToDouble());
        default:
            return {};
    }
}

// The numeric value of a cell that a sum or an average works on.
double CellNumber(const Variant& value) {
    if (const std::string* text = value.AsString()) return LeadingNumber(*text);
    return value.ToDouble();
}

std::string ReplaceStars(const std::string& text, const std::string& with) {
    std::string out;
    for (char c : text) {
        if (c == '*') {
            out += with;
        } else {
            out += c;
        }
    }
    return out;
}

std::int32_t ClampToInt32(std::uint64_t n) {
    return static_cast<std::int32_t>(std::min<std::uint64_t>(n, std::numeric_limits<std::int32_t>::max()));
}

std::shared_ptr<Range> AsRange(const Variant& value) {
    const ObjectRef* object = value.AsObject();
    return object ? std::dynamic_pointer_cast<Range>(*object) : nullptr;
}

}  // namespace

struct Data::Impl {
    std::shared_ptr<FileSystem> fileSystem;
    Variant source = std::string();
    Variant target = std::string();
    std::unique_ptr<InputFile> sourceFile;
    std::optional<FileIdentity> sourceIdentity;  // of the open source
    bool sourceHeld = false;  // also after a failed open, as a held handle
    std::unique_ptr<OutputFile> targetFile;

    std::int32_t blockBegin = 0;
    std::int32_t blockEnd = 0;
    std::int32_t sumCount = 0;
    std::vector<double, CachedAllocator<double>> values;

    std::vector<std::byte, CachedAllocator<std::byte>> readBuffer;
    std::vector<std::byte, CachedAllocator<std::byte>> writeBuffer;

    std::string SourceText() const {
        const std::string* text = source.AsString();
        return text ? *text : std::string();
    }

    bool OpenSource() {
        sourceFile.reset();
        sourceIdentity.reset();
        sourceHeld = true;
        const std::string* path = source.AsString();
        if (path && !path->empty()) sourceFile = fileSystem->OpenRead(*path);
        if (sourceFile) sourceIdentity = sourceFile->Identity();
        return sourceFile != nullptr;
    }

    void CloseSource() noexcept {
        sourceFile.reset();
        sourceIdentity.reset();
        sourceHeld = false;
    }

    bool NamesSource(const std::string& path, const PathStatus& status) const;

    void CloseTarget() noexcept { targetFile.reset(); }

    void ResetStore() noexcept {
        values.clear();
        blockBegin = 0;
        blockEnd = 0;
        sumCount = 0;
    }

    // Advances the counters to the next block of h positions; false when the
    // positions would leave the 32-bit range.
    bool NextBlock(std::size_t h) noexcept {
        const auto end = static_cast<std::uint64_t>(blockEnd) + h;
        if (end > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) return false;
        blockBegin = blockEnd + 1;
        blockEnd = static_cast<std::int32_t>(end);
        sumCount = 1;
        return true;
    }

    std::int32_t MeasureLength(const Variant& value, std::int32_t format) const noexcept {
        try {
            if (format == fftDataDiskFile) {
                const std::string* path = value.AsString();
                if (!path || path->empty()) return 0;
                const auto bytes = fileSystem->FileSize(*path);
                return bytes ? ClampToInt32(*bytes / 2) : 0;
            }
            if (format == fftDataExcelRange) {
                const auto range = AsRange(value);
                return range ? std::max(range->RowsCount(), 0) : 0;
            }
        } catch (...) {
        }
        return 0;
    }

    void LoadDisk(std::span<double> samples, std::int64_t pos, std::int32_t length, bool& shortMark,
                  std::int32_t& result);
    void LoadSheet(std::span<double> samples, std::int64_t pos, std::int32_t length, bool& shortMark,
                   std::int32_t& result);
    void SaveDisk(std::int32_t saveOp, std::span<const double> block, const std::string& outputPath,
                  std::int32_t& result);
    void SaveSheet(std::int32_t saveOp, std::span<const double> block, std::int32_t col, std::int32_t targetLength,
                   std::int32_t& result);
    void WriteValues(const std::string& path, std::int32_t& result);
};

Data::Data(std::shared_ptr<FileSystem> fileSystem) : impl_(std::make_unique<Impl>()) {
    impl_->fileSystem = fileSystem ? std::move(fileSystem) : DefaultFileSystem();
}

Data::~Data() = default;

void Data::SetFormat(std::int32_t value) noexcept {
    format_ = value;
    impl_->CloseSource();
    impl_->CloseTarget();
    impl_->ResetStore();
    if (value == fftDataDiskFile) {
        impl_->source = Variant(std::string());
        impl_->target = Variant(std::string());
    } else if (value == fftDataExcelRange) {
        impl_->source = Variant::Nothing();
        impl_->target = Variant::Nothing();
    }
    length_ = 0;
    lengthKnown_ = true;
    targetLength_ = 0;
}

std::int32_t Data::Length() const noexcept {
    if (!lengthKnown_) {
        length_ = impl_->MeasureLength(impl_->source, format_);
        lengthKnown_ = true;
    }
    return length_;
}

Variant Data::GetSource() const {
    return impl_->source;
}

Variant Data::GetTarget() const {
    return impl_->target;
}

void Data::SetSource(const Variant& value) noexcept {
    try {
        if (format_ == fftDataDiskFile) {
            const bool reopen = impl_->sourceHeld;
            if (reopen) impl_->CloseSource();
            impl_->source = value.AsString() ? value : Variant(TextForm(value));
            if (reopen) impl_->OpenSource();
        } else {
            impl_->source = value;
        }
    } catch (...) {
    }
    // A file is measured when it is opened, so a batch does not stat every
    // source twice; a range is measured now.
    lengthKnown_ = format_ == fftDataDiskFile ? false : true;
    if (lengthKnown_) length_ = impl_->MeasureLength(impl_->source, format_);
}

void Data::SetTarget(const Variant& value) noexcept {
    try {
        if (format_ == fftDataDiskFile) {
            impl_->target = value.AsString() ? value : Variant(TextForm(value));
        } else {
            impl_->target = value;
        }
    } catch (...) {
    }
    // A disk target is a mask, not a file: only range targets have a length.
    targetLength_ = format_ == fftDataDiskFile ? 0 : impl_->MeasureLength(impl_->target, format_);
}

void Data::Initialize(std::int32_t& result) noexcept {
    try {
        if (format_ == fftDataDiskFile) {
            lengthKnown_ = false;
            if (!impl_->OpenSource()) {
                result = fftResultFileSysErr;
            } else if (const auto bytes = impl_->sourceFile->Size()) {
                length_ = ClampToInt32(*bytes / 2);
                lengthKnown_ = true;
            }
        } else if (format_ != fftDataExcelRange) {
            result = fftResultFileSysErr;
        }
    } catch (...) {
        result = fftResultFileSysErr;
    }
}

void Data::LoadSequence(std::span<double> samples, std::int32_t fromPos, std::int32_t& result) noexcept {
    const std::int64_t pos = std::max<std::int64_t>(fromPos, 1);
    bool shortMark = false;
    try {
        if (format_ == fftDataDiskFile) {
            impl_->LoadDisk(samples, pos, Length(), shortMark, result);
        } else if (format_ == fftDataExcelRange) {
            impl_->LoadSheet(samples, pos, Length(), shortMark, result);
        } else {
            std::fill(samples.begin(), samples.end(), 0.0);
            result = fftResultFileSysErr;
        }
    } catch (...) {
        result = fftResultFileSysErr;
    }
    if (shortMark) result = fftResultShortFile;
}

void Data::Impl::LoadDisk(std::span<double> samples, std::int64_t pos, std::int32_t length, bool& shortMark,
                          std::int32_t& result) {
    if (!sourceFile) {
        std::fill(samples.begin(), samples.end(), 0.0);
        result = fftResultFileSysErr;
        return;
    }
    const std::size_t chunk = std::min(samples.size(), ReadChunkSamples);
    if (readBuffer.size() < chunk * 2) readBuffer.resize(chunk * 2);
    bool atEnd = false;
    for (std::size_t first = 0; first < samples.size(); first += chunk) {
        const std::size_t count = std::min(chunk, samples.size() - first);
        const std::span<double> part = samples.subspan(first, count);
        const auto index = static_cast<std::uint64_t>(pos - 1) + first;
        std::size_t complete = 0;
        if (!atEnd) {
            const auto got = sourceFile->ReadAt(index * 2, std::span(readBuffer.data(), count * 2));
            if (!got) {
                // The read failed: nothing of this part is known, only where the source ends.
                result = fftResultFileSysErr;
                std::fill(part.begin(), part.end(), 0.0);
                if (index + count > static_cast<std::uint64_t>(length)) shortMark = true;
                continue;
            }
            complete = *got / 2;
            atEnd = complete < count;
        }
        SamplesFromBytes(std::span<const std::byte>(readBuffer.data(), complete * 2), part.first(complete));
        if (complete < count) {
            std::fill(part.begin() + static_cast<std::ptrdiff_t>(complete), part.end(), 0.0);
            shortMark = true;
        }
    }
}

void Data::Impl::LoadSheet(std::span<double> samples, std::int64_t pos, std::int32_t length, bool& shortMark,
                           std::int32_t& result) {
    const auto range = AsRange(source);
    std::int64_t row = pos;
    for (double& sample : samples) {
        if (row > length) {
            sample = 0.0;
            shortMark = true;
            continue;
        }
        if (!range) {
            sample = 0.0;
            result = fftResultFileSysErr;
            ++row;
            continue;
        }
        try {
            sample = LeadingNumber(TextForm(range->CellValue(static_cast<std::int32_t>(row), 1)));
        } catch (...) {
            sample = 0.0;
            result = fftResultFileSysErr;
        }
        ++row;
    }
}

void Data::SaveSequence(std::int32_t saveOp, std::span<const double> spectrum, std::int16_t exposure,
                        std::int32_t& result) noexcept {
    try {
        if (saveOp == SaveAdd && impl_->sumCount < 1) saveOp = SaveStore;
        const std::span<const double> block = spectrum.first(spectrum.size() / 2);
        if (saveOp == SaveReset) {
            impl_->ResetStore();
        } else if (format_ == fftDataDiskFile) {
            impl_->SaveDisk(saveOp, block, saveOp == SaveWrite ? TargetPath(exposure) : std::string(), result);
        } else if (format_ == fftDataExcelRange) {
            impl_->SaveSheet(saveOp, block, std::max<std::int32_t>(exposure, 1), targetLength_, result);
        } else if (saveOp == SaveWrite) {
            impl_->ResetStore();
            result = fftResultFileSysErr;
        }
    } catch (...) {
        // Only a path that cannot be formed for lack of memory gets here.
        if (saveOp == SaveWrite) {
            impl_->CloseTarget();
            impl_->ResetStore();
            result = fftResultFileSysErr;
        }
    }
}

void Data::Impl::SaveDisk(std::int32_t saveOp, std::span<const double> block, const std::string& outputPath,
                          std::int32_t& result) {
    switch (saveOp) {
        case SaveStore: {
            if (!NextBlock(block.size())) {
                result = fftResultOutOfMemory;
                return;
            }
            const std::size_t first = static_cast<std::size_t>(blockBegin) - 1;
            try {
                if (values.size() == first) {
                    values.insert(values.end(), block.begin(), block.end());
                    return;
                }
                values.resize(static_cast<std::size_t>(blockEnd));
            } catch (const std::bad_alloc&) {
                result = fftResultOutOfMemory;
            }
            if (first < values.size()) {
                const std::size_t count = std::min(block.size(), values.size() - first);
                std::copy_n(block.begin(), count, values.begin() + static_cast<std::ptrdiff_t>(first));
            }
            return;
        }
        case SaveAdd: {
            ++sumCount;
            const std::size_t first = static_cast<std::size_t>(blockBegin) - 1;
            if (first >= values.size()) return;
            const std::size_t count = std::min(block.size(), values.size() - first);
            double* held = values.data() + first;
            for (std::size_t k = 0; k < count; ++k) held[k] += block[k];
            return;
        }
        case SaveAverage: {
            if (sumCount <= 1) return;
            const std::size_t last = std::min(values.size(), static_cast<std::size_t>(blockEnd));
            const double divisor = sumCount;
            for (std::size_t p = static_cast<std::size_t>(blockBegin); p <= last; ++p) values[p - 1] /= divisor;
            sumCount = 1;
            return;
        }
        case SaveWrite: {
            WriteValues(outputPath, result);
            CloseTarget();
            ResetStore();
            return;
        }
        default:
            return;
    }
}

void Data::Impl::WriteValues(const std::string& path, std::int32_t& result) {
    if (path.empty()) {
        result = fftResultFileSysErr;
        return;
    }
    // A plain old output is written over in place. Anything else is examined:
    // the source itself is refused, and a link or a file with further names is
    // deleted, so that nothing it leads to is overwritten.
    Rewrite rewrite = fileSystem->OpenRewrite(path, sourceIdentity);
    targetFile = std::move(rewrite.file);
    if (!targetFile) {
        const std::optional<PathStatus> existing = rewrite.status ? rewrite.status : fileSystem->Inspect(path);
        if (!existing) {  // cannot tell whether it is the source
            result = fftResultFileSysErr;
            return;
        }
        if (NamesSource(path, *existing)) {
            result = fftResultFileNameErr;
            return;
        }
        if (existing->exists && !fileSystem->DeleteFileForced(path)) {
            result = fftResultFileSysErr;
            return;
        }
        targetFile = fileSystem->OpenWrite(path);
    }
    if (!targetFile) {
        result = fftResultFileSysErr;
        return;
    }
    const std::size_t count = std::min(values.size(), static_cast<std::size_t>(std::max(blockEnd, 0)));
    if (writeBuffer.size() < WriteChunkSamples * 2) writeBuffer.resize(WriteChunkSamples * 2);
    for (std::size_t first = 0; first < count; first += WriteChunkSamples) {
        const std::size_t n = std::min(WriteChunkSamples, count - first);
        BytesFromValues(std::span<const double>(values.data() + first, n), std::span(writeBuffer.data(), n * 2));
        targetFile->Write(std::span<const std::byte>(writeBuffer.data(), n * 2));
    }
    const bool closed = targetFile->Close();
    targetFile.reset();
    if (!closed) result = fftResultTargetFull;
}

// Compares identities when both are known; otherwise asks the file system,
// which resolves the two paths.
bool Data::Impl::NamesSource(const std::string& path, const PathStatus& status) const {
    if (status.identity && sourceIdentity) return *status.identity == *sourceIdentity;
    if (!status.exists && sourceIdentity) return false;
    const std::string sourcePath = SourceText();
    return !sourcePath.empty() && fileSystem->SameFile(path, sourcePath);
}

// Cell reads that fail report fftResultFileSysErr and cell writes that fail
// fftResultTargetFull; either ends the block, since the results are lost.
void Data::Impl::SaveSheet(std::int32_t saveOp, std::span<const double> block, std::int32_t col,
                           std::int32_t targetLength, std::int32_t& result) {
    const auto range = AsRange(target);
    auto updateCells = [&](std::int32_t firstRow, std::int32_t lastRow, auto newValue) {
        for (std::int64_t row = firstRow; row <= lastRow; ++row) {
            double present;
            try {
                present = CellNumber(range->CellValue(static_cast<std::int32_t>(row), col));
            } catch (...) {
                result = fftResultFileSysErr;
                return;
            }
            try {
                range->SetCellValue(static_cast<std::int32_t>(row), col,
                                    Variant(newValue(present, static_cast<std::size_t>(row - firstRow))));
            } catch (...) {
                result = fftResultTargetFull;
                return;
            }
        }
    };
    switch (saveOp) {
        case SaveStore: {
            if (!NextBlock(block.size())) {
                result = fftResultTargetFull;
                return;
            }
            std::int32_t columns = 0;
            try {
                if (range) columns = range->ColumnsCount();
            } catch (...) {
                columns = 0;
            }
            if (col > columns) {
                result = fftResultTargetFull;
                return;
            }
            if (blockEnd > targetLength) result = fftResultTargetFull;
            for (std::size_t k = 0; k < block.size(); ++k) {
                try {
                    range->SetCellValue(blockBegin + static_cast<std::int32_t>(k), col, Variant(block[k]));
                } catch (...) {
                    result = fftResultTargetFull;
                    return;
                }
            }
            return;
        }
        case SaveAdd: {
            ++sumCount;
            if (!range) {
                result = fftResultTargetFull;
                return;
            }
            const auto last = static_cast<std::int32_t>(std::min<std::int64_t>(
                static_cast<std::int64_t>(blockBegin) + static_cast<std::int64_t>(block.size()) - 1,
                std::numeric_limits<std::int32_t>::max()));
            updateCells(blockBegin, last, [&](double present, std::size_t k) { return block[k] + present; });
            return;
        }
        case SaveAverage: {
            if (sumCount <= 1) return;
            const double divisor = sumCount;
            sumCount = 1;
            if (!range) {
                result = fftResultTargetFull;
                return;
            }
            updateCells(blockBegin, blockEnd, [&](double present, std::size_t) { return present / divisor; });
            return;
        }
        case SaveWrite:
            ResetStore();
            return;
        default:
            return;
    }
}

// Also gives back the buffers: a batch keeps every File, and so every
// channel, alive until it ends.
void Data::Terminate() noexcept {
    std::int32_t ignored = fftResultAllRight;
    SaveSequence(SaveReset, {}, 0, ignored);
    impl_->CloseSource();
    decltype(impl_->values)().swap(impl_->values);
    decltype(impl_->readBuffer)().swap(impl_->readBuffer);
    decltype(impl_->writeBuffer)().swap(impl_->writeBuffer);
}

std::string Data::TargetPath(std::int16_t exposure) const {
    const std::string* source = impl_->source.AsString();
    const std::string* mask = impl_->target.AsString();
    if (!source || !mask) return {};
    const std::string base = ReplaceStars(BaseName(*mask), BaseName(*source));
    std::string extension;
    if (exposure > 0) {
        if (exposure > MaxExposureNumber) return {};
        extension = std::to_string(exposure);
        extension.insert(0, 3 - extension.size(), '0');
    } else {
        extension = ReplaceStars(Extension(*mask), Extension(*source));
    }
    std::string path = PathFolder(*source) + base;
    if (!extension.empty()) path += "." + extension;
    return path;
}

// NaN, which has no nearer sample, is written as 0.
std::int16_t Data::ToSample16(double x) noexcept {
    if (std::isnan(x)) return 0;
    if (x > 32767.0) return 32767;
    if (x < -32767.0) return -32767;
    return static_cast<std::int16_t>(RoundHalfEven(x));
}

}  // namespace tavox
