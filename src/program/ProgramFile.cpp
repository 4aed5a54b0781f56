#include "program/ProgramFile.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "core/Messages.h"
#include "core/UiHost.h"
#include "settings/AtomicFile.h"
#include "settings/Settings.h"

namespace viren {

namespace {

std::int32_t ReadInt32(const char* p) {
  std::int32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

void WriteInt32(char* p, std::int32_t v) {
  std::memcpy(p, &v, sizeof v);
}

}  // namespace

bool RepairProgramRecords(EventRecord* r, int count) {
  if (count < 1 || count > kProgramSlots || r[0].kind != EVENT_START) return false;
  for (int i = 0; i < count; ++i)
    if (r[i].kind > EVENT_BALL || (i > 0 && r[i].kind == EVENT_START)) return false;
  auto used = [&](int i) { return i >= 0 && i < count && r[i].kind != EVENT_FREE; };

  for (int i = 0; i < count; ++i)
    if (!used(i)) r[i].next = r[i].prev = r[i].link = -1;
  // Record 0 heads the start chain and never jumps.
  r[0].prev = -1;
  r[0].link = -1;
  // A successor counts only when it names its predecessor back, so no record
  // has two predecessors; prev is then checked against the kept next links.
  for (int i = 0; i < count; ++i) {
    const int n = r[i].next;
    if (n != -1 && !(n > 0 && used(n) && r[n].prev == i)) r[i].next = -1;
  }
  for (int i = 0; i < count; ++i) {
    const int p = r[i].prev;
    if (p != -1 && !(used(p) && r[p].next == i)) r[i].prev = -1;
  }
  // What is left are chains from a head and rings without one. Each ring is
  // opened before its lowest index.
  std::vector<bool> reached(count, false);
  auto walk = [&](int head) {
    for (int c = head; c != -1 && !reached[c]; c = r[c].next) reached[c] = true;
  };
  for (int i = 0; i < count; ++i)
    if (used(i) && r[i].prev == -1) walk(i);
  for (int i = 0; i < count; ++i) {
    if (!used(i) || reached[i]) continue;
    r[r[i].prev].next = -1;
    r[i].prev = -1;
    walk(i);
  }
  for (int i = 0; i < count; ++i)
    if (r[i].link != -1 && !(r[i].link > 0 && used(r[i].link))) r[i].link = -1;
  return true;
}

ProgramReadStatus DecodeProgramFile(std::string_view bytes, ProgramRecords& records, int& count) {
  if (bytes.size() < kProgramMagic.size() || bytes.substr(0, kProgramMagic.size()) != kProgramMagic)
    return ProgramReadStatus::NotProgramFile;
  if (bytes.size() < static_cast<size_t>(kProgramHeaderSize)) return ProgramReadStatus::Damaged;
  const std::int32_t n = ReadInt32(bytes.data() + 8);
  if (n < 1 || n > kProgramSlots) return ProgramReadStatus::Damaged;
  const size_t needed = kProgramHeaderSize + static_cast<size_t>(n) * sizeof(EventRecord);
  if (bytes.size() < needed) return ProgramReadStatus::Damaged;
  ProgramRecords read{};
  std::memcpy(read.data(), bytes.data() + kProgramHeaderSize, n * sizeof(EventRecord));
  if (!RepairProgramRecords(read.data(), n)) return ProgramReadStatus::Damaged;
  records = read;
  count = n;
  return ProgramReadStatus::Ok;
}

std::string EncodeProgramFile(const EventRecord* records, int count) {
  std::string bytes(kProgramHeaderSize + static_cast<size_t>(count) * sizeof(EventRecord), '\0');
  std::memcpy(bytes.data(), kProgramMagic.data(), kProgramMagic.size());
  WriteInt32(bytes.data() + 4, kProgramVersion);
  WriteInt32(bytes.data() + 8, count);
  if (count > 0)
    std::memcpy(bytes.data() + kProgramHeaderSize, records, count * sizeof(EventRecord));
  return bytes;
}

ProgramReadStatus ReadProgramBytes(const std::string& path, ProgramRecords& records, int& count) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return ProgramReadStatus::CannotOpen;
  std::string bytes(kProgramHeaderSize + kProgramSlots * sizeof(EventRecord), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (in.bad()) return ProgramReadStatus::CannotOpen;
  bytes.resize(static_cast<size_t>(in.gcount()));
  return DecodeProgramFile(bytes, records, count);
}

ProgramFiles::ProgramFiles(DrivingProgram& program, const Settings& settings, UiHost& ui,
                           ProgramFileDialogs* dialogs)
    : program_(program), settings_(settings), ui_(ui), dialogs_(dialogs) {}

void ProgramFiles::LoadProgramAtStartup() {
  program_.ResetToStart();
  program_.fileName = settings_.ReadString(keys::EVENT_FILE_NAME);
  if (!program_.fileName.empty())
    ReadProgramFile(settings_.ResolveDataPath(kProgramFolder, program_.fileName));
  Redraw();
}

bool ProgramFiles::ReadProgramFile(const std::string& path) {
  ProgramRecords records;
  int count = 0;
  switch (ReadProgramBytes(path, records, count)) {
    case ProgramReadStatus::CannotOpen:
    case ProgramReadStatus::Damaged:
      ShowMessage(ui_, MSG_PROGRAM_READ_FAILED);
      return false;
    case ProgramReadStatus::NotProgramFile:
      ShowMessage(ui_, MSG_NOT_PROGRAM_FILE);
      return false;
    case ProgramReadStatus::Ok:
      break;
  }
  program_.Replace(records.data(), count);
  program_.selection = 0;
  shownFile_ = path;
  return true;
}

std::string ProgramFiles::ProposedName() const {
  // A bare FILE_NAME was read from the sample folder, so it is proposed there.
  if (program_.fileName.empty()) return {};
  return settings_.ResolveDataPath(kProgramFolder, program_.fileName);
}

void ProgramFiles::OpenProgramFile(bool sample) {
  if (!ConfirmSaveIfModified() || !dialogs_) return;
  const std::string path =
      sample ? dialogs_->ChooseProgramToOpen("", settings_.ResolveDataPath(kProgramFolder, ""))
             : dialogs_->ChooseProgramToOpen(ProposedName(), "");
  if (path.empty()) return;
  // Opening a file is a step of the editing history (a failed one is none).
  program_.RecordUndoStep();
  if (!ReadProgramFile(path)) return;
  program_.fileName = path;
  settings_.WriteString(keys::EVENT_FILE_NAME, path);
  program_.modified = false;
  Redraw();
}

bool ProgramFiles::WriteProgramFile(const std::string& path) {
  program_.Compact();
  int count = 0;
  const ProgramRecords records = program_.Snapshot(&count);
  return WriteFileAtomically(path, EncodeProgramFile(records.data(), count));
}

bool ProgramFiles::SaveProgramFile() {
  if (!dialogs_ || program_.count() < 1) return false;
  const std::string path = dialogs_->ChooseProgramToSave(ProposedName());
  if (path.empty()) return false;
  if (!WriteProgramFile(path)) {
    ShowMessage(ui_, MSG_PROGRAM_SAVE_FAILED);
    Redraw();  // the flowchart was renumbered all the same
    return false;
  }
  program_.fileName = path;
  shownFile_ = path;
  settings_.WriteString(keys::EVENT_FILE_NAME, path);
  program_.modified = false;
  Redraw();
  return true;
}

bool ProgramFiles::ConfirmSaveIfModified() {
  if (!program_.modified) return true;
  if (ShowMessage(ui_, MSG_SAVE_EDITED_PROGRAM, MsgIcon::Question, MsgButtons::YesNo) ==
      MsgAnswer::Yes)
    return SaveProgramFile();
  return true;
}

void ProgramFiles::NewProgram() {
  if (ShowMessage(ui_, MSG_DISCARD_PROGRAM, MsgIcon::Question, MsgButtons::YesNo) != MsgAnswer::Yes)
    return;
  program_.RecordUndoStep();
  program_.DiscardToStart();
  shownFile_.clear();
  Redraw();
}

bool ProgramFiles::LoadFromInterface(const std::string& path) {
  const bool edited = program_.modified;
  int editedCount = 0;
  const ProgramRecords edits = program_.Snapshot(&editedCount);
  const int editedSelection = program_.selection;
  const std::string editedFile = shownFile_;
  if (!ReadProgramFile(path)) return false;
  if (edited) {
    const std::string recovery = WriteRecoveryFile(edits, editedCount, path);
    if (recovery.empty()) {
      // Nowhere to keep the edits: they stay, and the load is refused.
      program_.Replace(edits.data(), editedCount);
      program_.selection = editedSelection;
      shownFile_ = editedFile;
      ShowMessage(ui_, MSG_PROGRAM_SAVE_FAILED);
      return false;
    }
    ui_.SetStatusText(FormatMessage(MSG_EDITS_RECOVERED, {recovery}));
  }
  program_.fileName = path;
  program_.modified = false;
  program_.ClearUndoHistory();
  program_.pendingLinkSource = -1;
  Redraw();
  return true;
}

std::string ProgramFiles::RecoveryFileName(const std::string& folderOf, const std::string& name) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::path(folderOf).parent_path();
  std::string stem = fs::path(name).stem().string();
  if (stem.empty()) stem = "program";
  for (int n = 1; n < 1000; ++n) {
    const std::string file = stem + ".recovered" + (n == 1 ? "" : "-" + std::to_string(n)) + ".ntc";
    const fs::path candidate = folder / file;
    std::error_code error;
    if (!fs::exists(candidate, error) && !error) return candidate.string();
  }
  return {};
}

std::string ProgramFiles::WriteRecoveryFile(const ProgramRecords& records, int count,
                                            const std::string& loadedPath) {
  ProgramRecords compacted = records;
  const int n = CompactProgram(compacted.data(), count);
  const std::string bytes = EncodeProgramFile(compacted.data(), n);
  // Beside the program's own file; a program never saved, or a folder that
  // cannot be written, keeps them beside the file just loaded.
  std::vector<std::string> folders;
  if (!program_.fileName.empty())
    folders.push_back(settings_.ResolveDataPath(kProgramFolder, program_.fileName));
  folders.push_back(loadedPath);
  for (const std::string& folderOf : folders) {
    const std::string path = RecoveryFileName(folderOf, program_.fileName);
    if (!path.empty() && WriteFileAtomically(path, bytes)) return path;
  }
  return {};
}

}  // namespace viren
