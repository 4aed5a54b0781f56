#pragma once

#include <QDialog>

class QPushButton;

namespace viren {

class CourseLayout;
class IntSpinEdit;
struct EngineState;

// "コース範囲設定": width and height of the course range in layout pixels. While
// open the range outline follows the edits on the layout and is drawn on the
// camera views too; OK writes BORDER_WIDTH and BORDER_HEIGHT, Cancel (also Esc
// and closing the window) puts the outline back where it was.
//
// Window thread only.
class CBorderDlg : public QDialog {
  Q_OBJECT
 public:
  CBorderDlg(CourseLayout& layout, EngineState& state, QWidget* parent = nullptr);
  ~CBorderDlg() override;

  IntSpinEdit* widthEdit() const { return widthEdit_; }    // 1030/1031
  IntSpinEdit* heightEdit() const { return heightEdit_; }  // 1032/1033
  QPushButton* okButton() const { return ok_; }
  QPushButton* cancelButton() const { return cancel_; }

 public slots:
  void accept() override;
  void reject() override;

 signals:
  // The outline on the layout picture changed (moved, or put back on
  // cancel); a layout view not fed by frames repaints on it.
  void courseRangeChanged();

 private:
  void OnEdited(IntSpinEdit* edit, bool width);
  void Finish(bool accepted);

  CourseLayout& layout_;
  EngineState& state_;
  bool editing_ = true;
  IntSpinEdit* widthEdit_;
  IntSpinEdit* heightEdit_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

}  // namespace viren
