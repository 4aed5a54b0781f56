#include "platform/ThreadPriority.h"

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "core/DiagnosticLog.h"

namespace viren {

bool RaiseWorkerThreadPriority(const char* threadName) {
  // On Linux a thread's nice value is its own: PRIO_PROCESS with the thread id.
  if (::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kWorkerThreadNice) == 0)
    return true;
  const int error = errno;
  static std::atomic<bool> told{false};
  if (!told.exchange(true))
    diag::Warn(
        "thread priority: the {} thread could not be raised to nice {} ({}); worker threads run "
        "at normal priority. Allow it with CAP_SYS_NICE or a nice limit in "
        "/etc/security/limits.conf.",
        threadName, kWorkerThreadNice, std::strerror(error));
  return false;
}

}  // namespace viren
