#pragma once

#include <QDialog>

#include "sound/SoundListEditor.h"

class QListWidget;
class QLabel;
class QPushButton;

namespace viren {

class Settings;
class SoundFileChooser;
class SoundSystem;

// The sound list dialog "サウンドファイルの設定": the numbered files with add,
// delete, move up and down, test playback and stop. OK writes the list to
// option.ini; cancel leaves it. Shown modally by the sound settings command.
class CSoundDlg : public QDialog {
 public:
  // Control ids of the dialog, also the widgets' object names ("button3"...).
  enum ControlId {
    kList = 1022,
    kAdd = 3,
    kDelete = 4,
    kMoveUp = 5,
    kMoveDown = 6,
    kTestPlay = 9,
    kTestStop = 10,
  };

  CSoundDlg(SoundSystem& sound, Settings& settings, SoundFileChooser& chooser,
            QWidget* parent = nullptr);

  QListWidget* list() const { return list_; }
  QPushButton* button(ControlId id) const;
  QPushButton* okButton() const { return ok_; }
  QPushButton* cancelButton() const { return cancel_; }
  const SoundListEditor& editor() const { return editor_; }

  // OK and cancel (and Escape) end here: the test playback stops, and OK
  // stores the list.
  void done(int result) override;

 private:
  void FillSoundList(int select = -1);
  void UpdateSoundButtons();
  void AddSoundFile();
  void DeleteSoundFile();
  void MoveSelected(int direction);

  SoundListEditor editor_;
  SoundFileChooser& chooser_;
  QListWidget* list_;
  QPushButton* add_;
  QPushButton* delete_;
  QPushButton* moveUp_;
  QPushButton* moveDown_;
  QPushButton* play_;
  QPushButton* stop_;
  QLabel* result_ = nullptr;  // what the test playback came to
  QPushButton* ok_;
  QPushButton* cancel_;
};

}  // namespace viren
