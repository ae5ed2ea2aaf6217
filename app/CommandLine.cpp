#include "app/CommandLine.h"

#include "app/Files.h"
#include "common/AutomationError.h"
#include "common/IgnoringErrors.h"
#include "common/Numeric.h"
#include "common/Variant.h"
#include "engine/Parameters.h"

namespace tavox {

namespace {

constexpr std::size_t RequiredFields = 5;
constexpr std::size_t MaxFields = 8;

AutomationError CommandLineFault() {
    return AutomationError::FromStringTable(StrCommandLineFault, SourceApplication);
}

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
    std::vector<std::string> fields;
    if (commandLine.empty()) return fields;
    std::size_t begin = 0;
    while (fields.size() + 1 < MaxFields) {
        const std::size_t blank = commandLine.find(' ', begin);
        if (blank == std::string::npos) break;
        fields.push_back(commandLine.substr(begin, blank - begin));
        begin = blank + 1;
    }
    fields.push_back(commandLine.substr(begin));
    return fields;
}

std::vector<std::string> FieldsFromArguments(const std::vector<std::string>& arguments) {
    if (arguments.size() == 1 && arguments.front().find(' ') != std::string::npos) {
        return SplitCommandLine(arguments.front());
    }
    std::vector<std::string> fields;
    for (const std::string& argument : arguments) {
        if (fields.size() < MaxFields) {
            fields.push_back(argument);
        } else {
            fields.back() += ' ';
            fields.back() += argument;
        }
    }
    return fields;
}

fftMethodEnum MethodFromLetter(const std::string& field) {
    const char letter = field.empty() ? '\0' : field.front();
    switch (letter) {
        case 'f':
        case 'F':
        case 'e':
        case 'E':
            return fftMethodSimple;
        case 'p':
        case 'P':
            return fftMethodAverage;
        case 'm':
        case 'M':
            return fftMethodMulti;
        default:
            throw CommandLineFault();
    }
}

bool PhaseFromLetter(const std::string& field) noexcept {
    return !field.empty() && (field.front() == 'f' || field.front() == 'F');
}

bool CenterFromLetter(const std::string& field) noexcept {
    return field.size() >= 2 && (field[1] == 'c' || field[1] == 'C');
}

fftWindowEnum WindowFromLetter(const std::string& field) {
    const char letter = field.empty() ? '\0' : field.front();
    switch (letter) {
        case 'p':
        case 'P':
            return fftWindowRectangle;
        case 'h':
        case 'H':
            return fftWindowHanning;
        case 'f':
        case 'F':
            return fftWindowFlatTop;
        default:
            throw CommandLineFault();
    }
}

bool RepeatFieldGiven(const std::vector<std::string>& fields) noexcept {
    if (fields.size() <= 5) return false;
    try {
        LocaleTextToInt32(fields[5]);
        return true;
    } catch (...) {
        return false;
    }
}

void ApplyCommandLineFields(const std::vector<std::string>& fields, Parameters& parameters, Files& files) {
    if (fields.size() < RequiredFields) throw AutomationError::FromStringTable(StrMissingParameter, SourceApplication);

    parameters.SetMethod(MethodFromLetter(fields[0]));
    parameters.SetPhase(PhaseFromLetter(fields[0]));
    parameters.SetCenter(CenterFromLetter(fields[0]));
    parameters.SetWindow(WindowFromLetter(fields[1]));
    parameters.SetWidth(LocaleTextToInt32(fields[2]));

    Variant source(fields[3]);
    Variant target(fields[4]);
    files.AddDisk(source, target);

    if (fields.size() > 5) IgnoringErrors([&] { parameters.SetRepeat(LocaleTextToInt32(fields[5])); });
    if (fields.size() > 6) IgnoringErrors([&] { parameters.SetStart(Variant(fields[6])); });
    if (fields.size() > 7) {
        std::string finish = fields[7];
        for (std::size_t i = MaxFields; i < fields.size(); ++i) finish += ' ' + fields[i];
        IgnoringErrors([&] { parameters.SetFinish(Variant(finish)); });
    }
}

}  // namespace tavox
