#include "engine/fft/ReferenceKernel.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "engine/NumericConstants.h"

namespace tavox {

namespace {

using Index = std::int32_t;

// One pass over every butterfly (j, j + d) of twiddle index k in a stage of span L.
// `product` forms (t_re, t_im) from the lower element's pair.
template <class Product>
void Butterflies(double* re, double* im, Index n, Index k, Index d, Index span, Product product) noexcept {
    for (Index j = k; j < n; j += span) {
        double tRe;
        double tIm;
        product(re[j + d], im[j + d], tRe, tIm);
        re[j + d] = re[j] - tRe;
        im[j + d] = im[j] - tIm;
        re[j] = re[j] + tRe;
        im[j] = im[j] + tIm;
    }
}

void GeneralRange(double* re, double* im, Index n, Index first, Index last, Index d, Index span, Index stride,
                  const double* twRe, const double* twIm) noexcept {
    for (Index k = first; k <= last; ++k) {
        const double wRe = twRe[k * stride];
        const double wIm = twIm[k * stride];
        Butterflies(re, im, n, k, d, span, [wRe, wIm](double xRe, double xIm, double& tRe, double& tIm) {
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

        Butterflies(r, i, n, 0, d, span, [](double xRe, double xIm, double& tRe, double& tIm) {
            tRe = xRe;
            tIm = xIm;
        });
        GeneralRange(r, i, n, 1, quarter - 1, d, span, h, twRe, twIm);
        if (s >= 3) {
            Butterflies(r, i, n, quarter, d, span, [](double xRe, double xIm, double& tRe, double& tIm) {
                tRe = (xIm + xRe) * Sqrt05;
                tIm = (xIm - xRe) * Sqrt05;
            });
        }
        GeneralRange(r, i, n, quarter + 1, half - 1, d, span, h, twRe, twIm);
        if (s >= 2) {
            Butterflies(r, i, n, half, d, span, [](double xRe, double xIm, double& tRe, double& tIm) {
                tRe = xIm;
                tIm = -xRe;
            });
        }
        GeneralRange(r, i, n, half + 1, threeQuarters - 1, d, span, h, twRe, twIm);
        if (s >= 3) {
            Butterflies(r, i, n, threeQuarters, d, span, [](double xRe, double xIm, double& tRe, double& tIm) {
                tRe = (xRe - xIm) * (-Sqrt05);
                tIm = (xIm + xRe) * (-Sqrt05);
            });
        }
        GeneralRange(r, i, n, threeQuarters + 1, d - 1, d, span, h, twRe, twIm);
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
