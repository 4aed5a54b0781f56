#include "settings/Settings.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "core/UiHost.h"
#include "settings/AtomicFile.h"
#include "settings/IniFile.h"

namespace viren {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

SettingPair ParseSettingPair(std::string_view text) {
  SettingPair pair;
  pair.first = ParseProfileInt(text);
  const size_t comma = text.find(',');
  pair.second = ParseProfileInt(comma == std::string_view::npos ? text : text.substr(comma + 1));
  return pair;
}

ColorRef ParseColorText(std::string_view text) {
  if (text.size() != 7 || text[0] != '#') return kBadColor;
  int v[6];
  for (int i = 0; i < 6; ++i) {
    v[i] = HexDigit(text[static_cast<size_t>(i) + 1]);
    if (v[i] < 0) return kBadColor;
  }
  return MakeColorRef(v[0] * 16 + v[1], v[2] * 16 + v[3], v[4] * 16 + v[5]);
}

std::string FormatColorText(ColorRef color) {
  char text[16];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", RedOf(color), GreenOf(color), BlueOf(color));
  return text;
}

void Settings::SetPaths(std::string moduleFolder, std::string settingsFile,
                        std::string optionFile) {
  moduleFolder_ = std::move(moduleFolder);
  settingsFile_ = std::move(settingsFile);
  optionFile_ = std::move(optionFile);
}

std::string Settings::ReadSettingString(std::string_view section, std::string_view key,
                                        std::string_view defaultText,
                                        const std::string& file) const {
  std::string text;
  std::optional<std::string> value;
  {
    std::lock_guard lock(fileMutex_);
    if (CurrentText(FileOrDefault(file), text)) value = ini::Lookup(text, section, key);
  }
  std::string result = value ? std::move(*value) : std::string(defaultText);
  if (result.size() > kMaxSettingLength) result.resize(kMaxSettingLength);
  return result;
}

bool Settings::HasSection(std::string_view section, const std::string& file) const {
  std::string text;
  std::lock_guard lock(fileMutex_);
  return CurrentText(FileOrDefault(file), text) && ini::HasSection(text, section);
}

int Settings::ReadSettingInt(std::string_view section, std::string_view key, int defaultValue,
                             const std::string& file) const {
  const std::string text = ReadSettingString(section, key, {}, file);
  // A missing key and an empty value both give the default.
  if (text.empty()) return defaultValue;
  return ParseProfileInt(text);
}

ColorRef Settings::ReadSettingColor(std::string_view section, std::string_view key,
                                    std::string_view defaultText, const std::string& file) const {
  std::string text = ReadSettingString(section, key, defaultText, file);
  if (text.size() > 15) text.resize(15);
  const ColorRef color = ParseColorText(text);
  if (color == kBadColor && ui_ != nullptr)
    ui_->Message(MSG_SETTING_ERROR, {std::string(section), std::string(key)}, MsgIcon::Exclamation,
                 MsgButtons::Ok);
  return color;
}

std::string Settings::ReadString(const SettingKey& k) const {
  return ReadSettingString(k.section, k.key, k.defaultText, PathOf(k.file));
}

int Settings::ReadInt(const SettingKey& k) const {
  return ReadSettingInt(k.section, k.key, k.DefaultInt(), PathOf(k.file));
}

double Settings::ReadReal(const SettingKey& k) const {
  const std::string text = ReadString(k);
  return std::strtod(text.c_str(), nullptr);
}

SettingPair Settings::ReadPair(const SettingKey& k) const {
  return ParseSettingPair(ReadString(k));
}

ColorRef Settings::ReadColor(const SettingKey& k) const {
  return ReadSettingColor(k.section, k.key, k.defaultText, PathOf(k.file));
}

bool Settings::CurrentText(const std::string& path, std::string& text) const {
  if (auto it = unsaved_.find(path); it != unsaved_.end()) {
    text = it->second;
    return true;
  }
  return ReadWholeFile(path, text);
}

std::string SettingsNotSavedText(const std::string& path, const std::string& reason) {
  return "設定を保存できません: " + path + " (" + reason + ")。変更は終了まで有効です";
}

bool Settings::WriteSettingString(std::string_view section, std::string_view key,
                                  std::string_view value, const std::string& file) const {
  std::string warning;
  {
    std::lock_guard lock(fileMutex_);
    const std::string& path = FileOrDefault(file);
    std::string text;
    CurrentText(path, text);  // a missing file is created
    std::string updated = ini::Update(text, section, key, value);
    // The user's configuration folder is made on the first write.
    std::error_code folderError;
    if (const auto folder = std::filesystem::path(path).parent_path(); !folder.empty())
      std::filesystem::create_directories(folder, folderError);
    if (WriteFileAtomically(path, updated)) {
      unsaved_.erase(path);
      return true;
    }
    const std::string reason = folderError ? folderError.message() : std::strerror(errno);
    unsaved_[path] = std::move(updated);
    if (!saveWarningShown_) {
      saveWarningShown_ = true;
      warning = SettingsNotSavedText(path, reason);
    }
  }
  if (!warning.empty() && ui_ != nullptr) ui_->SetStatusText(warning);
  return false;
}

bool Settings::WriteString(const SettingKey& k, std::string_view value) const {
  return WriteSettingString(k.section, k.key, value, PathOf(k.file));
}

bool Settings::WriteInt(const SettingKey& k, int value) const {
  return WriteString(k, std::to_string(value));
}

bool Settings::WriteColor(const SettingKey& k, ColorRef color) const {
  return WriteString(k, FormatColorText(color));
}

bool Settings::WritePair(const SettingKey& k, int first, int second) const {
  return WriteString(k, std::to_string(first) + "," + std::to_string(second));
}

std::string Settings::ResolveDataPath(std::string_view subfolder, std::string_view value) const {
  if (value.find_first_of("/\\") != std::string_view::npos) {
    std::string path(value);
    for (char& c : path)
      if (c == '\\') c = '/';
    return path;
  }
  std::string path = moduleFolder_;
  path.append("/").append(subfolder).append("/").append(value);
  return path;
}

}  // namespace viren
