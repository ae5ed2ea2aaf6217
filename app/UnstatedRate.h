#pragma once

#include <string>

namespace tavox {

class FileSystem;
struct BatchSettings;

// Without --rate, the bands and a fundamental or band in Hz take the rate an
// input states (a sound file, a SigMF recording). The line that refuses the
// command when none of the files the input field `source` matches states
// one, as raw inputs are refused; empty when the settings need no rate, give
// it, or some input states it (a file that states none is then told apart
// when the batch reaches it), and when nothing matches. Opens the inputs
// until one states a rate.
std::string UnstatedRateRefusal(FileSystem& fileSystem, const std::string& source, const BatchSettings& settings);

}  // namespace tavox
