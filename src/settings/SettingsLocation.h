#pragma once

#include <functional>
#include <string>

namespace viren {

// Where the two settings files of a program folder live. VIREN.ini is always
// read from the program folder. option.ini stays beside it while the folder can
// be written; an installed program's folder cannot, and then the user's choices
// go to the desktop's configuration folder ($XDG_CONFIG_HOME/viren, by default
// ~/.config/viren). This is the one place that decides these paths.
struct SettingsLocation {
  std::string moduleFolder;  // without a trailing '/'
  std::string settingsFile;  // moduleFolder/VIREN.ini
  std::string optionFile;
  // option.ini beside the program, when optionFile is elsewhere; empty when
  // they are the same file.
  std::string folderOptionFile;
  bool perUser() const { return !folderOptionFile.empty(); }
};

// An environment variable's value, or null (tests pass their own).
using EnvLookup = std::function<const char*(const char*)>;

// The paths for `moduleFolder`. `folderWritable` tells whether a file can be
// created there (the caller checks; tests decide). Without a writable program
// folder and without any configuration folder (no HOME), option.ini stays in
// the program folder and writes to it fail.
SettingsLocation LocateSettings(std::string moduleFolder, bool folderWritable,
                                const EnvLookup& env);

// Whether files can be created in `folder` by this process (access(2) W_OK:
// false on a read-only mount and for a folder the user may not write).
bool FolderWritable(const std::string& folder);

// A per-user option.ini that does not exist yet starts as a copy of the one
// beside the program, so choices made before the folder became read-only (or
// shipped with it) carry over. The configuration folder is created. False
// when a copy was due and could not be made.
bool SeedPerUserOptionFile(const SettingsLocation& location);

}  // namespace viren
