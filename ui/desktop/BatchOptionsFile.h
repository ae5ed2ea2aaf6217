#pragma once

#include "app/BatchSettings.h"

namespace tavox {

class PrivateProfile;

// The batch options of the desktop (its Options dialog) in the settings
// file: section [Batch Options], each value as the command line's option
// writes it: Format=csv, Rate=48000 (empty: none), Average=rms, Plot=db
// (empty: no pictures), PlotSize=1200x700, Jobs=4 (0 or empty: every CPU),
// and once chosen Scale=psd, Unit=dbv, FullScale=2.5, Layout=matrix.
inline constexpr const char* BatchOptionsSection = "Batch Options";

// The options the file holds; a key that is missing, or whose value the
// command line would refuse (alone or with the others), leaves the default. The transform, share and
// report stay the defaults.
BatchSettings ReadBatchOptions(const PrivateProfile& profile);

// Writes the format, rate, average mode, pictures and jobs of `settings`,
// and the scale, unit and full scale once they are not the defaults (or
// the file holds them); false when the file could not be written.
bool WriteBatchOptions(const PrivateProfile& profile, const BatchSettings& settings);

}  // namespace tavox
