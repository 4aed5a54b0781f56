#include "QtTestApp.h"

#include <gtest/gtest.h>

#include <QApplication>

namespace viren::test {
namespace {

QApplication* app = nullptr;

class QtAppEnvironment : public ::testing::Environment {
 public:
  void TearDown() override {
    delete app;
    app = nullptr;
  }
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new QtAppEnvironment);

}  // namespace

QApplication& QtTestApp() {
  static int argc = 1;
  static char name[] = "editor_ui_tests";
  static char* argv[] = {name, nullptr};
  if (app == nullptr) app = new QApplication(argc, argv);
  return *app;
}

}  // namespace viren::test
