#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "program/EditHistory.h"
#include "program/EventRecord.h"

namespace viren {

// A stretch of commands taken out of a chain, in chain order, for copying
// and pasting: kind, option and values of each, and its link as the position
// of the target inside the stretch (-1: none; links leaving the stretch are
// dropped). Positions and chain links are not part of it.
struct CommandStretch {
  struct Command {
    EventKind kind = EVENT_TIMER;
    int option = 0;
    int value1 = 0;
    int value2 = 0;
    int link = -1;
    friend bool operator==(const Command&, const Command&) = default;
  };
  std::vector<Command> commands;
  friend bool operator==(const CommandStretch&, const CommandStretch&) = default;
};

// The commands from `first` along the chain to `last` (both included). Empty
// when `last` does not follow `first`, or the start command is among them.
CommandStretch TakeStretch(const EventRecord* records, int count, int first, int last);

// The clipboard's text: a header line, then one command a line, e.g.
//   VIREN commands 1
//   TIMER option=0 value1=2 value2=5
//   REPEAT option=0 value1=3 value2=0 link=1
// (link=n: the n-th command of the list). Other programs read and write it.
std::string FormatStretch(const CommandStretch& stretch);
// Reads that text; nullopt for anything else, for values outside what the
// command dialogs accept (a choice the kind's dialog does not offer, values
// outside 0..999), a link forward, an end
// command before the last line, or more than 99 commands.
std::optional<CommandStretch> ParseStretch(std::string_view text);

// Why a paste is refused.
enum class PasteResult {
  Pasted,
  TooMany,      // the program would hold more than 99 commands
  NotAfterEnd,  // nothing follows an end command
  EndInMiddle,  // an end command would get a successor
  NoChainHead,  // only a timer starts a chain of its own
  NothingToPaste,
};

// Pastes the stretch behind `after` (its successor follows the stretch), or
// as a new chain when `after` is -1. The new records take the slots from
// `count` on; links inside the stretch are kept where the rules allow them
// (a jump only at a chain end, never onto a chain head); a jump of `after`
// moves to the stretch's end, as an insertion moves it. `first` receives the
// first new index. Nothing changes unless the result is Pasted.
PasteResult PasteStretch(ProgramRecords& records, int& count, int after,
                         const CommandStretch& stretch, int* first = nullptr);

// Removes the commands from `first` to `last` as deleting them one by one
// would: links into them go on to the command after them, a jump at the
// chain end moves to the command before them. When `first` heads its chain,
// the rest of the chain becomes a chain of its own. Returns the command
// before them (-1 when none); -2 when the stretch is not one (or holds the
// start command) and nothing changed.
int RemoveStretch(ProgramRecords& records, int count, int first, int last);

}  // namespace viren
