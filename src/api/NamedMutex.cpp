#include "api/NamedMutex.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

namespace viren::api {

namespace {

constexpr std::uint32_t kReadyMark = 0x564D5458;  // "VMTX": the creator finished the mutex
// How long an opener waits for a creator that is between creating the region
// and initialising the mutex; a creator that dies there leaves a region that
// OpenOrCreate replaces after this time.
constexpr auto kCreatorGrace = std::chrono::milliseconds(1000);

timespec DeadlineAfter(int timeoutMs) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  long long ns = now.tv_nsec + static_cast<long long>(timeoutMs % 1000) * 1000000LL;
  timespec deadline{};
  deadline.tv_sec = now.tv_sec + timeoutMs / 1000 + static_cast<time_t>(ns / 1000000000LL);
  deadline.tv_nsec = static_cast<long>(ns % 1000000000LL);
  return deadline;
}

}  // namespace

struct NamedMutex::Region {
  std::uint32_t ready;
  std::uint32_t reserved;
  pthread_mutex_t mutex;
};

NamedMutex::NamedMutex(std::string name, int fd, Region* region)
    : name_(std::move(name)), fd_(fd), region_(region) {}

NamedMutex::~NamedMutex() {
  if (region_) munmap(region_, sizeof(Region));
  if (fd_ >= 0) close(fd_);
}

// Turns a region this process has just created exclusively into a finished mutex.
std::unique_ptr<NamedMutex> NamedMutex::Initialise(const std::string& posixName, int fd) {
  auto fail = [&]() -> std::unique_ptr<NamedMutex> {
    close(fd);
    shm_unlink(posixName.c_str());
    return nullptr;
  };
  if (ftruncate(fd, sizeof(Region)) != 0) return fail();
  void* p = mmap(nullptr, sizeof(Region), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (p == MAP_FAILED) return fail();
  auto* region = static_cast<Region*>(p);
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
  pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
  // A thread that locks twice gets an error instead of hanging.
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_ERRORCHECK);
  int rc = pthread_mutex_init(&region->mutex, &attr);
  pthread_mutexattr_destroy(&attr);
  if (rc != 0) {
    munmap(p, sizeof(Region));
    return fail();
  }
  std::atomic_ref<std::uint32_t>(region->ready).store(kReadyMark, std::memory_order_release);
  return std::unique_ptr<NamedMutex>(new NamedMutex(posixName, fd, region));
}

std::unique_ptr<NamedMutex> NamedMutex::Create(const std::string& posixName) {
  int fd = shm_open(posixName.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  if (fd < 0 && errno == EEXIST) {
    // Callers create a mutex only under a name nobody has registered, so what
    // stands there is left over from a process that is gone.
    shm_unlink(posixName.c_str());
    fd = shm_open(posixName.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  }
  if (fd < 0) return nullptr;
  return Initialise(posixName, fd);
}

std::unique_ptr<NamedMutex> NamedMutex::Open(const std::string& posixName) {
  int fd = shm_open(posixName.c_str(), O_RDWR, 0600);
  if (fd < 0) return nullptr;
  // The creator may still be between creating the region and finishing the mutex.
  const auto giveUp = std::chrono::steady_clock::now() + kCreatorGrace;
  struct stat st {};
  while (fstat(fd, &st) == 0 && st.st_size < static_cast<off_t>(sizeof(Region))) {
    if (std::chrono::steady_clock::now() > giveUp) {
      close(fd);
      return nullptr;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  void* p = mmap(nullptr, sizeof(Region), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (p == MAP_FAILED) {
    close(fd);
    return nullptr;
  }
  auto* region = static_cast<Region*>(p);
  while (std::atomic_ref<std::uint32_t>(region->ready).load(std::memory_order_acquire) !=
         kReadyMark) {
    if (std::chrono::steady_clock::now() > giveUp) {
      munmap(p, sizeof(Region));
      close(fd);
      return nullptr;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return std::unique_ptr<NamedMutex>(new NamedMutex(posixName, fd, region));
}

std::unique_ptr<NamedMutex> NamedMutex::OpenOrCreate(const std::string& posixName) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    int fd = shm_open(posixName.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    if (fd >= 0) return Initialise(posixName, fd);
    if (errno != EEXIST) return nullptr;
    if (auto opened = Open(posixName)) return opened;
    // Still unfinished after longer than any creator needs: its creator died
    // half-way. Remove it and create it afresh.
    int probe = shm_open(posixName.c_str(), O_RDONLY, 0600);
    if (probe >= 0) {
      close(probe);
      shm_unlink(posixName.c_str());
    }
  }
  return nullptr;
}

void NamedMutex::Remove(const std::string& posixName) {
  shm_unlink(posixName.c_str());
}

NamedMutex::LockResult NamedMutex::Lock(int timeoutMs) {
  int rc = 0;
  if (timeoutMs < 0) {
    rc = pthread_mutex_lock(&region_->mutex);
  } else {
    // A free mutex, abandoned or not, is taken without a deadline. (This also
    // keeps ThreadSanitizer informed: its timedlock hook misses EOWNERDEAD.)
    rc = pthread_mutex_trylock(&region_->mutex);
    if (rc == EBUSY) {
      const timespec deadline = DeadlineAfter(timeoutMs);
      rc = pthread_mutex_timedlock(&region_->mutex, &deadline);
    }
  }
  switch (rc) {
    case 0:
      return LockResult::Locked;
    case ETIMEDOUT:
      return LockResult::TimedOut;
    case EOWNERDEAD:
      // The owner died mid-way; what it guarded may be half-written, but the
      // mutex itself is good again.
      pthread_mutex_consistent(&region_->mutex);
      return LockResult::Abandoned;
    default:
      return LockResult::Failed;
  }
}

bool NamedMutex::Unlock() {
  return pthread_mutex_unlock(&region_->mutex) == 0;
}

}  // namespace viren::api
