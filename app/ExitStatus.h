#pragma once

#include <cstdint>

namespace tavox {

// Exit statuses of the tavox program.
inline constexpr int ExitAllRight = 0;
inline constexpr int ExitFileFailed = 1;
inline constexpr int ExitRefused = 2;

// What one command-line batch did, counted from the events of its run.
struct BatchTally {
    std::int32_t total = 0;   // files in the collection when the run began
    std::int32_t done = 0;    // files transformed
    std::int32_t failed = 0;  // of those, files whose result was not all right
    bool completed = false;   // the run reached its end
    bool refused = false;     // the command line raised an error

    // WillExecute: counting starts afresh over `files` files.
    void Begin(std::int32_t files) noexcept;
    // FileComplete with the file's result code.
    void FileDone(std::int32_t result) noexcept;
    // ExecuteComplete.
    void Complete() noexcept { completed = true; }
    // The run stopped before its last file (a break or an interrupt).
    bool Interrupted() const noexcept { return done < total; }
};

// ExitRefused for a refused command line; ExitAllRight when the run completed
// over at least one file and every file ended all right; otherwise
// ExitFileFailed (a file failed, no input matched, the run was broken off or
// never started).
int ExitStatus(const BatchTally& tally) noexcept;

}  // namespace tavox
