#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>

#include "app/ApplicationEvents.h"

namespace tavox {

class Application;

// Says on `err`, one line per file, why a source failed where its result
// line alone does not: one that holds more samples than a transform can
// address (Data::SourceTooLong), whose result line reads as if the
// evaluation range were wrong, and one that could not be read or decoded
// (Data::SourceProblem: libsndfile's words, the SigMF field, the channel).
class SourceProblems : public ApplicationEvents, public std::enable_shared_from_this<SourceProblems> {
public:
    explicit SourceProblems(std::ostream& err) : err_(err) {}

    // Subscribes to the events of `app`. The object must be owned by a shared_ptr.
    void Attach(const std::shared_ptr<Application>& app);

    void FileComplete(std::shared_ptr<File>& File, std::int32_t& Result) override;

private:
    std::ostream& err_;
};

}  // namespace tavox
