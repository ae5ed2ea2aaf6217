#include "app/ProgressText.h"

#include <cmath>

#include "common/Enums.h"
#include "common/Numeric.h"

namespace tavox {

namespace {

constexpr std::size_t NameLimit = 28;
constexpr std::size_t NameKept = 25;
constexpr std::size_t ArrowColumn = 32;

bool IsContinuationByte(char c) noexcept {
    return (static_cast<unsigned char>(c) & 0xC0u) == 0x80u;
}

// Byte length of the first `count` characters.
std::size_t PrefixBytes(std::string_view text, std::size_t count) noexcept {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!IsContinuationByte(text[i])) {
            if (characters == count) return i;
            ++characters;
        }
    }
    return text.size();
}

struct ResultTexts {
    std::int32_t code;
    const char* czech;
    const char* english;
};

constexpr ResultTexts KnownResults[] = {
    {fftResultAllRight, "Transformace proběhla vpořádku", "The transform went well"},
    {fftResultFileSysErr, "Došlo k chybě při komunikaci se systémem souborů", "A file-system operation failed"},
    {fftResultFileNameErr, "Výstupní soubor by přepsal soubor vstupní", "The output would overwrite the input"},
    {fftResultOutOfMemory, "Pro dokončení všech operací nebylo dostatek paměti",
     "There was not enough memory to complete every operation"},
    {fftResultRepeatFail, "Počet opakování nebylo možno dodržet", "The number of repetitions could not be kept"},
    {fftResultShortFile, "Žádané hranice hodnocení neodpovídaly délce souboru",
     "The evaluation range did not fit the length of the file"},
    {fftResultTargetFull, "Nebylo dostatek místa pro uložení výsledků",
     "There was not enough room to store the results"},
    {fftResultFormatErr, "Formát vstupního souboru není podporován nebo je soubor poškozen",
     "The input format is not supported or the file is damaged"},
};

constexpr ResultTexts UnknownResult = {0, "Neočekávaná neznámá chyba", "Unexpected unknown error"};

const ResultTexts& TextsOf(std::int32_t result) noexcept {
    for (const ResultTexts& texts : KnownResults) {
        if (texts.code == result) return texts;
    }
    return UnknownResult;
}

}  // namespace

std::size_t CharacterCount(std::string_view text) noexcept {
    std::size_t count = 0;
    for (const char c : text) {
        if (!IsContinuationByte(c)) ++count;
    }
    return count;
}

std::string ResultMessage(std::int32_t result) {
    return TextsOf(result).czech;
}

std::string ResultMessageEnglish(std::int32_t result) {
    return TextsOf(result).english;
}

std::string ResultLine(std::string_view fileName, std::int32_t result) {
    std::string line;
    WriteResultLine(line, fileName, result);
    return line;
}

void WriteResultLine(std::string& line, std::string_view fileName, std::int32_t result) {
    std::size_t width = CharacterCount(fileName);
    if (width > NameLimit) {
        line.assign(fileName.substr(0, PrefixBytes(fileName, NameKept)));
        line += "...";
        width = NameLimit;
    } else {
        line.assign(fileName);
    }
    line.append(ArrowColumn - width, ' ');
    line += "-->>    ";
    line += TextsOf(result).czech;
}

std::string ProgressPercent(std::int32_t done, std::int32_t total) {
    if (total == 0) return "0%";
    const double p = RoundHalfEven(static_cast<double>(done) / static_cast<double>(total) * 100.0);
    if (!std::isfinite(p)) return "0%";
    return std::to_string(static_cast<long long>(p)) + "%";
}

}  // namespace tavox
