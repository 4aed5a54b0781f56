#pragma once

#include <QPointer>
#include <QWidget>
#include <string>

#include "program/ProgramFile.h"

class QFileDialog;

namespace viren {

// The open and save dialogs of the program file commands: Qt's own file
// dialog (never the desktop's), so that it looks and works the same on every
// desktop and under a bare X server, and a full path typed into its name box
// followed by Enter is all it takes. Filter "VIRENﾌｧｲﾙ (*.ntc)", default
// extension "ntc"; saving over an existing file asks first. Window thread.
class QtProgramFileDialogs : public ProgramFileDialogs {
 public:
  explicit QtProgramFileDialogs(QWidget* parent) : parent_(parent) {}

  std::string ChooseProgramToOpen(const std::string& initialName,
                                  const std::string& initialFolder) override;
  std::string ChooseProgramToSave(const std::string& initialName) override;

  // The filter as the dialog shows it: the first part of kProgramFileFilter.
  static QString NameFilter();

 private:
  std::string Run(QFileDialog& dialog, const std::string& initialName,
                  const std::string& initialFolder);

  QPointer<QWidget> parent_;
};

}  // namespace viren
