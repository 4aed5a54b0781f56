#include "CheckCommand.h"

#include <cstdio>

#include "ball/PatternFile.h"
#include "core/Messages.h"
#include "core/ProcessPaths.h"
#include "program/ProgramCheck.h"
#include "program/ProgramFile.h"
#include "settings/Settings.h"

namespace viren {

int CheckProgramFiles(const std::string& dir, const std::vector<std::string>& files) {
  std::string folder = dir.empty() ? FolderOf(ExecutablePath()) : dir;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  Settings settings;
  settings.SetPaths(folder, folder + "/VIREN.ini", folder + "/option.ini");

  // The car on the table: no simulation, the ball known only from its file.
  ProgramCheckContext context = ReadProgramCheckContext(settings);
  GreyPattern pattern;
  const std::string patternFile = settings.ReadString(keys::PATTERN_FILE);
  context.ballLearned = !patternFile.empty() && ReadPatternFile(patternFile, pattern);

  bool errors = false;
  for (const std::string& file : files) {
    const std::string prefix = files.size() > 1 ? file + ": " : std::string();
    ProgramRecords records{};
    int count = 0;
    const ProgramReadStatus status = ReadProgramBytes(file, records, count);
    if (status != ProgramReadStatus::Ok) {
      const int id =
          status == ProgramReadStatus::CannotOpen ? MSG_PROGRAM_READ_FAILED : MSG_NOT_PROGRAM_FILE;
      std::fprintf(stderr, "%s[%d] %s\n", prefix.c_str(), id, FormatMessage(id, {}).c_str());
      errors = true;
      continue;
    }
    const auto findings = CheckProgram(records.data(), count, context);
    for (const CheckFinding& f : findings)
      std::printf("%s%s\n", prefix.c_str(), FormatFindingLine(f).c_str());
    errors |= HasErrors(findings);
  }
  std::fflush(stdout);
  return errors ? 1 : 0;
}

}  // namespace viren
