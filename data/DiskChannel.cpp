#include "data/DiskChannel.h"

#include <algorithm>
#include <limits>
#include <new>

#include "data/Data.h"
#include "data/Path.h"
#include "data/ResultStore.h"
#include "data/SampleBlocks.h"
#include "data/TextForm.h"

namespace tavox {
namespace {

// Upper bound of one positioned read and of the conversion buffer of a write.
constexpr std::size_t ReadChunkSamples = 512 * 1024;
constexpr std::size_t WriteChunkSamples = 64 * 1024;
constexpr std::int32_t MaxExposureNumber = 999;

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

Variant AsText(const Variant& value) {
    return value.AsString() ? value : Variant(TextForm(value));
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
        source_ = AsText(value);
        if (reopen) OpenSource();
    } catch (...) {
    }
    // Measured when the file is opened, so that a batch does not stat every
    // source twice.
    lengthKnown_ = false;
}

void DiskChannel::SetTarget(const Variant& value) noexcept {
    try {
        target_ = AsText(value);
    } catch (...) {
    }
}

std::int32_t DiskChannel::Length() const noexcept {
    if (!lengthKnown_) {
        length_ = 0;
        try {
            const std::string* path = source_.AsString();
            if (path && !path->empty()) {
                const auto bytes = fileSystem_->FileSize(*path);
                if (bytes) length_ = ClampToInt32(*bytes / 2);
            }
        } catch (...) {
        }
        lengthKnown_ = true;
    }
    return length_;
}

void DiskChannel::Initialize(std::int32_t& result) {
    lengthKnown_ = false;
    sourceTooLong_ = false;
    if (!OpenSource()) {
        result = fftResultFileSysErr;
    } else if (const auto bytes = sourceFile_->Size()) {
        length_ = ClampToInt32(*bytes / 2);
        lengthKnown_ = true;
        // Positions are 32-bit: a longer source would be read only in part.
        if (*bytes / 2 > static_cast<std::uint64_t>(MaxSourceSamples)) {
            sourceTooLong_ = true;
            result = fftResultShortFile;
        }
    }
}

bool DiskChannel::OpenSource() {
    sourceFile_.reset();
    sourceIdentity_.reset();
    sourceHeld_ = true;
    const std::string* path = source_.AsString();
    if (path && !path->empty()) sourceFile_ = fileSystem_->OpenRead(*path);
    if (sourceFile_) sourceIdentity_ = sourceFile_->Identity();
    return sourceFile_ != nullptr;
}

void DiskChannel::CloseSource() noexcept {
    sourceFile_.reset();
    sourceIdentity_.reset();
    sourceHeld_ = false;
}

void DiskChannel::Load(std::span<double> samples, std::int64_t from, bool& pastEnd, std::int32_t& result) {
    const std::int32_t length = Length();
    if (!sourceFile_) {
        std::fill(samples.begin(), samples.end(), 0.0);
        result = fftResultFileSysErr;
        return;
    }
    const std::size_t chunk = std::min(samples.size(), ReadChunkSamples);
    if (readBuffer_.size() < chunk * 2) readBuffer_.resize(chunk * 2);
    bool atEnd = false;
    for (std::size_t first = 0; first < samples.size(); first += chunk) {
        const std::size_t count = std::min(chunk, samples.size() - first);
        const std::span<double> part = samples.subspan(first, count);
        const auto index = static_cast<std::uint64_t>(from - 1) + first;
        std::size_t complete = 0;
        if (!atEnd) {
            const auto got = sourceFile_->ReadAt(index * 2, std::span(readBuffer_.data(), count * 2));
            if (!got) {
                // The read failed: nothing of this part is known, only where the source ends.
                result = fftResultFileSysErr;
                std::fill(part.begin(), part.end(), 0.0);
                if (index + count > static_cast<std::uint64_t>(length)) pastEnd = true;
                continue;
            }
            complete = *got / 2;
            atEnd = complete < count;
        }
        SamplesFromBytes(std::span<const std::byte>(readBuffer_.data(), complete * 2), part.first(complete));
        if (complete < count) {
            std::fill(part.begin() + static_cast<std::ptrdiff_t>(complete), part.end(), 0.0);
            pastEnd = true;
        }
    }
}

void DiskChannel::Save(SaveOpEnum op, std::span<const double> block, std::int16_t exposure, std::int32_t& result) {
    switch (op) {
        case SaveStore:
            if (!store_.Hold(block)) result = fftResultOutOfMemory;
            return;
        case SaveAdd:
            store_.AddHeld(block);
            return;
        case SaveAverage:
            store_.AverageHeld();
            return;
        case SaveWrite:
            try {
                WriteHeld(TargetPath(source_, target_, exposure), result);
            } catch (const std::bad_alloc&) {
                result = fftResultOutOfMemory;
            } catch (...) {
                result = fftResultFileSysErr;
            }
            store_.Reset();
            return;
        default:
            return;
    }
}

void DiskChannel::WriteHeld(const std::string& path, std::int32_t& result) {
    if (path.empty()) {
        result = fftResultFileSysErr;
        return;
    }
    // A file system that cannot identify the open source is asked by path.
    if (!sourceIdentity_ && NamesSourceByPath(path)) {
        result = fftResultFileNameErr;
        return;
    }
    if (writeBuffer_.size() < WriteChunkSamples * 2) writeBuffer_.resize(WriteChunkSamples * 2);
    // The output is written to a new file that replaces the old one when it
    // is complete; nothing is written through a link or to another name.
    const std::unique_ptr<OutputFile> targetFile = fileSystem_->CreateOutput(path);
    if (!targetFile) {
        result = fftResultFileSysErr;
        return;
    }
    const std::span<const double> values = store_.Held();
    for (std::size_t first = 0; first < values.size(); first += WriteChunkSamples) {
        const std::size_t n = std::min(WriteChunkSamples, values.size() - first);
        BytesFromValues(values.subspan(first, n), std::span(writeBuffer_.data(), n * 2));
        targetFile->Write(std::span<const std::byte>(writeBuffer_.data(), n * 2));
    }
    switch (targetFile->Commit(sourceIdentity_)) {
        case CommitResult::Replaced:
            return;
        case CommitResult::WriteFailed:
            result = fftResultTargetFull;
            return;
        case CommitResult::NamesKept:
            result = fftResultFileNameErr;
            return;
        case CommitResult::Failed:
            result = fftResultFileSysErr;
            return;
    }
}

bool DiskChannel::NamesSourceByPath(const std::string& path) const {
    const std::string* sourcePath = source_.AsString();
    return sourcePath && !sourcePath->empty() && fileSystem_->SameFile(path, *sourcePath);
}

void DiskChannel::CloseFiles() noexcept {
    CloseSource();
}

void DiskChannel::Release() noexcept {
    CloseSource();
    decltype(readBuffer_)().swap(readBuffer_);
    decltype(writeBuffer_)().swap(writeBuffer_);
}

std::string DiskChannel::TargetPath(const Variant& source, const Variant& mask, std::int16_t exposure) {
    const std::string* sourcePath = source.AsString();
    const std::string* maskText = mask.AsString();
    if (!sourcePath || !maskText) return {};
    const std::string base = ReplaceStars(BaseName(*maskText), BaseName(*sourcePath));
    std::string extension;
    if (exposure > 0) {
        if (exposure > MaxExposureNumber) return {};
        extension = std::to_string(exposure);
        extension.insert(0, 3 - extension.size(), '0');
    } else {
        extension = ReplaceStars(Extension(*maskText), Extension(*sourcePath));
    }
    std::string path = PathFolder(*sourcePath) + base;
    if (!extension.empty()) path += "." + extension;
    return path;
}

}  // namespace tavox
