#include "data/ExposureRows.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <new>
#include <string>

namespace tavox {
namespace {

std::string TemporaryFolder() {
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

// A file of no name, gone when closed: O_TMPFILE where the file system has it,
// else a named file removed at once.
int OpenUnnamedFile() {
    const std::string folder = TemporaryFolder();
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    std::string name = folder + "/tavox-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) ::unlink(name.c_str());
    return fd;
}

}  // namespace

ExposureRows::ExposureRows(std::size_t memoryLimit) noexcept : memoryLimit_(memoryLimit) {}

ExposureRows::~ExposureRows() {
    Reset();
}

bool ExposureRows::Add(std::span<const double> row) {
    if (failed_) return false;
    if (count_ == 0) length_ = row.size();
    const std::size_t kept = std::min(row.size(), length_);
    try {
        if (fd_ < 0 && (rows_.size() + length_) * sizeof(double) > memoryLimit_ && !Spill()) {
            failed_ = true;
            return false;
        }
        if (fd_ < 0) {
            rows_.insert(rows_.end(), row.begin(), row.begin() + static_cast<std::ptrdiff_t>(kept));
            rows_.resize(rows_.size() + (length_ - kept), 0.0);
        } else {
            std::vector<double> padded;
            if (kept < length_) {
                padded.assign(row.begin(), row.begin() + static_cast<std::ptrdiff_t>(kept));
                padded.resize(length_, 0.0);
                row = padded;
            }
            if (!WriteAll(row.data(), length_)) {
                failed_ = true;
                return false;
            }
        }
    } catch (const std::bad_alloc&) {
        failed_ = true;
        return false;
    }
    ++count_;
    return true;
}

// Moves the rows held so far to a new temporary file and gives their memory back.
bool ExposureRows::Spill() {
    fd_ = OpenUnnamedFile();
    if (fd_ < 0) return false;
    if (!WriteAll(rows_.data(), rows_.size())) return false;
    decltype(rows_)().swap(rows_);
    return true;
}

bool ExposureRows::WriteAll(const double* values, std::size_t count) noexcept {
    const auto* bytes = reinterpret_cast<const char*>(values);
    std::size_t left = count * sizeof(double);
    while (left > 0) {
        const ssize_t n = ::write(fd_, bytes, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// Columns first..first+columns-1 of every row of the temporary file into
// `block`, row after row.
bool ExposureRows::ReadColumns(std::size_t first, std::size_t columns, std::vector<double>& block) const {
    block.resize(count_ * columns);
    for (std::size_t r = 0; r < count_; ++r) {
        auto* bytes = reinterpret_cast<char*>(block.data() + r * columns);
        std::size_t left = columns * sizeof(double);
        auto offset = static_cast<off_t>((r * length_ + first) * sizeof(double));
        while (left > 0) {
            const ssize_t n = ::pread(fd_, bytes, left, offset);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            bytes += n;
            offset += n;
            left -= static_cast<std::size_t>(n);
        }
    }
    return true;
}

bool ExposureRows::Combine(std::span<double> out, double (*column)(std::span<double> values) noexcept) {
    if (count_ == 0 || failed_) return false;
    const std::size_t columns = std::min(out.size(), length_);
    try {
        std::vector<double> values(count_);
        if (fd_ < 0) {
            for (std::size_t c = 0; c < columns; ++c) {
                for (std::size_t r = 0; r < count_; ++r) values[r] = rows_[r * length_ + c];
                out[c] = column(values);
            }
            return true;
        }
        // Blocks of columns within the memory limit, at least one column each.
        const std::size_t perBlock = std::max<std::size_t>(1, memoryLimit_ / (count_ * sizeof(double)));
        std::vector<double> block;
        for (std::size_t first = 0; first < columns; first += perBlock) {
            const std::size_t n = std::min(perBlock, columns - first);
            if (!ReadColumns(first, n, block)) return false;
            for (std::size_t c = 0; c < n; ++c) {
                for (std::size_t r = 0; r < count_; ++r) values[r] = block[r * n + c];
                out[first + c] = column(values);
            }
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void ExposureRows::Reset() noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    rows_.clear();
    length_ = 0;
    count_ = 0;
    failed_ = false;
}

void ExposureRows::Release() noexcept {
    Reset();
    decltype(rows_)().swap(rows_);
}

}  // namespace tavox
