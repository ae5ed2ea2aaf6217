#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/FileSystem.h"

namespace tavox {

// A disk output written in full to its new file, waiting for its name.
struct PendingOutput {
    std::int16_t exposure = 0;
    std::unique_ptr<OutputFile> file;
};

// What a transform with deferred outputs (Data::SetDeferredOutputs) leaves
// for the File it stood in for: the outputs in the order they were written,
// and what it learned of the source.
struct DeferredOutputs {
    std::vector<PendingOutput> outputs;
    bool opened = false;                 // the source opened
    std::optional<FileIdentity> source;  // its identity, when it opened
    std::int32_t length = 0;             // samples, as measured when it opened
    bool lengthKnown = false;
    bool tooLong = false;        // see Data::SourceTooLong
    std::string problem;         // see Data::SourceProblem
    std::optional<double> rate;  // the rate the source states
    std::int32_t channels = 0;   // the channels it holds
};

}  // namespace tavox
