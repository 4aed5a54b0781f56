#include "api/SharedSection.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace viren::api {

namespace {

std::byte* MapWhole(int fd, std::size_t size) {
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  return p == MAP_FAILED ? nullptr : static_cast<std::byte*>(p);
}

}  // namespace

SharedSection::SharedSection(std::string name, int fd, std::byte* data, std::size_t size)
    : name_(std::move(name)), fd_(fd), data_(data), size_(size) {}

SharedSection::~SharedSection() {
  if (data_) munmap(data_, size_);
  if (fd_ >= 0) close(fd_);  // lets go of the shared hold
}

std::unique_ptr<SharedSection> SharedSection::Create(const std::string& posixName,
                                                     std::size_t size) {
  if (size == 0) return nullptr;
  int fd = shm_open(posixName.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  if (fd < 0 && errno == EEXIST && Probe(posixName) == Holders::None) {
    shm_unlink(posixName.c_str());
    fd = shm_open(posixName.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  }
  if (fd < 0) return nullptr;
  auto fail = [&]() -> std::unique_ptr<SharedSection> {
    close(fd);
    shm_unlink(posixName.c_str());
    return nullptr;
  };
  if (flock(fd, LOCK_SH) != 0) return fail();
  if (ftruncate(fd, static_cast<off_t>(size)) != 0) return fail();
  std::byte* data = MapWhole(fd, size);
  if (!data) return fail();
  return std::unique_ptr<SharedSection>(new SharedSection(posixName, fd, data, size));
}

std::unique_ptr<SharedSection> SharedSection::Open(const std::string& posixName,
                                                   std::size_t minimumSize) {
  int fd = shm_open(posixName.c_str(), O_RDWR, 0600);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (flock(fd, LOCK_SH) != 0 || fstat(fd, &st) != 0 || st.st_size <= 0 ||
      static_cast<std::size_t>(st.st_size) < minimumSize) {
    close(fd);
    return nullptr;
  }
  const auto size = static_cast<std::size_t>(st.st_size);
  std::byte* data = MapWhole(fd, size);
  if (!data) {
    close(fd);
    return nullptr;
  }
  return std::unique_ptr<SharedSection>(new SharedSection(posixName, fd, data, size));
}

SharedSection::Holders SharedSection::Probe(const std::string& posixName) {
  int fd = shm_open(posixName.c_str(), O_RDONLY, 0600);
  if (fd < 0) return errno == ENOENT || errno == EINVAL ? Holders::Missing : Holders::Some;
  const bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
  close(fd);
  return free ? Holders::None : Holders::Some;
}

void SharedSection::Remove(const std::string& posixName) {
  shm_unlink(posixName.c_str());
}

bool SharedSection::HeldElsewhere() {
  // Converting a flock drops the old lock first; a failed conversion leaves
  // none, so the shared hold is taken again in either case.
  const bool alone = flock(fd_, LOCK_EX | LOCK_NB) == 0;
  flock(fd_, LOCK_SH);
  return !alone;
}

}  // namespace viren::api
