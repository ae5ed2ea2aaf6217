#include "ui/settings/PrivateProfile.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "data/FileSystem.h"

namespace tavox {

namespace {

constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";

// The file split at its line feeds, each line keeping a carriage return of
// its own, so that joining the lines gives the file back byte for byte.
struct ProfileText {
    std::string bom;
    std::vector<std::string> lines;
    bool crlf = false;  // style of the lines that are added
    bool finalBreak = true;
};

struct Location {
    std::size_t header = 0;  // index of the section's header line
    std::size_t end = 0;     // index after the section's last line
};

bool IsBlank(char c) noexcept {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) noexcept {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

char FoldAscii(char c) noexcept {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) noexcept {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return FoldAscii(x) == FoldAscii(y); });
}

ProfileText Split(std::string_view bytes) {
    ProfileText text;
    if (bytes.substr(0, Utf8Bom.size()) == Utf8Bom) {
        text.bom = Utf8Bom;
        bytes.remove_prefix(Utf8Bom.size());
    }
    const std::size_t firstBreak = bytes.find('\n');
    text.crlf = firstBreak != std::string_view::npos && firstBreak > 0 && bytes[firstBreak - 1] == '\r';
    text.finalBreak = bytes.empty() || bytes.back() == '\n';
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        text.lines.emplace_back(bytes.substr(0, end));
        if (end == std::string_view::npos) break;
        bytes.remove_prefix(end + 1);
    }
    return text;
}

// Before a line is added after the last one: ends the last one in the
// style of the file.
void EndLastLine(ProfileText& text) {
    if (text.finalBreak || text.lines.empty()) return;
    if (text.crlf && (text.lines.back().empty() || text.lines.back().back() != '\r')) text.lines.back() += '\r';
    text.finalBreak = true;
}

// A new line in the style of the file.
std::string NewLine(const ProfileText& text, std::string line) {
    if (text.crlf) line += '\r';
    return line;
}

// The section name of a header line, or nothing for any other line.
std::optional<std::string_view> SectionName(std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.front() != '[') return std::nullopt;
    line.remove_prefix(1);
    return Trim(line.substr(0, line.find(']')));
}

// Key and raw value of a "key=value" line.
std::optional<std::pair<std::string_view, std::string_view>> KeyValue(std::string_view line) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    return std::pair{Trim(line.substr(0, equals)), Trim(line.substr(equals + 1))};
}

std::optional<Location> FindSection(const ProfileText& text, std::string_view section) {
    for (std::size_t i = 0; i < text.lines.size(); ++i) {
        const auto name = SectionName(text.lines[i]);
        if (!name || !SameName(*name, section)) continue;
        std::size_t end = i + 1;
        while (end < text.lines.size() && !SectionName(text.lines[end])) ++end;
        return Location{i, end};
    }
    return std::nullopt;
}

std::optional<std::size_t> FindKey(const ProfileText& text, const Location& where, std::string_view key) {
    for (std::size_t i = where.header + 1; i < where.end; ++i) {
        const auto pair = KeyValue(text.lines[i]);
        if (pair && SameName(pair->first, key)) return i;
    }
    return std::nullopt;
}

// Cuts a UTF-8 text after `count` characters.
std::string_view FirstCharacters(std::string_view text, std::size_t count) noexcept {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte & 0xC0) != 0x80 && characters++ == count) return text.substr(0, i);
    }
    return text;
}

bool IsQuote(char c) noexcept {
    return c == '"' || c == '\'';
}

std::string_view Unquoted(std::string_view value) noexcept {
    if (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front()) {
        value.remove_prefix(1);
        value.remove_suffix(1);
    }
    return value;
}

// The text to store so that Read gives `value` back.
std::string StoredValue(std::string_view value) {
    value = value.substr(0, value.find_first_of(std::string_view("\r\n\0", 3)));
    const bool needsQuotes =
        !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) || Unquoted(value) != value);
    std::string stored;
    if (needsQuotes) stored += '"';
    stored += value;
    if (needsQuotes) stored += '"';
    return stored;
}

bool UsableName(std::string_view name, std::string_view forbidden) noexcept {
    return !name.empty() && Trim(name) == name && name.find_first_of(forbidden) == std::string_view::npos;
}

std::string Join(const ProfileText& text) {
    std::string bytes = text.bom;
    for (std::size_t i = 0; i < text.lines.size(); ++i) {
        bytes += text.lines[i];
        if (i + 1 < text.lines.size() || text.finalBreak) bytes += '\n';
    }
    return bytes;
}

}  // namespace

PrivateProfile::PrivateProfile(std::string path, std::shared_ptr<FileSystem> fileSystem)
    : path_(std::move(path)), fileSystem_(std::move(fileSystem)) {}

std::string PrivateProfile::Read(std::string_view section, std::string_view key, std::string_view fallback) const {
    auto bytes = fileSystem_->ReadSmallFile(path_, MaxFileBytes + 1);
    if (!bytes) return std::string(fallback);
    const bool complete = bytes->size() <= MaxFileBytes;
    if (!complete) bytes->resize(MaxFileBytes);
    ProfileText text = Split(*bytes);
    // A line cut by the size limit is not trusted.
    if (!complete && !text.lines.empty()) text.lines.pop_back();

    const auto where = FindSection(text, section);
    if (!where) return std::string(fallback);
    const auto line = FindKey(text, *where, key);
    if (!line) return std::string(fallback);
    std::string_view value = KeyValue(text.lines[*line])->second;
    value = Unquoted(Trim(value.substr(0, value.find('\0'))));
    return std::string(FirstCharacters(value, MaxValueChars));
}

bool PrivateProfile::Write(std::string_view section, std::string_view key, std::string_view value) const {
    using namespace std::string_view_literals;
    if (!UsableName(section, "]\r\n\0"sv) || !UsableName(key, "=\r\n\0"sv) || key.front() == '[') return false;

    const auto bytes = fileSystem_->ReadSmallFile(path_, MaxFileBytes + 1);
    if (!bytes || bytes->size() > MaxFileBytes) return false;
    ProfileText text = Split(*bytes);

    std::string line(key);
    line.append("=").append(StoredValue(value));
    if (const auto where = FindSection(text, section)) {
        if (const auto existing = FindKey(text, *where, key)) {
            const bool ownReturn = !text.lines[*existing].empty() && text.lines[*existing].back() == '\r';
            if (ownReturn) line += '\r';
            text.lines[*existing] = std::move(line);
        } else {
            std::size_t insertAt = where->end;
            while (insertAt > where->header + 1 && Trim(text.lines[insertAt - 1]).empty()) --insertAt;
            if (insertAt == text.lines.size()) EndLastLine(text);
            text.lines.insert(text.lines.begin() + static_cast<std::ptrdiff_t>(insertAt),
                              NewLine(text, std::move(line)));
        }
    } else {
        std::string header(1, '[');
        header.append(section).push_back(']');
        EndLastLine(text);
        text.lines.push_back(NewLine(text, std::move(header)));
        text.lines.push_back(NewLine(text, std::move(line)));
    }
    return fileSystem_->ReplaceFile(path_, Join(text));
}

}  // namespace tavox
