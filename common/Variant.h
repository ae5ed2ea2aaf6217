#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/Decimal.h"
#include "common/Object.h"

namespace tavox {

// Kinds of a Variant; the numbers are the automation VarType codes
// (Missing is an error value in automation and gets a code of its own here).
enum class VariantKind : std::uint16_t {
    Empty = 0,
    Null = 1,
    Integer = 2,  // 16-bit signed
    Long = 3,     // 32-bit signed
    Single = 4,
    Double = 5,
    Currency = 6,  // 64-bit count of 1/10000
    Date = 7,      // days since 1899-12-30 as a double
    String = 8,
    Object = 9,
    Error = 10,
    Boolean = 11,
    Decimal = 14,
    Byte = 17,  // 8-bit unsigned
    Missing = 0x4000,
    Array = 0x2000,
};

struct CurrencyValue {
    std::int64_t units = 0;  // value times 10000
    friend bool operator==(CurrencyValue, CurrencyValue) = default;
};
struct DateValue {
    double days = 0.0;
    friend bool operator==(DateValue, DateValue) = default;
};
struct ErrorValue {
    std::int32_t code = 0;
    friend bool operator==(ErrorValue, ErrorValue) = default;
};

// A tagged value as exchanged with automation clients.
class Variant {
public:
    using Array = std::vector<Variant>;

    Variant() = default;  // Empty
    Variant(std::int16_t v) : value_(v) {}
    Variant(std::int32_t v) : value_(v) {}
    Variant(std::uint8_t v) : value_(v) {}
    Variant(float v) : value_(v) {}
    Variant(double v) : value_(v) {}
    Variant(Decimal v) : value_(v) {}
    Variant(std::string v) : value_(std::move(v)) {}
    Variant(const char* v) : value_(std::string(v)) {}
    Variant(ObjectRef v) : value_(std::move(v)) {}
    Variant(Array v) : value_(std::move(v)) {}
    Variant(bool v) : value_(v) {}
    Variant(CurrencyValue v) : value_(v) {}
    Variant(DateValue v) : value_(v) {}
    Variant(ErrorValue v) : value_(v) {}

    static Variant Null();
    static Variant Missing();
    static Variant Nothing() { return Variant(ObjectRef{}); }  // an empty object reference

    VariantKind Kind() const noexcept;
    bool IsEmpty() const noexcept { return Kind() == VariantKind::Empty; }
    // 16/32-bit integer, byte, single, double, decimal (not currency, date or boolean).
    bool IsNumber() const noexcept;
    bool IsInteger() const noexcept;  // 16/32-bit integer or byte

    // Numeric value of a number kind, boolean (-1/0), currency or date; 0 otherwise.
    double ToDouble() const noexcept;

    template <class T>
    const T* Get() const noexcept {
        return std::get_if<T>(&value_);
    }
    const std::string* AsString() const noexcept { return Get<std::string>(); }
    // The object reference of an Object variant (may be empty), nullptr otherwise.
    const ObjectRef* AsObject() const noexcept { return Get<ObjectRef>(); }
    const Array* AsArray() const noexcept { return Get<Array>(); }

    // Makes this a String holding `text`; a String held before lends its
    // storage, so that a value set again and again allocates only to grow.
    void AssignText(std::string_view text);

    friend bool operator==(const Variant& a, const Variant& b);

private:
    struct NullTag {
        friend bool operator==(NullTag, NullTag) = default;
    };
    struct MissingTag {
        friend bool operator==(MissingTag, MissingTag) = default;
    };
    std::variant<std::monostate, NullTag, MissingTag, std::int16_t, std::int32_t, std::uint8_t, float, double, Decimal,
                 std::string, ObjectRef, Array, bool, CurrencyValue, DateValue, ErrorValue>
        value_;
};

}  // namespace tavox
