#pragma once

#include <array>
#include <string>
#include <vector>

namespace viren {

class Settings;
class SoundSystem;

// The sound dialog's working copy of the sound list and what its buttons do,
// apart from the widgets. Entry i holds the file of sound number i + 1; filled
// entries are always the first ones, so list line i is entry i.
// Window thread only.
class SoundListEditor {
 public:
  static constexpr int kEntries = 100;

  // Which of the dialog's buttons may be pressed.
  struct Buttons {
    bool add = false;
    bool remove = false;
    bool moveUp = false;
    bool moveDown = false;
    bool play = false;
    bool stop = false;
  };

  SoundListEditor(SoundSystem& sound, Settings& settings);

  // Copies the listed files 1..soundCount (as written in option.ini).
  void Open();
  // One line per filled entry: "number:file name without its folder".
  std::vector<std::string> Lines() const;
  // Button states with line `selected` chosen (-1: none).
  Buttons ButtonsFor(int selected) const;

  // Exchanges line `selected` with the one above (-1) or below (+1), unloading
  // both numbers' sounds. Returns the line to select afterwards.
  int Move(int selected, int direction);
  // Puts `path` into the first free entry; false when the list is full.
  bool Add(const std::string& path);
  // Removes line `selected`; the later ones move up, and every number from the
  // removed one on has its sound unloaded.
  void Delete(int selected);
  // Test playback of line `selected` on the shared player, and its stop.
  // False when nothing could be played.
  bool TestPlay(int selected);
  void TestStop();
  // Stops the test playback; with `accept`, writes the list to option.ini
  // (clearing keys no longer used) and sets soundCount.
  void Close(bool accept);

  const std::string& entry(int i) const { return entries_[i]; }
  int filled() const;

 private:
  bool Filled(int line) const { return line >= 0 && line < kEntries && !entries_[line].empty(); }

  SoundSystem& sound_;
  Settings& settings_;
  std::array<std::string, kEntries> entries_;
};

// The part of a stored path after its last folder separator ('/' or '\').
std::string SoundFileDisplayName(const std::string& path);

}  // namespace viren
