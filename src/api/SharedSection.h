#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace viren::api {

// A named shared-memory section ("/" + name in /dev/shm, mode 0600), mapped
// read/write for as long as the object lives.
//
// Every holder keeps a shared flock on the section's own file, so "does any
// process still hold it" is a question the kernel answers, and a process that
// is killed lets go by itself. The section's name stays until someone removes
// it; the table removes it when its last holder releases it.
class SharedSection {
 public:
  // Who holds a section, as Probe finds it.
  enum class Holders { None, Some, Missing };

  // A new zero-filled section of `size` bytes. A section left under the name
  // by processes that are all gone is replaced; one still held is not
  // (nullptr).
  static std::unique_ptr<SharedSection> Create(const std::string& posixName, std::size_t size);
  // An existing section, mapped whole; nullptr when it does not exist or is
  // smaller than `minimumSize`.
  static std::unique_ptr<SharedSection> Open(const std::string& posixName, std::size_t minimumSize);
  // Callers serialise probes with the table lock; a probe holds the section
  // exclusively for a moment.
  static Holders Probe(const std::string& posixName);
  static void Remove(const std::string& posixName);

  ~SharedSection();
  SharedSection(const SharedSection&) = delete;
  SharedSection& operator=(const SharedSection&) = delete;

  std::byte* data() const { return data_; }
  std::size_t size() const { return size_; }
  const std::string& name() const { return name_; }

  // Whether a process other than this object's holds the section too. Callers
  // serialise it with the table lock (for a moment this object's own hold is
  // converted and taken again).
  bool HeldElsewhere();

 private:
  SharedSection(std::string name, int fd, std::byte* data, std::size_t size);

  std::string name_;
  int fd_ = -1;
  std::byte* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace viren::api
