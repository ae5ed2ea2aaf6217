#pragma once

namespace tavox {

// Makes SampleSource::Open detect SigMF recordings (by name) and sound files
// (by their first bytes) besides raw samples. Call once before sources are
// opened; calling again does nothing.
void RegisterInputFormats();

}  // namespace tavox
