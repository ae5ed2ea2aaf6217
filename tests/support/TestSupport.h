#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/AutomationError.h"

namespace tavox::test {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes out of scope. Path() ends with "/".
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string Path() const { return path_.string() + "/"; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Writes 16-bit little-endian samples; reads them back (an odd last byte is dropped).
void WriteSamples(const std::string& path, const std::vector<std::int16_t>& samples);
std::vector<std::int16_t> ReadSamples(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);
// Names in the folder, hidden ones included, sorted.
std::vector<std::string> FolderEntries(const std::string& folder);

// Runs `body` in a forked child, as the unprivileged user "nobody" when this
// process runs as root and `unprivileged` is set (permissions then apply);
// true when `body` returned true. GoogleTest assertions in `body` are lost:
// it reports through its result.
bool InChild(const std::function<bool()>& body, bool unprivileged = false);
// User and group the child of InChild runs as when unprivileged.
inline constexpr unsigned UnprivilegedId = 65534;

}  // namespace tavox::test

// Checks that `statement` raises an AutomationError with this number, source
// and description.
#define EXPECT_AUTOMATION_ERROR(statement, number, source, description) \
    do {                                                                \
        try {                                                           \
            statement;                                                  \
            ADD_FAILURE() << "no AutomationError from " #statement;     \
        } catch (const ::tavox::AutomationError& error_) {              \
            EXPECT_EQ(error_.Number(), (number));                       \
            EXPECT_EQ(error_.Source(), (source));                       \
            EXPECT_EQ(error_.Description(), (description));             \
        }                                                               \
    } while (false)

// Checks only the number of the raised AutomationError.
#define EXPECT_AUTOMATION_NUMBER(statement, number)                 \
    do {                                                            \
        try {                                                       \
            statement;                                              \
            ADD_FAILURE() << "no AutomationError from " #statement; \
        } catch (const ::tavox::AutomationError& error_) {          \
            EXPECT_EQ(error_.Number(), (number));                   \
        }                                                           \
    } while (false)
