#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <vector>

namespace viren::test {

// Plays a user's part in the window program one step after the other, while
// the command being tested waits in a dialog's own event loop: each step
// looks at what is on screen and returns true once it has acted (false: not
// yet its moment, try again shortly).
class UiSteps {
 public:
  using Step = std::function<bool()>;

  explicit UiSteps(std::vector<Step> steps) : steps_(std::move(steps)) { Schedule(); }
  bool finished() const { return next_ == steps_.size(); }
  size_t done() const { return next_; }

 private:
  // A fresh timer each time: a timer does not fire again while its own
  // handler waits in a dialog's event loop.
  void Schedule() {
    QTimer::singleShot(10, &anchor_, [this] { Poll(); });
  }
  void Poll() {
    if (finished()) return;
    Schedule();
    // A step's action may open the next dialog and wait in its event loop,
    // where the following steps must already be due.
    const size_t step = next_++;
    if (!steps_[step]() && next_ == step + 1) next_ = step;
  }

  std::vector<Step> steps_;
  size_t next_ = 0;
  QObject anchor_;  // ends the polling with the script
};

// A step that acts on the active modal window once one is shown.
inline UiSteps::Step OnModal(std::function<bool(QWidget* modal)> act) {
  return [act] {
    QWidget* modal = QApplication::activeModalWidget();
    return modal && modal->isVisible() && act(modal);
  };
}

}  // namespace viren::test
