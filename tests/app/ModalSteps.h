#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <vector>

namespace viren::test {

// Acts on the window program's modal windows as they come up, one step
// after the other, while the command that opened them waits in the dialog's
// own event loop. A step gets the active modal widget and returns true when
// it has done its part (false: not the window it waits for, try again).
class ModalSteps {
 public:
  using Step = std::function<bool(QWidget* modal)>;

  explicit ModalSteps(std::vector<Step> steps) : steps_(std::move(steps)) { Schedule(); }
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
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    // A step's action may open the next modal window and wait in its event
    // loop, where the following steps must already be due.
    const size_t step = next_++;
    if (!steps_[step](modal) && next_ == step + 1) next_ = step;
  }

  std::vector<Step> steps_;
  size_t next_ = 0;
  QObject anchor_;  // ends the polling with the script
};

}  // namespace viren::test
