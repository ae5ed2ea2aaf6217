#include "engine/fft/RealTransform.h"

#include <fcntl.h>
#include <fftw3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace tavox {
namespace {

constexpr int MinExponent = 7;
constexpr int MaxExponent = 16;

// The folder of the wisdom file; empty when neither variable gives one.
std::string WisdomFolder() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache != nullptr && cache[0] == '/') return std::string(cache) + "/tavox";
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return std::string(home) + "/.cache/tavox";
    return {};
}

bool MeasureAsked() {
    const char* plan = std::getenv("TAVOX_FFT_PLAN");
    return plan != nullptr && std::strcmp(plan, "measure") == 0;
}

void MakeFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        ::mkdir(path.substr(0, slash).c_str(), 0755);
    }
    ::mkdir(path.c_str(), 0755);
}

// Writes the wisdom to a temporary file beside the old one and renames it
// over, so that a reader sees the old wisdom or the new, never a part.
void SaveWisdom(const std::string& folder) {
    if (folder.empty()) return;
    char* text = fftw_export_wisdom_to_string();
    if (text == nullptr) return;
    MakeFolders(folder);
    std::string temporary = folder + "/.fftw-wisdom.XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    bool written = fd >= 0;
    if (written) {
        const std::size_t size = std::strlen(text);
        written = ::write(fd, text, size) == static_cast<ssize_t>(size);
        written = ::close(fd) == 0 && written;
        written = written && std::rename(temporary.c_str(), (folder + "/fftw-wisdom").c_str()) == 0;
        if (!written) ::unlink(temporary.c_str());
    }
    fftw_free(text);
}

// The aligned buffers of one thread, grown once per change of width.
struct ThreadBuffers {
    std::size_t points = 0;
    double* in = nullptr;
    fftw_complex* out = nullptr;

    ThreadBuffers() = default;
    ThreadBuffers(const ThreadBuffers&) = delete;
    ThreadBuffers& operator=(const ThreadBuffers&) = delete;
    ~ThreadBuffers() { Release(); }

    void Release() noexcept {
        fftw_free(in);
        fftw_free(out);
        in = nullptr;
        out = nullptr;
        points = 0;
    }

    bool Fit(std::size_t n) noexcept {
        if (points == n) return true;
        Release();
        in = fftw_alloc_real(n);
        out = fftw_alloc_complex(n / 2 + 1);
        if (in == nullptr || out == nullptr) {
            Release();
            return false;
        }
        points = n;
        return true;
    }
};

}  // namespace

RealTransform::RealTransform(std::size_t points, void* plan) noexcept : points_(points), plan_(plan) {}

RealTransform::~RealTransform() {
    fftw_destroy_plan(static_cast<fftw_plan>(plan_));
}

std::shared_ptr<const RealTransform> RealTransform::For(std::size_t points) {
    static std::mutex mutex;
    static std::array<std::shared_ptr<const RealTransform>, MaxExponent + 1> planned;
    static bool wisdomRead = false;
    if (!std::has_single_bit(points)) return nullptr;
    const int exponent = std::countr_zero(points);
    if (exponent < MinExponent || exponent > MaxExponent) return nullptr;

    const std::lock_guard lock(mutex);
    auto& held = planned[static_cast<std::size_t>(exponent)];
    if (held) return held;
    const std::string folder = WisdomFolder();
    if (!wisdomRead) {
        wisdomRead = true;
        if (!folder.empty()) fftw_import_wisdom_from_filename((folder + "/fftw-wisdom").c_str());
    }
    ThreadBuffers scratch;
    if (!scratch.Fit(points)) throw std::bad_alloc();
    const int n = static_cast<int>(points);
    fftw_plan plan = fftw_plan_dft_r2c_1d(n, scratch.in, scratch.out, FFTW_MEASURE | FFTW_WISDOM_ONLY);
    if (plan == nullptr && MeasureAsked()) {
        plan = fftw_plan_dft_r2c_1d(n, scratch.in, scratch.out, FFTW_MEASURE);
        if (plan != nullptr) SaveWisdom(folder);
    }
    if (plan == nullptr) plan = fftw_plan_dft_r2c_1d(n, scratch.in, scratch.out, FFTW_ESTIMATE);
    if (plan == nullptr) return nullptr;
    held = std::shared_ptr<const RealTransform>(new RealTransform(points, plan));
    return held;
}

bool RealTransform::Transform(std::span<double> re, std::span<double> im, bool conjugateOutput) const noexcept {
    thread_local ThreadBuffers buffers;
    const std::size_t n = points_;
    if (re.size() != n || im.size() != n || !buffers.Fit(n)) return false;
    std::memcpy(buffers.in, re.data(), n * sizeof(double));
    fftw_execute_dft_r2c(static_cast<fftw_plan>(plan_), buffers.in, buffers.out);
    // Bins doubled then times 1/N, as the exact kernel forms them.
    const double realScale = 1.0 / static_cast<double>(n);
    const double imagScale = conjugateOutput ? -realScale : realScale;
    const fftw_complex* out = buffers.out;
    for (std::size_t k = 0; k < n / 2; ++k) {
        re[k] = (out[k][0] + out[k][0]) * realScale;
        im[k] = (out[k][1] + out[k][1]) * imagScale;
    }
    return true;
}

}  // namespace tavox
