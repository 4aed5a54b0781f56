#pragma once

class QApplication;

namespace viren::test {

// The one application object of a widget test program: made on first use,
// deleted after the last test (before the exit handlers, which Qt's input
// devices do not survive).
QApplication& QtTestApp();

// Makes the application before any widget member of a fixture.
struct WithQtApp {
  WithQtApp() { QtTestApp(); }
};

}  // namespace viren::test
