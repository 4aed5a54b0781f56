#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "settings/SettingsTable.h"

namespace viren {

class UiHost;

// Colour as the drawing code takes it: red in the lowest byte, then green,
// then blue (0x00BBGGRR). -1 after an unreadable colour text.
using ColorRef = std::int32_t;
inline constexpr ColorRef kBadColor = -1;
constexpr ColorRef MakeColorRef(int r, int g, int b) {
  return r | (g << 8) | (b << 16);
}
constexpr int RedOf(ColorRef c) {
  return c & 0xFF;
}
constexpr int GreenOf(ColorRef c) {
  return (c >> 8) & 0xFF;
}
constexpr int BlueOf(ColorRef c) {
  return (c >> 16) & 0xFF;
}

// Longest value text a reader gets; longer values are cut.
inline constexpr size_t kMaxSettingLength = 259;

// A width,height pair: the width from the leading digits, the height from the
// text after the comma, or from the whole text when there is no comma.
struct SettingPair {
  int first = 0;
  int second = 0;
};
SettingPair ParseSettingPair(std::string_view text);

// "#RRGGBB" to a colour; -1 unless exactly a number sign and six hex digits.
ColorRef ParseColorText(std::string_view text);
std::string FormatColorText(ColorRef color);

// Access to VIREN.ini and option.ini. Every file is read afresh on each call and
// written by replacing it whole, so a value written is what the next reader
// sees, and a crash mid-write leaves the previous file. A file that cannot be
// written (a read-only folder, a full disk) is kept in memory with the new
// value and read from there until a later write gets through, so a choice
// stays in effect until the program ends; the first such failure shows one
// status-bar warning with the file and the reason. Thread safe: values are
// returned by value, file access is serialised.
class Settings {
 public:
  explicit Settings(UiHost* ui = nullptr) : ui_(ui) {}

  // Paths fixed at start-up. moduleFolder is the program folder without a
  // trailing separator.
  void SetPaths(std::string moduleFolder, std::string settingsFile, std::string optionFile);
  const std::string& moduleFolder() const { return moduleFolder_; }
  const std::string& settingsFile() const { return settingsFile_; }
  const std::string& optionFile() const { return optionFile_; }
  const std::string& PathOf(SettingsFileKind kind) const {
    return kind == SettingsFileKind::Viren ? settingsFile_ : optionFile_;
  }

  // The generic readers; an empty `file` means VIREN.ini.
  std::string ReadSettingString(std::string_view section, std::string_view key,
                                std::string_view defaultText, const std::string& file = {}) const;
  int ReadSettingInt(std::string_view section, std::string_view key, int defaultValue,
                     const std::string& file = {}) const;
  // Shows MSG_SETTING_ERROR with the section and key (exclamation icon) for a text
  // that is not #RRGGBB, the default text included, and returns -1.
  ColorRef ReadSettingColor(std::string_view section, std::string_view key,
                            std::string_view defaultText, const std::string& file = {}) const;

  // Whether `file` has the section at all (a first start has none).
  bool HasSection(std::string_view section, const std::string& file) const;

  // Typed reads through the settings table.
  std::string ReadString(const SettingKey& k) const;
  int ReadInt(const SettingKey& k) const;
  double ReadReal(const SettingKey& k) const;
  SettingPair ReadPair(const SettingKey& k) const;
  ColorRef ReadColor(const SettingKey& k) const;

  // Writers; false when the file could not be replaced (the old one stays on
  // disk, the new value in memory).
  bool WriteSettingString(std::string_view section, std::string_view key, std::string_view value,
                          const std::string& file) const;
  bool WriteString(const SettingKey& k, std::string_view value) const;
  bool WriteInt(const SettingKey& k, int value) const;
  bool WriteColor(const SettingKey& k, ColorRef color) const;
  bool WritePair(const SettingKey& k, int first, int second) const;

  // A bare file name lives in `subfolder` of the program folder; a value with
  // a path separator ('/', or '\' from a Windows file, turned into '/') is
  // taken as given.
  std::string ResolveDataPath(std::string_view subfolder, std::string_view value) const;

 private:
  const std::string& FileOrDefault(const std::string& file) const {
    return file.empty() ? settingsFile_ : file;
  }
  // The text of `path`: the unsaved one in memory, else the file's. Called
  // with fileMutex_ held.
  bool CurrentText(const std::string& path, std::string& text) const;

  UiHost* ui_;
  std::string moduleFolder_;
  std::string settingsFile_;
  std::string optionFile_;
  mutable std::mutex fileMutex_;
  // Whole texts of files whose last write failed, by path.
  mutable std::map<std::string, std::string> unsaved_;
  mutable bool saveWarningShown_ = false;
};

// The status-bar text after a settings file could not be written.
std::string SettingsNotSavedText(const std::string& path, const std::string& reason);

}  // namespace viren
