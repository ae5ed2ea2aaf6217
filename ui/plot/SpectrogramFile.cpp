#include "ui/plot/SpectrogramFile.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>

#include "data/FileSystem.h"
#include "data/NpyFormat.h"
#include "data/Path.h"
#include "ui/plot/SpectrumFile.h"
#include "zip/ZipArchive.h"

namespace tavox {
namespace {

constexpr std::uint64_t MaxBytes = std::uint64_t{1} << 30;

SpectrogramReading Refused(std::string error) {
    SpectrogramReading reading;
    reading.error = std::move(error);
    return reading;
}

// The exposure number of a numbered output's name ("run7.017" gives 17), 0 for others.
int ExposureNumber(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot + 4 != name.size()) return 0;
    const std::string digits = name.substr(dot + 1);
    if (!std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c) != 0; })) return 0;
    return std::stoi(digits);
}

std::string Base(const std::string& name) {
    return name.substr(0, name.rfind('.'));
}

}  // namespace

bool IsSpectrogramPath(const std::string& path) {
    std::error_code ignored;
    if (path.find_first_of("*?") != std::string::npos || std::filesystem::is_directory(path, ignored)) return true;
    std::ifstream file(path, std::ios::binary);
    char magic[4] = {};
    return file.read(magic, sizeof magic) && std::string_view(magic, 4) == std::string_view("PK\x03\x04", 4);
}

SpectrogramReading ReadSpectrogramFile(const std::string& path) {
    std::string error;
    const auto members = ReadZipMembers(path, MaxBytes, error);
    if (!members) return Refused(error);
    std::map<std::string, NpyArray> arrays;
    for (const char* name : {"S", "f", "t", "start", "meta"}) {
        const auto found = members->find(std::string(name) + ".npy");
        if (found == members->end()) return Refused(std::string("is no spectrogram matrix: it has no ") + name);
        const auto array = ParseNpy(found->second, error);
        if (!array) return Refused(std::string("holds no array ") + name + ": " + error);
        arrays[name] = *array;
    }
    const NpyArray& S = arrays["S"];
    const auto values = NpyDoubles(S);
    const auto times = NpyDoubles(arrays["t"]);
    const auto text = NpyText(arrays["meta"]);
    if (!values || S.dims.size() != 2 || S.dims[0] == 0 || S.dims[1] == 0) {
        return Refused("is no spectrogram matrix: S is no 2-D array of float64 values");
    }
    if (!times || times->size() != S.dims[0]) return Refused("is no spectrogram matrix: t does not fit S");
    if (!text) return Refused("is no spectrogram matrix: meta is no text");
    const QJsonObject meta = QJsonDocument::fromJson(QByteArray::fromStdString(*text)).object();

    auto data = std::make_shared<SpectrogramData>();
    data->rows = S.dims[0];
    data->bins = S.dims[1];
    data->columns = data->bins;
    data->values = std::move(*values);
    data->times = std::move(*times);
    data->width = 2 * data->bins;
    if (meta.value(QStringLiteral("rate")).isDouble()) data->rate = meta.value(QStringLiteral("rate")).toDouble();
    data->time = meta.value(QStringLiteral("time_unit")).toString() == QStringLiteral("s")
                     ? SpectrogramData::Time::Seconds
                     : SpectrogramData::Time::Samples;
    // A matrix without a scale or unit it names holds amplitudes in counts.
    const auto named = [&](const char* key) { return meta.value(QLatin1String(key)).toString().toStdString(); };
    data->quantity.scale = ScaleFromName(named("scale")).value_or(SpectrumScale::Amplitude);
    data->quantity.unit = UnitFromName(named("unit")).value_or(SpectrumUnit::Linear);
    const std::string quantity =
        data->quantity == SpectrumQuantity{} ? std::string() : ", " + AxisTitle(data->quantity);
    SpectrogramReading reading;
    reading.data = std::move(data);
    reading.source = meta.value(QStringLiteral("source")).toString().toStdString();
    reading.how =
        "NumPy .npz matrix, " + std::to_string(S.dims[0]) + " exposures of " + std::to_string(S.dims[1]) + " bins, " +
        meta.value(QStringLiteral("window")).toString().toStdString() + " window" +
        (reading.data->rate ? ", sample rate " + QString::number(*reading.data->rate).toStdString() + " Hz" : "") +
        quantity;
    return reading;
}

SpectrogramReading ReadSpectrumSeries(const std::string& given, const ViewOptions& options,
                                      std::optional<double> rate) {
    std::error_code ignored;
    const std::string path = std::filesystem::absolute(given, ignored).string();
    const bool folder = std::filesystem::is_directory(path, ignored);
    const std::string directory = folder ? (path.back() == '/' ? path : path + "/") : PathFolder(path);
    const std::vector<std::string> names = DefaultFileSystem()->List(directory, folder ? "*" : PathName(path));
    std::map<std::string, std::vector<std::string>> series;  // by name without the number
    for (const std::string& name : names) {
        if (ExposureNumber(name) > 0) series[Base(name)].push_back(name);
    }
    if (series.empty()) {
        return Refused(folder ? "holds no numbered outputs of a multi (name.001 to name.999)"
                              : "names no numbered outputs of a multi (name.001 to name.999)");
    }
    if (series.size() > 1) {
        std::string bases;
        for (const auto& [base, members] : series) bases += (bases.empty() ? "" : ", ") + base;
        return Refused("holds the outputs of several inputs (" + bases + "); name one of them, such as \"" + directory +
                       series.begin()->first + ".*\"");
    }
    const std::vector<std::string>& members = series.begin()->second;
    auto data = std::make_shared<SpectrogramData>();
    std::string how;
    for (const std::string& name : members) {
        const SpectrumReading reading = ReadSpectrumFile(directory + name, options);
        if (!reading.spectrum) return Refused(name + ": " + reading.error);
        const Spectrum& spectrum = *reading.spectrum;
        if (data->rows == 0) {
            data->bins = spectrum.magnitudes.size();
            data->columns = data->bins;
            data->width = spectrum.width;
            data->rate = rate ? rate : spectrum.rate;
            data->quantity = spectrum.quantity;
            how = reading.how;
        } else if (ExposureNumber(name) != static_cast<int>(data->times.back()) + 1) {
            return Refused("the outputs skip exposure " + std::to_string(static_cast<int>(data->times.back()) + 1) +
                           " (before " + name + ")");
        } else if (spectrum.magnitudes.size() != data->bins) {
            return Refused(name + " holds " + std::to_string(spectrum.magnitudes.size()) + " bins, " + members.front() +
                           " " + std::to_string(data->bins));
        }
        data->values.insert(data->values.end(), spectrum.magnitudes.begin(), spectrum.magnitudes.end());
        data->times.push_back(ExposureNumber(name));
        ++data->rows;
    }
    data->time = SpectrogramData::Time::Exposures;
    SpectrogramReading reading;
    reading.data = std::move(data);
    reading.how = std::to_string(members.size()) + " outputs " + members.front() + " to " + members.back() +
                  " stacked, each read as " + how;
    return reading;
}

}  // namespace tavox
