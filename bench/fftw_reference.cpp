// The batch jobs of tavox done by a small program on FFTW, as a competent user
// would write it: one real-to-complex plan per width, measured once and kept
// as wisdom, buffers allocated once, one read per exposure and one write per
// output file. Same exposure placement, window, 2/N scaling, rounding (half
// to even) and clamping (+-32767) as tavox, so the outputs can be compared.
//
//   fftw_reference METHOD WINDOW WIDTH REPEAT WISDOM FILE...
//
// METHOD: s (one exposure from the first sample, N/2 magnitudes into
// <base>.fftw), a (mean of REPEAT exposures into <base>.fftw), m (REPEAT
// exposures, each into <base>_f.NNN). WINDOW: r rectangle, h Hanning. FILE
// arguments that are folders stand for their *.dat files in name order.

#include <dirent.h>
#include <fcntl.h>
#include <fftw3.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

struct Workspace {
    int n = 0;
    double* in = nullptr;
    fftw_complex* out = nullptr;
    fftw_plan plan = nullptr;
    std::vector<double> weights;
    std::vector<double> sums;
    std::vector<std::int16_t> samples;
    std::vector<std::int16_t> output;
};

bool ReadExposure(int fd, std::int64_t first, Workspace& w) {
    const std::size_t bytes = static_cast<std::size_t>(w.n) * 2;
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t got = pread(fd, reinterpret_cast<char*>(w.samples.data()) + done, bytes - done,
                                  static_cast<off_t>(first * 2 + static_cast<std::int64_t>(done)));
        if (got <= 0) return false;
        done += static_cast<std::size_t>(got);
    }
    for (int i = 0; i < w.n; ++i) w.in[i] = w.samples[i];
    if (!w.weights.empty()) {
        for (int i = 0; i < w.n; ++i) w.in[i] *= w.weights[i];
    }
    return true;
}

// Magnitudes of bins 0..N/2-1 with the 2/N scaling, into `to` (N/2 values).
void Magnitudes(const Workspace& w, double* to) {
    const double scale = 2.0 / w.n;
    for (int k = 0; k < w.n / 2; ++k) to[k] = std::sqrt(w.out[k][0] * w.out[k][0] + w.out[k][1] * w.out[k][1]) * scale;
}

bool WriteValues(const std::string& path, const double* values, int count, Workspace& w) {
    for (int i = 0; i < count; ++i) {
        double x = values[i];
        if (std::isnan(x)) x = 0;
        x = std::clamp(x, -32767.0, 32767.0);
        w.output[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(std::nearbyint(x));
    }
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    const std::size_t bytes = static_cast<std::size_t>(count) * 2;
    const bool ok = write(fd, w.output.data(), bytes) == static_cast<ssize_t>(bytes);
    return close(fd) == 0 && ok;
}

std::string BaseOf(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
    return path.substr(0, dot);
}

// 0 when done, 1 when the file is too short or cannot be read or written.
int Transform(const std::string& path, const Job& job, Workspace& w) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 1;
    const off_t size = lseek(fd, 0, SEEK_END);
    const std::int64_t length = size / 2;
    const int half = w.n / 2;
    int status = 0;
    if (job.method == 's') {
        if (length < w.n || !ReadExposure(fd, 0, w)) {
            status = 1;
        } else {
            fftw_execute(w.plan);
            Magnitudes(w, w.sums.data());
            if (!WriteValues(BaseOf(path) + ".fftw", w.sums.data(), half, w)) status = 1;
        }
    } else {
        const std::int64_t step = (length - w.n) / (job.repeat - 1);
        if (step <= 0) {
            status = 1;
        } else if (job.method == 'a') {
            std::vector<double>& sums = w.sums;
            std::vector<double> spectrum(static_cast<std::size_t>(half));
            for (int k = 0; k < job.repeat && status == 0; ++k) {
                if (!ReadExposure(fd, k * step, w)) {
                    status = 1;
                    break;
                }
                fftw_execute(w.plan);
                Magnitudes(w, k == 0 ? sums.data() : spectrum.data());
                if (k > 0) {
                    for (int i = 0; i < half; ++i)
                        sums[static_cast<std::size_t>(i)] += spectrum[static_cast<std::size_t>(i)];
                }
            }
            for (int i = 0; i < half; ++i) sums[static_cast<std::size_t>(i)] /= job.repeat;
            if (status == 0 && !WriteValues(BaseOf(path) + ".fftw", sums.data(), half, w)) status = 1;
        } else {
            const std::string base = BaseOf(path) + "_f.";
            char number[16];
            for (int k = 0; k < job.repeat && status == 0; ++k) {
                if (!ReadExposure(fd, k * step, w)) {
                    status = 1;
                    break;
                }
                fftw_execute(w.plan);
                Magnitudes(w, w.sums.data());
                std::snprintf(number, sizeof number, "%03d", k + 1);
                if (!WriteValues(base + number, w.sums.data(), half, w)) status = 1;
            }
        }
    }
    close(fd);
    return status;
}

void AddInputs(const char* argument, std::vector<std::string>& files) {
    DIR* dir = opendir(argument);
    if (dir == nullptr) {
        files.emplace_back(argument);
        return;
    }
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dat") == 0) names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) files.push_back(std::string(argument) + "/" + name);
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
    const char* wisdom = argv[5];
    if (job.width < 2 || (job.width & (job.width - 1)) != 0 || std::strchr("sam", job.method) == nullptr ||
        (job.method != 's' && job.repeat < 2)) {
        std::fprintf(stderr, "bad job\n");
        return 2;
    }

    Workspace w;
    w.n = job.width;
    w.in = fftw_alloc_real(static_cast<std::size_t>(w.n));
    w.out = fftw_alloc_complex(static_cast<std::size_t>(w.n / 2 + 1));
    fftw_import_wisdom_from_filename(wisdom);
    w.plan = fftw_plan_dft_r2c_1d(w.n, w.in, w.out, FFTW_MEASURE);
    fftw_export_wisdom_to_filename(wisdom);
    if (job.window == 'h') {
        w.weights.resize(static_cast<std::size_t>(w.n));
        for (int i = 0; i < w.n; ++i) w.weights[static_cast<std::size_t>(i)] = 1 - std::cos(i * TwoPi15 / w.n);
    }
    w.sums.resize(static_cast<std::size_t>(w.n / 2));
    w.samples.resize(static_cast<std::size_t>(w.n));
    w.output.resize(static_cast<std::size_t>(w.n / 2));

    std::vector<std::string> files;
    for (int i = 6; i < argc; ++i) AddInputs(argv[i], files);
    int failed = 0;
    for (const std::string& file : files) failed += Transform(file, job, w);

    fftw_destroy_plan(w.plan);
    fftw_free(w.in);
    fftw_free(w.out);
    if (failed != 0) std::fprintf(stderr, "%d of %zu files failed\n", failed, files.size());
    return failed == 0 ? 0 : 1;
}
