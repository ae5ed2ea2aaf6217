#include "app/UnstatedRate.h"

#include <vector>

#include "app/BatchSettings.h"
#include "app/Files.h"
#include "data/FileSystem.h"
#include "data/Path.h"
#include "data/SampleSource.h"

namespace tavox {

std::string UnstatedRateRefusal(FileSystem& fileSystem, const std::string& source, const BatchSettings& settings) {
    const OutputOptions& output = settings.output;
    const bool fundamental = output.measure && output.measure->fundamental;
    const bool band = output.measure && output.measure->bandLow;
    if ((output.bands == 0 && !fundamental && !band) || output.rate) return {};
    const std::string pattern = Files::CompletedSource(source);
    const std::string folder = PathFolder(pattern);
    const std::vector<std::string> names = fileSystem.List(folder, PathName(pattern));
    // An input that gives no file is the batch's own diagnosis.
    if (names.empty()) return {};
    for (const std::string& name : names) {
        const SourceOpening opened = SampleSource::Open(fileSystem, JoinPath(folder, name), settings.input);
        if (opened.source && opened.source->SampleRate()) return {};
    }
    const char* option = output.bands != 0 ? "--bands" : fundamental ? "--fundamental" : "--measure-band";
    return std::string(option) + " needs the sample rate, which none of the input files states: give --rate=HZ";
}

}  // namespace tavox
