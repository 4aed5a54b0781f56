#include "simulation/Simulator.h"

#include <chrono>
#include <cmath>

#include "core/DriveTypes.h"
#include "settings/Settings.h"

namespace viren {

SimulationSettings SimulationSettings::Load(const Settings& settings) {
  SimulationSettings s;
  s.speedMs = settings.ReadInt(keys::SIMULATION_SPEED);
  s.positionStep = static_cast<float>(settings.ReadReal(keys::POSITION_STEP));
  s.directionStep = static_cast<float>(settings.ReadReal(keys::DIRECTION_STEP));
  s.turbo = static_cast<float>(settings.ReadReal(keys::SIM_TURBO));
  s.roboQ = static_cast<float>(settings.ReadReal(keys::SIM_ROBOQ));
  return s;
}

Simulator::Simulator(EngineState& engine, CarState& car, DriveCommander& drive,
                     ProgramRunner& runner, const DrivingProgram& program, Clock& clock)
    : engine_(engine),
      car_(car),
      drive_(drive),
      runner_(runner),
      program_(program),
      clock_(clock),
      event_(clock.MakeEvent()) {}

Simulator::~Simulator() {
  StopSimulation();
}

void Simulator::LoadSimulationSettings(const Settings& settings) {
  settings_ = SimulationSettings::Load(settings);
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

void Simulator::FollowStep() {
  const Point cheese = car_.cheesePosition;
  if (cheese.x == -1) return;  // no target to steer for
  const Point carPoint = car_.carLayoutPosition;
  const int mode = engine_.ballMode;
  const bool running = engine_.autoDriving;
  int result = 0;
  if (mode == 3) {
    result = runner_.SteerAway(cheese, carPoint, runner_.state().ballDistance);
  } else if ((running && runner_.state().waitActive == 0 && mode == 2) ||
             (!running && program_.positionEditIndex == -1 &&
              (engine_.targetFollowing || mode == 2))) {
    result = runner_.SteerToward(cheese, carPoint, runner_.settings().positionRange);
  } else {
    return;
  }
  if (result == 1 && (drive_.DriveState() & DRIVE_STATE_MOVING))
    drive_.SendDriveCommand(DRIVE_STOP);
}

int Simulator::Step() {
  if (engine_.viewMode != VIEW_PROGRAM) {
    const Point cheese = car_.cheesePosition;
    if ((engine_.targetFollowing || engine_.ballMode != 0) && cheese.x != -1 &&
        engine_.ballMode != 0)
      RecomputeBallRect(cheese);
    view_->DrawStep();
    FollowStep();
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
  bool moved = false;
  if (driving) {
    double x2, y2;
    {
      std::lock_guard lock(poseMutex_);
      SimulatedPose& p = pose_;
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
    if (engine_.ballMode == 2) {
      // The car pushes the ball ahead of it.
      const Point cheese = car_.cheesePosition;
      const Point before = car_.carPosition;
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
    const Point now{static_cast<int>(x2 + 0.5), static_cast<int>(y2 + 0.5)};
    {
      // Unless the car was put back meanwhile (ResetCar, PlaceCar).
      std::lock_guard lock(poseMutex_);
      if (pose_.x == x2 && pose_.y == y2) {
        car_.carPosition = now;
        car_.carLayoutPosition = now;
      }
    }
    if (!fourWheel && !roboQ && heading_) heading_->UpdateHeading(x2, y2);
    moved = true;
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
