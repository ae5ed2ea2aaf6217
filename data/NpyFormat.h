#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavox {

// The header of a NumPy .npy array, format 1.0, byte for byte as numpy.save
// writes it: `descr` is the NumPy type ("<f8", "<i8", "<U12"), `dims` the
// shape (none for a 0-d array). Magic and version included; its length is a
// multiple of 64.
std::string NpyArrayHeader(std::string_view descr, std::span<const std::size_t> dims);

// The header of a .npy file as read: its type, order and shape, and the
// bytes after it. `shapeError` says why the shape could not be read (then
// `dims` is empty).
struct NpyArray {
    std::string descr;          // empty when the header names none
    bool fortranOrder = false;  // the header does not say 'fortran_order': False
    std::vector<std::size_t> dims;
    std::string shapeError;
    std::string_view data;

    // The number of values the shape holds; nothing when it overflows.
    std::optional<std::size_t> Count() const noexcept;
};

// Reads the header of the .npy file `bytes` (versions 1 to 3); nothing,
// with `error` set, when it is no .npy header ("a .npy file begins with
// \x93NUMPY", "NumPy format version 4 is not known", "the .npy header is cut
// short").
std::optional<NpyArray> ParseNpy(std::string_view bytes, std::string& error);

// The values of a C-ordered array of little-endian float64, float32, int16
// or int64 as doubles; nothing for another type or when the data does not
// hold exactly the values of the shape.
std::optional<std::vector<double>> NpyDoubles(const NpyArray& array);
// The same for int64 values.
std::optional<std::vector<std::int64_t>> NpyIntegers(const NpyArray& array);
// The text of a 0-d or 1-element array of little-endian unicode ("<Un"),
// as UTF-8 without the NULs that pad it; nothing for anything else.
std::optional<std::string> NpyText(const NpyArray& array);

}  // namespace tavox
