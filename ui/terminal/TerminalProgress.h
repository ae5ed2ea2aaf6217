#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>

#include "app/ApplicationEvents.h"
#include "app/ExitStatus.h"

namespace tavox {

class Application;

// Which lines the terminal prints on standard output.
enum class ResultLines {
    All,  // a result line per file and the completed title
    None,
};

// Progress of a batch in the terminal: one result line per finished file on
// `out`, the completed title at the end (as `lines` allows), and (when `live`
// is set) a rewritten "done/all, N%" line on `err`. With `flushEachLine`
// every line is flushed at once; without it (standard output is no
// terminal) at most every FlushInterval, and always with the title and on
// Flush, which saves a write per file.
class TerminalProgress : public ApplicationEvents, public std::enable_shared_from_this<TerminalProgress> {
public:
    static constexpr std::chrono::milliseconds FlushInterval{100};

    TerminalProgress(std::ostream& out, std::ostream& err, bool live, ResultLines lines = ResultLines::All,
                     bool flushEachLine = true);
    ~TerminalProgress() override;

    // Subscribes to the events of `app` (which then keeps this object alive);
    // holds the application weakly. The object must be owned by a shared_ptr.
    void Attach(const std::shared_ptr<Application>& app);

    void WillExecute(std::int16_t& Cancel) override;
    void FileComplete(std::shared_ptr<File>& File, std::int32_t& Result) override;
    void ExecuteComplete() override;

    // What the run did so far.
    const BatchTally& Tally() const noexcept { return tally_; }
    // Flushes the lines written so far, and from now on every line at once.
    void Flush();

private:
    void ClearLive();
    void DrawLive();
    void LineWritten();

    std::ostream& out_;
    std::ostream& err_;
    bool live_;
    ResultLines lines_;
    bool flushEachLine_;
    bool liveShown_ = false;
    std::chrono::steady_clock::time_point lastFlush_{};
    std::weak_ptr<Application> apl;
    BatchTally tally_;
    std::string name_;  // reused from line to line
    std::string line_;
};

}  // namespace tavox
