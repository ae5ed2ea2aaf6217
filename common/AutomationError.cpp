#include "common/AutomationError.h"

#include <utility>

namespace tavox {

std::string LoadResString(std::int32_t id) {
    switch (id) {
        case StrCommandLineFault:
            return "Command line fault";
        case StrMissingParameter:
            return "Missing required parameter";
        case StrInvalidArgumentType:
            return "Invalid data type of the 'Source' or 'Target' argument";
        case StrInvalidArgumentContent:
            return "Invalid content of the 'Source' or 'Target' argument";
        default:
            return {};
    }
}

namespace {

std::string PlatformDescription(std::int32_t number) {
    switch (number) {
        case ErrInvalidCall:
            return "Invalid procedure call or argument";
        case ErrOverflow:
            return "Overflow";
        case ErrOutOfMemory:
            return "Out of memory";
        case ErrSubscriptOutOfRange:
            return "Subscript out of range";
        case ErrTypeMismatch:
            return "Type mismatch";
        case ErrInternal:
            return "Internal error";
        case ErrObjectNotSet:
            return "Object variable or With block variable not set";
        case ErrDuplicateKey:
            return "This key is already associated with an element of this collection";
        default:
            return "Application-defined or object-defined error";
    }
}

}  // namespace

AutomationError::AutomationError(std::int32_t number, std::string source, std::string description)
    : std::runtime_error(description),
      number_(number),
      source_(std::move(source)),
      description_(std::move(description)) {}

AutomationError AutomationError::FromStringTable(std::int32_t id, std::string source) {
    const auto number = static_cast<std::int32_t>(AutomationErrorBase + static_cast<std::uint32_t>(id));
    return AutomationError(number, std::move(source), LoadResString(id));
}

AutomationError AutomationError::Platform(std::int32_t number, std::string source) {
    return AutomationError(number, std::move(source), PlatformDescription(number));
}

}  // namespace tavox
