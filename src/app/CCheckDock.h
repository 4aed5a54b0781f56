#pragma once

#include <QDockWidget>
#include <vector>

class QListWidget;

namespace viren {

struct CheckFinding;

// The findings of the program check, one line each; a double click on a
// line asks for its command to be selected in the program view.
class CCheckDock : public QDockWidget {
  Q_OBJECT
 public:
  explicit CCheckDock(QWidget* parent = nullptr);

  void ShowFindings(const std::vector<CheckFinding>& findings);
  QListWidget* list() const { return list_; }

 signals:
  void commandChosen(int command);

 private:
  QListWidget* list_ = nullptr;
};

}  // namespace viren
