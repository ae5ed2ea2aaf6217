#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavox {

// Texts of the batch progress display, shared by the terminal and the
// progress window.

// Message for a result code; "Neočekávaná neznámá chyba" for any unknown code.
std::string ResultMessage(std::int32_t result);
// The same message in English; "Unexpected unknown error" for any unknown code.
std::string ResultMessageEnglish(std::int32_t result);

// One line per finished file: the name (cut to 25 characters and "..." when
// longer than 28), blanks up to column 32, "-->>", four blanks, the message.
// Widths count UTF-8 characters, not bytes.
std::string ResultLine(std::string_view fileName, std::int32_t result);
// The same, written into `line` (replacing what it held).
void WriteResultLine(std::string& line, std::string_view fileName, std::int32_t result);

// done / total as a whole percentage, halves to even, followed by "%";
// "0%" when total is 0 or the numbers make no sense.
std::string ProgressPercent(std::int32_t done, std::int32_t total);

// Number of UTF-8 characters of a text (bytes that do not continue a sequence).
std::size_t CharacterCount(std::string_view text) noexcept;

}  // namespace tavox
