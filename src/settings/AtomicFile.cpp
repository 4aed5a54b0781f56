#include "settings/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace viren {
namespace {

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

std::string FolderOfPath(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view content,
                         const std::function<void()>& beforeRename) {
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  ::fchmod(fd, 0644);
  const bool written = WriteAll(fd, content) && ::fsync(fd) == 0;
  int error = errno;
  ::close(fd);
  if (!written) {
    ::unlink(temp.c_str());
    errno = error;
    return false;
  }
  if (beforeRename) beforeRename();
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    error = errno;
    ::unlink(temp.c_str());
    errno = error;
    return false;
  }
  // Make the rename itself durable.
  const int dir = ::open(FolderOfPath(path).c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

bool ReadWholeFile(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  out = std::move(ss).str();
  return true;
}

}  // namespace viren
