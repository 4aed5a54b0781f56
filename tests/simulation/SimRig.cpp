#include "SimRig.h"

#include "program/ProgramFile.h"

namespace viren::test {

ProgramBuilder::ProgramBuilder() {
  records_.push_back(MakeStartRecord());
}

int ProgramBuilder::Add(EventKind kind, int option, int value1, int value2) {
  const int index = static_cast<int>(records_.size());
  EventRecord r;
  r.kind = kind;
  r.option = static_cast<std::uint8_t>(option);
  r.value1 = static_cast<std::int16_t>(value1);
  r.value2 = static_cast<std::int16_t>(value2);
  r.x = static_cast<std::int16_t>(16 + 56 * (index % 11));
  r.y = static_cast<std::int16_t>(16 + 56 * (index / 11));
  r.prev = static_cast<std::int16_t>(index - 1);
  r.oldIndex = static_cast<std::int16_t>(index);
  records_.back().next = static_cast<std::int16_t>(index);
  records_.push_back(r);
  return index;
}

void ProgramBuilder::Link(int from, int to) {
  records_[from].link = static_cast<std::int16_t>(to);
}

void ProgramBuilder::LoadInto(DrivingProgram& program) const {
  program.Replace(records_.data(), static_cast<int>(records_.size()));
}

std::string ProgramBuilder::FileBytes() const {
  return EncodeProgramFile(records_.data(), static_cast<int>(records_.size()));
}

void CommandLog::OnCommandStarted(int index) {
  Entry e{index, clock_.NowMs(), car_.carLayoutPosition, drive_.DriveState()};
  std::lock_guard lock(mutex_);
  entries_.push_back(e);
}

std::vector<CommandLog::Entry> CommandLog::Entries() const {
  std::lock_guard lock(mutex_);
  return entries_;
}

int CommandLog::Starts(int index) const {
  int n = 0;
  for (const Entry& e : Entries()) n += e.index == index;
  return n;
}

SimRig::SimRig(bool fourWheel, bool roboQ) {
  engine.control4WD = fourWheel;
  engine.controlRoboQ = roboQ;
  drive.SetTrackReset([this] { heading.ResetPositionRing(); });
  sim.SetHeading(&heading);
  sim.SetStepObserver(&track);
  runner.SetSimulatedCar(&sim);
  runner.SetObserver(&log);
}

SimRig::~SimRig() {
  Finish();
}

void SimRig::Run(const ProgramBuilder& builder, bool programView) {
  builder.LoadInto(program);
  sim.StartSimulation();
  if (programView) engine.viewMode = VIEW_PROGRAM;  // the log sees every command
  runner.StartAutoDriving();
}

void SimRig::Finish() {
  runner.StopAutoDriving();
  runner.ReleaseDrivingResources();
  sim.StopSimulation();
}

double Unwrapped(const TrackRow& row) {
  return row.turnCount * kTwoPi + row.direction;
}
double Unwrapped(const CarState& car) {
  return car.turnCount * kTwoPi + car.carDirection;
}

}  // namespace viren::test
