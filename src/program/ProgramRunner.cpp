#include "program/ProgramRunner.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "core/DriveTypes.h"
#include "platform/ThreadPriority.h"
#include "settings/Settings.h"

namespace viren {

namespace {

constexpr double kDegree = 0.01745327777777778;  // 3.14159 / 180

double WrapOnce(double e) {
  if (e > kPi) return e - kTwoPi;
  if (e < -kPi) return e + kTwoPi;
  return e;
}

std::int64_t Square(std::int64_t v) {
  return v * v;
}

std::int64_t Distance2(Point a, Point b) {
  return Square(a.x - b.x) + Square(a.y - b.y);
}

}  // namespace

DrivingSettings DrivingSettings::Load(const Settings& settings) {
  DrivingSettings s;
  s.emergencyCount = settings.ReadInt(keys::EMERGENCY_COUNT);
  s.positionRange = settings.ReadInt(keys::POSITION_RANGE);
  s.directionRange = settings.ReadInt(keys::DIRECTION_RANGE);
  s.escapeDistance = settings.ReadInt(keys::PM_ESCAPE);
  return s;
}

ProgramRunner::ProgramRunner(EngineState& engine, CarState& car, DriveCommander& drive,
                             DrivingProgram& program, Clock& clock)
    : engine_(engine),
      car_(car),
      drive_(drive),
      program_(program),
      clock_(clock),
      frameEvent_(clock.MakeEvent()),
      wakeEvent_(clock.MakeEvent()) {}

ProgramRunner::~ProgramRunner() {
  ReleaseDrivingResources();
}

void ProgramRunner::LoadDrivingSettings(const Settings& settings) {
  settingsFile_ = &settings;
  settings_ = DrivingSettings::Load(settings);
  frameEvent_->Reset();
  wakeEvent_->Reset();
  car_.cheesePosition = Point{engine_.clientWidth / 2, engine_.clientHeight / 2};
  state_.cheeseHover = false;
  state_.lastSteerError = 0.0;
  state_.steerTurnMark = 0;
  state_.dragOffset = Point{999, 0};
  state_.waitActive = 0;
  state_.ballDistance = settings_.escapeDistance;
  observer_->WritePositionSnapshot();
}

void ProgramRunner::ReleaseDrivingResources() {
  engine_.autoDriving = false;
  wakeEvent_->Set();
  frameEvent_->Set();
  std::lock_guard lock(lifecycle_);
  clock_.Join(thread_);
}

int ProgramRunner::StartAutoDriving() {
  std::lock_guard lock(lifecycle_);
  if (threadId_.load() == std::this_thread::get_id()) return -1;
  if (thread_.joinable()) {
    // The previous run may still be on its way out (or even running): it
    // ends completely before the new one begins, so two threads never walk
    // the program side by side.
    engine_.autoDriving = false;
    wakeEvent_->Set();
    frameEvent_->Set();
    clock_.Join(thread_);
  }

  engine_.ballMode = BallMode::Off;
  executedCommands_ = 0;
  ++runNumber_;
  engine_.autoDriving = true;
  program_.selection = 0;
  drive_.SetSpeedLevel(2);
  if (engine_.simulating) {
    if (simulatedCar_) simulatedCar_->PlaceCar(320.0, 240.0, 0.0);
    car_.carPosition = Point{320, 240};
    car_.carLayoutPosition = Point{320, 240};
    car_.carDirection = 0.0;
    car_.cheesePosition = Point{160, 120};
  }
  frameEvent_->Reset();
  wakeEvent_->Reset();
  Send(DRIVE_STOP);
  Send(DRIVE_STRAIGHT);
  Send(DRIVE_TURBO_OFF);
  if (sound_) sound_->StopAllSounds();
  for (int number : program_.ArmForRun()) {
    if (!sound_) continue;
    const int status = sound_->LoadSound(number);
    if (status < 0) {
      engine_.autoDriving = false;
      return status;
    }
  }
  thread_ = clock_.StartThread([this] { AutoDrivingThread(); });
  return 0;
}

void ProgramRunner::StopAutoDriving() {
  if (sound_) sound_->StopAllSounds();
  engine_.autoDriving = false;
  drive_.SetSpeedLevel(2);
  if (engine_.targetFollowing) {
    car_.cheesePosition = Point{engine_.clientWidth / 2, engine_.clientHeight / 2};
    engine_.targetFollowing = false;
  }
  engine_.ballMode = BallMode::Off;
  wakeEvent_->Set();
  frameEvent_->Set();
}

void ProgramRunner::EndRunFromMenu() {
  if (!Running()) return;
  engine_.autoDriving = false;
  wakeEvent_->Set();
  frameEvent_->Set();
}

void ProgramRunner::NotifyFrame() {
  if (Running()) frameEvent_->Set();
}

int ProgramRunner::CurrentCommand() const {
  return Running() ? program_.selection.load() : -1;
}

int ProgramRunner::CameraWidth() const {
  const int width = engine_.frameWidth;
  return width > 0 ? width : kLayoutWidth;
}

void ProgramRunner::AutoDrivingThread() {
  RaiseWorkerThreadPriority("automatic driving");
  threadId_ = std::this_thread::get_id();
  const int live = ++liveThreads_;
  int seen = maxLiveThreads_;
  while (live > seen && !maxLiveThreads_.compare_exchange_weak(seen, live)) {
  }

  int current = 0;
  commandsWithoutWait_ = 0;
  while (Running()) {
    const EventRecord c = program_.Record(current);
    int n;
    if (c.link == -1) {
      n = c.next;
    } else {
      bool jump = true;
      if (c.kind == EVENT_REPEAT && program_.CountDownRepeat(current) <= 0) {
        n = c.next;
        jump = false;
      }
      if (jump) {
        n = c.link;
        const int timed = program_.CountTimedCommands(current, n);
        if (timed == -1) {
          n = -1;  // the link no longer points back into this chain
        } else if (timed == 0) {
          // A loop that waits for nothing makes at most one pass a second.
          wakeEvent_->WaitFor(std::chrono::milliseconds(1000));
          commandsWithoutWait_ = 0;
          if (!Running()) break;
        }
      }
    }
    if (!program_.IsUsed(n)) n = -1;
    if (n == -1) {
      // Chain end: the car goes on doing what the last command left it doing.
      wakeEvent_->Wait();
      commandsWithoutWait_ = 0;
      continue;
    }
    if (++commandsWithoutWait_ > kProgramSlots) {
      // Only a damaged file chains commands into a circle through their
      // successors; such a circle gets the same one pass a second as a loop
      // without timed commands instead of spinning.
      wakeEvent_->WaitFor(std::chrono::milliseconds(1000));
      commandsWithoutWait_ = 0;
      if (!Running()) break;
    }
    current = n;
    program_.selection = n;
    ++executedCommands_;
    if (engine_.viewMode == VIEW_PROGRAM) observer_->OnCommandStarted(n);
    Execute(program_.Record(n));
  }

  if (engineReady_) {
    // However the run ended (its end command, the controller, the menu, the
    // program interface), nothing it pressed stays pressed and nothing it
    // started keeps playing.
    if (sound_) sound_->StopAllSounds();
    ReleaseAllButtons(drive_);
    drive_.SendDriveCommand(DRIVE_AUTO_OFF, SendTo::StateOnly);
    observer_->OnRunEnded();
  }
  --liveThreads_;
  threadId_ = std::thread::id{};
}

void ProgramRunner::Execute(const EventRecord& r) {
  switch (r.kind) {
    case EVENT_TIMER:
      wakeEvent_->WaitFor(std::chrono::milliseconds(std::max(0, r.value1 * 1000 + r.value2 * 100)));
      commandsWithoutWait_ = 0;
      break;
    case EVENT_CAR:
      if (engine_.controlRoboQ) {
        if (r.option != 0) {
          const int level = std::clamp<int>(r.option, 1, 3);
          drive_.SetSpeedLevel(level);
          observer_->OnSpeedLevelChanged(level);
        }
        Send(r.option != 0 ? DRIVE_FORWARD : DRIVE_STOP);
      } else {
        if (r.option != 0) {
          const bool turbo = Has(DRIVE_STATE_TURBO);
          if (turbo && r.value2 == 0) Send(DRIVE_TURBO_OFF);
          if (!turbo && r.value2 != 0) Send(DRIVE_TURBO_ON);
        }
        if (r.option <= CAR_REVERSE) Send(r.option);
      }
      if (r.option != 0 && r.value1 > 0) WaitDistance(r.value1);
      break;
    case EVENT_HANDLE:
      if (r.option > HANDLE_RIGHT) break;
      Send(DRIVE_STRAIGHT + r.option);
      if (r.option != HANDLE_STRAIGHT && r.value1 > 0) {
        WaitTurn(r.value1, r.value2);
        if (r.value2 == 0) Send(DRIVE_STRAIGHT);
      }
      break;
    case EVENT_POSITION:
      if (r.option == POSITION_LEAVE_COURSE || r.option == POSITION_LEAVE_CAMERA)
        WaitLeaveArea(r.option);
      else if (r.option == POSITION_CAMERA_CENTRE || r.option == POSITION_POINT)
        DriveToPoint(r.option, r.value1, r.value2);
      break;
    case EVENT_SOUND:
      if (!sound_) break;
      if (r.option == SOUND_ONCE)
        sound_->PlaySound(r.value1, false);
      else if (r.option == SOUND_REPEAT)
        sound_->PlaySound(r.value1, true);
      else if (r.option == SOUND_STOP)
        sound_->StopSound(r.value1);
      break;
    case EVENT_END:
      StopAutoDriving();
      break;
    case EVENT_BALL:
      if (!(ball_ && ball_->HasBallPattern()) && !engine_.simulating) break;
      if (r.option == BALL_END) {
        engine_.ballMode = BallMode::Off;
        if (Has(DRIVE_STATE_MOVING)) Send(DRIVE_STOP);
      } else if (r.option == BALL_FOLLOW || r.option == BALL_AVOID) {
        state_.steerTurnMark = 0;
        state_.lastSteerError = 0.0;
        if (r.option == BALL_AVOID) {
          engine_.ballMode = BallMode::Avoid;
          state_.ballDistance = r.value1;
        } else {
          engine_.ballMode = BallMode::Follow;
        }
        if (r.value2 != 0)
          BallWait();
        else
          state_.waitActive = 0;
      }
      break;
    default:
      break;
  }
}

void ProgramRunner::WaitDistance(int distance) {
  commandsWithoutWait_ = 0;
  state_.waitActive = 1;
  const Point start = car_.carLayoutPosition;
  const std::int64_t limit = Square(distance);
  while (Running()) {
    frameEvent_->Wait();
    if (!Running() || Distance2(start, car_.carLayoutPosition) > limit) break;
  }
  state_.waitActive = 0;
}

void ProgramRunner::WaitTurn(int amount, int turnMode) {
  commandsWithoutWait_ = 0;
  state_.waitActive = 1;
  auto heading = [this] { return car_.turnCount * kTwoPi + car_.carDirection; };
  const double start = heading();
  const double threshold = turnMode ? amount * kTwoPi : amount * kDegree;
  while (Running()) {
    frameEvent_->Wait();
    if (!Running() || std::fabs(heading() - start) >= threshold) break;
  }
  state_.waitActive = 0;
}

void ProgramRunner::WaitLeaveArea(int option) {
  commandsWithoutWait_ = 0;
  state_.waitActive = 1;
  if (option == POSITION_LEAVE_COURSE) {
    const int w = settingsFile_ ? settingsFile_->ReadInt(keys::BORDER_WIDTH) : 320;
    const int h = settingsFile_ ? settingsFile_->ReadInt(keys::BORDER_HEIGHT) : 240;
    engine_.showCourseRange = true;
    while (Running()) {
      frameEvent_->Wait();
      if (!Running()) break;
      const Point p = car_.carLayoutPosition;
      if (p.x < (kLayoutWidth - w) / 2 || p.x > (kLayoutWidth + w) / 2 ||
          p.y < (kLayoutHeight - h) / 2 || p.y > (kLayoutHeight + h) / 2)
        break;
    }
    engine_.showCourseRange = false;
  } else {
    while (Running()) {
      frameEvent_->Wait();
      if (!Running()) break;
      const Point p = car_.carLayoutPosition;
      if (car_.lostCountdown < 0 || p.x < 1 || p.x > 638 || p.y < 1 || p.y > 478) break;
    }
  }
  state_.waitActive = 0;
}

void ProgramRunner::DriveToPoint(int option, int x, int y) {
  commandsWithoutWait_ = 0;
  state_.lastSteerError = 0.0;
  state_.steerTurnMark = 0;
  state_.waitActive = 1;
  car_.cheesePosition = option == POSITION_POINT ? Point{x, y} : Point{320, 240};
  engine_.targetFollowing = true;
  while (Running()) {
    if (state_.waitActive != 1 ||
        SteerToward(car_.cheesePosition, car_.carLayoutPosition, settings_.positionRange) != 0)
      break;
    frameEvent_->Wait();
  }
  if (engine_.targetFollowing && Running()) {
    Point cheese = car_.cheesePosition;
    cheese.x = -1;  // arrived: the marker goes, following stays on
    car_.cheesePosition = cheese;
  }
  state_.waitActive = 0;
}

void ProgramRunner::BallWait() {
  commandsWithoutWait_ = 0;
  state_.waitActive = 1;
  while (state_.waitActive && Running()) {
    const Point cheese = car_.cheesePosition;
    const Point carPoint = car_.carLayoutPosition;
    if (engine_.ballMode == BallMode::Avoid) {
      if (SteerAway(cheese, carPoint, state_.ballDistance) == 1) break;
    } else {
      if (SteerToward(cheese, carPoint, settings_.positionRange) == 1) break;
      if (ball_) {
        const Rect b = ball_->BallRect();
        // The ball in layout terms: x by 640 / W, y by 480 / H, as the car.
        const int w = CameraWidth();
        const int h = engine_.frameHeight > 0 ? engine_.frameHeight.load() : kLayoutHeight;
        if (b.left * kLayoutWidth / w < carPoint.x && carPoint.x < b.right * kLayoutWidth / w &&
            b.top * kLayoutHeight / h < carPoint.y && carPoint.y < b.bottom * kLayoutHeight / h)
          break;
      }
    }
    frameEvent_->Wait();
  }
  state_.waitActive = 0;
}

int ProgramRunner::SteerToward(Point target, Point car, int range) {
  const std::int64_t dx = target.x - car.x;
  const std::int64_t dy = target.y - car.y;
  const std::int64_t d2 = dx * dx + dy * dy;
  if (d2 < Square(range)) return 1;
  const double e = WrapOnce(std::atan2(double(dy), double(dx)) - car_.carDirection);
  const double r = settings_.DirectionRangeRadians();
  const std::uint32_t s = drive_.DriveState();

  if (engine_.fourWheel()) {
    if (std::fabs(e) <= r) {
      if (!(s & DRIVE_STATE_FORWARD)) Send(DRIVE_FORWARD);
    } else if (e < 0) {
      if (!(s & DRIVE_STATE_LEFT)) Send(DRIVE_LEFT);
    } else if (!(s & DRIVE_STATE_RIGHT)) {
      Send(DRIVE_RIGHT);
    }
    return 0;
  }

  return SteerStep(s, e, d2, r);
}

int ProgramRunner::SteerAway(Point target, Point car, int range) {
  const std::uint32_t s = drive_.DriveState();
  if (!engine_.simulating && state_.lastSteerError == 0.0 && !(s & DRIVE_STATE_FORWARD)) {
    Send(DRIVE_FORWARD);  // get moving first
    return 0;
  }
  const std::int64_t dx = target.x - car.x;
  const std::int64_t dy = target.y - car.y;
  const std::int64_t d2 = dx * dx + dy * dy;
  const std::int64_t r2 = Square(range);
  if (d2 > 4 * r2) return 1;
  if (d2 > r2 && !(s & DRIVE_STATE_FORWARD)) return 0;
  const double e = WrapOnce(std::atan2(double(dy), double(dx)) - car_.carDirection + kPi);

  if (engine_.fourWheel()) {
    if (std::fabs(e) > kHalfPi) {
      if (e < 0) {
        if (!(s & DRIVE_STATE_LEFT)) Send(DRIVE_LEFT);
      } else if (!(s & DRIVE_STATE_RIGHT)) {
        Send(DRIVE_RIGHT);
      }
    } else if (!(s & DRIVE_STATE_FORWARD)) {
      Send(DRIVE_FORWARD);
    }
    state_.lastSteerError = e;
    return 0;
  }

  return SteerStep(s, e, d2, kHalfPi);
}

int ProgramRunner::SteerStep(std::uint32_t s, double e, std::int64_t d2, double threshold) {
  if (s & DRIVE_STATE_STEERING) {
    const double last = state_.lastSteerError;
    if ((last > 0 && e < 0) || (last < 0 && e > 0)) {
      Send(DRIVE_STRAIGHT);
    } else if (state_.steerTurnMark == 0) {
      state_.steerTurnMark = car_.turnCount.load();
    } else if (std::abs(state_.steerTurnMark - car_.turnCount) > 1) {
      // Circled at least twice: give up once the distance grows again.
      if (state_.steerDistanceMark == 0)
        state_.steerDistanceMark = static_cast<int>(std::min<std::int64_t>(d2, INT_MAX));
      else if (d2 > state_.steerDistanceMark)
        return 1;
    }
  } else if (std::fabs(e) > threshold) {
    Send(e < 0 ? DRIVE_LEFT : DRIVE_RIGHT);
    state_.steerDistanceMark = 0;
    state_.steerTurnMark = 0;
  }
  if (!Has(DRIVE_STATE_FORWARD)) Send(DRIVE_FORWARD);
  state_.lastSteerError = e;
  return 0;
}

void ProgramRunner::FollowStep(FollowSource source, int frameWidth) {
  const bool simulation = source == FollowSource::Simulation;
  if (!simulation && !car_.targetActive) return;
  const Point cheese = car_.cheesePosition;
  if (cheese.x == -1) return;
  const BallMode mode = engine_.ballMode;
  const bool avoid = mode == BallMode::Avoid;
  const bool running = Running();
  const bool cheeseAlone = engine_.targetFollowing && !(running && simulation);
  if (!(cheeseAlone || mode == BallMode::Follow || avoid)) return;
  // A wait command of the run steers for itself; outside a run the editor may
  // be placing a position with the target icon.
  const bool standAside = running ? state_.waitActive != 0 : program_.positionEditIndex != -1;
  if (standAside && !(simulation && avoid)) return;

  Point carPoint = car_.carLayoutPosition;
  int approach = settings_.positionRange;
  int away = state_.ballDistance;
  if (running && !simulation) {
    approach = 0;  // following during a run never ends by distance
  } else if (!running && source == FollowSource::CameraView) {
    const int w = frameWidth > 0 ? frameWidth : kLayoutWidth;
    carPoint = car_.carPosition;
    approach = w * approach / kLayoutWidth;
    away = w * away / kLayoutWidth;
  }
  const int result =
      avoid ? SteerAway(cheese, carPoint, away) : SteerToward(cheese, carPoint, approach);
  if (result == 1 && Has(DRIVE_STATE_MOVING)) {
    if (!simulation) car_.targetActive = false;
    Send(DRIVE_STOP);
  }
}

void ProgramRunner::ToggleFollowMode(FollowToggle mode) {
  if (mode == FollowToggle::Target) {
    engine_.ballMode = BallMode::Off;
    engine_.targetFollowing = !engine_.targetFollowing;
  } else if (mode == FollowToggle::FollowBall || mode == FollowToggle::AvoidBall) {
    const BallMode ball = mode == FollowToggle::FollowBall ? BallMode::Follow : BallMode::Avoid;
    engine_.ballMode = engine_.ballMode == ball ? BallMode::Off : ball;
    engine_.targetFollowing = false;
  } else {
    engine_.ballMode = BallMode::Off;
    engine_.targetFollowing = false;
  }
  if (Running()) return;
  if (engine_.targetFollowing || engine_.ballMode != BallMode::Off) {
    state_.steerTurnMark = 0;
    state_.ballDistance = settings_.escapeDistance;
    state_.lastSteerError = 0.0;
    car_.targetActive = true;
    return;
  }
  if (engine_.fourWheel()) {
    if (Has(DRIVE_STATE_MOVING | DRIVE_STATE_STEERING)) Send(DRIVE_STOP);
  } else {
    if (Has(DRIVE_STATE_MOVING)) Send(DRIVE_STOP);
    if (Has(DRIVE_STATE_STEERING)) Send(DRIVE_STRAIGHT);
  }
}

void ProgramRunner::MoveCheese(CheeseAction action, Point point) {
  const Point cheese = car_.cheesePosition;
  switch (action) {
    case CheeseAction::Press:
      if (state_.cheeseHover) state_.dragOffset = Point{point.x - cheese.x, point.y - cheese.y};
      break;
    case CheeseAction::Move: {
      const Point offset = state_.dragOffset;
      if (offset.x == 999) {
        state_.cheeseHover = std::abs(point.x - cheese.x) < 8 && std::abs(point.y - cheese.y) < 6;
      } else {
        const int maxX = std::max(0, engine_.clientWidth - 1);
        const int maxY = std::max(0, engine_.clientHeight - 1);
        car_.cheesePosition =
            Point{std::clamp(point.x - offset.x, 0, maxX), std::clamp(point.y - offset.y, 0, maxY)};
        car_.targetActive = true;
      }
      break;
    }
    case CheeseAction::Release:
      observer_->WritePositionSnapshot();
      state_.cheeseHover = false;
      state_.steerTurnMark = 0;
      state_.lastSteerError = 0.0;
      state_.dragOffset = Point{999, state_.dragOffset.load().y};
      break;
    case CheeseAction::DoubleClick:
      if (program_.positionEditIndex != -1)
        observer_->AcceptPositionDefinition();
      else
        ToggleFollowMode(engine_.targetFollowing ? FollowToggle::Target : FollowToggle::BothOff);
      break;
  }
}

}  // namespace viren
