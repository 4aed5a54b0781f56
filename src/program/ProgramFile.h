#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "program/DrivingProgram.h"

namespace viren {

class Settings;
class UiHost;

// The .ntc file: a 32-byte header (".ntc", version, count, reserved) and
// count records of 32 bytes exactly as in memory.
inline constexpr std::string_view kProgramMagic = ".ntc";
inline constexpr int kProgramVersion = 2;
inline constexpr int kProgramHeaderSize = 32;
inline constexpr std::string_view kProgramFileFilter = "VIRENﾌｧｲﾙ (*.ntc)|*.ntc||";
inline constexpr std::string_view kProgramFileExtension = "ntc";
inline constexpr std::string_view kProgramFolder = "sample/program";

// NotProgramFile: the first four bytes are not ".ntc". Damaged: they are,
// but the rest cannot be used (see RepairProgramRecords).
enum class ProgramReadStatus { Ok, CannotOpen, NotProgramFile, Damaged };

// Makes records read from a file safe to walk, or refuses them. Refused
// (false): record 0 is not the start command, a kind is unknown, or a second
// start command stands elsewhere. Repaired: every next, prev and link names a
// used record of the program or is -1; next and prev agree in both
// directions (a one-sided half is cut, so the chain ends there); nothing
// leads back to record 0, which carries no link; a ring of next links is
// opened before its lowest index, which becomes a chain head; free slots
// carry no links. After this no chain walk leaves the records or loops.
bool RepairProgramRecords(EventRecord* records, int count);

// Checks and unpacks file bytes. Any version is accepted. A wrong magic is
// not a program file; a short header, a count outside 1..100, fewer record
// bytes than the count promises or records that cannot be repaired are
// damaged. Nothing is stored unless the result is Ok.
ProgramReadStatus DecodeProgramFile(std::string_view bytes, ProgramRecords& records, int& count);
std::string EncodeProgramFile(const EventRecord* records, int count);
// Reads at most what a 100-record file can hold.
ProgramReadStatus ReadProgramBytes(const std::string& path, ProgramRecords& records, int& count);

// The file choosers of the open and save commands. The window program shows
// its file dialogs (default extension "ntc", kProgramFileFilter, read-only
// box hidden; the save dialog asks before overwriting), tests answer from a
// script. An empty result means the user cancelled. Window thread.
class ProgramFileDialogs {
 public:
  virtual ~ProgramFileDialogs() = default;
  virtual std::string ChooseProgramToOpen(const std::string& initialName,
                                          const std::string& initialFolder) = 0;
  virtual std::string ChooseProgramToSave(const std::string& initialName) = 0;
};

// The program's file commands: start-up load, open, save, new and the
// question before a modified program is dropped. Window thread.
class ProgramFiles {
 public:
  ProgramFiles(DrivingProgram& program, const Settings& settings, UiHost& ui,
               ProgramFileDialogs* dialogs = nullptr);

  // Called after every change, so the editor redraws the flowchart.
  void SetRedraw(std::function<void()> redraw) { redraw_ = std::move(redraw); }
  void SetDialogs(ProgramFileDialogs* dialogs) { dialogs_ = dialogs; }

  // Start-up step: the start-only program, then FILE_NAME (a bare name lives
  // in sample/program) when it is set; a failing file shows MSG_PROGRAM_READ_FAILED or
  // MSG_NOT_PROGRAM_FILE and leaves the start-only program.
  void LoadProgramAtStartup();
  // Reads `path` into the program and selects the start command. Shows
  // MSG_PROGRAM_READ_FAILED (cannot read, or damaged beyond repair) or MSG_NOT_PROGRAM_FILE (not a
  // program file) and leaves the program unchanged on failure. fileName, modified and undo stay.
  bool ReadProgramFile(const std::string& path);
  // Menu commands 57601 (sample false) and 32891 (sample true).
  void OpenProgramFile(bool sample);
  // Menu command 57603: save-as dialog, compaction, write. MSG_PROGRAM_SAVE_FAILED when
  // the file cannot be written (the program stays modified).
  bool SaveProgramFile();
  // Compacts and writes without a dialog; true on success.
  bool WriteProgramFile(const std::string& path);
  // Asks MSG_SAVE_EDITED_PROGRAM when modified: Yes saves (and returns its result).
  bool ConfirmSaveIfModified();
  // Menu command 57600: asks MSG_DISCARD_PROGRAM; Yes keeps only the start command.
  void NewProgram();
  // The file the program on screen was last read from or written to; empty
  // after NewProgram (whose fileName stays only as the next save's proposal).
  const std::string& shownFile() const { return shownFile_; }
  // The load of another program (COMMAND_PROGRAM_FILE): reads `path` like opening it,
  // without asking. Edits not yet saved are first written to a recovery file
  // beside the program, named on the status bar; when that cannot be written
  // the edits stay and MSG_PROGRAM_SAVE_FAILED is shown. Afterwards fileName is `path`,
  // modified is clear and there is nothing to undo. True when loaded.
  bool LoadFromInterface(const std::string& path);
  // Where the edits of the current program go when a load replaces them:
  // "<name>.recovered.ntc" beside `folderOf`, numbered when taken.
  static std::string RecoveryFileName(const std::string& folderOf, const std::string& name);

 private:
  void Redraw() {
    if (redraw_) redraw_();
  }
  // fileName as the dialogs offer it.
  std::string ProposedName() const;
  // Writes `records` to a recovery file; its path, or empty when none could
  // be written.
  std::string WriteRecoveryFile(const ProgramRecords& records, int count,
                                const std::string& loadedPath);

  DrivingProgram& program_;
  const Settings& settings_;
  UiHost& ui_;
  ProgramFileDialogs* dialogs_;
  std::function<void()> redraw_;
  std::string shownFile_;
};

}  // namespace viren
