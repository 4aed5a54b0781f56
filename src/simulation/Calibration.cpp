#include "simulation/Calibration.h"

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "core/DriveTypes.h"
#include "settings/Settings.h"

namespace viren {

double FitCircleRadius(const std::vector<CalibrationSample>& points) {
  if (points.size() < 3) return 0;
  // Centred on the mean, so that the sums stay small.
  double mx = 0, my = 0;
  for (const auto& p : points) mx += p.x, my += p.y;
  mx /= points.size();
  my /= points.size();
  // x^2 + y^2 + D x + E y + F = 0 in the least-squares sense: the normal
  // equations of the three unknowns.
  std::array<std::array<double, 4>, 3> m{};
  for (const auto& p : points) {
    const double x = p.x - mx, y = p.y - my, z = x * x + y * y;
    const double row[3] = {x, y, 1};
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) m[i][j] += row[i] * row[j];
      m[i][3] -= row[i] * z;
    }
  }
  // Gaussian elimination with partial pivoting.
  for (int c = 0; c < 3; ++c) {
    int pivot = c;
    for (int r = c + 1; r < 3; ++r)
      if (std::fabs(m[r][c]) > std::fabs(m[pivot][c])) pivot = r;
    if (std::fabs(m[pivot][c]) < 1e-9) return 0;  // on a straight line
    std::swap(m[c], m[pivot]);
    for (int r = 0; r < 3; ++r) {
      if (r == c) continue;
      const double f = m[r][c] / m[c][c];
      for (int k = c; k < 4; ++k) m[r][k] -= f * m[c][k];
    }
  }
  const double d = m[0][3] / m[0][0], e = m[1][3] / m[1][1], f = m[2][3] / m[2][2];
  const double r2 = (d * d + e * e) / 4 - f;
  return r2 > 0 ? std::sqrt(r2) : 0;
}

CalibrationResult MeasureCalibration(const std::vector<CalibrationSample>& samples, int settleMs) {
  // The samples of one part after it has settled.
  const auto settled = [&](CalibrationPhase phase) {
    std::vector<CalibrationSample> part;
    std::int64_t begin = -1;
    for (const auto& s : samples) {
      if (s.phase != phase) continue;
      if (begin < 0) begin = s.tMs;
      if (s.tMs >= begin + settleMs) part.push_back(s);
    }
    return part;
  };
  CalibrationResult r;
  const auto straight = settled(CalibrationPhase::Straight);
  const auto left = settled(CalibrationPhase::Left);
  const auto right = settled(CalibrationPhase::Right);
  constexpr size_t kEnough = 5;
  if (straight.size() < kEnough || left.size() < kEnough || right.size() < kEnough) return r;
  const auto& first = straight.front();
  const auto& last = straight.back();
  if (last.tMs <= first.tMs) return r;
  r.speed = std::hypot(last.x - first.x, last.y - first.y) * 1000.0 /
            static_cast<double>(last.tMs - first.tMs);
  r.radiusLeft = FitCircleRadius(left);
  r.radiusRight = FitCircleRadius(right);
  r.valid = r.speed > 0 && r.radiusLeft > 0 && r.radiusRight > 0;
  return r;
}

bool StoreCalibration(const Settings& settings, const CalibrationResult& result, int stepMs) {
  if (!result.valid || stepMs <= 0) return false;
  char position[32], direction[32];
  std::snprintf(position, sizeof position, "%.3f", result.PositionStep(stepMs));
  std::snprintf(direction, sizeof direction, "%.4f", result.DirectionStep(stepMs));
  const bool a = settings.WriteSettingString(keys::POSITION_STEP.section, keys::POSITION_STEP.key,
                                             position, settings.optionFile());
  const bool b = settings.WriteSettingString(keys::DIRECTION_STEP.section, keys::DIRECTION_STEP.key,
                                             direction, settings.optionFile());
  return a && b;
}

CalibrationRun::CalibrationRun(Clock& clock, DriveCommander& drive, const CarState& car)
    : clock_(clock), drive_(drive), car_(car), wake_(clock.MakeEvent()) {}

CalibrationRun::~CalibrationRun() {
  Cancel();
  Wait();
}

void CalibrationRun::Start(const Timing& timing) {
  Wait();  // a previous manoeuvre has let go of the car
  {
    std::lock_guard lock(samplesMutex_);
    samples_.clear();
    finished_ = false;
  }
  timing_ = timing;
  cancelled_ = false;
  seen_ = false;
  wake_->Reset();
  phase_ = CalibrationPhase::Waiting;
  running_ = true;
  thread_ = clock_.StartThread([this] { Manoeuvre(); });
}

void CalibrationRun::Cancel() {
  cancelled_ = true;
  wake_->Set();
}

void CalibrationRun::Wait() {
  clock_.Join(thread_);
}

bool CalibrationRun::Hold(int ms) {
  const std::int64_t until = clock_.NowMs() + ms;
  while (!cancelled_) {
    const std::int64_t left = until - clock_.NowMs();
    if (left <= 0) return true;
    wake_->WaitFor(std::chrono::milliseconds(left));
  }
  return false;
}

void CalibrationRun::Release() {
  // Stop first, then let go of the steering: nothing stays pressed.
  drive_.SendDriveCommand(DRIVE_STOP);
  ReleaseAllButtons(drive_);
}

void CalibrationRun::Manoeuvre() {
  // The manoeuvre's clock starts with the camera's first frame.
  const std::int64_t giveUp = clock_.NowMs() + timing_.waitForCarMs;
  while (!cancelled_ && !seen_ && clock_.NowMs() < giveUp)
    wake_->WaitFor(std::chrono::milliseconds(20));
  bool ok = seen_ && !cancelled_;
  if (ok) {
    drive_.SendDriveCommand(DRIVE_STRAIGHT);
    drive_.SendDriveCommand(DRIVE_FORWARD);
    phase_ = CalibrationPhase::Straight;
    ok = Hold(timing_.straightMs);
  }
  if (ok) {
    drive_.SendDriveCommand(DRIVE_LEFT);
    phase_ = CalibrationPhase::Left;
    ok = Hold(timing_.lockMs);
  }
  if (ok) {
    drive_.SendDriveCommand(DRIVE_RIGHT);
    phase_ = CalibrationPhase::Right;
    ok = Hold(timing_.lockMs);
  }
  phase_ = CalibrationPhase::Done;
  Release();
  {
    std::lock_guard lock(samplesMutex_);
    finished_ = ok;
  }
  running_ = false;
}

void CalibrationRun::OnFrame() {
  if (!running_) return;
  if (!seen_) {
    seen_ = true;
    wake_->Set();
  }
  const CalibrationPhase phase = phase_;
  if (phase == CalibrationPhase::Waiting || phase == CalibrationPhase::Done) return;
  const Point p = car_.carLayoutPosition;
  std::lock_guard lock(samplesMutex_);
  // A frame that did not find the car leaves the position as it was.
  if (!samples_.empty() && samples_.back().x == p.x && samples_.back().y == p.y) return;
  samples_.push_back({clock_.NowMs(), double(p.x), double(p.y), phase});
}

CalibrationResult CalibrationRun::Result() const {
  std::lock_guard lock(samplesMutex_);
  if (!finished_) return {};
  return MeasureCalibration(samples_, timing_.settleMs);
}

std::vector<CalibrationSample> CalibrationRun::Samples() const {
  std::lock_guard lock(samplesMutex_);
  return samples_;
}

}  // namespace viren
