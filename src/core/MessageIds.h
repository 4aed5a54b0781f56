#pragma once

namespace viren {

// The ids of the string table's messages and captions: the ids message boxes,
// dialogs and tests use, by name. MessageTable.inc gives each its number and
// text on one line.
enum MessageId : int {
#define VIREN_MESSAGE(name, id, text) name = id,
#define VIREN_PROMPT(id, text)
#include "core/MessageTable.inc"
#undef VIREN_MESSAGE
#undef VIREN_PROMPT
};

}  // namespace viren
