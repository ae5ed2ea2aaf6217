#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace tavox {

// Numbers of the platform's own runtime errors.
// Raised by an operation called while it may not run (a nested batch run).
inline constexpr std::int32_t ErrInvalidCall = 5;
inline constexpr std::int32_t ErrOverflow = 6;
inline constexpr std::int32_t ErrOutOfMemory = 7;
inline constexpr std::int32_t ErrSubscriptOutOfRange = 9;
inline constexpr std::int32_t ErrTypeMismatch = 13;
// Result code of an error inside a transform method that carries no number.
inline constexpr std::int32_t ErrInternal = 51;
// Raised by File::Transform before Parameters are set.
inline constexpr std::int32_t ErrObjectNotSet = 91;
// Raised by the keyed collection of Files for a key it already holds.
inline constexpr std::int32_t ErrDuplicateKey = 457;

// String table entries.
inline constexpr std::int32_t StrCommandLineFault = 1001;
inline constexpr std::int32_t StrMissingParameter = 1002;
inline constexpr std::int32_t StrInvalidArgumentType = 1003;
inline constexpr std::int32_t StrInvalidArgumentContent = 1004;

inline constexpr std::uint32_t AutomationErrorBase = 0x80040000u;

// Programmatic identifiers used as error sources.
inline constexpr const char* SourceApplication = "TAVOX.Application";
inline constexpr const char* SourceFiles = "TAVOX.Files";
inline constexpr const char* SourceFile = "TAVOX.File";
inline constexpr const char* SourceRuntime = "TAVOX";

// Returns the text of a string-table entry, or an empty text.
std::string LoadResString(std::int32_t id);

// The one exception type of the public object model: number, source and
// description exactly as an automation client sees them.
class AutomationError : public std::runtime_error {
public:
    AutomationError(std::int32_t number, std::string source, std::string description);

    // Error base + string id, with the string-table text as description.
    static AutomationError FromStringTable(std::int32_t id, std::string source);
    // A platform runtime error (5, 6, 7, 9, 13, 51, 91, 457) with its standard text.
    static AutomationError Platform(std::int32_t number, std::string source = SourceRuntime);

    std::int32_t Number() const noexcept { return number_; }
    const std::string& Source() const noexcept { return source_; }
    const std::string& Description() const noexcept { return description_; }

private:
    std::int32_t number_;
    std::string source_;
    std::string description_;
};

}  // namespace tavox
