#include <cmath>
#include <string>
#include <vector>

#include "app/Files.h"
#include "common/AutomationError.h"
#include "common/Numeric.h"
#include "data/Data.h"
#include "data/Path.h"
#include "engine/Parameters.h"
#include "fuzz/FuzzInput.h"
#include "fuzz/FuzzVariant.h"
#include "fuzz/MemoryFileSystem.h"
#include "fuzz/Targets.h"

namespace tavox::fuzz {
namespace {

// Plain dynamic-programming matcher that the library's matcher must agree with.
bool ReferenceMatch(std::string_view name, std::string_view pattern) {
    std::vector<bool> row(name.size() + 1, false);
    row[0] = true;
    for (char p : pattern) {
        std::vector<bool> next(name.size() + 1, false);
        if (p == '*') {
            bool any = false;
            for (std::size_t i = 0; i <= name.size(); ++i) {
                any = any || row[i];
                next[i] = any;
            }
        } else {
            for (std::size_t i = 1; i <= name.size(); ++i) next[i] = row[i - 1] && (p == '?' || p == name[i - 1]);
        }
        row.swap(next);
    }
    return row[name.size()];
}

bool IsFractionKind(VariantKind kind) {
    return kind == VariantKind::Single || kind == VariantKind::Double || kind == VariantKind::Decimal;
}

// Runs `step`; an AutomationError must carry one of the allowed numbers.
template <class Step>
bool Raises(std::initializer_list<std::int32_t> allowed, Step&& step) {
    try {
        step();
        return false;
    } catch (const AutomationError& error) {
        bool known = false;
        for (std::int32_t number : allowed) known = known || error.Number() == number;
        FUZZ_CHECK(known);
        return true;
    }
}

}  // namespace

int LeadingNumberText(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    double value = 0.0;
    if (!Raises({ErrOverflow}, [&] { value = LeadingNumber(text); })) {
        FUZZ_CHECK(std::isfinite(value));
        // A letter that cannot continue a number changes nothing.
        FUZZ_CHECK(LeadingNumber(text + "z") == value);
    } else {
        FUZZ_CHECK(Raises({ErrOverflow}, [&] { LeadingNumber(text + "z"); }));
    }
    double whole = 0.0;
    if (!Raises({ErrTypeMismatch, ErrOverflow}, [&] { whole = LocaleTextToDouble(text); })) {
        FUZZ_CHECK(std::isfinite(whole));
    }
    Raises({ErrTypeMismatch, ErrOverflow}, [&] { LocaleTextToInt32(text); });
    const std::size_t half = text.size() / 2;
    FUZZ_CHECK(CountOccurrences(text, std::string_view(text).substr(0, half)) >= (half == 0 ? 0 : 1));
    return 0;
}

int Wildcard(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const std::string pattern = input.TakeText(64);
    const std::string name = input.TakeText(256);
    FUZZ_CHECK(MatchesWildcard(name, pattern) == ReferenceMatch(name, pattern));
    FUZZ_CHECK(MatchesWildcard(name, name));
    FUZZ_CHECK(MatchesWildcard(name, "*"));
    return 0;
}

int TargetMask(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const auto exposure = input.Take<std::int16_t>();
    const std::string mask = input.TakeText(256);
    std::string source = input.TakeText(256);
    if (!IsAbsolutePath(source)) source.insert(0, "/d/");

    const bool valid = Files::IsValidTargetMask(mask);
    if (mask.empty() || mask.find('?') != std::string::npos) FUZZ_CHECK(!valid);

    auto fileSystem = std::make_shared<MemoryFileSystem>();
    Data data_(fileSystem);
    data_.SetFormat(fftDataDiskFile);
    data_.SetSource(Variant(source));
    data_.SetTarget(Variant(mask));
    for (std::int16_t e : {std::int16_t{0}, std::int16_t{1}, std::int16_t{999}, std::int16_t{1000}, exposure}) {
        const std::string path = data_.TargetPath(e);
        if (e > 999) {
            FUZZ_CHECK(path.empty());
            continue;
        }
        FUZZ_CHECK(!path.empty());
        // The output always goes into the folder of its source.
        FUZZ_CHECK(PathFolder(path) == PathFolder(source));
        if (e > 0) {
            char digits[8];
            std::snprintf(digits, sizeof digits, ".%03d", e);
            FUZZ_CHECK(path.size() >= 4 && path.compare(path.size() - 4, 4, digits) == 0);
        }
    }
    if (valid) {
        Variant sourceMask(source);
        Variant target(mask);
        Files files(fileSystem);
        files.SetParameters(std::make_shared<Parameters>());
        FUZZ_CHECK(files.Add(fftDataDiskFile, sourceMask, target).AsObject() != nullptr);
    }
    return 0;
}

int RangeValue(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const std::int32_t length = input.Take<std::int32_t>() & 0x7fffffff;
    const Variant start = TakeVariant(input);
    const Variant finish = TakeVariant(input);
    Parameters parameters;
    for (const Variant* value : {&start, &finish}) {
        Variant stored;
        if (Raises({ErrOverflow}, [&] { stored = Parameters::NormalizeRangeValue(*value); })) continue;
        const VariantKind kind = stored.Kind();
        FUZZ_CHECK(stored.IsNumber());
        const double number = stored.ToDouble();
        FUZZ_CHECK(!(number < 0.0));
        if (IsFractionKind(kind) && value->Kind() != VariantKind::String) FUZZ_CHECK(!(number >= 1.0));
        if (const std::string* text = value->AsString(); text && text->find('%') != std::string::npos) {
            FUZZ_CHECK(kind == VariantKind::Double && !(number >= 1.0));
        }
    }
    Raises({ErrOverflow}, [&] { parameters.SetStart(start); });
    Raises({ErrOverflow}, [&] { parameters.SetFinish(finish); });
    std::int32_t first = 0;
    if (!Raises({ErrOverflow}, [&] { first = parameters.StartPosition(length); })) {
        FUZZ_CHECK(first >= 0);
        if (parameters.Start().ToDouble() == 0.0) FUZZ_CHECK(first == 1);
    }
    std::int32_t last = 0;
    if (!Raises({ErrOverflow}, [&] { last = parameters.FinishPosition(length); })) {
        FUZZ_CHECK(last >= 0);
        if (parameters.Finish().ToDouble() == 0.0) FUZZ_CHECK(last == length);
    }
    return 0;
}

}  // namespace tavox::fuzz
