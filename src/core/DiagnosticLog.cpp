#include "core/DiagnosticLog.h"

#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>

#include <atomic>
#include <memory>
#include <mutex>

namespace viren::diag {
namespace {

// The logger is swapped only by Open and Close; writers take a copy of the
// pointer under the lock and write outside it (the logger is thread-safe).
std::mutex logMutex;
std::shared_ptr<spdlog::logger> logger;
std::string logPath;
std::atomic<bool> enabled{false};

std::shared_ptr<spdlog::logger> Current() {
  std::lock_guard lock(logMutex);
  return logger;
}

}  // namespace

bool Open(const std::string& path, std::string& error) {
  Close();
  try {
    auto sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(path, false);
    auto made = std::make_shared<spdlog::logger>("viren", std::move(sink));
    made->set_pattern("%Y-%m-%d %H:%M:%S.%e [%t] %l: %v");
    made->set_level(spdlog::level::info);
    // A diagnostic line is of most use when the program dies right after it.
    made->flush_on(spdlog::level::info);
    std::lock_guard lock(logMutex);
    logger = std::move(made);
    logPath = path;
    enabled = true;
  } catch (const spdlog::spdlog_ex& e) {
    error = e.what();
    return false;
  }
  return true;
}

void Close() {
  std::lock_guard lock(logMutex);
  enabled = false;
  if (logger) logger->flush();
  logger.reset();
  logPath.clear();
}

bool Enabled() {
  return enabled.load(std::memory_order_relaxed);
}

std::string Path() {
  std::lock_guard lock(logMutex);
  return logPath;
}

void Write(Level level, std::string_view text) {
  const std::shared_ptr<spdlog::logger> to = Current();
  if (!to) return;
  switch (level) {
    case Level::Info:
      to->info(text);
      break;
    case Level::Warning:
      to->warn(text);
      break;
    case Level::Error:
      to->error(text);
      break;
  }
}

}  // namespace viren::diag
