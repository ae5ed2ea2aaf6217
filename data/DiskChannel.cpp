#include "data/DiskChannel.h"

#include <algorithm>
#include <limits>
#include <new>
#include <stdexcept>

#include "common/SpectrumObserver.h"
#include "data/Data.h"
#include "data/Path.h"
#include "data/ResultStore.h"
#include "data/SpectrumFormats.h"
#include "data/TargetPath.h"
#include "data/TextForm.h"

namespace tavox {
namespace {

// Upper bound of one positioned read and of the conversion buffer of a write.
constexpr std::size_t ReadChunkSamples = 512 * 1024;

std::int32_t ClampToInt32(std::uint64_t n) {
    return static_cast<std::int32_t>(std::min<std::uint64_t>(n, std::numeric_limits<std::int32_t>::max()));
}

// A text is copied into the storage `held` has (no allocation from file to file).
void AssignText(Variant& held, const Variant& value) {
    if (const std::string* text = value.AsString()) {
        held.AssignText(*text);
    } else {
        held = Variant(TextForm(value));
    }
}

}  // namespace

DiskChannel::DiskChannel(std::shared_ptr<FileSystem> fileSystem, ResultStore& store) noexcept
    : fileSystem_(std::move(fileSystem)), store_(store) {
    source_ = Variant(std::string());
    target_ = Variant(std::string());
}

void DiskChannel::Start(DataChannel&) noexcept {
    source_ = Variant(std::string());
    target_ = Variant(std::string());
    length_ = 0;
    lengthKnown_ = true;
    sourceTooLong_ = false;
}

void DiskChannel::SetSource(const Variant& value) noexcept {
    try {
        const bool reopen = sourceHeld_;
        if (reopen) CloseSource();
        AssignText(source_, value);
        if (reopen) OpenSource();
    } catch (...) {
    }
    // Measured when the file is opened, so that a batch does not stat every
    // source twice.
    lengthKnown_ = false;
}

void DiskChannel::SetTarget(const Variant& value) noexcept {
    try {
        AssignText(target_, value);
    } catch (...) {
    }
}

std::int32_t DiskChannel::Length() const noexcept {
    if (!lengthKnown_) {
        length_ = 0;
        try {
            const std::string* path = source_.AsString();
            if (path && !path->empty()) {
                const auto samples = SampleSource::Measure(*fileSystem_, *path, input_);
                if (samples) length_ = ClampToInt32(*samples);
            }
        } catch (...) {
        }
        lengthKnown_ = true;
    }
    return length_;
}

void DiskChannel::SetInput(const InputOptions& input) noexcept {
    const bool reopen = sourceHeld_;
    if (reopen) CloseSource();
    input_ = input;
    if (reopen) {
        try {
            OpenSource();
        } catch (...) {
        }
    }
    lengthKnown_ = false;
}

void DiskChannel::Initialize(std::int32_t& result) {
    DropMatrix();
    series_ = ExposureSeries{};
    lengthKnown_ = false;
    readProblem_.store(nullptr);
    writtenCount_ = 0;
    lastWritten_ = 0;
    sourceTooLong_ = false;
    pending_.clear();
    opened_ = OpenSource();
    openedIdentity_ = sourceIdentity_;
    if (!opened_) {
        result = openResult_;
    } else if (const auto samples = samples_->Samples()) {
        length_ = ClampToInt32(*samples);
        lengthKnown_ = true;
        // Positions are 32-bit: a longer source would be read only in part.
        if (*samples > static_cast<std::uint64_t>(MaxSourceSamples)) {
            sourceTooLong_ = true;
            result = fftResultShortFile;
        }
    }
}

bool DiskChannel::OpenSource() {
    samples_.reset();
    sourceIdentity_.reset();
    sourceHeld_ = true;
    openResult_ = fftResultFileSysErr;
    openReason_.clear();
    sourceRate_.reset();
    sourceChannels_ = 0;
    const std::string* path = source_.AsString();
    if (path && !path->empty()) {
        SourceOpening opening = SampleSource::Open(*fileSystem_, *path, input_);
        samples_ = std::move(opening.source);
        openResult_ = opening.result;
        openReason_ = std::move(opening.reason);
    }
    if (!samples_) return false;
    sourceIdentity_ = samples_->Identity();
    sourceRate_ = samples_->SampleRate();
    sourceChannels_ = samples_->Channels();
    return true;
}

void DiskChannel::CloseSource() noexcept {
    samples_.reset();
    sourceIdentity_.reset();
    sourceHeld_ = false;
}

void DiskChannel::Load(std::span<double> samples, std::int64_t from, bool& pastEnd, std::int32_t& result) {
    Length();
    LoadShared(samples, from, pastEnd, result, readBuffer_);
}

void DiskChannel::LoadShared(std::span<double> samples, std::int64_t from, bool& pastEnd, std::int32_t& result,
                             ByteBuffer& bytes) const {
    const std::int32_t length = length_;
    if (!samples_) {
        std::fill(samples.begin(), samples.end(), 0.0);
        result = fftResultFileSysErr;
        return;
    }
    const std::size_t chunk = std::min(samples.size(), ReadChunkSamples);
    bool atEnd = false;
    for (std::size_t first = 0; first < samples.size(); first += chunk) {
        const std::size_t count = std::min(chunk, samples.size() - first);
        const std::span<double> part = samples.subspan(first, count);
        const auto index = static_cast<std::uint64_t>(from - 1) + first;
        std::size_t complete = 0;
        if (!atEnd) {
            const SourceRead got = samples_->Read(index, part, bytes);
            if (got.result != fftResultAllRight) {
                // The read failed: nothing of this part is known, only where the source ends.
                result = got.result;
                if (got.problem != nullptr) readProblem_.store(got.problem);
                std::fill(part.begin(), part.end(), 0.0);
                if (index + count > static_cast<std::uint64_t>(length)) pastEnd = true;
                continue;
            }
            complete = got.count;
            atEnd = complete < count;
        }
        if (complete < count) {
            std::fill(part.begin() + static_cast<std::ptrdiff_t>(complete), part.end(), 0.0);
            pastEnd = true;
        }
    }
}

void DiskChannel::Save(SaveOpEnum op, std::span<const double> block, std::int16_t exposure, std::int32_t& result) {
    switch (op) {
        case SaveStore:
            // A matrix's row is written from the block itself by the SaveWrite that follows.
            if (matrix_) {
                row_ = block;
                return;
            }
            if (!store_.Hold(block)) result = fftResultOutOfMemory;
            return;
        case SaveAdd:
            if (!store_.AddHeld(block)) result = fftResultOutOfMemory;
            return;
        case SaveAverage:
            combined_ = store_.Sums();
            if (!store_.AverageHeld()) result = fftResultOutOfMemory;
            return;
        case SaveWrite:
            if (matrix_) {
                try {
                    WriteRow(exposure);
                } catch (const std::bad_alloc&) {
                    result = fftResultOutOfMemory;
                } catch (...) {
                    result = fftResultFileSysErr;
                }
                store_.Reset();
                return;
            }
            try {
                // Results of samples that could not all be read are no spectrum of the source.
                if (readProblem_.load() != nullptr) {
                    result = fftResultFormatErr;
                    store_.Reset();
                    combined_ = 1;
                    return;
                }
                // The path is built in a buffer that the channel keeps from file to file.
                TargetPath(targetPath_, source_, target_, exposure, OutputSuffix());
                const std::int32_t written = writtenCount_;
                WriteHeld(targetPath_, exposure, result);
                if (writtenCount_ != written) TellObserver(targetPath_, exposure);
            } catch (const std::bad_alloc&) {
                result = fftResultOutOfMemory;
            } catch (...) {
                result = fftResultFileSysErr;
            }
            store_.Reset();
            combined_ = 1;
            return;
        default:
            return;
    }
}

bool DiskChannel::MayWrite(const std::string& path, std::int32_t& result) const {
    if (path.empty()) {
        result = fftResultFileSysErr;
        return false;
    }
    // A file system that cannot identify the open source is asked by path.
    if (!sourceIdentity_ && NamesSourceByPath(path)) {
        result = fftResultFileNameErr;
        return false;
    }
    return true;
}

void DiskChannel::WriteHeld(const std::string& path, std::int16_t exposure, std::int32_t& result) {
    if (!MayWrite(path, result)) return;
    ReserveSpectrumBuffer(writeBuffer_);
    // The output is written to a new file that replaces the old one when it
    // is complete; nothing is written through a link or to another name.
    std::unique_ptr<OutputFile> targetFile = fileSystem_->CreateOutput(path);
    if (!targetFile) {
        result = fftResultFileSysErr;
        return;
    }
    WriteValues(*targetFile);
    if (!deferred_) {
        Committed(targetFile->Commit(sourceIdentity_), exposure, result);
        return;
    }
    if (!targetFile->Finish()) {
        result = fftResultTargetFull;
        return;
    }
    pending_.push_back(PendingOutput{exposure, std::move(targetFile)});
}

bool DiskChannel::Committed(CommitResult commit, std::int16_t exposure, std::int32_t& result) noexcept {
    switch (commit) {
        case CommitResult::Replaced:
            ++writtenCount_;
            lastWritten_ = exposure;
            return true;
        case CommitResult::WriteFailed:
            result = fftResultTargetFull;
            return false;
        case CommitResult::NamesKept:
            result = fftResultFileNameErr;
            return false;
        case CommitResult::Failed:
            break;
    }
    result = fftResultFileSysErr;
    return false;
}

bool DiskChannel::CommitOutput(OutputFile& file, std::int16_t exposure, std::int32_t& result) {
    return Committed(file.Commit(sourceIdentity_), exposure, result);
}

// The lists trade places, so that neither allocates from file to file.
void DiskChannel::TakeDeferred(DeferredOutputs& deferred) noexcept {
    deferred.outputs.clear();
    deferred.outputs.swap(pending_);
    deferred.opened = opened_;
    deferred.source = openedIdentity_;
    deferred.length = length_;
    deferred.lengthKnown = lengthKnown_;
    deferred.tooLong = sourceTooLong_;
    deferred.problem = SourceProblem();
    deferred.rate = sourceRate_;
    deferred.channels = sourceChannels_;
}

void DiskChannel::AdoptSource(const DeferredOutputs& deferred) noexcept {
    length_ = deferred.length;
    lengthKnown_ = deferred.lengthKnown;
    sourceTooLong_ = deferred.tooLong;
    openReason_ = deferred.problem;
    readProblem_.store(nullptr);
    sourceRate_ = deferred.rate;
    sourceChannels_ = deferred.channels;
    writtenCount_ = 0;
    lastWritten_ = 0;
}

// The outputs keep away from the source the deferred transform opened.
std::int32_t DiskChannel::CommitDeferred(DeferredOutputs& deferred, std::int32_t& result) {
    AdoptSource(deferred);
    for (PendingOutput& output : deferred.outputs) {
        bool named = false;
        try {
            named = Committed(output.file->Commit(deferred.source), output.exposure, result);
        } catch (...) {
            result = fftResultFileSysErr;
        }
        if (!named) return output.exposure;
    }
    return -1;
}

// Method multi writes its outputs in exposure order and stops at the first
// that fails, so the outputs written carry consecutive numbers.
std::vector<std::string> DiskChannel::WrittenOutputs() const {
    std::vector<std::string> paths;
    for (std::int32_t k = writtenCount_ - 1; k >= 0; --k) {
        const auto exposure = static_cast<std::int16_t>(lastWritten_ > 0 ? lastWritten_ - k : 0);
        paths.push_back(OwnTargetPath(exposure));
    }
    return paths;
}

std::unique_ptr<OutputFile> DiskChannel::WriteBlock(std::span<const double> block, std::int16_t exposure,
                                                    ByteBuffer& buffer, std::int32_t& result) const {
    const std::string path = OwnTargetPath(exposure);
    if (path.empty()) {
        result = fftResultFileSysErr;
        return nullptr;
    }
    ReserveSpectrumBuffer(buffer);
    std::unique_ptr<OutputFile> file = fileSystem_->CreateOutput(path);
    if (!file) {
        result = fftResultFileSysErr;
        return nullptr;
    }
    WriteSpectrum(*file, block, store_.Stage().Shape(block.size(), 1), WrittenOptions(), buffer);
    if (!file->Finish()) {
        result = fftResultTargetFull;
        return nullptr;
    }
    return file;
}

void DiskChannel::WriteValues(OutputFile& file) {
    WriteSpectrum(file, store_.Held(), HeldShape(), WrittenOptions(), writeBuffer_);
}

OutputOptions DiskChannel::WrittenOptions() const {
    OutputOptions written = options_;
    written.rate = WrittenRate();
    return written;
}

std::string DiskChannel::SourceProblem() const {
    if (!openReason_.empty()) return openReason_;
    const char* problem = readProblem_.load();
    return problem != nullptr ? problem : std::string();
}

std::string DiskChannel::OutputSuffix() const {
    return input_.eachChannel ? "_ch" + std::to_string(input_.channel) : std::string();
}

std::string DiskChannel::OwnTargetPath(std::int16_t exposure) const {
    return TargetPath(source_, target_, exposure, OutputSuffix());
}

SpectrumShape DiskChannel::HeldShape() const noexcept {
    return store_.Shape();
}

void DiskChannel::TellObserver(const std::string& path, std::int16_t exposure) const noexcept {
    if (!options_.observer) return;
    const SpectrumShape shape = HeldShape();
    const std::string* source = source_.AsString();
    const bool inSeries = exposure > 0 && series_.count > 0;
    options_.observer->Written(WrittenSpectrum{path, source ? *source : std::string_view(), store_.Held(), shape.bins,
                                               shape.rows, shape.width, exposure, combined_,
                                               inSeries ? static_cast<std::int16_t>(series_.count) : std::int16_t{0},
                                               inSeries ? series_.Start(exposure) : -1, WrittenRate()});
}

void DiskChannel::BeginSeries(const ExposureSeries& series, std::int32_t& result) {
    DropMatrix();
    series_ = series;
    if (!WritesMatrix()) return;
    const std::string path = OwnTargetPath(0);
    if (!MayWrite(path, result)) return;
    if (!HoldsMatrix(options_.format)) {
        result = fftResultFileSysErr;
        return;
    }
    const OutputStage& stage = store_.Stage();
    const std::string* source = source_.AsString();
    matrixLayout_ = MatrixLayout{series, stage.Shape(stage.Context().width / 2, 1), stage.Context(),
                                 source ? std::string_view(*source) : std::string_view(), input_.channel};
    ReserveSpectrumBuffer(writeBuffer_);
    matrixFile_ = fileSystem_->CreateOutput(path);
    if (matrixFile_) matrix_ = MakeMatrixWriter(*matrixFile_, matrixLayout_, options_.format, writeBuffer_);
    if (!matrix_) {
        DropMatrix();
        result = fftResultFileSysErr;
        return;
    }
    matrixPath_ = path;
}

void DiskChannel::WriteRow(std::int16_t exposure) {
    const std::span<const double> row = row_;
    row_ = {};
    const SpectrumShape& shape = matrixLayout_.shape;
    if (row.size() != shape.bins) throw std::length_error("a row of another length than the matrix's");
    matrix_->Row(row, exposure);
    ++matrixRows_;
    if (!options_.observer) return;
    const std::string* source = source_.AsString();
    options_.observer->MatrixRow(WrittenSpectrum{matrixPath_, source ? *source : std::string_view(), row, shape.bins, 1,
                                                 shape.width, exposure, 1, static_cast<std::int16_t>(series_.count),
                                                 series_.Start(exposure), WrittenRate()});
}

void DiskChannel::EndSeries(bool complete, std::int32_t& result) {
    series_ = ExposureSeries{};
    if (!matrix_) return;
    bool written = false;
    if (complete && matrixRows_ == matrixLayout_.series.count) {
        if (matrix_->Finish()) {
            CommitMatrix(result);
            written = result == fftResultAllRight;
        } else {
            result = fftResultFileSysErr;
        }
    }
    const std::string path = std::move(matrixPath_);
    DropMatrix();
    row_ = {};
    if (options_.observer) options_.observer->MatrixEnd(path, written);
}

void DiskChannel::CommitMatrix(std::int32_t& result) {
    matrix_.reset();
    if (!deferred_) {
        Committed(matrixFile_->Commit(sourceIdentity_), 0, result);
        return;
    }
    if (!matrixFile_->Finish()) {
        result = fftResultTargetFull;
        return;
    }
    pending_.push_back(PendingOutput{0, std::move(matrixFile_)});
}

// The writer goes first: it writes to the file.
void DiskChannel::DropMatrix() noexcept {
    matrix_.reset();
    matrixFile_.reset();
    matrixPath_.clear();
    matrixRows_ = 0;
}

bool DiskChannel::NamesSourceByPath(const std::string& path) const {
    const std::string* sourcePath = source_.AsString();
    return sourcePath && !sourcePath->empty() && fileSystem_->SameFile(path, *sourcePath);
}

bool DiskChannel::BoundedSamples() const noexcept {
    return !samples_ || samples_->BoundedSamples();
}

void DiskChannel::CloseFiles() noexcept {
    CloseSource();
}

void DiskChannel::Release() noexcept {
    DropMatrix();
    CloseSource();
    if (!deferred_) pending_.clear();
    decltype(readBuffer_)().swap(readBuffer_);
    decltype(writeBuffer_)().swap(writeBuffer_);
}

std::string DiskChannel::TargetPath(const Variant& source, const Variant& mask, std::int16_t exposure,
                                    std::string_view suffix) {
    std::string path;
    TargetPath(path, source, mask, exposure, suffix);
    return path;
}

void DiskChannel::TargetPath(std::string& path, const Variant& source, const Variant& mask, std::int16_t exposure,
                             std::string_view suffix) {
    const std::string* sourcePath = source.AsString();
    const std::string* maskText = mask.AsString();
    if (!sourcePath || !maskText) {
        path.clear();
        return;
    }
    FormTargetPath(path, *sourcePath, *maskText, exposure, suffix);
}

}  // namespace tavox
