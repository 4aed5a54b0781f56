#include "sound/SoundSystem.h"

#include <filesystem>

#include "core/UiHost.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "sound/SoundErrors.h"

namespace viren {

namespace {

// The names of the failing calls that MSG_AUDIO_ERROR shows; users and their notes
// know the sound errors by these names.
constexpr const char* kCallLoader = "CLSID_DirectMusicLoader";
constexpr const char* kCallPlayer = "CLSID_DirectMusicPerformance";
constexpr const char* kCallInitAudio = "InitAudio";
constexpr const char* kCallLoad = "LoadObjectFromFile";
constexpr const char* kCallDownload = "Download";
constexpr const char* kCallUnload = "Unload";
constexpr const char* kCallSetRepeats = "SetRepeats";
constexpr const char* kCallPlay = "PlaySegmentEx";
constexpr const char* kCallStop = "StopEx";
constexpr const char* kCallSharedPlayer = "InitSoundNo";

constexpr std::string_view kSoundSection = "SOUND";
constexpr std::string_view kSoundFolder = "sample/sound";

}  // namespace

SoundSystem::SoundSystem(Settings& settings, UiHost& ui, std::unique_ptr<SoundBackend> backend)
    : settings_(settings), ui_(ui), backend_(std::move(backend)) {}

SoundSystem::~SoundSystem() {
  ReleaseAll();
}

void SoundSystem::ReleaseAll() {
  for (Slot& slot : slots_) {
    std::lock_guard lock(slot.mutex);
    if (slot.segment) {
      if (slot.player->IsPlaying(*slot.segment)) slot.player->Stop(*slot.segment);
      slot.player->Unload(*slot.segment);
    }
    slot.segment.reset();
    slot.player.reset();
  }
}

bool SoundSystem::InitSound(bool prepareShared) {
  ReleaseAll();
  if (int rc = backend_->CreateLoader(); rc < 0) {
    ReportSoundError(rc, kCallLoader);
    return false;
  }
  backend_->SetSoundFont(settings_.ReadString(keys::SOUND_FONT));
  if (!settings_.HasSection(kSoundSection, settings_.optionFile())) ListSampleSounds();
  soundCount_ = 0;
  for (int n = 1; n <= kMaxSoundNumber; ++n) {
    const std::string value =
        settings_.ReadSettingString(kSoundSection, SoundFileKeyName(n), "", settings_.optionFile());
    if (value.empty()) break;
    const std::string path = settings_.ResolveDataPath(kSoundFolder, value);
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
      ui_.Message(MSG_SOUND_FILE_MISSING, {std::to_string(n), path}, MsgIcon::Stop, MsgButtons::Ok);
    soundCount_ = n;
  }
  if (prepareShared) return PrepareSound(0) >= 0;
  return true;
}

void SoundSystem::ListSampleSounds() {
  int n = 0;
  for (const char* name : kSampleSounds) {
    std::error_code ec;
    if (!std::filesystem::exists(settings_.ResolveDataPath(kSoundFolder, name), ec)) break;
    settings_.WriteSettingString(kSoundSection, SoundFileKeyName(++n), name,
                                 settings_.optionFile());
  }
}

std::string SoundSystem::ListedPath(int n) const {
  const std::string value =
      settings_.ReadSettingString(kSoundSection, SoundFileKeyName(n), "", settings_.optionFile());
  return settings_.ResolveDataPath(kSoundFolder, value);
}

int SoundSystem::SlotOf(int n) const {
  std::lock_guard lock(slots_[n].mutex);
  return slots_[n].player ? n : 0;
}

bool SoundSystem::HasPlayer(int n) const {
  if (!ValidNumber(n)) return false;
  std::lock_guard lock(slots_[n].mutex);
  return slots_[n].player != nullptr;
}

bool SoundSystem::IsLoaded(int n) const {
  if (!ValidNumber(n)) return false;
  std::lock_guard lock(slots_[n].mutex);
  return slots_[n].segment != nullptr;
}

SoundSystem::Failure SoundSystem::PrepareLocked(Slot& slot, int n) {
  if (!slot.player) {
    std::unique_ptr<SoundPlayer> player;
    if (int rc = backend_->CreatePlayer(&player); rc < 0) return {rc, kCallPlayer};
    // A player whose output did not open is not kept: the next prepare tries
    // again instead of finding a player that can never play.
    if (int rc = player->InitAudio(); rc < 0) return {rc, kCallInitAudio};
    slot.player = std::move(player);
  }
  // A number whose file was unloaded (the list changed) or failed to load is
  // loaded here, so that the run's sound commands only start playback.
  if (n > 0 && !slot.segment) return LoadLocked(slot, ListedPath(n));
  return {};
}

SoundSystem::Failure SoundSystem::LoadLocked(Slot& slot, const std::string& path) {
  std::unique_ptr<SoundSegment> segment;
  if (int rc = backend_->LoadSegment(path, &segment); rc < 0) return {rc, kCallLoad};
  if (int rc = slot.player->Download(*segment); rc < 0) return {rc, kCallDownload};
  slot.segment = std::move(segment);
  return {};
}

SoundSystem::Failure SoundSystem::UnloadLocked(Slot& slot) {
  if (!slot.segment) return {};
  if (int rc = slot.player->Unload(*slot.segment); rc < 0) return {rc, kCallUnload};
  slot.segment.reset();
  return {};
}

SoundSystem::Failure SoundSystem::StopLocked(Slot& slot, int slotNumber) {
  if (!slot.segment || !slot.player->IsPlaying(*slot.segment)) return {};
  if (int rc = slot.player->Stop(*slot.segment); rc < 0) return {rc, kCallStop};
  // The shared player plays a different file each time: it forgets this one.
  if (slotNumber == 0) return UnloadLocked(slot);
  return {};
}

int SoundSystem::Report(Failure failure) {
  return failure ? ReportSoundError(failure.code, failure.call) : 0;
}

int SoundSystem::PrepareSound(int n) {
  if (!ValidNumber(n)) return ReportSoundError(kSoundErrorBadNumber, "PrepareSound");
  Failure failure;
  {
    std::lock_guard lock(slots_[n].mutex);
    failure = PrepareLocked(slots_[n], n);
  }
  return Report(failure);
}

int SoundSystem::PlaySound(int n, SoundRepeat repeat, std::string_view file) {
  if (!ValidNumber(n)) return ReportSoundError(kSoundErrorBadNumber, "PlaySound");
  const int slotNumber = SlotOf(n);
  Slot& slot = slots_[slotNumber];
  if (slotNumber == 0) {
    Failure failure;
    {
      std::lock_guard lock(slot.mutex);
      if (!slot.player) failure = PrepareLocked(slot, 0);
    }
    if (failure) {
      Report(failure);
      return ReportSoundError(failure.code, kCallSharedPlayer);
    }
  }
  Failure failure;
  {
    std::lock_guard lock(slot.mutex);
    failure = StopLocked(slot, slotNumber);
    if (!failure && (slotNumber == 0 || !slot.segment)) {
      const std::string path =
          file.empty() ? ListedPath(n) : settings_.ResolveDataPath(kSoundFolder, file);
      failure = UnloadLocked(slot);
      if (!failure) failure = LoadLocked(slot, path);
    }
    if (!failure) {
      if (int rc = slot.segment->SetRepeats(repeat); rc < 0) failure = {rc, kCallSetRepeats};
    }
    if (!failure) {
      if (int rc = slot.player->Play(*slot.segment); rc < 0) failure = {rc, kCallPlay};
    }
  }
  return Report(failure);
}

int SoundSystem::StopSound(int n) {
  if (!ValidNumber(n)) return kSoundErrorBadNumber;
  const int slotNumber = SlotOf(n);
  Failure failure;
  {
    std::lock_guard lock(slots_[slotNumber].mutex);
    failure = StopLocked(slots_[slotNumber], slotNumber);
  }
  return Report(failure);
}

void SoundSystem::StopAllSounds() {
  // Every loaded number, not only 1..soundCount: a number prepared before the
  // list was shortened may still be repeating.
  for (int n = 0; n <= kMaxSoundNumber; ++n) {
    Failure failure;
    {
      std::lock_guard lock(slots_[n].mutex);
      failure = StopLocked(slots_[n], n);
    }
    Report(failure);
  }
}

int SoundSystem::UnloadSound(int n) {
  if (!ValidNumber(n)) return kSoundErrorBadNumber;
  Failure failure;
  {
    std::lock_guard lock(slots_[n].mutex);
    failure = UnloadLocked(slots_[n]);
  }
  return Report(failure);
}

bool SoundSystem::IsSoundPlaying(int n) const {
  if (!ValidNumber(n)) return false;
  const int slotNumber = SlotOf(n);
  const Slot& slot = slots_[slotNumber];
  std::lock_guard lock(slot.mutex);
  return slot.segment && slot.player->IsPlaying(*slot.segment);
}

int SoundSystem::ReportSoundError(int code, std::string_view name) {
  const SoundErrorText text = backend_->DescribeError(code);
  ui_.Message(MSG_AUDIO_ERROR, {std::string(name), text.name + ":" + text.description},
              MsgIcon::Stop, MsgButtons::Ok);
  return code;
}

}  // namespace viren
