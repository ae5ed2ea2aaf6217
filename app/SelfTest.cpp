#include "app/SelfTest.h"

#include <stdlib.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <random>
#include <sstream>

#include "app/Files.h"
#include "common/InputOptions.h"
#include "common/OutputOptions.h"
#include "common/Variant.h"
#include "data/AverageCombiners.h"
#include "data/Data.h"
#include "data/FileSystem.h"
#include "data/SampleSource.h"
#include "data/SpectrumFormats.h"
#include "engine/File.h"
#include "engine/Parameters.h"
#include "engine/WindowAndMethodNames.h"
#include "engine/fft/ReferenceKernel.h"

namespace tavox {
namespace {

constexpr int MinStages = 7;
constexpr int MaxStages = 16;

// The tone: a cosine and a sine on bin N/4, whose samples are exact integers
// (a, b, -a, -b, ...), over an offset that centring removes exactly.
constexpr long double ToneCos = 6000;
constexpr long double ToneSin = 3464;
constexpr std::int16_t ToneOffset = 500;
// Flat-top coefficients a0..a4 of 1 - 1.93 cos x + 1.29 cos 2x - 0.388 cos 3x + 0.028 cos 4x.
constexpr long double FlatTop[] = {1.0L, 1.93L, 1.29L, 0.388L, 0.028L};
// The pipeline's rounding (twiddles by recurrence, 15-digit constants) stays
// below 2e-9 of the amplitude and 2e-6 degrees up to width 65536; a fault is
// far above these.
constexpr long double MagnitudeTolerance = 1e-7L;  // of the tone's amplitude
constexpr long double PhaseTolerance = 1e-4L;      // degrees
// Power and PSD take exact twiddles: far closer than the amplitudes.
constexpr long double ScaleTolerance = 1e-11L;  // of the tone's power

// Placement: exposures of this width at these bins and amplitudes, between
// noise that any misplaced exposure would take in.
constexpr std::int32_t PlacementWidth = 256;
constexpr std::int32_t PlacementRepeat = 4;
constexpr std::int32_t PlacementStart = 101;
constexpr std::int32_t PlacementSpan = 1200;
constexpr double PlacementTolerance = 0.5;

std::string Text(long double x) {
    std::ostringstream text;
    text.precision(10);
    text << static_cast<double>(x);
    return text.str();
}

// A fresh folder under $TMPDIR (else /tmp), removed with its contents.
class ScratchFolder {
public:
    ScratchFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/tavox-self-test-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern + "/";
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    bool Ready() const noexcept { return !path_.empty(); }
    std::string File(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

void WriteSamples(const std::string& path, const std::vector<std::int16_t>& samples) {
    std::string bytes;
    bytes.reserve(samples.size() * 2);
    for (const std::int16_t s : samples) {
        const auto u = static_cast<std::uint16_t>(s);
        bytes += static_cast<char>(u & 0xFF);
        bytes += static_cast<char>(u >> 8);
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), std::ssize(bytes));
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The values of an output in `format`, magnitudes then phases (empty when
// it is no such output); a raw output holds phases when `phase`.
std::vector<double> ReadOutput(const std::string& path, OutputFormat format, bool phase = false) {
    const SpectrumFormat& row = SpectrumFormatOf(format);
    const SpectrumReading reading = row.read(ReadBytes(path), row, FlatLayout{std::nullopt, phase, SpectrumQuantity{}});
    if (!reading.spectrum) return {};
    std::vector<double> values = reading.spectrum->magnitudes;
    values.insert(values.end(), reading.spectrum->phases.begin(), reading.spectrum->phases.end());
    return values;
}

// One input through the file set and a File, as a batch runs it.
struct Run {
    fftMethodEnum method = fftMethodSimple;
    bool phase = false;
    bool center = false;
    fftWindowEnum window = fftWindowRectangle;
    std::int32_t width = 128;
    std::int32_t repeat = 1;
    std::int32_t start = 0;
    std::int32_t finish = 0;
    OutputOptions output;
};

std::int32_t Transform(const Run& run, const std::string& input, const std::string& mask) {
    auto parameters = std::make_shared<Parameters>();
    parameters->SetMethod(run.method);
    parameters->SetPhase(run.phase);
    parameters->SetCenter(run.center);
    parameters->SetWindow(run.window);
    parameters->SetWidth(run.width);
    parameters->SetRepeat(run.repeat);
    parameters->SetStart(Variant(run.start));
    parameters->SetFinish(Variant(run.finish));
    Files files(DefaultFileSystem());
    files.SetParameters(parameters);
    files.SetOutputOptions(run.output);
    Variant source(input);
    Variant target(mask);
    files.Add(fftDataDiskFile, source, target);
    if (files.Count() != 1) return 0;
    return files.Item(Variant(std::int32_t{1}))->Transform();
}

// Expected magnitude and phase of bin k for the tone under `window`: the
// window's cosine terms move copies of the tone to the neighbouring bins,
// half as strong, the odd terms with the opposite sign.
struct Expected {
    long double magnitude = 0;
    long double phase = 0;
};

Expected ToneBin(fftWindowEnum window, std::size_t width, std::size_t k) {
    const long double amplitude = std::hypot(ToneCos, ToneSin);
    const long double phase = std::atan2(ToneSin, ToneCos) * 180 / std::numbers::pi_v<long double>;
    const auto distance =
        static_cast<std::size_t>(std::abs(static_cast<long long>(k) - static_cast<long long>(width / 4)));
    long double weight = distance == 0 ? 1 : 0;
    if (window == fftWindowHanning && distance == 1) weight = 0.5L;
    if (window == fftWindowFlatTop && distance < std::size(FlatTop)) weight = distance == 0 ? 1 : FlatTop[distance] / 2;
    if (weight == 0) return {};
    const long double shifted = distance % 2 == 1 && window != fftWindowRectangle ? phase - 180 : phase;
    return {amplitude * weight, shifted};
}

long double PhaseDistance(long double a, long double b) {
    const long double d = std::fmod(std::fabs(a - b), 360.0L);
    return std::min(d, 360 - d);
}

std::string WindowName(fftWindowEnum window) {
    return std::string(NamesOf(window).title);
}

SelfTestCheck NamedCheck(std::string name) {
    SelfTestCheck check;
    check.name = std::move(name);
    return check;
}

SelfTestCheck FailedCheck(std::string name, std::string what) {
    SelfTestCheck check = NamedCheck(std::move(name));
    check.cases = 1;
    check.failed = 1;
    check.firstFailure = std::move(what);
    return check;
}

void Fail(SelfTestCheck& check, const std::string& what) {
    if (check.failed++ == 0) check.firstFailure = what;
}

// Checks one output of the tone: every magnitude, the phases of the bins the
// tone reaches, and that the 16-bit output holds the rounded values.
std::string CheckTone(const std::vector<double>& values, const std::vector<double>& raw, fftWindowEnum window,
                      std::size_t width) {
    const std::size_t bins = width / 2;
    if (values.size() != width || raw.size() != width) return "output of " + std::to_string(values.size()) + " values";
    const long double tolerance = MagnitudeTolerance * std::hypot(ToneCos, ToneSin);
    for (std::size_t k = 0; k < bins; ++k) {
        const Expected expected = ToneBin(window, width, k);
        if (std::fabs(values[k] - expected.magnitude) > tolerance) {
            return "bin " + std::to_string(k) + ": magnitude " + Text(values[k]) + ", expected " +
                   Text(expected.magnitude);
        }
        if (expected.magnitude > 0 && PhaseDistance(values[bins + k], expected.phase) > PhaseTolerance) {
            return "bin " + std::to_string(k) + ": phase " + Text(values[bins + k]) + ", expected " +
                   Text(expected.phase);
        }
    }
    for (std::size_t i = 0; i < width; ++i) {
        if (raw[i] != Data::ToSample16(values[i])) {
            return "16-bit value " + std::to_string(i) + " is " + std::to_string(static_cast<std::int16_t>(raw[i])) +
                   ", not the rounded " + Text(values[i]);
        }
    }
    return {};
}

SelfTestCheck ToneCheck(const ScratchFolder& folder, fftWindowEnum window) {
    SelfTestCheck check = NamedCheck("tones on an exact bin, " + WindowName(window) + " window");
    for (int stages = MinStages; stages <= MaxStages; ++stages) {
        const std::size_t width = std::size_t{1} << stages;
        for (const bool center : {false, true}) {
            const std::string name = "tone" + std::to_string(width) + (center ? "c" : "");
            std::vector<std::int16_t> samples(width);
            const std::int16_t cycle[4] = {static_cast<std::int16_t>(ToneCos), static_cast<std::int16_t>(ToneSin),
                                           static_cast<std::int16_t>(-ToneCos), static_cast<std::int16_t>(-ToneSin)};
            for (std::size_t n = 0; n < width; ++n) samples[n] = cycle[n % 4] + (center ? ToneOffset : 0);
            const std::string input = folder.File(name + ".dat");
            WriteSamples(input, samples);
            ++check.cases;
            Run run;
            run.phase = true;
            run.center = center;
            run.window = window;
            run.width = static_cast<std::int32_t>(width);
            run.output.format = OutputFormat::Npy;
            const std::int32_t npy = Transform(run, input, "*.npy");
            run.output.format = OutputFormat::Raw;
            const std::int32_t raw = Transform(run, input, "*.raw");
            const std::string what = "width " + std::to_string(width) + (center ? ", centred" : "") + ": ";
            if (npy != fftResultAllRight || raw != fftResultAllRight) {
                Fail(check, what + "result " + std::to_string(npy) + " and " + std::to_string(raw));
                continue;
            }
            const std::string fault =
                CheckTone(ReadOutput(folder.File(name + ".npy"), OutputFormat::Npy),
                          ReadOutput(folder.File(name + ".raw"), OutputFormat::Raw, true), window, width);
            if (!fault.empty()) Fail(check, what + fault);
        }
    }
    return check;
}

// The tone on power and PSD scales through the batch: bin k reads the
// square of its amplitude over 2 (the window's copies included), and over
// the window's equivalent noise bandwidth NENBW * rate / width as a PSD,
// with Heinzel's NENBW of each window.
SelfTestCheck ScaleCheck(const ScratchFolder& folder, fftWindowEnum window) {
    SelfTestCheck check = NamedCheck("power and PSD of tones, " + WindowName(window) + " window");
    constexpr double Rate = 48000;
    const long double nenbw = window == fftWindowHanning ? 1.5L : window == fftWindowFlatTop ? 3.770164L : 1.0L;
    const long double peak = (ToneCos * ToneCos + ToneSin * ToneSin) / 2;
    for (int stages = MinStages; stages <= MaxStages; ++stages) {
        const std::size_t width = std::size_t{1} << stages;
        const std::string input = folder.File("scaled" + std::to_string(width) + ".dat");
        std::vector<std::int16_t> samples(width);
        const std::int16_t cycle[4] = {static_cast<std::int16_t>(ToneCos), static_cast<std::int16_t>(ToneSin),
                                       static_cast<std::int16_t>(-ToneCos), static_cast<std::int16_t>(-ToneSin)};
        for (std::size_t n = 0; n < width; ++n) samples[n] = cycle[n % 4];
        WriteSamples(input, samples);
        for (const SpectrumScale scale : {SpectrumScale::Power, SpectrumScale::Psd}) {
            ++check.cases;
            Run run;
            run.window = window;
            run.width = static_cast<std::int32_t>(width);
            run.output.format = OutputFormat::Npy;
            run.output.rate = Rate;
            run.output.spectrum.scale = scale;
            const std::string what = "width " + std::to_string(width) + ", " + std::string(ScaleName(scale)) + ": ";
            const std::int32_t result = Transform(run, input, "*.npy");
            const std::vector<double> values =
                ReadOutput(folder.File("scaled" + std::to_string(width) + ".npy"), OutputFormat::Npy);
            if (result != fftResultAllRight || values.size() != width / 2) {
                Fail(check, what + "result " + std::to_string(result));
                continue;
            }
            const long double bandwidth =
                scale == SpectrumScale::Psd ? nenbw * Rate / static_cast<long double>(width) : 1.0L;
            for (std::size_t k = 1; k < values.size(); ++k) {
                const long double amplitude = ToneBin(window, width, k).magnitude;
                const long double expected = amplitude * amplitude / 2 / bandwidth;
                if (std::fabs(values[k] - expected) > ScaleTolerance * peak / bandwidth) {
                    Fail(check, what + "bin " + std::to_string(k) + " reads " + Text(values[k]) + ", expected " +
                                    Text(expected));
                    break;
                }
            }
        }
    }
    return check;
}

// Samples for the placement checks: noise everywhere except in the exposures
// the start, finish and step put them, which hold one tone each.
struct Placement {
    std::vector<std::int16_t> samples;
    std::int32_t step = 0;
    std::int32_t finish = 0;
};

std::size_t PlacementBin(std::int32_t exposure) {
    return 8 + 16 * static_cast<std::size_t>(exposure);
}

double PlacementAmplitude(std::int32_t exposure) {
    return 4000.0 * (exposure + 1);
}

Placement MakePlacement() {
    Placement p;
    p.finish = PlacementStart + PlacementSpan - 1;
    p.step = (PlacementSpan - PlacementWidth) / (PlacementRepeat - 1);
    std::mt19937 noise(12);
    std::uniform_int_distribution<int> level(-3000, 3000);
    p.samples.resize(static_cast<std::size_t>(p.finish) + 300);
    for (auto& s : p.samples) s = static_cast<std::int16_t>(level(noise));
    for (std::int32_t e = 0; e < PlacementRepeat; ++e) {
        const std::size_t first = PlacementStart - 1 + static_cast<std::size_t>(e * p.step);
        for (std::size_t n = 0; n < PlacementWidth; ++n) {
            const double angle = 2 * std::numbers::pi * static_cast<double>(PlacementBin(e) * n) / PlacementWidth;
            p.samples[first + n] = static_cast<std::int16_t>(std::lround(PlacementAmplitude(e) * std::cos(angle)));
        }
    }
    return p;
}

// What bin `k` of a spectrum combining the exposures reads: each exposure's
// tone bin holds its amplitude, every other bin nothing.
double CombinedBin(AverageMode mode, std::size_t k) {
    std::vector<double> values;
    for (std::int32_t e = 0; e < PlacementRepeat; ++e)
        values.push_back(PlacementBin(e) == k ? PlacementAmplitude(e) : 0);
    return CombinerOf(mode).column(values);
}

std::string CheckSpectrum(const std::vector<double>& values, const std::function<double(std::size_t)>& expected) {
    if (values.size() != PlacementWidth / 2) return "output of " + std::to_string(values.size()) + " values";
    for (std::size_t k = 0; k < values.size(); ++k) {
        if (std::fabs(values[k] - expected(k)) > PlacementTolerance) {
            return "bin " + std::to_string(k) + " reads " + Text(values[k]) + ", expected " + Text(expected(k));
        }
    }
    return {};
}

std::vector<SelfTestCheck> PlacementChecks(const ScratchFolder& folder) {
    const Placement placement = MakePlacement();
    const std::string input = folder.File("placed.dat");
    WriteSamples(input, placement.samples);
    Run run;
    run.method = fftMethodAverage;
    run.width = PlacementWidth;
    run.repeat = PlacementRepeat;
    run.start = PlacementStart;
    run.finish = placement.finish;
    run.output.format = OutputFormat::Npy;

    SelfTestCheck average = NamedCheck("exposure placement, average (" + NameList(AverageModeNames, ", ") + ")");
    for (const AverageCombiner& combiner : AverageCombiners()) {
        const AverageMode mode = combiner.mode;
        ++average.cases;
        run.output.average = mode;
        const std::string mask = "*_" + std::string(AverageName(mode)) + ".npy";
        const std::int32_t result = Transform(run, input, mask);
        const std::string what = std::string(AverageName(mode)) + ": ";
        if (result != fftResultAllRight) {
            Fail(average, what + "result " + std::to_string(result));
            continue;
        }
        const std::string fault = CheckSpectrum(
            ReadOutput(folder.File("placed_" + std::string(AverageName(mode)) + ".npy"), OutputFormat::Npy),
            [&](std::size_t k) { return CombinedBin(mode, k); });
        if (!fault.empty()) Fail(average, what + fault);
    }

    SelfTestCheck multi = NamedCheck("exposure placement, multi");
    run.method = fftMethodMulti;
    run.output.average = AverageMode::Mean;
    const std::int32_t result = Transform(run, input, "multi.npy");
    for (std::int32_t e = 0; e < PlacementRepeat; ++e) {
        ++multi.cases;
        const std::string what = "exposure " + std::to_string(e + 1) + ": ";
        if (result != fftResultAllRight) {
            Fail(multi, what + "result " + std::to_string(result));
            continue;
        }
        char extension[16];
        std::snprintf(extension, sizeof extension, "%03d", e + 1);
        const std::string fault =
            CheckSpectrum(ReadOutput(folder.File("multi." + std::string(extension)), OutputFormat::Npy),
                          [&](std::size_t k) { return PlacementBin(e) == k ? PlacementAmplitude(e) : 0.0; });
        if (!fault.empty()) Fail(multi, what + fault);
    }
    return {average, multi};
}

SelfTestCheck KernelCheck(FftIsa isa, const FastKernel& kernel) {
    SelfTestCheck check = NamedCheck(std::string("fast kernel = reference, ") + FftIsaName(isa));
    if (!FftIsaSupported(isa)) {
        check.skipped = true;
        return check;
    }
    std::mt19937_64 random(2024);
    std::uniform_real_distribution<double> sample(-32768.0, 32767.0);
    Parameters parameters;
    for (int stages = MinStages; stages <= MaxStages; ++stages) {
        const std::size_t n = std::size_t{1} << stages;
        parameters.SetWidth(static_cast<std::int32_t>(n));
        std::vector<double> samples(n);
        for (double& x : samples) x = sample(random);
        for (const bool conjugate : {false, true}) {
            ++check.cases;
            std::vector<double> re = samples, im(n, 0.0);
            FftReference(re, im, parameters.TwiddleRealTable(), parameters.TwiddleImagTable(), stages, conjugate);
            std::vector<double> fastRe = samples, fastIm(n, 0.0);
            const bool ran = kernel ? kernel(parameters.Plan(), fastRe, fastIm, conjugate, isa)
                                    : parameters.Plan().Transform(fastRe, fastIm, conjugate, isa);
            const std::string what = "width " + std::to_string(n) + (conjugate ? ", conjugated" : "") + ": ";
            if (!ran) {
                Fail(check, what + "the kernel did not run");
                continue;
            }
            for (std::size_t k = 0; k < n / 2; ++k) {
                if (std::memcmp(&re[k], &fastRe[k], sizeof(double)) != 0 ||
                    std::memcmp(&im[k], &fastIm[k], sizeof(double)) != 0) {
                    Fail(check, what + "bin " + std::to_string(k) + " differs");
                    break;
                }
            }
        }
    }
    return check;
}

// Input files: a tone that every sample format holds exactly (multiples of
// 256 within 8 bits) on bin N/4 of channel 2 of 2, beside a square wave in
// channel 1 whose harmonics miss that bin, read through each kind of file.
constexpr std::int16_t InputCos = 6144;
constexpr std::int16_t InputSin = 3328;
constexpr std::int16_t InputOther = 4096;
constexpr std::int32_t InputWidth = 1024;
constexpr std::int32_t InputRate = 48000;

std::vector<std::int16_t> InputFrames() {
    std::vector<std::int16_t> frames(2 * InputWidth);
    const std::int16_t cycle[4] = {InputCos, InputSin, -InputCos, -InputSin};
    for (std::size_t n = 0; n < InputWidth; ++n) {
        frames[2 * n] = n % 8 < 4 ? InputOther : static_cast<std::int16_t>(-InputOther);
        frames[2 * n + 1] = cycle[n % 4];
    }
    return frames;
}

// `value` (16-bit scale) as a sample of `format`, written independently of
// the decoder it checks.
void AppendSample(std::string& bytes, SampleFormat format, std::int16_t value) {
    std::uint64_t word = 0;
    std::size_t size = SampleBytes(format);
    const std::string_view name = SampleFormatName(format);
    const bool unsignedFormat = name.front() == 'u';
    if (name.front() == 'f') {
        const double x = value / 32768.0;
        word = size == 4 ? std::bit_cast<std::uint32_t>(static_cast<float>(x)) : std::bit_cast<std::uint64_t>(x);
    } else {
        const std::int64_t scaled = size == 1   ? value / 256
                                    : size == 2 ? value
                                    : size == 3 ? value * 256
                                                : value * 65536;
        word = static_cast<std::uint64_t>(scaled + (unsignedFormat ? std::int64_t{1} << (8 * size - 1) : 0));
    }
    const bool bigEndian = name.ends_with("be");
    for (std::size_t i = 0; i < size; ++i) {
        const std::size_t shift = 8 * (bigEndian ? size - 1 - i : i);
        bytes += static_cast<char>((word >> shift) & 0xFF);
    }
}

// Channel 2 of `input` into an npy output: what is wrong with it, or empty.
std::string InputCase(const std::string& input, InputOptions options, std::optional<double> rate) {
    options.channel = 2;
    auto parameters = std::make_shared<Parameters>();
    parameters->SetWidth(InputWidth);
    Files files(DefaultFileSystem());
    files.SetParameters(parameters);
    OutputOptions output;
    output.format = OutputFormat::Npy;
    files.SetOutputOptions(output);
    files.SetInputOptions(options);
    Variant source(input);
    Variant target(std::string("*.npy"));
    files.Add(fftDataDiskFile, source, target);
    if (files.Count() != 1) return "not listed";
    const std::shared_ptr<File> file = files.Item(Variant(std::int32_t{1}));
    const std::int32_t result = file->Transform();
    const Data& data = file->GetData();
    if (result != fftResultAllRight) return "result " + std::to_string(result) + " " + data.SourceProblem();
    if (data.SourceRate() != rate) return "sample rate " + Text(data.SourceRate().value_or(0));
    const std::vector<std::string> outputs = data.WrittenOutputs();
    const std::vector<double> values =
        outputs.empty() ? std::vector<double>() : ReadOutput(outputs.front(), OutputFormat::Npy);
    if (values.size() != InputWidth / 2) return "output of " + std::to_string(values.size()) + " values";
    const long double amplitude = std::hypot(InputCos, InputSin);
    for (std::size_t k = 0; k < values.size(); ++k) {
        const long double expected = k == InputWidth / 4 ? amplitude : 0;
        if (std::fabs(values[k] - expected) > MagnitudeTolerance * amplitude) {
            return "bin " + std::to_string(k) + ": magnitude " + Text(values[k]) + ", expected " + Text(expected);
        }
    }
    return {};
}

std::vector<SelfTestCheck> InputChecks(const ScratchFolder& folder) {
    const std::vector<std::int16_t> frames = InputFrames();
    std::vector<SelfTestCheck> checks;
    SelfTestCheck raw = NamedCheck("input files, raw sample formats");
    for (int value = 0; !SampleFormatName(static_cast<SampleFormat>(value)).empty(); ++value) {
        const auto format = static_cast<SampleFormat>(value);
        const std::string path = folder.File("input." + std::string(SampleFormatName(format)));
        std::string bytes;
        for (const std::int16_t sample : frames) AppendSample(bytes, format, sample);
        std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), std::ssize(bytes));
        ++raw.cases;
        InputOptions options;
        options.kind = InputKind::Raw;
        options.sampleFormat = format;
        options.channels = 2;
        const std::string fault = InputCase(path, options, std::nullopt);
        if (!fault.empty()) Fail(raw, std::string(SampleFormatName(format)) + ": " + fault);
    }
    checks.push_back(raw);
    for (const SourceKind& kind : SampleSource::AddedKinds()) {
        if (kind.examples == nullptr) continue;
        for (const SourceExample& example : kind.examples(folder.File(""), frames, 2, InputRate)) {
            SelfTestCheck check = NamedCheck("input files, " + example.name);
            ++check.cases;
            const std::string fault = InputCase(example.path, InputOptions{}, InputRate);
            if (!fault.empty()) Fail(check, fault);
            checks.push_back(check);
        }
    }
    return checks;
}

}  // namespace

bool SelfTestResult::Passed() const noexcept {
    return !checks.empty() &&
           std::all_of(checks.begin(), checks.end(), [](const SelfTestCheck& c) { return c.failed == 0; });
}

const char* FftIsaName(FftIsa isa) noexcept {
    switch (isa) {
        case FftIsa::Avx512:
            return "AVX-512";
        case FftIsa::Avx2:
            return "AVX2";
        default:
            return "portable";
    }
}

SelfTestResult RunSelfTest(const FastKernel& kernel) {
    const auto started = std::chrono::steady_clock::now();
    SelfTestResult result;
    auto guarded = [&](const std::string& name, auto&& run) {
        try {
            run();
        } catch (const std::exception& error) {
            result.checks.push_back(FailedCheck(name, error.what()));
        }
    };
    {
        const ScratchFolder folder;
        if (!folder.Ready()) {
            result.checks.push_back(FailedCheck("temporary folder", "cannot create one"));
        } else {
            for (const WindowNames& names : WindowNameTable) {
                const fftWindowEnum window = names.window;
                guarded("tones, " + WindowName(window) + " window",
                        [&] { result.checks.push_back(ToneCheck(folder, window)); });
            }
            for (const WindowNames& names : WindowNameTable) {
                const fftWindowEnum window = names.window;
                guarded("scales, " + WindowName(window) + " window",
                        [&] { result.checks.push_back(ScaleCheck(folder, window)); });
            }
            guarded("exposure placement", [&] {
                for (auto& check : PlacementChecks(folder)) result.checks.push_back(std::move(check));
            });
            guarded("input files", [&] {
                for (auto& check : InputChecks(folder)) result.checks.push_back(std::move(check));
            });
        }
    }
    for (const FftIsa isa : {FftIsa::Portable, FftIsa::Avx2, FftIsa::Avx512}) {
        guarded(std::string("fast kernel, ") + FftIsaName(isa),
                [&] { result.checks.push_back(KernelCheck(isa, kernel)); });
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return result;
}

}  // namespace tavox
