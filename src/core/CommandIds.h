#pragma once

namespace viren {

// Menu command identifiers, as the menus, toolbars and the program interface
// know them.
enum CommandId : int {
  ID_APP_EXIT = 57665,
  ID_APP_ABOUT = 57664,
  ID_VIEW_PROGRAM = 32836,
  ID_SIMULATION = 32869,
};

}  // namespace viren
