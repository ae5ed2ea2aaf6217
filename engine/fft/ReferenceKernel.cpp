#include "engine/fft/ReferenceKernel.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "engine/NumericConstants.h"

namespace tavox {

namespace {

using Index = std::int32_t;

// One stage over n elements: the butterflies (j, j + d) of span 2d, with the
// twiddle of index k at [k * stride] of the table.
struct Stage {
    double* re;
    double* im;
    Index n;
    Index d;
    Index stride;
    const double* twRe;
    const double* twIm;
};

// One pass over every butterfly of twiddle index k in the stage.
// `product` forms (t_re, t_im) from the lower element's pair.
template <class Product>
void Butterflies(const Stage& stage, Index k, Product product) noexcept {
    double* const re = stage.re;
    double* const im = stage.im;
    const Index d = stage.d;
    for (Index j = k; j < stage.n; j += 2 * d) {
        double tRe;
        double tIm;
        product(re[j + d], im[j + d], tRe, tIm);
        re[j + d] = re[j] - tRe;
        im[j + d] = im[j] - tIm;
        re[j] = re[j] + tRe;
        im[j] = im[j] + tIm;
    }
}

void GeneralRange(const Stage& stage, Index first, Index last) noexcept {
    for (Index k = first; k <= last; ++k) {
        const double wRe = stage.twRe[k * stage.stride];
        const double wIm = stage.twIm[k * stage.stride];
        Butterflies(stage, k, [wRe, wIm](double xRe, double xIm, double& tRe, double& tIm) {
            tRe = wRe * xRe - wIm * xIm;
            tIm = wRe * xIm + wIm * xRe;
        });
    }
}

}  // namespace

void BitReverse(std::span<double> re) noexcept {
    const auto n = static_cast<Index>(re.size());
    Index j = 0;
    for (Index i = 0; i <= n - 2; ++i) {
        if (i < j) std::swap(re[i], re[j]);
        Index q = n / 2;
        while (q > 0 && j >= q) {
            j -= q;
            q /= 2;
        }
        j += q;
    }
}

bool FftReference(std::span<double> re, std::span<double> im, std::span<const double> twiddleRe,
                  std::span<const double> twiddleIm, int stages, bool conjugateOutput) noexcept {
    if (stages < 1 || stages > 30) return false;
    const Index n = Index{1} << stages;
    if (re.size() != static_cast<std::size_t>(n) || im.size() != re.size()) return false;
    if (twiddleRe.size() < static_cast<std::size_t>(n / 2) || twiddleIm.size() < static_cast<std::size_t>(n / 2))
        return false;

    BitReverse(re);

    double* const r = re.data();
    double* const i = im.data();
    const double* const twRe = twiddleRe.data();
    const double* const twIm = twiddleIm.data();

    Index h = n;
    Index span = 1;
    for (int s = 1; s <= stages; ++s) {
        h /= 2;
        const Index d = span;
        span *= 2;
        const Index quarter = d / 4;
        const Index half = d / 2;
        const Index threeQuarters = d - d / 4;
        const Stage stage{r, i, n, d, h, twRe, twIm};

        Butterflies(stage, 0, [](double xRe, double xIm, double& tRe, double& tIm) {
            tRe = xRe;
            tIm = xIm;
        });
        GeneralRange(stage, 1, quarter - 1);
        if (s >= 3) {
            Butterflies(stage, quarter, [](double xRe, double xIm, double& tRe, double& tIm) {
                tRe = (xIm + xRe) * Sqrt05;
                tIm = (xIm - xRe) * Sqrt05;
            });
        }
        GeneralRange(stage, quarter + 1, half - 1);
        if (s >= 2) {
            Butterflies(stage, half, [](double xRe, double xIm, double& tRe, double& tIm) {
                tRe = xIm;
                tIm = -xRe;
            });
        }
        GeneralRange(stage, half + 1, threeQuarters - 1);
        if (s >= 3) {
            Butterflies(stage, threeQuarters, [](double xRe, double xIm, double& tRe, double& tIm) {
                tRe = (xRe - xIm) * (-Sqrt05);
                tIm = (xIm + xRe) * (-Sqrt05);
            });
        }
        GeneralRange(stage, threeQuarters + 1, d - 1);
    }

    // Each bin doubled, then times 1/N; the imaginary parts times -1/N when conjugated.
    double imagScale = 1.0 / n;
    if (conjugateOutput) imagScale = -imagScale;
    const double realScale = std::fabs(imagScale);
    for (Index k = 0; k < n; ++k) {
        r[k] = (r[k] + r[k]) * realScale;
        i[k] = (i[k] + i[k]) * imagScale;
    }
    return true;
}

}  // namespace tavox
