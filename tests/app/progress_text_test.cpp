#include <gtest/gtest.h>

#include <string>

#include "app/ProgressText.h"
#include "common/Enums.h"

namespace tavox {
namespace {

const std::string Ok = "Transformace proběhla vpořádku";

TEST(progress_text_test, short_name_is_padded_so_the_arrow_stands_in_column_33) {
    EXPECT_EQ(ResultLine("a.dat", fftResultAllRight), "a.dat" + std::string(27, ' ') + "-->>    " + Ok);
    const std::string name28(28, 'n');
    EXPECT_EQ(ResultLine(name28, fftResultAllRight), name28 + "    -->>    " + Ok);
    EXPECT_EQ(ResultLine("", fftResultAllRight), std::string(32, ' ') + "-->>    " + Ok);
}

TEST(progress_text_test, long_name_is_cut_to_25_characters_and_dots) {
    const std::string name40 = "0123456789abcdefghijklmnopqrstuvwxyzABCD";
    EXPECT_EQ(ResultLine(name40, fftResultShortFile),
              "0123456789abcdefghijklmno...    -->>    Žádané hranice hodnocení neodpovídaly délce souboru");
    EXPECT_EQ(ResultLine(std::string(29, 'x'), fftResultAllRight).substr(0, 36), std::string(25, 'x') + "...    -->>");
}

TEST(progress_text_test, widths_count_characters_not_bytes) {
    // 28 Czech characters, most of them two bytes long in UTF-8, stay whole.
    const std::string czech28 = "žluťoučký_kůň_úpěl_ďábelské.";
    ASSERT_EQ(CharacterCount(czech28), 28u);
    EXPECT_EQ(ResultLine(czech28, fftResultAllRight), czech28 + "    -->>    " + Ok);
    // 30 characters: cut after 25 characters, never inside one.
    const std::string czech30 = "ěščřžýáíéůěščřžýáíéůěščřžýáí.d";
    ASSERT_EQ(CharacterCount(czech30), 30u);
    const std::string line = ResultLine(czech30, fftResultAllRight);
    EXPECT_EQ(line.substr(0, line.find("...")), "ěščřžýáíéůěščřžýáíéůěščřž");
    EXPECT_EQ(CharacterCount(line.substr(0, line.find("-->>"))), 32u);
}

TEST(progress_text_test, every_result_code_has_its_message) {
    const std::pair<std::int32_t, std::string> table[] = {
        {1101, "Transformace proběhla vpořádku"},
        {1102, "Došlo k chybě při komunikaci se systémem souborů"},
        {1103, "Výstupní soubor by přepsal soubor vstupní"},
        {1104, "Pro dokončení všech operací nebylo dostatek paměti"},
        {1105, "Počet opakování nebylo možno dodržet"},
        {1106, "Žádané hranice hodnocení neodpovídaly délce souboru"},
        {1107, "Nebylo dostatek místa pro uložení výsledků"},
        {1108, "Formát vstupního souboru není podporován nebo je soubor poškozen"},
        {1100, "Neočekávaná neznámá chyba"},
        {1109, "Neočekávaná neznámá chyba"},
        {6, "Neočekávaná neznámá chyba"},
    };
    for (const auto& [code, message] : table) {
        EXPECT_EQ(ResultMessage(code), message) << code;
        const std::string line = ResultLine("f", code);
        EXPECT_EQ(line.substr(line.size() - message.size()), message);
    }
}

TEST(progress_text_test, every_result_code_has_an_english_message_too) {
    const std::pair<std::int32_t, std::string> table[] = {
        {1101, "The transform went well"},
        {1102, "A file-system operation failed"},
        {1103, "The output would overwrite the input"},
        {1104, "There was not enough memory to complete every operation"},
        {1105, "The number of repetitions could not be kept"},
        {1106, "The evaluation range did not fit the length of the file"},
        {1107, "There was not enough room to store the results"},
        {1108, "The input format is not supported or the file is damaged"},
        {1100, "Unexpected unknown error"},
        {7, "Unexpected unknown error"},
    };
    for (const auto& [code, message] : table) EXPECT_EQ(ResultMessageEnglish(code), message) << code;
}

TEST(progress_text_test, percent_rounds_halves_to_even) {
    EXPECT_EQ(ProgressPercent(1, 8), "12%");
    EXPECT_EQ(ProgressPercent(3, 8), "38%");
    EXPECT_EQ(ProgressPercent(5, 8), "62%");
    EXPECT_EQ(ProgressPercent(1, 3), "33%");
    EXPECT_EQ(ProgressPercent(2, 3), "67%");
    EXPECT_EQ(ProgressPercent(3, 3), "100%");
    EXPECT_EQ(ProgressPercent(1, 4), "25%");
    EXPECT_EQ(ProgressPercent(0, 0), "0%");
    EXPECT_EQ(ProgressPercent(5, 0), "0%");
    EXPECT_EQ(ProgressPercent(0, 7), "0%");
}

}  // namespace
}  // namespace tavox
