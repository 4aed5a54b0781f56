// The look at the program before a run.
#include <algorithm>

#include "ball/BallSystem.h"
#include "core/UiHost.h"
#include "editor/ProgramEditor.h"
#include "engine/CDriveSystem.h"
#include "program/DrivingProgram.h"
#include "program/ProgramCheck.h"
#include "sound/SoundSystem.h"

namespace viren {

std::vector<CheckFinding> CDriveSystem::CheckProgramNow() {
  ProgramCheckContext context = ReadProgramCheckContext(settings_);
  // The sound list as the run will load it: the entries counted at start-up
  // or confirmed in the sound dialog since.
  context.soundFiles.resize(
      std::min(context.soundFiles.size(), static_cast<size_t>(std::max(0, sound_->soundCount()))));
  context.ballLearned = ball_->HasBallPattern();
  context.simulating = state_.simulating;
  int count = 0;
  const ProgramRecords records = program_->Snapshot(&count);
  lastCheck_ = CheckProgram(records.data(), count, context);
  ++checkNumber_;

  std::vector<ProgramEditor::CheckMark> marks;
  for (const CheckFinding& f : lastCheck_)
    marks.push_back({f.command, f.severity == CheckSeverity::Error});
  editor_->SetCheckMarks(std::move(marks));
  return lastCheck_;
}

bool CDriveSystem::ConfirmRunDespiteFindings() {
  const std::vector<CheckFinding> findings = CheckProgramNow();
  if (findings.empty()) return true;
  int errors = 0;
  for (const CheckFinding& f : findings) errors += f.severity == CheckSeverity::Error;
  const int warnings = static_cast<int>(findings.size()) - errors;
  return ui_.Message(MSG_CHECK_BEFORE_RUN, {std::to_string(errors), std::to_string(warnings)},
                     MsgIcon::Question, MsgButtons::OkCancel) == MsgAnswer::Ok;
}

}  // namespace viren
