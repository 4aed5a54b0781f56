#include "settings/SettingsLocation.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "settings/AtomicFile.h"

namespace viren {

namespace {

// XDG base-directory rule: $XDG_CONFIG_HOME when it is an absolute path, else
// $HOME/.config; empty when neither is known.
std::string ConfigHome(const EnvLookup& env) {
  const char* xdg = env("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return xdg;
  const char* home = env("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.config";
  return {};
}

}  // namespace

SettingsLocation LocateSettings(std::string moduleFolder, bool folderWritable,
                                const EnvLookup& env) {
  while (moduleFolder.size() > 1 && moduleFolder.back() == '/') moduleFolder.pop_back();
  SettingsLocation location;
  location.settingsFile = moduleFolder + "/VIREN.ini";
  location.optionFile = moduleFolder + "/option.ini";
  if (!folderWritable) {
    if (const std::string config = ConfigHome(env); !config.empty()) {
      location.folderOptionFile = location.optionFile;
      location.optionFile = config + "/viren/option.ini";
    }
  }
  location.moduleFolder = std::move(moduleFolder);
  return location;
}

bool FolderWritable(const std::string& folder) {
  return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

bool SeedPerUserOptionFile(const SettingsLocation& location) {
  if (!location.perUser()) return true;
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path file(location.optionFile);
  fs::create_directories(file.parent_path(), ec);
  if (fs::exists(file, ec)) return true;
  std::string text;
  if (!ReadWholeFile(location.folderOptionFile, text)) return true;  // nothing to carry over
  return WriteFileAtomically(location.optionFile, text);
}

}  // namespace viren
