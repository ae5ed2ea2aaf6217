#include <filesystem>
#include <locale>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/Files.h"
#include "common/AutomationError.h"
#include "common/Numeric.h"
#include "data/Data.h"
#include "data/Path.h"
#include "engine/File.h"
#include "engine/Parameters.h"
#include "fuzz/FuzzInput.h"
#include "fuzz/MemoryFileSystem.h"
#include "fuzz/Targets.h"

namespace tavox::fuzz {
namespace {

// A decimal comma with "." grouping, as in many European locales.
class CommaPunct : public std::numpunct<char> {
protected:
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

const std::locale& CommaLocale() {
    static const std::locale locale(std::locale::classic(), new CommaPunct);
    return locale;
}

MemoryFileSystem::Bytes Samples(std::size_t count, int seed) {
    MemoryFileSystem::Bytes bytes(count * 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::byte>((i * 37 + seed * 11) & 0xFF);
    return bytes;
}

// A folder of small sources, so that any batch the command line starts ends quickly.
std::shared_ptr<MemoryFileSystem> Fixture() {
    auto fileSystem = std::make_shared<MemoryFileSystem>();
    fileSystem->Put("/d/a.dat", Samples(300, 1));
    fileSystem->Put("/d/b.dat", Samples(1100, 2));
    fileSystem->Put("/d/c.txt", Samples(129, 3));
    fileSystem->Put("/d/aout.dat", Samples(10, 4));
    fileSystem->Put("/d/sub/e.dat", Samples(256, 5));
    fileSystem->Put("/d/.hidden", Samples(200, 6));
    return fileSystem;
}

// Every path that some file of the batch may write, in the file system's own
// (lexically normal) form, so that "//d/x" and "/d/x" name one file.
std::set<std::string> PossibleOutputs(const Application& app) {
    std::set<std::string> outputs;
    const auto files = app.FFTFiles()->Items();
    for (const auto& file : files) {
        const auto repeat = static_cast<std::int16_t>(app.FFTParameters()->Repeat());
        for (std::int16_t e = 0; e <= repeat; ++e) {
            outputs.insert(std::filesystem::path(file->GetData().TargetPath(e)).lexically_normal().string());
        }
    }
    return outputs;
}

}  // namespace

int CommandLine(const std::uint8_t* data, std::size_t size) {
    static const bool folderSet = (SetProgramFolder("/d/"), true);
    (void)folderSet;
    FuzzInput input(data, size);
    const std::uint8_t mode = input.Take<std::uint8_t>();
    const std::string text = input.TakeRest();

    std::locale::global((mode & 1) ? CommaLocale() : std::locale::classic());
    struct RestoreLocale {
        ~RestoreLocale() { std::locale::global(std::locale::classic()); }
    } restore;

    // Either one command-line text or program arguments cut at NUL bytes.
    std::vector<std::string> fields;
    if (mode & 2) {
        std::vector<std::string> arguments(1);
        for (char c : text) {
            if (c == '\0') {
                arguments.emplace_back();
            } else {
                arguments.back() += c;
            }
        }
        if (text.empty()) arguments.clear();
        fields = FieldsFromArguments(arguments);
    } else {
        fields = SplitCommandLine(text);
    }
    FUZZ_CHECK(fields.size() <= 8);
    if (text.empty()) FUZZ_CHECK(fields.empty());
    for (const std::string& field : fields) {
        try {
            MethodFromLetter(field);
            WindowFromLetter(field);
        } catch (const AutomationError& error) {
            FUZZ_CHECK(error.Number() == static_cast<std::int32_t>(AutomationErrorBase + StrCommandLineFault));
        }
        PhaseFromLetter(field);
        CenterFromLetter(field);
        try {
            LocaleTextToInt32(field);
        } catch (const AutomationError& error) {
            FUZZ_CHECK(error.Number() == ErrTypeMismatch || error.Number() == ErrOverflow);
        }
    }

    const auto fileSystem = Fixture();
    const std::map<std::string, std::shared_ptr<MemoryFileSystem::Bytes>> before = fileSystem->Files();
    std::map<std::string, MemoryFileSystem::Bytes> original;
    for (const auto& [path, bytes] : before) original[path] = *bytes;

    const auto app = Application::Create(fileSystem);
    try {
        app->FFTCommandFields(fields);
    } catch (const AutomationError&) {
        // A refused command line; what it changed is checked below all the same.
    }
    FUZZ_CHECK(!app->IsRunning());
    const auto outputs = PossibleOutputs(*app);
    // A file of the folder changes only when it is the output of some file of the batch.
    for (const auto& [path, bytes] : original) {
        const MemoryFileSystem::Bytes* now = fileSystem->Get(path);
        if (now && *now == bytes) continue;
        FUZZ_CHECK(outputs.count(path) == 1);
    }
    return 0;
}

}  // namespace tavox::fuzz
