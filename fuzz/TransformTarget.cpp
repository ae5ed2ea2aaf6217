#include <memory>
#include <string>

#include "app/Files.h"
#include "common/AutomationError.h"
#include "common/OutputOptions.h"
#include "data/Data.h"
#include "engine/File.h"
#include "engine/Parameters.h"
#include "fuzz/FuzzInput.h"
#include "fuzz/FuzzVariant.h"
#include "fuzz/MemoryFileSystem.h"
#include "fuzz/Targets.h"
#include "support/MemoryRange.h"

namespace tavox::fuzz {
namespace {

constexpr const char* SourcePath = "/d/in.dat";

bool KnownResult(std::int32_t code) {
    switch (code) {
        case fftResultAllRight:
        case fftResultFileSysErr:
        case fftResultFileNameErr:
        case fftResultOutOfMemory:
        case fftResultShortFile:
        case fftResultFormatErr:
        case ErrOverflow:
            return true;
        default:
            return false;
    }
}

// Applies settings taken from the input; setters may only raise the overflow
// error. Returns whether a multi's exposures go into one matrix.
bool SetParameters(Parameters& parameters, FuzzInput& input) {
    auto guarded = [](auto&& set) {
        try {
            set();
        } catch (const AutomationError& error) {
            FUZZ_CHECK(error.Number() == ErrOverflow);
        }
    };
    const auto flags = input.Take<std::uint8_t>();
    parameters.SetMethod(input.Take<std::int8_t>() % 4);
    guarded([&] { parameters.SetWindow(input.Take<std::int8_t>() % 4); });
    guarded([&] { parameters.SetWidth(input.Take<std::int32_t>()); });
    guarded([&] { parameters.SetRepeat(input.Take<std::int16_t>()); });
    parameters.SetPhase(flags & 1);
    parameters.SetCenter(flags & 2);
    if (flags & 4) guarded([&] { parameters.SetStart(TakeVariant(input)); });
    if (flags & 8) guarded([&] { parameters.SetFinish(TakeVariant(input)); });
    return (flags & 16) != 0;
}

void TransformDisk(FuzzInput& input, const std::shared_ptr<Parameters>& parameters, bool matrix) {
    std::string mask = input.TakeText(32);
    if (!Files::IsValidTargetMask(mask)) mask = "*out.*";
    const std::string bytes = input.TakeRest();
    const MemoryFileSystem::Bytes original(reinterpret_cast<const std::byte*>(bytes.data()),
                                           reinterpret_cast<const std::byte*>(bytes.data() + bytes.size()));
    auto fileSystem = std::make_shared<MemoryFileSystem>();
    fileSystem->Put(SourcePath, original);

    Files files(fileSystem);
    files.SetParameters(parameters);
    // A matrix holds the exposures of the multi method only.
    matrix = matrix && parameters->Method() == fftMethodMulti;
    if (matrix) {
        OutputOptions options;
        options.format = OutputFormat::Npy;
        options.layout = OutputLayout::Matrix;
        files.SetOutputOptions(options);
    }
    Variant source(SourcePath);
    Variant target(mask);
    files.Add(fftDataDiskFile, source, target);
    FUZZ_CHECK(files.Count() == 1);
    const auto file = files.Item(Variant(std::int32_t{1}));
    const std::int32_t result = file->Transform();
    FUZZ_CHECK(KnownResult(result));

    // The source is never changed, whatever the mask names.
    const MemoryFileSystem::Bytes* after = fileSystem->Get(SourcePath);
    FUZZ_CHECK(after != nullptr && *after == original);
    if (result != fftResultAllRight) return;

    const auto half = static_cast<std::size_t>(parameters->Width() / 2);
    Data& data = file->GetData();
    switch (parameters->Method()) {
        case fftMethodSimple: {
            const MemoryFileSystem::Bytes* out = fileSystem->Get(data.TargetPath(0));
            FUZZ_CHECK(out != nullptr && out->size() == half * 2 * (parameters->Phase() ? 2 : 1));
            break;
        }
        case fftMethodAverage: {
            const MemoryFileSystem::Bytes* out = fileSystem->Get(data.TargetPath(0));
            FUZZ_CHECK(out != nullptr && out->size() == half * 2);
            break;
        }
        case fftMethodMulti:
            if (matrix) {
                // The npy header, then a row of doubles per exposure.
                const MemoryFileSystem::Bytes* out = fileSystem->Get(data.TargetPath(0));
                FUZZ_CHECK(out != nullptr && out->size() == 128 + half * 8 * parameters->Repeat());
                break;
            }
            for (std::int16_t k = 1; k <= parameters->Repeat(); ++k) {
                const MemoryFileSystem::Bytes* out = fileSystem->Get(data.TargetPath(k));
                FUZZ_CHECK(out != nullptr && out->size() == half * 2);
            }
            break;
    }
}

void TransformRange(FuzzInput& input, const std::shared_ptr<Parameters>& parameters) {
    const auto columns = input.Take<std::uint8_t>() % 8;
    const auto targetRows = input.Take<std::uint16_t>();
    const std::size_t rows = input.Remaining() / 2;
    auto sourceRange = std::make_shared<MemoryRange>(static_cast<std::int32_t>(rows), 1);
    for (std::size_t row = 1; row <= rows; ++row) {
        if (row % 7 == 3) {
            sourceRange->SetCellValue(static_cast<std::int32_t>(row), 1, Variant(input.TakeText(8)));
        } else {
            sourceRange->SetCellValue(static_cast<std::int32_t>(row), 1, Variant(input.Take<std::int16_t>()));
        }
    }
    auto targetRange = std::make_shared<MemoryRange>(targetRows, columns);
    Files files(std::make_shared<MemoryFileSystem>());
    files.SetParameters(parameters);
    Variant source{ObjectRef(sourceRange)};
    Variant target{ObjectRef(targetRange)};
    files.Add(fftDataExcelRange, source, target);
    const std::int32_t result = files.Item(Variant(std::int32_t{1}))->Transform();
    FUZZ_CHECK(KnownResult(result) || result == fftResultTargetFull);
}

}  // namespace

int Transform(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const bool range = (input.Take<std::uint8_t>() & 0x0F) == 0x0F;
    auto parameters = std::make_shared<Parameters>();
    const bool matrix = SetParameters(*parameters, input);
    if (range) {
        TransformRange(input, parameters);
    } else {
        TransformDisk(input, parameters, matrix);
    }
    return 0;
}

}  // namespace tavox::fuzz
