#pragma once

#include <fmt/format.h>

#include <string>
#include <string_view>
#include <utility>

// The diagnostic log: off unless `--log FILE` or VIREN.ini's DEBUG LOG_FILE
// names a file. It records what the program passes over on purpose — a frame
// dropped, a reply discarded, a reconnect attempt, a shared-memory entry
// cleared, a thread left at its priority — so that a quiet failure leaves a
// trace. Nothing here is for the user; messages stay message boxes.
//
// One log per process, as the logging library keeps it; any thread may write.
namespace viren::diag {

enum class Level { Info, Warning, Error };

// Opens `path` for appending (missing folders are made); false with the reason
// in `error`. A log already open is closed first.
bool Open(const std::string& path, std::string& error);
void Close();
bool Enabled();
// The file the log goes to; empty when off.
std::string Path();

void Write(Level level, std::string_view text);

template <class... Args>
void Info(fmt::format_string<Args...> format, Args&&... args) {
  if (Enabled()) Write(Level::Info, fmt::format(format, std::forward<Args>(args)...));
}
template <class... Args>
void Warn(fmt::format_string<Args...> format, Args&&... args) {
  if (Enabled()) Write(Level::Warning, fmt::format(format, std::forward<Args>(args)...));
}
template <class... Args>
void Error(fmt::format_string<Args...> format, Args&&... args) {
  if (Enabled()) Write(Level::Error, fmt::format(format, std::forward<Args>(args)...));
}

}  // namespace viren::diag
