#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/MessageIds.h"

namespace viren {

enum class MsgIcon { None, Stop, Exclamation, Question, Information };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgAnswer { Ok, Cancel, Yes, No };
// NotSupported: this display has no foreign windows (Wayland, no display).
enum class ExternalWindowResult { Attached, Detached, NotSupported, NoSuchWindow };

// The only way the engine reaches the person in front of the program. The
// window program shows real dialogs, viren-run prints to the console, tests
// record and answer from a script.
//
// Message() may be called from any thread; a worker thread blocks until the
// answer is known. Every other call is made on the thread that runs the engine's
// start-up (the window thread) unless its comment says otherwise.
class UiHost {
 public:
  virtual ~UiHost() = default;

  // A message box with the string-table text `id`, %1, %2... replaced by args.
  virtual MsgAnswer Message(int id, const std::vector<std::string>& args, MsgIcon icon,
                            MsgButtons buttons) = 0;

  // A message box that nobody waits for: the caller goes on at once and the
  // box is shown when the window thread gets to it. For device threads that
  // must not wait on the window thread. Any thread.
  virtual void ShowNotice(int id, MsgIcon icon) { Message(id, {}, icon, MsgButtons::Ok); }

  // The disclaimer dialog. True only when it ended with OK and "agree" chosen.
  virtual bool AskAgreement() = 0;

  // Queue a menu command to the view; it runs once the event loop runs again.
  // Any thread.
  virtual void PostCommand(int commandId) = 0;

  // Ask the frame to close (after a failed start-up or the exit command).
  // Any thread.
  virtual void RequestClose() = 0;

  // Text of the status bar's message pane.
  virtual void SetStatusText(const std::string& /*text*/) {}

  // The program editor's command toolbar is shown exactly in the program view.
  virtual void ShowCommandToolbar(bool /*visible*/) {}

  // The view's client area becomes width x height (the frame grows by its own
  // overhead). Any thread; never waits.
  virtual void FitFrameToClient(int /*width*/, int /*height*/) {}

  // The view shows its picture again (the program editor changed). Any thread.
  virtual void RepaintView() {}

  // The on-screen controller window with the skin of the car's mode (start-up,
  // and again when the mode changes). False when it could not be made.
  virtual bool CreateController() { return true; }

  // Button k of the on-screen controller shows its pressed or released look
  // again (2 on the ROBO-Q skin: the speed lever). Any thread; never waits.
  virtual void RepaintControllerButton(int /*button*/) {}

  // The clipboard's text, asked for on the window thread; `reply` is called
  // once, from any thread (nullopt: no text). Any thread; returns at once.
  virtual void RequestClipboardText(std::function<void(std::optional<std::string>)> reply) {
    reply(std::nullopt);
  }

  // Runs `work` on the window thread once its event loop runs again. Any
  // thread; returns at once. A host without an event loop runs it at once.
  virtual void RunOnWindowThread(std::function<void()> work) { work(); }

  // Another program's window (an X11 window id) to show the camera picture
  // in; 0 detaches. The caller reports a refusal. Any thread; the window is
  // looked up at once, the drawing is done on the window thread, which also
  // keeps EngineState::externalDisplay.
  virtual ExternalWindowResult AttachExternalWindow(std::uint32_t /*windowId*/) {
    return ExternalWindowResult::NotSupported;
  }
};

// Message box with no arguments, the common case.
inline MsgAnswer ShowMessage(UiHost& ui, int id, MsgIcon icon = MsgIcon::Stop,
                             MsgButtons buttons = MsgButtons::Ok) {
  return ui.Message(id, {}, icon, buttons);
}

}  // namespace viren
