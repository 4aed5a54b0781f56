#include "app/CDriveApp.h"

int main(int argc, char** argv) {
  viren::CDriveApp app(argc, argv);
  if (!app.InitInstance()) return 1;
  return app.exec();
}
