#include "api/ProgramInterface.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>

#include "api/InterfaceTarget.h"
#include "core/CarState.h"
#include "core/DriveInterfaces.h"
#include "core/DriveTypes.h"
#include "core/EngineState.h"
#include "core/UiHost.h"
#include "platform/ThreadPriority.h"
#include "settings/Settings.h"

namespace viren::api {

namespace {

// Records are written with this time-out value; the interface's own writes
// never take a block mutex, so it never comes into play.
constexpr int kWriteTimeoutMs = 1000;
// How long the polling thread tries for "CMD" before taking a command. A
// program that posts under "CMD" then never has its command overwritten by the
// write-back; one that holds "CMD" for longer does not stop the interface.
constexpr int kCommandLockTimeoutMs = 50;
// A clipboard request the window thread does not answer in this time is dropped.
constexpr auto kClipboardTimeout = std::chrono::seconds(5);
constexpr int kMaxSoundNumber = 100;
// Longer texts on the clipboard are not a file path.
constexpr std::size_t kMaxPathLength = 4095;

bool IsSoundNumber(int n) {
  return n >= 0 && n <= kMaxSoundNumber;
}

// A path copied to the clipboard often ends with a line break.
std::string TrimmedPath(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  std::string path = text.substr(first, last - first + 1);
  if (path.size() > kMaxPathLength || path.find('\0') != std::string::npos) return {};
  return path;
}

}  // namespace

ProgramInterface::ProgramInterface(UiHost& ui, EngineState& state, CarState& car,
                                   DriveCommander& drive, InterfaceTarget& target,
                                   ShmTableOptions shmOptions)
    : ui_(ui),
      state_(state),
      car_(car),
      drive_(drive),
      target_(target),
      table_(std::make_unique<ShmTable>(std::move(shmOptions))) {}

ProgramInterface::~ProgramInterface() {
  Stop();
}

bool ProgramInterface::active() const {
  return state_.interfaceActive;
}

bool ProgramInterface::Start(bool interfaceFlag, const Settings& settings) {
  return Start(interfaceFlag, settings.ReadInt(keys::COMM_INTERVAL));
}

bool ProgramInterface::Start(bool interfaceFlag, int commIntervalMs) {
  Stop();  // never two polling threads
  state_.interfaceActive = false;
  state_.externalDisplay = false;
  contourBox_ = false;
  if (!interfaceFlag) return true;

  bool created = table_->ShmAttachTable();
  for (std::size_t i = 0; created && i < kInterfaceBlocks.size(); ++i) {
    const int index =
        table_->ShmCreateBlock(kInterfaceBlocks[i].name, kInterfaceBlocks[i].mutexName,
                               kInterfaceRecordSize, kInterfaceRecordCount);
    blocks_[i] = index;
    created = index >= 0;
  }
  if (!created) {
    // Leave nothing registered: a second attempt (or another copy of the
    // program) must find the names free.
    ReleaseBlocks();
    ui_.Message(MSG_SHM_CREATE_FAILED, {}, MsgIcon::None, MsgButtons::Ok);
    return false;
  }

  // 0 or less would make the thread spin.
  intervalMs_ = std::max(1, commIntervalMs);
  stopping_ = false;
  polls_ = 0;
  state_.interfaceActive = true;
  thread_ = std::thread([this] { Run(); });
  return true;
}

void ProgramInterface::Stop() {
  stopping_ = true;
  const bool wasActive = state_.interfaceActive.exchange(false);
  wake_.Set();
  // The thread must be gone before the blocks it reads are released.
  if (thread_.joinable()) thread_.join();
  wake_.Reset();
  if (wasActive) {
    ReleaseBlocks();
    target_.DetachExternalWindow();
  }
}

void ProgramInterface::ReleaseBlocks() {
  for (auto& index : blocks_) {
    const int i = index.exchange(-1);
    if (i >= 0) table_->ShmReleaseBlock(i);
  }
  table_->ShmReleaseAll();
}

void ProgramInterface::Run() {
  RaiseWorkerThreadPriority("program interface");
  while (!stopping_) {
    PollCommand();
    ++polls_;
    wake_.WaitFor(std::chrono::milliseconds(intervalMs_.load()));
  }
}

bool ProgramInterface::PollCommand() {
  const int index = blocks_[kCommand];
  if (index < 0) return false;
  const bool locked = table_->ShmLockBlock(index, kCommandLockTimeoutMs) == SHM_OK;
  InterfaceRecord bytes{};
  CommandRecord command;
  bool taken = false;
  if (table_->ShmReadRecord(index, bytes, 1, 0, kWriteTimeoutMs) == SHM_OK) {
    command = DecodeCommand(bytes);
    if (command.state == RECORD_NEW) {
      bytes[0] = std::byte{RECORD_TAKEN};
      table_->ShmWriteRecord(index, bytes, 1, 0, kWriteTimeoutMs);
      taken = true;
    }
  }
  if (locked) table_->ShmUnlockBlock(index);
  if (taken) Dispatch(command.code, command.parameter);
  return taken;
}

void ProgramInterface::Write(Slot slot, const InterfaceRecord& record) {
  if (!state_.interfaceActive) return;
  const int index = blocks_[slot];
  if (index < 0) return;
  table_->ShmWriteRecord(index, record, 1, 0, kWriteTimeoutMs);  // a failed write is ignored
}

void ProgramInterface::PublishPosition(std::span<const Point> contourPoints) {
  if (!state_.interfaceActive) return;
  QuadRecord q;
  q.state = RECORD_NEW;
  const Point car = car_.carPosition.load();
  if (contourBox_) {
    Rect box{car.x, car.y, car.x, car.y};
    if (!contourPoints.empty()) {
      box = {contourPoints[0].x, contourPoints[0].y, contourPoints[0].x, contourPoints[0].y};
      for (const Point& p : contourPoints) {
        box.left = std::min(box.left, p.x);
        box.top = std::min(box.top, p.y);
        box.right = std::max(box.right, p.x);
        box.bottom = std::max(box.bottom, p.y);
      }
    }
    q.values = {Low16(box.left), Low16(box.top), Low16(box.right), Low16(box.bottom)};
  } else {
    q.values = {Low16(car.x), Low16(car.y), Low16(car_.turnCount.load()),
                Low16(HeadingDegrees(car_.carDirection.load()))};
  }
  Write(kPosition, EncodeQuad(q));
}

void ProgramInterface::PublishPositionValues(const std::array<std::int16_t, 4>& values) {
  if (!state_.interfaceActive) return;
  QuadRecord q;
  q.state = RECORD_NEW;
  q.values = values;
  Write(kPosition, EncodeQuad(q));
}

void ProgramInterface::PublishStatus() {
  if (!state_.interfaceActive) return;
  StatusRecord s;
  s.state = RECORD_NEW;
  s.driveState = static_cast<std::uint16_t>(drive_.DriveState() & 0xFFFF);
  Write(kStatus, EncodeStatus(s));
}

void ProgramInterface::PublishBall(const Rect& ballRect) {
  if (!state_.interfaceActive) return;
  QuadRecord q;
  q.state = RECORD_NEW;
  q.values = {Low16(ballRect.left), Low16(ballRect.top), Low16(ballRect.right),
              Low16(ballRect.bottom)};
  Write(kBall, EncodeQuad(q));
}

void ProgramInterface::SendDrive(int code) {
  drive_.SendDriveCommand(code);
}

void ProgramInterface::Dispatch(int code, int parameter) {
  const int speedLevel = drive_.SpeedLevel();
  const bool publish = CarryOut(code, parameter);
  // A ROBO-Q speed, or a program started or stopped, may have moved the
  // controller's speed lever.
  if (drive_.SpeedLevel() != speedLevel) target_.RepaintSpeedLever();
  if (publish) PublishStatus();
}

bool ProgramInterface::CarryOut(int code, int parameter) {
  switch (code) {
    case COMMAND_DRIVE:
      return DriveCommand(parameter);
    case COMMAND_SOUND_REPEAT:
      if (IsSoundNumber(parameter)) target_.PlaySound(parameter, true);
      break;
    case COMMAND_SOUND_PREPARE:
      if (IsSoundNumber(parameter)) target_.PrepareSound(parameter);
      break;
    case COMMAND_SOUND:
      if (parameter < 0) {
        // -INT_MIN does not exist; such numbers are no sound anyway.
        if (parameter >= -kMaxSoundNumber) target_.StopSound(-parameter);
      } else if (IsSoundNumber(parameter)) {
        target_.PlaySound(parameter, false);
      }
      break;
    case COMMAND_TARGET:
      FollowTarget(parameter);
      break;
    case COMMAND_BALL:
      SelectBallMode(parameter);
      break;
    case COMMAND_PROGRAM_FILE:
      RunProgramFromClipboard();
      break;
    case COMMAND_EXTERNAL:
      ExternalControl(parameter);
      break;
    case COMMAND_EXTERNAL_WINDOW:
      target_.AttachExternalWindow(static_cast<std::uint32_t>(parameter));
      break;
    default:
      break;
  }
  return true;
}

// False when the command is dropped without a status publication.
bool ProgramInterface::DriveCommand(int parameter) {
  if (parameter < DRIVE_CHECK || parameter > DRIVE_AUTO_OFF) return true;  // no such command
  if (!state_.controlRoboQ) {
    SendDrive(parameter);
    return true;
  }
  // The ROBO-Q has no turbo and no reverse: forward, turbo on and turbo off
  // pick its three speeds.
  int level = 0;
  switch (parameter) {
    case DRIVE_REVERSE:
      return false;
    case DRIVE_FORWARD:
      level = 2;
      break;
    case DRIVE_TURBO_ON:
      level = 3;
      break;
    case DRIVE_TURBO_OFF:
      level = 1;
      break;
    default:
      SendDrive(parameter);
      return true;
  }
  drive_.SetSpeedLevel(level);
  SendDrive(DRIVE_FORWARD);
  return true;
}

void ProgramInterface::FollowTarget(int parameter) {
  if (parameter == -1) {
    if (state_.targetFollowing) target_.ToggleFollowMode(FollowToggle::BothOff);
    return;
  }
  const auto bits = static_cast<std::uint32_t>(parameter);
  car_.cheesePosition =
      Point{static_cast<std::int32_t>(bits & 0xFFFF), static_cast<std::int32_t>(bits >> 16)};
  state_.targetFollowing = true;
  car_.targetActive = true;
}

void ProgramInterface::SelectBallMode(int parameter) {
  if (!target_.BallPatternLearned() && !state_.simulating) return;
  const auto bits = static_cast<std::uint32_t>(parameter);
  const int mode = static_cast<int>(bits & 0xFFFF);
  // The numbers of BallMode; anything else is no mode.
  if (mode > static_cast<int>(BallMode::Avoid)) return;
  target_.SetBallFollowing(static_cast<int>(bits >> 16));
  state_.ballMode = static_cast<BallMode>(mode);
  car_.targetActive = true;
}

void ProgramInterface::RunProgramFromClipboard() {
  struct Reply {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    std::optional<std::string> text;
  };
  // Shared with the callback, which may come after this thread gave up.
  auto reply = std::make_shared<Reply>();
  target_.RequestClipboardText([reply](std::optional<std::string> text) {
    {
      std::lock_guard lock(reply->mutex);
      reply->text = std::move(text);
      reply->done = true;
    }
    reply->cv.notify_all();
  });
  std::optional<std::string> text;
  {
    const auto giveUp = std::chrono::steady_clock::now() + kClipboardTimeout;
    std::unique_lock lock(reply->mutex);
    // Short slices, so that a stop does not wait for the window thread.
    while (!reply->done && !stopping_ && std::chrono::steady_clock::now() < giveUp) {
      reply->cv.wait_for(lock, std::chrono::milliseconds(20));
    }
    if (!reply->done) return;
    text = std::move(reply->text);
  }
  if (!text) return;
  const std::string path = TrimmedPath(*text);
  if (path.empty()) return;
  target_.RunProgramFile(path);
}

void ProgramInterface::ExternalControl(int parameter) {
  // Starting or stopping a program needs something to drive and a program.
  auto canRunProgram = [this] {
    return (state_.simulating || state_.deviceConnected) && target_.ProgramCommandCount() >= 2;
  };
  switch (parameter) {
    case EXTERNAL_ON:
      // The other program drives: the controller's buttons lock as during a run.
      state_.autoDriving = true;
      SendDrive(DRIVE_STOP);
      SendDrive(DRIVE_STRAIGHT);
      SendDrive(DRIVE_AUTO_ON);
      break;
    case EXTERNAL_OFF:
      state_.autoDriving = false;
      target_.StopAllSounds();
      SendDrive(DRIVE_STOP);
      SendDrive(DRIVE_AUTO_OFF);
      break;
    case EXTERNAL_CONTOUR_BOX:
      contourBox_ = true;  // until the interface is started again
      break;
    case EXTERNAL_START_PROGRAM:
      if (canRunProgram()) {
        target_.StartAutoDriving();
        SendDrive(DRIVE_AUTO_ON);
      }
      break;
    case EXTERNAL_STOP_PROGRAM:
      if (canRunProgram()) {
        target_.StopAutoDriving();
        SendDrive(DRIVE_AUTO_ON);
      }
      break;
    default:
      break;
  }
}

}  // namespace viren::api
