#pragma once

#include "editor/CommandDialogRules.h"
#include "program/EventRecord.h"

namespace viren {

// The two command dialogs, run modally on the window thread. The window
// program shows CTimeDlg and CEventDlg (editor/ui/QtCommandDialogs), tests
// answer from a script.
class CommandDialogs {
 public:
  virtual ~CommandDialogs() = default;
  // The timer dialog; true when it closed with OK and accepted values.
  virtual bool RunTimeDialog(int& seconds, int& tenths, const CommandDialogContext& context) = 0;
  // The command dialog of `kind`; true on OK. `values.option` is
  // kReferenceOption when the position dialog closed with its reference
  // button (value1 and value2 then hold the starting point).
  virtual bool RunEventDialog(EventKind kind, EventDialogValues& values,
                              const CommandDialogContext& context) = 0;
};

// The position window (CPositionDlg, "ｲﾍﾞﾝﾄ位置定義"): modeless, showing how
// to drag the cheese, with OK and Cancel. Its OK ends the definition with
// ProgramEditor::EndPositionDefinition(true), Cancel or closing it with
// EndPositionDefinition(false). Window thread.
class PositionWindow {
 public:
  virtual ~PositionWindow() = default;
  // Opens the window; an earlier one is destroyed first.
  virtual void Open() = 0;
  // Destroys the window if it is open, without ending the definition again.
  virtual void Close() = 0;
};

// What the editor asks of the window and the engine. Window thread.
class EditorPeers {
 public:
  virtual ~EditorPeers() = default;
  // Sounds in the sound list: valid sound numbers are 1..SoundCount().
  virtual int SoundCount() const = 0;
  // The engine's view switch (it shows the command toolbar in the program
  // view only).
  virtual void SetViewMode(int mode) = 0;
  // The main frame takes the size whose client area is width x height.
  virtual void ResizeFrameForClient(int width, int height) = 0;
  // The view shows ProgramEditor::Paint() again.
  virtual void RepaintView() = 0;
};

}  // namespace viren
