#pragma once

#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/BatchSettings.h"
#include "common/SpectrumObserver.h"
#include "data/OutputStage.h"

namespace tavox {

class Parameters;

// The tables a batch writes of its outputs besides the outputs: a CSV row
// of measurements per output, or per row of a matrix output, in
// settings.measureTable (with output.measure), and the fractional-octave band levels of each output in
// <output>.bands.csv (with output.bands). Told of each output as an
// observer of the batch.
class SpectrumTables : public SpectrumObserver {
public:
    explicit SpectrumTables(const BatchSettings& settings);

    // True when the settings ask for a table.
    static bool Wanted(const BatchSettings& settings) noexcept;
    // The parameters of the batch, read for each output (window, widths).
    void SetParameters(std::shared_ptr<const Parameters> parameters);
    void Written(const WrittenSpectrum& written) noexcept override;
    void MatrixRow(const WrittenSpectrum& row) noexcept override;
    // Closes the measurement table; returns, for each table that could not
    // be written, "<path> could not be written: <reason>".
    std::vector<std::string> Finish();

private:
    bool Measuring() const noexcept { return settings_.output.measure && settings_.measureTable; }
    // Opens the measurement table and writes its header, once; false when it cannot be.
    bool OpenTable();
    void WriteMeasures(const WrittenSpectrum& written);
    void WriteBands(const WrittenSpectrum& written);
    SpectrumContext Context(std::size_t bins, std::optional<double> rate) const;

    BatchSettings settings_;
    std::shared_ptr<const Parameters> parameters_;
    std::ofstream table_;
    std::string error_;
    std::vector<std::string> failures_;
    std::vector<double> power_;
};

}  // namespace tavox
