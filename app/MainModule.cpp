#include "app/MainModule.h"

#include <atomic>
#include <utility>

namespace tavox {

namespace {

std::atomic<StartMode> startMode{StartMode::Automation};
thread_local bool commandLineMode = false;
thread_local HostHooks hostHooks;

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
