#include "simulation/Simulator.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include <cstdlib>

#include "core/DriveTypes.h"
#include "platform/ThreadPriority.h"
#include "settings/IniFile.h"
#include "settings/Settings.h"

namespace viren {

namespace {

// The text of a [SIMULATION] key: option.ini's when it has one, else VIREN.ini's.
std::string SimulationText(const Settings& settings, const SettingKey& k) {
  constexpr std::string_view kAbsent = "\x01";
  const std::string text =
      settings.ReadSettingString(k.section, k.key, kAbsent, settings.optionFile());
  if (settings.optionFile().empty() || text == kAbsent || text.empty())
    return settings.ReadString(k);
  return text;
}

float SimulationReal(const Settings& settings, const SettingKey& k) {
  return static_cast<float>(std::strtod(SimulationText(settings, k).c_str(), nullptr));
}

int SimulationInt(const Settings& settings, const SettingKey& k) {
  return ParseProfileInt(SimulationText(settings, k));
}

}  // namespace

SimulationSettings SimulationSettings::Load(const Settings& settings) {
  SimulationSettings s;
  s.speedMs = SimulationInt(settings, keys::SIMULATION_SPEED);
  s.positionStep = SimulationReal(settings, keys::POSITION_STEP);
  s.directionStep = SimulationReal(settings, keys::DIRECTION_STEP);
  s.turbo = SimulationReal(settings, keys::SIM_TURBO);
  s.roboQ = SimulationReal(settings, keys::SIM_ROBOQ);
  s.cameraErrors = SimulationInt(settings, keys::CAMERA_ERRORS) != 0;
  s.cameraNoise = std::max(0.0f, SimulationReal(settings, keys::CAMERA_NOISE));
  s.cameraDropPercent = std::clamp(SimulationInt(settings, keys::CAMERA_DROP), 0, 100);
  s.cameraDelayMs = std::max(0, SimulationInt(settings, keys::CAMERA_DELAY));
  s.cameraRate = std::clamp(SimulationInt(settings, keys::CAMERA_RATE), 1, 1000);
  s.cameraSeed = static_cast<std::uint32_t>(SimulationInt(settings, keys::CAMERA_SEED));
  return s;
}

Simulator::Simulator(EngineState& engine, CarState& car, DriveCommander& drive,
                     ProgramRunner& runner, Clock& clock)
    : engine_(engine),
      car_(car),
      drive_(drive),
      runner_(runner),
      clock_(clock),
      event_(clock.MakeEvent()) {}

Simulator::~Simulator() {
  StopSimulation();
}

void Simulator::LoadSimulationSettings(const Settings& settings) {
  settings_ = SimulationSettings::Load(settings);
  engine_.cameraErrors = settings_.cameraErrors;
}

void Simulator::ToggleSimulation() {
  if (engine_.simulating)
    StopSimulation();
  else
    StartSimulation();
}

void Simulator::StartSimulation() {
  std::lock_guard lock(lifecycle_);
  if (engine_.simulating) return;
  clock_.Join(thread_);  // a previous run's thread has finished its last step
  if (engine_.viewMode == VIEW_PROGRAM) view_->LeaveProgramEditor();
  engine_.viewMode = VIEW_LAYOUT;
  engine_.overlayMode = OVERLAY_CAR_FIGURE;
  view_->FitFrameToClient(kLayoutWidth, kLayoutHeight);
  engine_.clientWidth = kLayoutWidth;
  engine_.clientHeight = kLayoutHeight;
  ResetCar();
  cameraRandom_.seed(settings_.cameraSeed);
  cameraHistory_.clear();
  nextFrameMs_ = static_cast<double>(clock_.NowMs());
  event_->Reset();
  // From now on no command reaches the device: the real car is let go of
  // first, or it would drive on with nobody able to stop it.
  if (drive_.DriveState() & (DRIVE_STATE_MOVING | DRIVE_STATE_STEERING | DRIVE_STATE_TURBO))
    ReleaseAllButtons(drive_);
  engine_.simulating = true;
  thread_ = clock_.StartThread([this] { Thread(); });
}

void Simulator::StopSimulation() {
  engine_.simulating = false;
  event_->Set();
  std::lock_guard lock(lifecycle_);
  clock_.Join(thread_);
}

void Simulator::ResetCar() {
  const Point centre{engine_.clientWidth / 2, engine_.clientHeight / 2};
  std::lock_guard lock(poseMutex_);
  pose_ = SimulatedPose{double(centre.x), double(centre.y), 0.0};
  car_.carDirection = 0.0;
  car_.carPosition = centre;
  car_.carLayoutPosition = centre;
  car_.lastDirection = 0.0;
}

void Simulator::PlaceCar(double x, double y, double heading) {
  std::lock_guard lock(poseMutex_);
  pose_ = SimulatedPose{x, y, heading};
}

SimulatedPose Simulator::Pose() const {
  std::lock_guard lock(poseMutex_);
  return pose_;
}

void Simulator::Thread() {
  RaiseWorkerThreadPriority("simulation");
  while (engine_.simulating) {
    int pause = Step();
    // Virtual time must move on, or a car that never pauses would hold every
    // timer of the run still.
    if (pause <= 0 && clock_.IsVirtual()) pause = 1;
    event_->WaitFor(std::chrono::milliseconds(pause));
  }
}

void Simulator::RecomputeBallRect(Point cheese) {
  if (!ball_) return;
  // The picture's x by W / 640 and y by H / 480, as the car's position converts.
  const int width = engine_.frameWidth > 0 ? engine_.frameWidth.load() : kLayoutWidth;
  const int height = engine_.frameHeight > 0 ? engine_.frameHeight.load() : kLayoutHeight;
  const int p = PatternSize();
  const int cx = cheese.x * width / kLayoutWidth;
  const int cy = cheese.y * height / kLayoutHeight;
  ball_->SetBallRect(Rect{cx - p / 2, cy - p / 2, cx - p / 2 + p, cy - p / 2 + p});
}

bool Simulator::SeeCar(double x, double y, double& seenX, double& seenY) {
  const std::int64_t now = clock_.NowMs();
  cameraHistory_.push_back({now, x, y});
  // The newest position at least the delay old; the oldest one kept until then.
  while (cameraHistory_.size() > 1 && cameraHistory_[1].ms <= now - settings_.cameraDelayMs)
    cameraHistory_.pop_front();
  if (now < nextFrameMs_) return false;  // between two frames
  // The next frame follows this one, or now when the car stood for longer.
  nextFrameMs_ = std::max(nextFrameMs_ + 1000.0 / settings_.cameraRate, static_cast<double>(now));

  // Every frame draws the same numbers, seen or not, so that a seed gives
  // one sequence of errors whatever the car does.
  std::uniform_int_distribution<int> percent(0, 99);
  std::normal_distribution<double> noise(0.0, 1.0);
  const bool dropped = percent(cameraRandom_) < settings_.cameraDropPercent;
  const double nx = noise(cameraRandom_) * settings_.cameraNoise;
  const double ny = noise(cameraRandom_) * settings_.cameraNoise;
  if (dropped) return false;
  seenX = cameraHistory_.front().x + nx;
  seenY = cameraHistory_.front().y + ny;
  return true;
}

void Simulator::WriteCarPosition(double x, double y) {
  const Point now{static_cast<int>(std::floor(x + 0.5)), static_cast<int>(std::floor(y + 0.5))};
  car_.carPosition = now;
  car_.carLayoutPosition = now;
}

int Simulator::Step() {
  if (engine_.viewMode != VIEW_PROGRAM) {
    const Point cheese = car_.cheesePosition;
    if (engine_.ballMode != BallMode::Off && cheese.x != -1) RecomputeBallRect(cheese);
    view_->DrawStep();
    runner_.FollowStep(FollowSource::Simulation);
  }

  const std::uint32_t b = drive_.DriveState();
  const bool roboQ = engine_.controlRoboQ;
  const bool fourWheel = engine_.fourWheel();
  const bool forward = b & DRIVE_STATE_FORWARD;
  const bool reverse = b & DRIVE_STATE_REVERSE;
  const bool left = b & DRIVE_STATE_LEFT;
  const bool right = b & DRIVE_STATE_RIGHT;
  float factor = 1.0f;
  if (roboQ)
    factor = static_cast<float>(drive_.SpeedLevel()) * settings_.roboQ;
  else if (b & DRIVE_STATE_TURBO)
    factor = settings_.turbo;
  const double u = settings_.directionStep * factor;
  const double w = settings_.positionStep * factor;
  auto wrap = [](double t) {
    // The heading jumps to the other end of the range, not by a full turn.
    if (t > kPi) return -kPi;
    if (t < -kPi) return kPi;
    return t;
  };

  const bool driving = roboQ ? (forward && !left && !right) : (forward || reverse);
  const bool spinning =
      !driving && ((fourWheel && (left || right)) || (roboQ && forward && (left || right)));
  const bool cameraErrors = engine_.cameraErrors;
  bool moved = false;
  if (driving) {
    double x2, y2;
    Point before = car_.carPosition;
    {
      std::lock_guard lock(poseMutex_);
      SimulatedPose& p = pose_;
      // With camera errors the reported position is not where the car is.
      if (cameraErrors) before = Point{static_cast<int>(p.x + 0.5), static_cast<int>(p.y + 0.5)};
      if (forward) {
        if (left)
          p.theta -= u;
        else if (right)
          p.theta += u;
      } else {
        if (left)
          p.theta += u;
        else if (right)
          p.theta -= u;
      }
      p.theta = wrap(p.theta);
      const double phi = forward ? p.theta : (p.theta < 0 ? p.theta + kPi : p.theta - kPi);
      x2 = p.x + w * std::cos(phi);
      y2 = p.y + w * std::sin(phi);
      p.x = x2;
      p.y = y2;
    }
    if (engine_.ballMode == BallMode::Follow) {
      // The car pushes the ball ahead of it.
      const Point cheese = car_.cheesePosition;
      const int p = PatternSize();
      const double reach = static_cast<double>(static_cast<unsigned>(p * p) >> 1);
      const double dx = x2 - cheese.x;
      const double dy = y2 - cheese.y;
      if (dx * dx + dy * dy < reach) {
        const Point pushed{cheese.x + (static_cast<int>(x2) - before.x),
                           cheese.y + (static_cast<int>(y2) - before.y)};
        car_.cheesePosition = pushed;
        RecomputeBallRect(pushed);
      }
    }
    double seenX = x2, seenY = y2;
    const bool seen = !cameraErrors || SeeCar(x2, y2, seenX, seenY);
    if (seen) {
      const Point now{static_cast<int>(x2 + 0.5), static_cast<int>(y2 + 0.5)};
      {
        // Unless the car was put back meanwhile (ResetCar, PlaceCar).
        std::lock_guard lock(poseMutex_);
        if (pose_.x == x2 && pose_.y == y2) {
          if (cameraErrors) {
            WriteCarPosition(seenX, seenY);
          } else {
            car_.carPosition = now;
            car_.carLayoutPosition = now;
          }
        }
      }
      if (!fourWheel && !roboQ && heading_) heading_->UpdateHeading(seenX, seenY);
    }
    // A frame that does not find the car wakes nobody, as on the table.
    moved = seen;
  } else if (spinning) {
    double theta;
    {
      std::lock_guard lock(poseMutex_);
      if (left)
        pose_.theta -= u;
      else
        pose_.theta += u;
      pose_.theta = wrap(pose_.theta);
      theta = pose_.theta;
    }
    car_.carDirection = theta;
    moved = true;
  } else if (cameraErrors) {
    // Standing, the camera still reports the car: late positions catch up,
    // and the noise stays.
    const SimulatedPose p = Pose();
    double seenX, seenY;
    if (SeeCar(p.x, p.y, seenX, seenY)) WriteCarPosition(seenX, seenY);
  }

  // Turns are counted before the driving program is woken, so that it never
  // sees a heading that has wrapped without its turn.
  const double direction = car_.carDirection;
  const double last = car_.lastDirection;
  if (last > kHalfPi && direction < -kHalfPi)
    ++car_.turnCount;
  else if (last < -kHalfPi && direction > kHalfPi)
    --car_.turnCount;
  car_.lastDirection = direction;

  if (moved) {
    if (engine_.interfaceActive && publisher_) publisher_->PublishPosition();
    runner_.NotifyFrame();
  } else if (runner_.state().waitActive) {
    runner_.NotifyFrame();
  }
  if (stepObserver_) stepObserver_->OnSimulationStep();

  const bool pauseShort = fourWheel || (drive_.DriveState() & DRIVE_STATE_MOVING);
  if (!pauseShort) return 100;
  return settings_.speedMs > 0 ? settings_.speedMs : 0;
}

}  // namespace viren
