#pragma once

#include <cstdint>
#include <memory>

namespace tavox {

class File;

// Listener of the events of an Application's batch run. Arguments passed by
// reference may be changed by a handler; only a Cancel of exactly -1 has an
// effect. An exception thrown by a handler ends FFTExecute.
class ApplicationEvents {
public:
    virtual ~ApplicationEvents() = default;
    virtual void WillExecute(std::int16_t& Cancel) { (void)Cancel; }
    virtual void FileComplete(std::shared_ptr<File>& File, std::int32_t& Result) {
        (void)File;
        (void)Result;
    }
    virtual void ExecuteComplete() {}
};

}  // namespace tavox
