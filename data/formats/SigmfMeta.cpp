#include "data/formats/SigmfMeta.h"

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

namespace tavox {
namespace {

using Json = nlohmann::json;

// Rates are read from above 0 to below this.
constexpr double RateLimit = 1e12;
constexpr std::uint64_t ByteLimit = std::uint64_t{1} << 62;

struct TypeCode {
    std::string_view code;
    SampleFormat little;
    SampleFormat big;
};

constexpr TypeCode TypesWithOrder[] = {
    {"f32", SampleFormat::F32le, SampleFormat::F32be}, {"f64", SampleFormat::F64le, SampleFormat::F64be},
    {"i32", SampleFormat::S32le, SampleFormat::S32be}, {"i16", SampleFormat::S16le, SampleFormat::S16be},
    {"u32", SampleFormat::U32le, SampleFormat::U32be}, {"u16", SampleFormat::U16le, SampleFormat::U16be},
};

std::string Shown(const Json& value) {
    std::string text = value.dump(-1, ' ', false, Json::error_handler_t::replace);
    if (text.size() > 40) text = text.substr(0, 37) + "...";
    return text;
}

std::string Problem(const std::string& field, const std::string& wanted, const Json& value) {
    return field + " must be " + wanted + ", not " + Shown(value);
}

// A whole number from 0 to `most`, or nothing.
std::optional<std::uint64_t> Whole(const Json& value, std::uint64_t most) {
    if (value.is_number_unsigned()) {
        const auto n = value.get<std::uint64_t>();
        if (n <= most) return n;
    } else if (value.is_number_integer() && value.get<std::int64_t>() >= 0) {
        const auto n = static_cast<std::uint64_t>(value.get<std::int64_t>());
        if (n <= most) return n;
    }
    return std::nullopt;
}

// Reads the global object into `meta`; returns the problem, or empty.
std::string ReadGlobal(const Json& global, SigmfMeta& meta) {
    if (!global.is_object()) return Problem("global", "an object", global);
    const auto datatype = global.find("core:datatype");
    if (datatype == global.end()) return "global.core:datatype is missing";
    if (!datatype->is_string()) return Problem("global.core:datatype", "a text such as \"ri16_le\"", *datatype);
    const SigmfDatatype parsed = ParseSigmfDatatype(datatype->get<std::string>());
    if (!parsed.valid) {
        return "global.core:datatype " + Shown(*datatype) + " is no SigMF datatype (such as ri16_le, rf32_le or ri8)";
    }
    if (parsed.complex) {
        return "global.core:datatype " + Shown(*datatype) +
               " holds complex samples; only real ones (ri8, ru8, ri16_le, rf32_le, ...) can be read";
    }
    meta.format = parsed.format;
    if (const auto version = global.find("core:version"); version != global.end() && !version->is_string()) {
        return Problem("global.core:version", "a text such as \"1.2.0\"", *version);
    }
    if (const auto channels = global.find("core:num_channels"); channels != global.end()) {
        const auto n = Whole(*channels, static_cast<std::uint64_t>(MaxChannels));
        if (!n || *n == 0) {
            return Problem("global.core:num_channels", "a whole number from 1 to " + std::to_string(MaxChannels),
                           *channels);
        }
        meta.channels = static_cast<std::int32_t>(*n);
    }
    if (const auto rate = global.find("core:sample_rate"); rate != global.end()) {
        const double hz = rate->is_number() ? rate->get<double>() : 0.0;
        if (!rate->is_number() || !std::isfinite(hz) || hz <= 0 || hz >= RateLimit) {
            return Problem("global.core:sample_rate", "a rate in Hz above 0 and below 10^12", *rate);
        }
        meta.rate = hz;
    }
    if (const auto dataset = global.find("core:dataset"); dataset != global.end()) {
        const std::string name = dataset->is_string() ? dataset->get<std::string>() : std::string();
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
            name.find('\0') != std::string::npos) {
            return Problem("global.core:dataset", "the name of a file beside the metadata", *dataset);
        }
        meta.dataset = name;
    }
    if (const auto trailing = global.find("core:trailing_bytes"); trailing != global.end()) {
        const auto n = Whole(*trailing, ByteLimit);
        if (!n) return Problem("global.core:trailing_bytes", "a whole number of bytes", *trailing);
        meta.trailingBytes = *n;
    }
    if (const auto only = global.find("core:metadata_only"); only != global.end()) {
        if (!only->is_boolean()) return Problem("global.core:metadata_only", "true or false", *only);
        if (only->get<bool>()) return "global.core:metadata_only is true: the recording has no samples";
    }
    return {};
}

std::string ReadCaptures(const Json& captures, SigmfMeta& meta) {
    if (!captures.is_array()) return Problem("captures", "an array", captures);
    for (std::size_t i = 0; i < captures.size(); ++i) {
        const Json& capture = captures[i];
        const std::string name = "captures[" + std::to_string(i) + "]";
        if (!capture.is_object()) return Problem(name, "an object", capture);
        if (const auto start = capture.find("core:sample_start"); start != capture.end() && !Whole(*start, ByteLimit)) {
            return Problem(name + ".core:sample_start", "a whole number", *start);
        }
        const auto header = capture.find("core:header_bytes");
        if (header == capture.end()) continue;
        const auto n = Whole(*header, ByteLimit);
        if (!n) return Problem(name + ".core:header_bytes", "a whole number of bytes", *header);
        if (i == 0) {
            meta.headerBytes = *n;
        } else if (*n != 0) {
            return name + ".core:header_bytes: header bytes between the samples of one recording cannot be read";
        }
    }
    return {};
}

}  // namespace

SigmfDatatype ParseSigmfDatatype(std::string_view text) noexcept {
    SigmfDatatype type;
    if (text.empty() || (text[0] != 'r' && text[0] != 'c')) return type;
    type.complex = text[0] == 'c';
    const std::string_view rest = text.substr(1);
    if (rest == "i8" || rest == "u8") {
        type.valid = true;
        type.format = rest == "i8" ? SampleFormat::S8 : SampleFormat::U8;
        return type;
    }
    for (const TypeCode& code : TypesWithOrder) {
        if (rest.size() != 6 || rest.substr(0, 3) != code.code) continue;
        if (rest.substr(3) == "_le") {
            type.valid = true;
            type.format = code.little;
        } else if (rest.substr(3) == "_be") {
            type.valid = true;
            type.format = code.big;
        }
        return type;
    }
    return type;
}

SigmfReading ReadSigmfMeta(std::string_view text) {
    Json root;
    try {
        root = Json::parse(text);
    } catch (const Json::parse_error& error) {
        return {std::nullopt, "the metadata is no JSON (an error at byte " + std::to_string(error.byte) + ")"};
    }
    if (!root.is_object()) return {std::nullopt, Problem("the metadata", "a JSON object", root)};
    const auto global = root.find("global");
    if (global == root.end()) return {std::nullopt, "the metadata has no global object"};
    SigmfMeta meta;
    std::string error = ReadGlobal(*global, meta);
    if (const auto captures = root.find("captures"); error.empty() && captures != root.end()) {
        error = ReadCaptures(*captures, meta);
    }
    if (!error.empty()) return {std::nullopt, error};
    return {meta, {}};
}

}  // namespace tavox
