// viren-run: VIREN's engine with its whole start-up and shut-down, without a
// window. Used for quick checks of a program folder and by the end-to-end tests.
#include <chrono>
#include <cstdio>
#include <thread>

#include "ConsoleUiHost.h"
#include "RunOptions.h"
#include "core/CommandIds.h"
#include "engine/CDriveSystem.h"

using namespace viren;

int main(int argc, char** argv) {
  std::string error;
  const auto options = ParseRunOptions(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!options) {
    std::fprintf(stderr, "viren-run: %s\n%s", error.c_str(), kRunUsage);
    return 2;
  }

  ConsoleUiHost ui(options->answerYes);
  CDriveSystem engine(ui, options->dir, options->EngineCommandLine());
  engine.Start();
  const bool started = engine.engineReady();

  // The event loop of the window program, reduced to what the engine posts.
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::duration<double>(options->seconds);
  while (started && !ui.closeRequested()) {
    while (auto command = ui.TakeCommand()) {
      if (*command == ID_APP_EXIT) ui.RequestClose();
    }
    if (options->seconds <= 0 || std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }

  engine.Shutdown();
  return started ? 0 : 1;
}
