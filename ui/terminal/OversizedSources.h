#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>

#include "app/ApplicationEvents.h"

namespace tavox {

class Application;

// Says on `err` why a file failed that holds more samples than a transform
// can address (Data::SourceTooLong): its result line alone reads as if the
// evaluation range were wrong.
class OversizedSources : public ApplicationEvents, public std::enable_shared_from_this<OversizedSources> {
public:
    explicit OversizedSources(std::ostream& err) : err_(err) {}

    // Subscribes to the events of `app`. The object must be owned by a shared_ptr.
    void Attach(const std::shared_ptr<Application>& app);

    void FileComplete(std::shared_ptr<File>& File, std::int32_t& Result) override;

private:
    std::ostream& err_;
};

}  // namespace tavox
