#include "ball/PatternCorrelation.h"

#include <fftw3.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace viren::wh {

namespace {

// FFTW's planner and plan destruction share global state.
std::mutex& PlannerLock() {
  static std::mutex lock;
  return lock;
}

[[noreturn]] void FailAllocation() {
  std::fputs("ERROR in createWHSetup: can't allocate setup.\n", stdout);
  std::fflush(stdout);
  std::_Exit(1);
}

// The smallest size >= n whose only prime factors are 2, 3, 5 and 7 (fast
// transforms with the usual error behaviour; no large-prime algorithms).
int SmoothSize(int n) {
  for (int m = n;; ++m) {
    int r = m;
    for (const int f : {2, 3, 5, 7})
      while (r % f == 0) r /= f;
    if (r == 1) return m;
  }
}

}  // namespace

struct CrossCorrelation::Plans {
  double* real = nullptr;                   // fftRows x fftCols
  fftw_complex* spectrum = nullptr;         // fftRows x (fftCols / 2 + 1)
  fftw_complex* patternSpectrum = nullptr;  // conjugate, divided by the size
  fftw_plan forward = nullptr;
  fftw_plan backward = nullptr;

  ~Plans() {
    const std::lock_guard<std::mutex> hold(PlannerLock());
    if (forward) fftw_destroy_plan(forward);
    if (backward) fftw_destroy_plan(backward);
    fftw_free(real);
    fftw_free(spectrum);
    fftw_free(patternSpectrum);
  }
};

CrossCorrelation::CrossCorrelation(int rows, int cols, int patternSize)
    : rows_(rows),
      cols_(cols),
      patternSize_(patternSize),
      fftRows_(SmoothSize(rows)),
      fftCols_(SmoothSize(cols)),
      plans_(new (std::nothrow) Plans) {
  if (!plans_) FailAllocation();
  const std::size_t reals = static_cast<std::size_t>(fftRows_) * fftCols_;
  const std::size_t complexes = static_cast<std::size_t>(fftRows_) * (fftCols_ / 2 + 1);
  plans_->real = fftw_alloc_real(reals);
  plans_->spectrum = fftw_alloc_complex(complexes);
  plans_->patternSpectrum = fftw_alloc_complex(complexes);
  const std::size_t windows =
      static_cast<std::size_t>(rows - patternSize + 1) * (cols - patternSize + 1);
  result_.reset(new (std::nothrow) double[windows]);
  if (!plans_->real || !plans_->spectrum || !plans_->patternSpectrum || !result_) FailAllocation();
  std::memset(plans_->patternSpectrum, 0, sizeof(fftw_complex) * complexes);
  const std::lock_guard<std::mutex> hold(PlannerLock());
  // Estimated plans: made in microseconds, without touching the buffers.
  plans_->forward = fftw_plan_dft_r2c_2d(fftRows_, fftCols_, plans_->real, plans_->spectrum,
                                         FFTW_ESTIMATE | FFTW_DESTROY_INPUT);
  plans_->backward = fftw_plan_dft_c2r_2d(fftRows_, fftCols_, plans_->spectrum, plans_->real,
                                          FFTW_ESTIMATE | FFTW_DESTROY_INPUT);
  if (!plans_->forward || !plans_->backward) FailAllocation();
}

CrossCorrelation::~CrossCorrelation() = default;

std::unique_ptr<CrossCorrelation> CrossCorrelation::Make(int rows, int cols, int patternSize) {
  std::unique_ptr<CrossCorrelation> c(new (std::nothrow) CrossCorrelation(rows, cols, patternSize));
  if (!c) FailAllocation();
  return c;
}

void CrossCorrelation::SetPattern(const std::uint8_t* pattern) {
  const int p = patternSize_;
  double* real = plans_->real;
  std::memset(real, 0, sizeof(double) * static_cast<std::size_t>(fftRows_) * fftCols_);
  double squares = 0;
  for (int i = 0; i < p; ++i)
    for (int j = 0; j < p; ++j) {
      const double v = pattern[i * p + j];
      real[static_cast<std::size_t>(i) * fftCols_ + j] = v;
      squares += v * v;
    }
  patternNorm_ = std::sqrt(squares);
  fftw_execute(plans_->forward);
  // Correlation: the source's spectrum times the pattern's conjugate, and the
  // backward transform's factor (the size) taken out here once.
  const double scale = 1.0 / (static_cast<double>(fftRows_) * fftCols_);
  const std::size_t complexes = static_cast<std::size_t>(fftRows_) * (fftCols_ / 2 + 1);
  for (std::size_t k = 0; k < complexes; ++k) {
    plans_->patternSpectrum[k][0] = plans_->spectrum[k][0] * scale;
    plans_->patternSpectrum[k][1] = -plans_->spectrum[k][1] * scale;
  }
}

const double* CrossCorrelation::Compute(const std::uint8_t* source, double& errorBound) {
  double* real = plans_->real;
  double squares = 0;
  for (int r = 0; r < rows_; ++r) {
    double* to = real + static_cast<std::size_t>(r) * fftCols_;
    const std::uint8_t* from = source + static_cast<std::size_t>(r) * cols_;
    std::int64_t rowSquares = 0;
    for (int c = 0; c < cols_; ++c) {
      to[c] = from[c];
      rowSquares += static_cast<std::int32_t>(from[c]) * from[c];
    }
    for (int c = cols_; c < fftCols_; ++c) to[c] = 0;
    squares += static_cast<double>(rowSquares);
  }
  for (int r = rows_; r < fftRows_; ++r)
    std::memset(real + static_cast<std::size_t>(r) * fftCols_, 0, sizeof(double) * fftCols_);
  fftw_execute(plans_->forward);
  fftw_complex* __restrict x = plans_->spectrum;
  const fftw_complex* __restrict y = plans_->patternSpectrum;
  const std::size_t complexes = static_cast<std::size_t>(fftRows_) * (fftCols_ / 2 + 1);
  for (std::size_t k = 0; k < complexes; ++k) {
    const double re = x[k][0] * y[k][0] - x[k][1] * y[k][1];
    const double im = x[k][0] * y[k][1] + x[k][1] * y[k][0];
    x[k][0] = re;
    x[k][1] = im;
  }
  fftw_execute(plans_->backward);
  // No wrap-around: a window's pixels lie inside the source, which fits the
  // transform, so real[r][c] is sum(pattern(i, j) x source(r + i, c + j)).
  const int windowRows = rows_ - patternSize_ + 1;
  const int windowCols = cols_ - patternSize_ + 1;
  for (int r = 0; r < windowRows; ++r)
    std::memcpy(result_.get() + static_cast<std::size_t>(r) * windowCols,
                real + static_cast<std::size_t>(r) * fftCols_, sizeof(double) * windowCols);
  // Rounding error: a transform of length N in log2 N stages has a relative
  // 2-norm error g = L eta / (1 - L eta), with eta the error of one stage
  // (under 8 units of roundoff, twiddle factors included). Two forward
  // transforms, the products (and the scale) and the backward transform give
  // max |error| <= ||error||_2 <= sqrt(N) (4 g + 8 u) ||source||_2
  // ||pattern||_2. FFTW's mixed-radix codelets are not the plain radix-2
  // transform that bound is proven for: it is taken 64 times over, which
  // still leaves it far below one grey level squared on any picture.
  const double u = std::ldexp(1.0, -53);
  const double n = static_cast<double>(fftRows_) * fftCols_;
  const double stages = std::bit_width(static_cast<unsigned>(fftRows_)) +
                        std::bit_width(static_cast<unsigned>(fftCols_));
  const double eta = 8 * u;
  const double g = stages * eta / (1 - stages * eta);
  errorBound = 64 * std::sqrt(n) * (4 * g + 8 * u) * std::sqrt(squares) * patternNorm_;
  return result_.get();
}

}  // namespace viren::wh
