// The batch jobs of tavox done by a small program on FFTW, as a competent user
// would write it: one real-to-complex plan per run, measured once
// (FFTW_MEASURE) and kept as wisdom, buffers allocated once and reused, one
// read per input file (files read whole are mapped instead, which spares
// copying them into fresh memory) and one write per output file. Same
// exposure placement, window, 2/N scaling, rounding (half to even) and
// clamping (+-32767) as tavox, so the outputs can be compared.
//
//   fftw_reference METHOD WINDOW WIDTH REPEAT WISDOM FILE...
//
// METHOD: s (one exposure from the first sample, N/2 magnitudes into
// <base>.fftw), a (mean of REPEAT exposures into <base>.fftw), m (REPEAT
// exposures, each into <base>_f.NNN). WINDOW: r rectangle, h Hanning. FILE
// arguments that are folders stand for their *.dat files in name order.
// WISDOM is read before planning; when it holds no plan for WIDTH, the plan
// is measured and the file rewritten with it.

#include <dirent.h>
#include <fcntl.h>
#include <fftw3.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr double TwoPi15 = 6.28318530717958;

struct Job {
    char method = 's';
    char window = 'r';
    int width = 0;
    int repeat = 1;
};

// One input file: the folder it lies in (opened once, so that every open
// resolves a single name) and its name there.
struct Input {
    int folder;
    std::string name;
};

// The plan, its arrays and the window weights for one width.
class Spectra {
public:
    Spectra(int width, char window, const char* wisdom) : n_(width) {
        in_ = fftw_alloc_real(static_cast<std::size_t>(n_));
        out_ = fftw_alloc_complex(static_cast<std::size_t>(n_ / 2 + 1));
        if (in_ == nullptr || out_ == nullptr) return;
        fftw_import_wisdom_from_filename(wisdom);
        plan_ = fftw_plan_dft_r2c_1d(n_, in_, out_, FFTW_MEASURE | FFTW_WISDOM_ONLY);
        if (plan_ == nullptr) {
            plan_ = fftw_plan_dft_r2c_1d(n_, in_, out_, FFTW_MEASURE);
            if (plan_ != nullptr) fftw_export_wisdom_to_filename(wisdom);
        }
        if (window == 'h') {
            weights_.resize(static_cast<std::size_t>(n_));
            for (int i = 0; i < n_; ++i) weights_[static_cast<std::size_t>(i)] = 1 - std::cos(i * TwoPi15 / n_);
        }
    }
    ~Spectra() {
        if (plan_ != nullptr) fftw_destroy_plan(plan_);
        fftw_free(in_);
        fftw_free(out_);
    }
    Spectra(const Spectra&) = delete;
    Spectra& operator=(const Spectra&) = delete;

    bool Ready() const { return plan_ != nullptr; }

    // Magnitudes of bins 0..N/2-1 of the N samples at x, scaled by 2/N, into to[0..N/2).
    void Magnitudes(const std::int16_t* x, double* to) {
        double* const in = in_;
        if (weights_.empty()) {
            for (int i = 0; i < n_; ++i) in[i] = x[i];
        } else {
            const double* const w = weights_.data();
            for (int i = 0; i < n_; ++i) in[i] = x[i] * w[i];
        }
        fftw_execute(plan_);
        const double scale = 2.0 / n_;
        const fftw_complex* const out = out_;
        for (int k = 0; k < n_ / 2; ++k) to[k] = std::sqrt(out[k][0] * out[k][0] + out[k][1] * out[k][1]) * scale;
    }

private:
    int n_;
    double* in_ = nullptr;
    fftw_complex* out_ = nullptr;
    fftw_plan plan_ = nullptr;
    std::vector<double> weights_;
};

// Reads the first `samples` samples of the file into `to` with one read
// (more only when the system returns less). False when the file is shorter.
bool ReadFirstSamples(const Input& input, std::size_t samples, std::int16_t* to) {
    const int fd = openat(input.folder, input.name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const std::size_t bytes = samples * 2;
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t got = read(fd, reinterpret_cast<char*>(to) + done, bytes - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    close(fd);
    return done == bytes;
}

// A whole file mapped for reading, its pages mapped at once.
class MappedFile {
public:
    explicit MappedFile(const Input& input) {
        const int fd = openat(input.folder, input.name.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return;
        struct stat status;
        if (fstat(fd, &status) == 0 && status.st_size >= 2) {
            void* map =
                mmap(nullptr, static_cast<std::size_t>(status.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
            if (map != MAP_FAILED) {
                map_ = map;
                bytes_ = static_cast<std::size_t>(status.st_size);
            }
        }
        close(fd);
    }
    ~MappedFile() {
        if (map_ != nullptr) munmap(map_, bytes_);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    const std::int16_t* Samples() const { return static_cast<const std::int16_t*>(map_); }
    std::int64_t Length() const { return static_cast<std::int64_t>(bytes_ / 2); }

private:
    void* map_ = nullptr;
    std::size_t bytes_ = 0;
};

// Rounds to 16 bits (half to even, +-32767 at most) and writes with one write.
bool WriteValues(int folder, const std::string& name, const double* values, int count, std::int16_t* output) {
    for (int i = 0; i < count; ++i) {
        double x = values[i];
        x = x > 32767.0 ? 32767.0 : (x < -32767.0 ? -32767.0 : x);
        output[i] = static_cast<std::int16_t>(std::nearbyint(x));
    }
    const int fd = openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    const std::size_t bytes = static_cast<std::size_t>(count) * 2;
    const bool written = write(fd, output, bytes) == static_cast<ssize_t>(bytes);
    return close(fd) == 0 && written;
}

std::string BaseOf(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

struct Workspace {
    std::vector<std::int16_t> samples;
    std::vector<double> spectrum;
    std::vector<double> sums;
    std::vector<std::int16_t> output;
};

// True when the file gave every output.
bool Transform(const Input& input, const Job& job, Spectra& spectra, Workspace& w) {
    const int n = job.width;
    const int half = n / 2;
    if (job.method == 's') {
        if (!ReadFirstSamples(input, static_cast<std::size_t>(n), w.samples.data())) return false;
        spectra.Magnitudes(w.samples.data(), w.spectrum.data());
        return WriteValues(input.folder, BaseOf(input.name) + ".fftw", w.spectrum.data(), half, w.output.data());
    }
    const MappedFile file(input);
    const std::int16_t* const data = file.Samples();
    const std::int64_t length = file.Length();
    if (data == nullptr || length < n) return false;
    const std::int64_t step = (length - n) / (job.repeat - 1);
    if (step <= 0) return false;
    if (job.method == 'a') {
        spectra.Magnitudes(data, w.sums.data());
        for (int k = 1; k < job.repeat; ++k) {
            spectra.Magnitudes(data + k * step, w.spectrum.data());
            for (int i = 0; i < half; ++i)
                w.sums[static_cast<std::size_t>(i)] += w.spectrum[static_cast<std::size_t>(i)];
        }
        for (int i = 0; i < half; ++i) w.sums[static_cast<std::size_t>(i)] /= job.repeat;
        return WriteValues(input.folder, BaseOf(input.name) + ".fftw", w.sums.data(), half, w.output.data());
    }
    std::string name = BaseOf(input.name) + "_f.000";
    const std::size_t digits = name.size() - 3;
    bool ok = true;
    for (int k = 0; k < job.repeat; ++k) {
        spectra.Magnitudes(data + k * step, w.spectrum.data());
        const int number = k + 1;
        name[digits] = static_cast<char>('0' + number / 100);
        name[digits + 1] = static_cast<char>('0' + number / 10 % 10);
        name[digits + 2] = static_cast<char>('0' + number % 10);
        ok = WriteValues(input.folder, name, w.spectrum.data(), half, w.output.data()) && ok;
    }
    return ok;
}

// Opens each folder once; the folders stay open to the end of the run.
class Folders {
public:
    int Open(const std::string& path) {
        const auto known = open_.find(path);
        if (known != open_.end()) return known->second;
        const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) open_.emplace(path, fd);
        return fd;
    }

private:
    std::map<std::string, int> open_;
};

// Adds the *.dat files of a folder in name order, or the file itself.
bool AddInputs(const std::string& argument, Folders& folders, std::vector<Input>& inputs) {
    struct stat status;
    if (stat(argument.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        const int folder = folders.Open(argument);
        DIR* dir = folder < 0 ? nullptr : fdopendir(dup(folder));
        if (dir == nullptr) return false;
        std::vector<std::string> names;
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dat") == 0) names.push_back(name);
        }
        closedir(dir);
        std::sort(names.begin(), names.end());
        for (std::string& name : names) inputs.push_back({folder, std::move(name)});
        return true;
    }
    const std::size_t slash = argument.rfind('/');
    const std::string parent = slash == std::string::npos ? "." : (slash == 0 ? "/" : argument.substr(0, slash));
    const int folder = folders.Open(parent);
    if (folder < 0) return false;
    inputs.push_back({folder, slash == std::string::npos ? argument : argument.substr(slash + 1)});
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 7) {
        std::fprintf(stderr, "usage: %s s|a|m r|h WIDTH REPEAT WISDOM FILE...\n", argv[0]);
        return 2;
    }
    Job job;
    job.method = argv[1][0];
    job.window = argv[2][0];
    job.width = std::atoi(argv[3]);
    job.repeat = std::max(1, std::atoi(argv[4]));
    if (job.width < 2 || (job.width & (job.width - 1)) != 0 || std::strchr("sam", job.method) == nullptr ||
        (job.method != 's' && (job.repeat < 2 || job.repeat > 999))) {
        std::fprintf(stderr, "bad job\n");
        return 2;
    }

    Spectra spectra(job.width, job.window, argv[5]);
    if (!spectra.Ready()) {
        std::fprintf(stderr, "no FFTW plan for width %d\n", job.width);
        return 2;
    }
    Workspace w;
    const auto half = static_cast<std::size_t>(job.width / 2);
    w.samples.resize(static_cast<std::size_t>(job.width));
    w.spectrum.resize(half);
    w.sums.resize(half);
    w.output.resize(half);

    Folders folders;
    std::vector<Input> inputs;
    int failed = 0;
    for (int i = 6; i < argc; ++i) {
        if (!AddInputs(argv[i], folders, inputs)) ++failed;
    }
    for (const Input& input : inputs) failed += Transform(input, job, spectra, w) ? 0 : 1;
    if (failed != 0) std::fprintf(stderr, "%d of %zu inputs failed\n", failed, inputs.size());
    return failed == 0 ? 0 : 1;
}
