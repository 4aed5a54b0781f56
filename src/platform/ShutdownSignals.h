#pragma once

namespace viren {

// SIGTERM, SIGINT and SIGHUP (a logout, `kill`, Ctrl-C, a closed terminal)
// ask for the program's orderly end instead of killing it on the spot, so the
// car is stopped and the devices let go of as the exit command does. The
// handler only writes the signal's number into a pipe; the program picks it up
// where that is safe: viren-run in its main loop, the window program through a
// socket notifier on fd(). Further signals while the end is under way are
// taken the same way and change nothing: the shut-down itself is bounded.
//
// One object at a time per process (signal handlers are the process's);
// constructed and destroyed on the main thread before and after the others.
class ShutdownSignals {
 public:
  ShutdownSignals();
  // Puts back the handlers that were there before.
  ~ShutdownSignals();
  ShutdownSignals(const ShutdownSignals&) = delete;
  ShutdownSignals& operator=(const ShutdownSignals&) = delete;

  // Readable when a signal has arrived (-1 when the pipe could not be made).
  int fd() const { return readFd_; }
  // The number of a signal that arrived since the last call, or 0. Never
  // waits. Any thread.
  int TakeSignal();

 private:
  int readFd_ = -1;
  int writeFd_ = -1;
};

}  // namespace viren
