#include "sound/SoundListEditor.h"

#include <utility>

#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "sound/SoundSystem.h"

namespace viren {

namespace {
constexpr std::string_view kSoundSection = "SOUND";
}

std::string SoundFileDisplayName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

SoundListEditor::SoundListEditor(SoundSystem& sound, Settings& settings)
    : sound_(sound), settings_(settings) {}

void SoundListEditor::Open() {
  for (auto& e : entries_) e.clear();
  const int count = sound_.soundCount();
  for (int i = 0; i < count && i < kEntries; ++i)
    entries_[i] = settings_.ReadSettingString(kSoundSection, SoundFileKeyName(i + 1), "",
                                              settings_.optionFile());
}

int SoundListEditor::filled() const {
  int n = 0;
  for (const auto& e : entries_) n += !e.empty();
  return n;
}

std::vector<std::string> SoundListEditor::Lines() const {
  std::vector<std::string> lines;
  for (int i = 0; i < kEntries; ++i)
    if (!entries_[i].empty())
      lines.push_back(std::to_string(i + 1) + ":" + SoundFileDisplayName(entries_[i]));
  return lines;
}

SoundListEditor::Buttons SoundListEditor::ButtonsFor(int selected) const {
  Buttons b;
  b.add = entries_[kEntries - 1].empty();
  if (!Filled(selected)) return b;
  b.remove = b.play = b.stop = true;
  b.moveUp = selected > 0;
  b.moveDown = selected < kEntries - 1 && !entries_[selected + 1].empty();
  return b;
}

int SoundListEditor::Move(int selected, int direction) {
  const int other = selected + direction;
  if ((direction != -1 && direction != 1) || !Filled(selected) || !Filled(other)) return selected;
  // A prepared number keeps playing its loaded file until it is unloaded.
  sound_.UnloadSound(selected + 1);
  sound_.UnloadSound(other + 1);
  std::swap(entries_[selected], entries_[other]);
  return other;
}

bool SoundListEditor::Add(const std::string& path) {
  if (path.empty()) return false;
  for (auto& e : entries_) {
    if (e.empty()) {
      e = path;
      return true;
    }
  }
  return false;
}

void SoundListEditor::Delete(int selected) {
  if (!Filled(selected)) return;
  for (int i = selected; i < kEntries - 1; ++i) entries_[i] = std::move(entries_[i + 1]);
  entries_[kEntries - 1].clear();
  for (int n = selected + 1; n <= SoundSystem::kMaxSoundNumber; ++n) sound_.UnloadSound(n);
}

bool SoundListEditor::TestPlay(int selected) {
  if (!Filled(selected)) return false;
  // A failure has been shown already; trying to play would only repeat it.
  if (sound_.PrepareSound(0) < 0) return false;
  return sound_.PlaySound(0, SoundRepeat::Once, entries_[selected]) >= 0;
}

void SoundListEditor::TestStop() {
  sound_.StopSound(0);
}

void SoundListEditor::Close(bool accept) {
  sound_.StopSound(0);
  if (!accept) return;
  int count = 0;
  for (int i = 0; i < kEntries; ++i) {
    const std::string key = SoundFileKeyName(i + 1);
    if (!entries_[i].empty()) {
      settings_.WriteSettingString(kSoundSection, key, entries_[i], settings_.optionFile());
      ++count;
    } else if (!settings_.ReadSettingString(kSoundSection, key, "", settings_.optionFile())
                    .empty()) {
      settings_.WriteSettingString(kSoundSection, key, "", settings_.optionFile());
    }
  }
  sound_.setSoundCount(count);
}

}  // namespace viren
