#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace tavox {

// Rows of equal length (the magnitudes of one exposure each), kept so that
// every column (bin) can be combined once all rows are in. Rows
// stay in memory up to `memoryLimit` bytes; past that they move to an
// unnamed temporary file in $TMPDIR (else /tmp) and are read back a block of
// columns at a time, so memory stays within about twice the limit whatever
// the number and length of the rows.
class ExposureRows {
public:
    static constexpr std::size_t DefaultMemoryLimit = std::size_t{24} << 20;

    explicit ExposureRows(std::size_t memoryLimit = DefaultMemoryLimit) noexcept;
    ~ExposureRows();
    ExposureRows(const ExposureRows&) = delete;
    ExposureRows& operator=(const ExposureRows&) = delete;

    // Appends a row; the first row fixes the length, later rows are cut or
    // padded with zeros to it. False when memory or the temporary file
    // fails; every later call fails too, until Reset.
    bool Add(std::span<const double> row);
    // Writes `column` of each column's values (in row order) into `out` (up
    // to the row length). False when no row is held or a row cannot be read
    // back (`out` may then be partly written).
    bool Combine(std::span<double> out, double (*column)(std::span<double> values) noexcept);

    std::size_t Count() const noexcept { return count_; }
    bool Spilled() const noexcept { return fd_ >= 0; }

    // Forgets every row and closes the temporary file; keeps the memory.
    void Reset() noexcept;
    // Reset, and gives the memory back.
    void Release() noexcept;

private:
    bool Spill();
    bool WriteAll(const double* values, std::size_t count) noexcept;
    bool ReadColumns(std::size_t first, std::size_t columns, std::vector<double>& block) const;

    std::size_t memoryLimit_;
    std::size_t length_ = 0;
    std::size_t count_ = 0;
    bool failed_ = false;
    int fd_ = -1;
    std::vector<double> rows_;
};

}  // namespace tavox
