#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

#include "editor/EditorPeers.h"

class QDialog;

namespace viren {

class UiHost;

// The command dialogs as the window program shows them: CTimeDlg and
// CEventDlg, modal over `parent`. Window thread.
class QtCommandDialogs : public CommandDialogs {
 public:
  QtCommandDialogs(UiHost& ui, QWidget* parent) : ui_(ui), parent_(parent) {}

  bool RunTimeDialog(int& seconds, int& tenths, const CommandDialogContext& context) override;
  bool RunEventDialog(EventKind kind, EventDialogValues& values,
                      const CommandDialogContext& context) override;
  // What the sound command dialog's "サウンド設定" button runs (see CEventDlg).
  void SetSoundListEditor(std::function<int()> edit) { editSoundList_ = std::move(edit); }

 private:
  UiHost& ui_;
  std::function<int()> editSoundList_;
  QPointer<QWidget> parent_;
};

// The position window for the editor: a modeless dialog made by `factory`
// (the window program passes one that makes its CPositionDlg). Its OK ends
// the definition with acceptance, Cancel or closing without. Window thread.
class QtPositionWindow : public PositionWindow {
 public:
  using Factory = std::function<QDialog*(QWidget* parent)>;
  // `onEnd` is ProgramEditor::EndPositionDefinition.
  QtPositionWindow(Factory factory, std::function<void(bool accept)> onEnd, QWidget* parent)
      : factory_(std::move(factory)), onEnd_(std::move(onEnd)), parent_(parent) {}
  ~QtPositionWindow() override;

  void Open() override;
  void Close() override;
  QDialog* dialog() const { return dialog_; }

 private:
  Factory factory_;
  std::function<void(bool)> onEnd_;
  QPointer<QWidget> parent_;
  QPointer<QDialog> dialog_;
};

}  // namespace viren
