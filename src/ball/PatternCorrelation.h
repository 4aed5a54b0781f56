#pragma once

#include <cstdint>
#include <memory>

// The cross term sum(pattern x window) of every window at once, by FFT
// correlation (FFTW, double precision), with a bound of its rounding error.
// The distance phase of the search uses it when very many windows would
// otherwise need a full distance: SSD = window squares - 2 cross + pattern
// squares, and only the windows whose approximate SSD could still be the
// answer get an exact one.

namespace viren::wh {

class CrossCorrelation {
 public:
  // Plans and buffers for a rows x cols source and a P x P pattern, made
  // here once (FFTW's planner is not thread safe: plans are made and
  // destroyed under one lock). Ends the process with the set-up's error
  // line when the memory cannot be had.
  CrossCorrelation(int rows, int cols, int patternSize);
  ~CrossCorrelation();
  // The same on the heap, with the same error line when it cannot be had.
  static std::unique_ptr<CrossCorrelation> Make(int rows, int cols, int patternSize);
  CrossCorrelation(const CrossCorrelation&) = delete;
  CrossCorrelation& operator=(const CrossCorrelation&) = delete;

  // The pattern (P x P bytes): its spectrum is kept.
  void SetPattern(const std::uint8_t* pattern);
  // Every window's cross term, (rows - P + 1) x (cols - P + 1) values, row
  // after row, from the rows x cols source bytes. Returns a bound of
  // |value - exact cross term| that holds for every window.
  const double* Compute(const std::uint8_t* source, double& errorBound);

 private:
  struct Plans;
  int rows_;
  int cols_;
  int patternSize_;
  int fftRows_;  // the transform's size: at least the source's, without large prime factors
  int fftCols_;
  double patternNorm_ = 0;  // sqrt(sum of squared pattern greys)
  std::unique_ptr<Plans> plans_;
  std::unique_ptr<double[]> result_;  // one value per window
};

}  // namespace viren::wh
