#include "program/ProgramFile.h"

#include <cstring>
#include <fstream>

#include "core/UiHost.h"
#include "settings/AtomicFile.h"
#include "settings/Settings.h"

namespace viren {

namespace {

constexpr int kMsgSaveFailed = 148;
constexpr int kMsgReadFailed = 149;
constexpr int kMsgNotProgramFile = 150;
constexpr int kMsgSaveEdited = 152;
constexpr int kMsgDiscardProgram = 155;

std::int32_t ReadInt32(const char* p) {
  std::int32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

void WriteInt32(char* p, std::int32_t v) {
  std::memcpy(p, &v, sizeof v);
}

}  // namespace

ProgramReadStatus DecodeProgramFile(std::string_view bytes, ProgramRecords& records, int& count) {
  if (bytes.size() < kProgramMagic.size() || bytes.substr(0, kProgramMagic.size()) != kProgramMagic)
    return ProgramReadStatus::NotProgramFile;
  if (bytes.size() < static_cast<size_t>(kProgramHeaderSize))
    return ProgramReadStatus::NotProgramFile;
  const std::int32_t n = ReadInt32(bytes.data() + 8);
  if (n < 1 || n > kProgramSlots) return ProgramReadStatus::NotProgramFile;
  const size_t needed = kProgramHeaderSize + static_cast<size_t>(n) * sizeof(EventRecord);
  if (bytes.size() < needed) return ProgramReadStatus::NotProgramFile;
  records.fill(EventRecord{});
  std::memcpy(records.data(), bytes.data() + kProgramHeaderSize, n * sizeof(EventRecord));
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
      ShowMessage(ui_, kMsgReadFailed);
      return false;
    case ProgramReadStatus::NotProgramFile:
      ShowMessage(ui_, kMsgNotProgramFile);
      return false;
    case ProgramReadStatus::Ok:
      break;
  }
  program_.Replace(records.data(), count);
  program_.selection = 0;
  return true;
}

void ProgramFiles::OpenProgramFile(bool sample) {
  if (!ConfirmSaveIfModified() || !dialogs_) return;
  const std::string path =
      sample ? dialogs_->ChooseProgramToOpen("", settings_.ResolveDataPath(kProgramFolder, ""))
             : dialogs_->ChooseProgramToOpen(program_.fileName, "");
  if (path.empty() || !ReadProgramFile(path)) return;
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
  const std::string path = dialogs_->ChooseProgramToSave(program_.fileName);
  if (path.empty()) return false;
  if (!WriteProgramFile(path)) {
    ShowMessage(ui_, kMsgSaveFailed);
    Redraw();  // the flowchart was renumbered all the same
    return false;
  }
  program_.fileName = path;
  settings_.WriteString(keys::EVENT_FILE_NAME, path);
  program_.modified = false;
  Redraw();
  return true;
}

bool ProgramFiles::ConfirmSaveIfModified() {
  if (!program_.modified) return true;
  if (ShowMessage(ui_, kMsgSaveEdited, MsgIcon::Question, MsgButtons::YesNo) == MsgAnswer::Yes)
    return SaveProgramFile();
  return true;
}

void ProgramFiles::NewProgram() {
  if (ShowMessage(ui_, kMsgDiscardProgram, MsgIcon::Question, MsgButtons::YesNo) != MsgAnswer::Yes)
    return;
  program_.DiscardToStart();
  Redraw();
}

}  // namespace viren
