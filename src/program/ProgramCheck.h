#pragma once

#include <string>
#include <vector>

#include "program/EventRecord.h"

namespace viren {

class Settings;

// What a look at a driving program before its run finds.
enum class CheckSeverity { Error, Warning };

enum class CheckKind {
  NothingToRun,      // the start command has no successor
  Unreachable,       // a chain the start command never reaches
  NoEnd,             // the start chain stops without an end command or a jump
  LoopWithoutWait,   // a loop with no timed command: one pass a second
  LinkOutsideChain,  // a link that does not point back into its own chain
  SoundBeyondList,   // a sound number the sound list does not have
  SoundFileMissing,  // the sound list names a file that is not there
  BallNotLearned,    // a ball command with no learned ball: it is skipped
  PositionOutside,   // a point outside the course range (or the camera picture)
};

struct CheckFinding {
  int command = 0;  // index of the record the finding is about
  CheckSeverity severity = CheckSeverity::Warning;
  CheckKind kind = CheckKind::NoEnd;
  std::string text;  // the user's explanation, in the program's language
};

// What the check needs to know beyond the records.
struct ProgramCheckContext {
  // Paths of sound numbers 1..N of the sound list, resolved; N = soundCount.
  std::vector<std::string> soundFiles;
  bool ballLearned = false;  // a ball pattern is learned or loaded
  bool simulating = false;   // the simulated car also follows a ball without a pattern
  int borderWidth = 320;     // the course range, layout pixels
  int borderHeight = 240;
};

// The sound list and the course range as option.ini holds them; the ball and
// the simulation are for the caller to fill in.
ProgramCheckContext ReadProgramCheckContext(const Settings& settings);

// Looks at every command the start command reaches (and at the chains it
// does not reach, as a whole). Findings are ordered by command index. Damaged
// programs (links and successors out of range, circles) are looked at safely.
std::vector<CheckFinding> CheckProgram(const EventRecord* records, int count,
                                       const ProgramCheckContext& context);

bool HasErrors(const std::vector<CheckFinding>& findings);

// "command N: text", as viren-run --check prints a finding.
std::string FormatFindingLine(const CheckFinding& finding);

}  // namespace viren
