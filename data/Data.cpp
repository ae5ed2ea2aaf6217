#include "data/Data.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "common/Numeric.h"
#include "data/DiskChannel.h"
#include "data/FileSystem.h"
#include "data/ResultStore.h"
#include "data/SheetChannel.h"

namespace tavox {
namespace {

// A format of no known kind: keeps the Source and Target it is given, has no
// length, and fails whatever would read or write.
class UnknownChannel final : public DataChannel {
public:
    explicit UnknownChannel(ResultStore& store) noexcept : store_(store) {}

    void Start(DataChannel& previous) noexcept override { TakeValues(previous); }
    void SetSource(const Variant& value) noexcept override { Keep(source_, value); }
    void SetTarget(const Variant& value) noexcept override { Keep(target_, value); }
    std::int32_t Length() const noexcept override { return 0; }

    void Initialize(std::int32_t& result) override { result = fftResultFileSysErr; }
    void Load(std::span<double> samples, std::int64_t, bool&, std::int32_t& result) override {
        std::fill(samples.begin(), samples.end(), 0.0);
        result = fftResultFileSysErr;
    }
    void Save(SaveOpEnum op, std::span<const double>, std::int16_t, std::int32_t& result) override {
        if (op != SaveWrite) return;
        store_.Reset();
        result = fftResultFileSysErr;
    }

private:
    static void Keep(Variant& held, const Variant& value) noexcept {
        try {
            held = value;
        } catch (...) {
        }
    }

    ResultStore& store_;
};

}  // namespace

struct Data::Impl {
    explicit Impl(std::shared_ptr<FileSystem> fileSystem)
        : disk(std::move(fileSystem), store), sheet(store), memory(store), unknown(store) {}

    DataChannel& ChannelFor(std::int32_t format) noexcept {
        if (format == fftDataDiskFile) return disk;
        if (format == fftDataExcelRange) return sheet;
        return unknown;
    }

    std::int32_t format = fftDataDiskFile;
    ResultStore store;
    DiskChannel disk;
    SheetChannel sheet;
    MemoryChannel memory;
    UnknownChannel unknown;
    DataChannel* channel = &disk;
};

Data::Data(std::shared_ptr<FileSystem> fileSystem)
    : impl_(std::make_unique<Impl>(fileSystem ? std::move(fileSystem) : DefaultFileSystem())) {}

Data::~Data() = default;

std::int32_t Data::Format() const noexcept {
    return impl_->format;
}

void Data::SetFormat(std::int32_t value) noexcept {
    DataChannel& next = impl_->ChannelFor(value);
    // A channel left behind gives back its buffers as well.
    if (&next == impl_->channel) {
        impl_->channel->CloseFiles();
    } else {
        impl_->channel->Release();
    }
    impl_->store.Reset();
    next.Start(*impl_->channel);
    impl_->channel = &next;
    impl_->format = value;
}

void Data::UseMemory(MemorySamples samples, std::int32_t format) noexcept {
    impl_->channel->Release();
    impl_->store.Reset();
    impl_->memory.Start(*impl_->channel);
    impl_->memory.Use(samples);
    impl_->channel = &impl_->memory;
    const bool sixteenBit = std::holds_alternative<std::span<const std::int16_t>>(samples);
    impl_->format = format == fftDataDiskFile && sixteenBit ? fftDataDiskFile : fftDataExcelRange;
}

const std::vector<std::vector<double>>& Data::MemoryOutputs() const noexcept {
    return impl_->memory.Outputs();
}

const std::vector<std::int64_t>& Data::MemoryStarts() const noexcept {
    return impl_->memory.Starts();
}

std::int32_t Data::Length() const noexcept {
    return impl_->channel->Length();
}

std::int32_t Data::TargetLength() const noexcept {
    return impl_->channel->TargetLength();
}

const Variant& Data::GetSource() const noexcept {
    return impl_->channel->Source();
}

const Variant& Data::GetTarget() const noexcept {
    return impl_->channel->Target();
}

void Data::SetSource(const Variant& value) noexcept {
    impl_->channel->SetSource(value);
}

void Data::SetTarget(const Variant& value) noexcept {
    impl_->channel->SetTarget(value);
}

void Data::Initialize(std::int32_t& result) noexcept {
    try {
        impl_->channel->Initialize(result);
    } catch (const std::bad_alloc&) {
        result = fftResultOutOfMemory;
    } catch (...) {
        result = fftResultFileSysErr;
    }
}

namespace {

// Runs `load(from, pastEnd)` for a load from `fromPos` (positions below 1
// read from the first sample) and turns what it raises or finds into result codes.
template <class Load>
void LoadGuarded(std::span<double> samples, std::int32_t fromPos, std::int32_t& result, Load load) noexcept {
    bool pastEnd = false;
    try {
        load(std::max<std::int64_t>(fromPos, 1), pastEnd);
    } catch (const std::bad_alloc&) {
        std::fill(samples.begin(), samples.end(), 0.0);
        result = fftResultOutOfMemory;
    } catch (...) {
        result = fftResultFileSysErr;
    }
    if (pastEnd) result = fftResultShortFile;
}

}  // namespace

void Data::LoadSequence(std::span<double> samples, std::int32_t fromPos, std::int32_t& result) noexcept {
    LoadGuarded(samples, fromPos, result,
                [&](std::int64_t from, bool& pastEnd) { impl_->channel->Load(samples, from, pastEnd, result); });
}

void Data::SaveSequence(SaveOpEnum saveOp, std::span<const double> spectrum, std::int16_t exposure,
                        std::int32_t& result) noexcept {
    SaveBlock(saveOp, spectrum.first(spectrum.size() / 2), exposure, result);
}

void Data::SaveBlock(SaveOpEnum saveOp, std::span<const double> block, std::int16_t exposure,
                     std::int32_t& result) noexcept {
    if (saveOp == SaveAdd && impl_->store.Sums() < 1) saveOp = SaveStore;
    if (saveOp == SaveReset) {
        impl_->store.Reset();
        return;
    }
    try {
        impl_->channel->Save(saveOp, block, exposure, result);
    } catch (...) {
    }
}

// Also gives back the buffers: a batch keeps every File, and so every
// channel, alive until it ends.
void Data::Terminate() noexcept {
    impl_->store.Release();
    impl_->channel->Release();
}

bool Data::WritesMatrix() const noexcept {
    return impl_->channel->WritesMatrix();
}

void Data::BeginSeries(const ExposureSeries& series, std::int32_t& result) noexcept {
    try {
        impl_->channel->BeginSeries(series, result);
    } catch (const std::bad_alloc&) {
        result = fftResultOutOfMemory;
    } catch (...) {
        result = fftResultFileSysErr;
    }
}

void Data::EndSeries(bool complete, std::int32_t& result) noexcept {
    try {
        impl_->channel->EndSeries(complete, result);
    } catch (const std::bad_alloc&) {
        result = fftResultOutOfMemory;
    } catch (...) {
        result = fftResultFileSysErr;
    }
}

void Data::SetDeferredOutputs(bool on) noexcept {
    impl_->disk.SetDeferred(on);
}

void Data::TakeDeferred(DeferredOutputs& into) noexcept {
    impl_->disk.TakeDeferred(into);
}

std::int32_t Data::CommitDeferred(DeferredOutputs& deferred, std::int32_t& result) noexcept {
    std::int32_t failed = -1;
    try {
        failed = impl_->channel->CommitDeferred(deferred, result);
    } catch (...) {
        result = fftResultFileSysErr;
    }
    // Outputs left unnamed are removed with their entries.
    deferred.outputs.clear();
    return failed;
}

void Data::LoadShared(std::span<double> samples, std::int32_t fromPos, std::int32_t& result,
                      ByteBuffer& bytes) const noexcept {
    LoadGuarded(samples, fromPos, result, [&](std::int64_t from, bool& pastEnd) {
        impl_->channel->LoadShared(samples, from, pastEnd, result, bytes);
    });
}

std::unique_ptr<OutputFile> Data::WriteBlock(std::span<const double> block, std::int16_t exposure, ByteBuffer& buffer,
                                             std::int32_t& result) const noexcept {
    try {
        return impl_->channel->WriteBlock(block, exposure, buffer, result);
    } catch (const std::bad_alloc&) {
        result = fftResultOutOfMemory;
    } catch (...) {
        result = fftResultFileSysErr;
    }
    return nullptr;
}

bool Data::CommitOutput(OutputFile& file, std::int16_t exposure, std::int32_t& result) noexcept {
    try {
        return impl_->channel->CommitOutput(file, exposure, result);
    } catch (...) {
        result = fftResultFileSysErr;
    }
    return false;
}

bool Data::SharedAccess() const noexcept {
    return impl_->channel->SharedAccess();
}

bool Data::SharedLoads() const noexcept {
    return impl_->channel->SharedLoads();
}

bool Data::BoundedSamples() const noexcept {
    return impl_->channel->BoundedSamples();
}

bool Data::SourceTooLong() const noexcept {
    return impl_->channel->SourceTooLong();
}

void Data::TargetPath(std::string& path, std::int16_t exposure) const {
    const std::string suffix = impl_->channel == &impl_->disk ? impl_->disk.OutputSuffix() : std::string();
    DiskChannel::TargetPath(path, impl_->channel->Source(), impl_->channel->Target(), exposure, suffix);
}

std::string Data::TargetPath(std::int16_t exposure) const {
    std::string path;
    TargetPath(path, exposure);
    return path;
}

std::string Data::SourceProblem() const {
    return impl_->channel == &impl_->disk ? impl_->disk.SourceProblem() : std::string();
}

std::optional<double> Data::SourceRate() const noexcept {
    return impl_->channel == &impl_->disk ? impl_->disk.SourceRate() : std::nullopt;
}

std::int32_t Data::SourceChannels() const noexcept {
    return impl_->channel == &impl_->disk ? impl_->disk.SourceChannels() : 0;
}

const InputOptions& Data::GetInputOptions() const noexcept {
    return impl_->disk.Input();
}

void Data::SetInputOptions(const InputOptions& options) noexcept {
    impl_->disk.SetInput(options);
}

std::vector<std::string> Data::WrittenOutputs() const {
    return impl_->channel->WrittenOutputs();
}

const OutputOptions& Data::GetOutputOptions() const noexcept {
    return impl_->disk.Options();
}

void Data::SetOutputOptions(const OutputOptions& options) noexcept {
    impl_->disk.SetOptions(options);
    impl_->store.SetAverage(options.average);
}

void Data::SetOutputStage(const OutputStage& stage) noexcept {
    impl_->store.SetStage(stage);
}

// NaN, which has no nearer sample, is written as 0.
std::int16_t Data::ToSample16(double x) noexcept {
    if (std::isnan(x)) return 0;
    if (x > 32767.0) return 32767;
    if (x < -32767.0) return -32767;
    return static_cast<std::int16_t>(RoundHalfEven(x));
}

}  // namespace tavox
