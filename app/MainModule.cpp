#include "app/MainModule.h"

#include <atomic>
#include <utility>

#include "common/AutomationError.h"

namespace tavox {

namespace {

std::atomic<StartMode> startMode{StartMode::Automation};
thread_local bool commandLineMode = false;
thread_local HostHooks hostHooks;

constexpr std::size_t MaxFields = 8;

AutomationError CommandLineFault() {
    return AutomationError::FromStringTable(StrCommandLineFault, SourceApplication);
}

}  // namespace

bool IsStandalone() noexcept {
    return startMode.load(std::memory_order_relaxed) == StartMode::Standalone;
}

void SetStartMode(StartMode mode) noexcept {
    startMode.store(mode, std::memory_order_relaxed);
}

bool CommandLineMode() noexcept {
    return commandLineMode;
}

void SetCommandLineMode(bool value) noexcept {
    commandLineMode = value;
}

void InstallHostHooks(HostHooks hooks) {
    hostHooks = std::move(hooks);
}

const HostHooks& CurrentHostHooks() noexcept {
    return hostHooks;
}

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

const std::vector<std::string>& CommandLineHelpLines() {
    static const std::vector<std::string> lines = {
        "FFT A[B] C DELKA VSTUP VYSTUP [D] [E] [F]",
        "",
        "A\t- f - ze souboru do souboru (s fází)",
        "\t- e - ze souboru do souboru (bez fáze)",
        "\t- p - průměrování do jednoho souboru",
        "\t- m - expozice do jednotlivych souborů",
        "B\t- c - centrování spekter",
        "C\t- p - Pravouhlá váhová funkce",
        "\t- h - Hanningova váhová funkce",
        "\t- f - Flat-Top váhová funkce",
        "DELKA\t- délka výpočtové vstupní sekvence",
        "\t   (zaokrouhluje se na mocninu 2 - max 65536)",
        "VSTUP\t- cesta k vstupnímu souboru (platí *-ková konvence)",
        "VYSTUP\t- maska pro vytvoření názvu výstupního souboru (platí *-ková konvence)",
        "D \t- počet opakování expozice",
        "E \t- počátek hodnocení v souboru (0 nebo nic - od pocatku souboru)",
        "F \t- konec hodnocení v souboru (0 nebo nic - do konce souboru)",
        "",
        "(V hranatých závorkách jsou parametry nepovinné)",
    };
    return lines;
}

std::string CommandLineHelpText(std::string_view lineBreak) {
    std::string text;
    const auto& lines = CommandLineHelpLines();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) text += lineBreak;
        text += lines[i];
    }
    return text;
}

}  // namespace tavox
