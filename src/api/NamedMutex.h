#pragma once

#include <pthread.h>

#include <cstdint>
#include <memory>
#include <string>

namespace viren::api {

// A mutex that every process of the same user finds by name: a process-shared,
// robust pthread mutex in a small shared region of its own ("/" + name in
// /dev/shm, mode 0600). When its owner dies, the next locker is told so
// (Abandoned) and the mutex is made usable again.
//
// Lock and Unlock may be called from any thread; the thread that locked
// unlocks. One object may be used by several threads at once.
class NamedMutex {
 public:
  enum class LockResult { Locked, TimedOut, Abandoned, Failed };

  // A new mutex under `posixName` ("/name"). A region left behind under that
  // name (by a process that ended without removing it) is replaced.
  static std::unique_ptr<NamedMutex> Create(const std::string& posixName);
  // The mutex another process created; nullptr when there is none (or it was
  // never completed).
  static std::unique_ptr<NamedMutex> Open(const std::string& posixName);
  // Opens the mutex, creating it when nobody has yet; two processes racing
  // here end up with the same mutex.
  static std::unique_ptr<NamedMutex> OpenOrCreate(const std::string& posixName);
  // Removes the name; processes that have it open keep using their mapping.
  static void Remove(const std::string& posixName);

  ~NamedMutex();
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  // Negative `timeoutMs` waits without limit. Abandoned: the previous owner
  // died holding it; the caller now owns the (recovered) mutex.
  LockResult Lock(int timeoutMs);
  // False when the calling thread does not hold it.
  bool Unlock();

  const std::string& name() const { return name_; }

 private:
  struct Region;
  NamedMutex(std::string name, int fd, Region* region);
  static std::unique_ptr<NamedMutex> Initialise(const std::string& posixName, int fd);

  std::string name_;
  int fd_ = -1;
  Region* region_ = nullptr;
};

}  // namespace viren::api
