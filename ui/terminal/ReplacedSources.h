#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/ApplicationEvents.h"

namespace tavox {

class Application;
class Files;
class Parameters;

// Warns on `err` for each output of a batch that replaced a file that is
// also one of the batch's sources (a rerun over a folder that holds earlier
// outputs refreshes them). When the run starts it finds the outputs that name
// sources and notes those sources; such an output counts as a replacement
// when its transform ended all right, or else when the file at that path is
// no longer the one noted then. Warns at most once per source.
// The check at the start asks `stopRequested` (when set) for each file and
// gives up once it answers true: a run that stops writes nothing.
class ReplacedSources : public ApplicationEvents, public std::enable_shared_from_this<ReplacedSources> {
public:
    explicit ReplacedSources(std::ostream& err, std::function<bool()> stopRequested = {})
        : err_(err), stopRequested_(std::move(stopRequested)) {}

    // Subscribes to the events of `app`, which it holds weakly. The object
    // must be owned by a shared_ptr.
    void Attach(const std::shared_ptr<Application>& app);

    void WillExecute(std::int16_t& Cancel) override;
    void FileComplete(std::shared_ptr<File>& File, std::int32_t& Result) override;

    std::int32_t Warnings() const noexcept { return warnings_; }

private:
    // What identifies the contents of a file at a path without reading it.
    struct Stamp {
        dev_t device;
        ino_t inode;
        off_t size;
        std::int64_t modified;  // nanoseconds
        std::int64_t changed;   // nanoseconds
        bool operator==(const Stamp&) const = default;
    };
    struct Source {
        std::optional<Stamp> stamp;
        bool warned = false;
    };
    // An output of a file that names a source of the batch.
    struct Hit {
        std::string output;
        Source* source;
    };
    static std::optional<Stamp> StampOf(const std::string& path);
    bool Stopped() const { return stopRequested_ && stopRequested_(); }
    // Finds the outputs of the files of `files` that are other sources of it.
    void Check(Files& files, const Parameters& parameters);
    // Notes `output` of the file at `position`, which is the source at
    // `input` (as given, and `normal` in normal form).
    void NoteHit(std::size_t position, std::string output, const std::string& input, const std::string& normal);

    std::ostream& err_;
    std::function<bool()> stopRequested_;
    std::weak_ptr<Application> apl;
    std::unordered_map<std::string, Source> sources_;         // sources named by outputs, by normalised path
    std::unordered_map<std::size_t, std::vector<Hit>> hits_;  // by position, only files with such outputs
    std::size_t completed_ = 0;                               // files completed in this run
    std::int32_t warnings_ = 0;
};

}  // namespace tavox
