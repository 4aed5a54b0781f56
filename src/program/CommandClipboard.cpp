#include "program/CommandClipboard.h"

#include <algorithm>
#include <charconv>
#include <sstream>

namespace viren {
namespace {

constexpr std::string_view kHeader = "VIREN commands 1";

// The names of the kinds in the text, indexed by kind.
constexpr std::string_view kKindNames[kEventKindCount] = {
    "", "START", "TIMER", "CAR", "HANDLE", "POSITION", "REPEAT", "SOUND", "END", "BALL"};

bool Used(const ProgramRecords& r, int count, int i) {
  return i >= 0 && i < count && i < kProgramSlots && r[i].kind != EVENT_FREE;
}

// The chain from `first` up to `last`; empty when `last` is not met.
std::vector<int> Walk(const EventRecord* records, int count, int first, int last) {
  std::vector<int> path;
  count = std::clamp(count, 0, kProgramSlots);
  for (int i = first; i >= 0 && i < count && records[i].kind != EVENT_FREE; i = records[i].next) {
    if (static_cast<int>(path.size()) > count) return {};  // a damaged ring
    path.push_back(i);
    if (i == last) return path;
  }
  return {};
}

// The highest choice of each kind's dialog.
int MaxOption(EventKind kind) {
  switch (kind) {
    case EVENT_CAR:
    case EVENT_POSITION:
      return 3;
    case EVENT_HANDLE:
    case EVENT_SOUND:
    case EVENT_BALL:
      return 2;
    default:
      return 0;
  }
}

std::optional<int> ParseInt(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<CommandStretch::Command> ParseLine(std::string_view line, int position) {
  std::istringstream words{std::string(line)};
  std::string name;
  words >> name;
  CommandStretch::Command c;
  const auto kind = std::find(std::begin(kKindNames) + EVENT_TIMER, std::end(kKindNames), name);
  if (kind == std::end(kKindNames)) return std::nullopt;
  c.kind = static_cast<EventKind>(kind - std::begin(kKindNames));
  std::string field;
  while (words >> field) {
    const size_t eq = field.find('=');
    if (eq == std::string::npos) return std::nullopt;
    const std::string_view key = std::string_view(field).substr(0, eq);
    const std::optional<int> value = ParseInt(std::string_view(field).substr(eq + 1));
    if (!value) return std::nullopt;
    if (key == "option" && *value >= 0 && *value <= MaxOption(c.kind))
      c.option = *value;
    else if (key == "value1" && *value >= 0 && *value <= 999)
      c.value1 = *value;
    else if (key == "value2" && *value >= 0 && *value <= 999)
      c.value2 = *value;
    else if (key == "link" && *value >= 1 && *value <= position + 1)
      c.link = *value - 1;  // a link goes back, or to the command itself
    else
      return std::nullopt;
  }
  return c;
}

}  // namespace

CommandStretch TakeStretch(const EventRecord* records, int count, int first, int last) {
  const std::vector<int> path = Walk(records, count, first, last);
  CommandStretch stretch;
  for (int index : path) {
    const EventRecord& r = records[index];
    if (r.kind == EVENT_START) return {};
    CommandStretch::Command c{static_cast<EventKind>(r.kind), r.option, r.value1, r.value2, -1};
    const auto target = std::find(path.begin(), path.end(), r.link);
    if (r.link != -1 && target != path.end()) c.link = static_cast<int>(target - path.begin());
    stretch.commands.push_back(c);
  }
  return stretch;
}

std::string FormatStretch(const CommandStretch& stretch) {
  std::ostringstream out;
  out << kHeader << '\n';
  for (const CommandStretch::Command& c : stretch.commands) {
    out << kKindNames[c.kind] << " option=" << c.option << " value1=" << c.value1
        << " value2=" << c.value2;
    if (c.link != -1) out << " link=" << c.link + 1;
    out << '\n';
  }
  return out.str();
}

std::optional<CommandStretch> ParseStretch(std::string_view text) {
  CommandStretch stretch;
  bool header = false;
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
    while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    if (line.empty() || line.front() == '#') continue;
    if (!header) {
      if (line != kHeader) return std::nullopt;
      header = true;
      continue;
    }
    const int position = static_cast<int>(stretch.commands.size());
    if (position >= kMaxCommands) return std::nullopt;
    // Nothing follows an end command.
    if (position > 0 && stretch.commands.back().kind == EVENT_END) return std::nullopt;
    const std::optional<CommandStretch::Command> c = ParseLine(line, position);
    if (!c) return std::nullopt;
    stretch.commands.push_back(*c);
  }
  if (!header || stretch.commands.empty()) return std::nullopt;
  return stretch;
}

PasteResult PasteStretch(ProgramRecords& r, int& count, int after, const CommandStretch& stretch,
                         int* first) {
  const int n = static_cast<int>(stretch.commands.size());
  if (n == 0) return PasteResult::NothingToPaste;
  if (!Used(r, count, after)) after = -1;
  const bool endsWithEnd = stretch.commands.back().kind == EVENT_END;
  int successor = -1;
  if (after == -1) {
    if (stretch.commands.front().kind != EVENT_TIMER) return PasteResult::NoChainHead;
  } else {
    if (r[after].kind == EVENT_END) return PasteResult::NotAfterEnd;
    successor = r[after].next;
    if (!Used(r, count, successor)) successor = -1;
    // An end command stands only at the chain end, and a jump there has
    // nowhere to go once an end follows.
    const bool afterJumps = r[after].link != -1 && r[after].kind != EVENT_REPEAT;
    if (endsWithEnd && (successor != -1 || afterJumps)) return PasteResult::EndInMiddle;
  }
  if (count + n > kMaxCommands) return PasteResult::TooMany;

  const int base = count;
  for (int k = 0; k < n; ++k) {
    const CommandStretch::Command& c = stretch.commands[k];
    EventRecord e;
    e.kind = c.kind;
    e.option = static_cast<std::uint8_t>(c.option);
    e.value1 = static_cast<std::int16_t>(c.value1);
    e.value2 = static_cast<std::int16_t>(c.value2);
    e.link = static_cast<std::int16_t>(c.link >= 0 && c.link <= k ? base + c.link : -1);
    e.prev = static_cast<std::int16_t>(k == 0 ? after : base + k - 1);
    e.next = static_cast<std::int16_t>(k == n - 1 ? successor : base + k + 1);
    e.x = r[base + k].x;  // a free slot keeps its place until the layout
    e.y = r[base + k].y;
    r[base + k] = e;
  }
  const int last = base + n - 1;
  if (after != -1) {
    r[after].next = static_cast<std::int16_t>(base);
    if (successor != -1) r[successor].prev = static_cast<std::int16_t>(last);
    // A jump at the chain end stays at the chain end.
    if (successor == -1 && r[after].link != -1 && r[after].kind != EVENT_REPEAT) {
      if (r[last].link == -1 && r[last].kind != EVENT_REPEAT && r[last].kind != EVENT_END)
        r[last].link = r[after].link;
      r[after].link = -1;
    }
  }
  for (int i = base; i <= last; ++i) {
    EventRecord& e = r[i];
    // A jump only at the chain end; nothing links to a chain head; an end
    // command carries no link.
    if (e.kind != EVENT_REPEAT && e.next != -1) e.link = -1;
    if (e.link != -1 && r[e.link].prev == -1) e.link = -1;
    if (e.kind == EVENT_END) e.link = -1;
  }
  count += n;
  if (first) *first = base;
  return PasteResult::Pasted;
}

int RemoveStretch(ProgramRecords& r, int count, int first, int last) {
  const std::vector<int> path = Walk(r.data(), count, first, last);
  if (path.empty() || std::find(path.begin(), path.end(), 0) != path.end()) return -2;
  const int prev = r[first].prev;
  const int next = r[last].next;
  auto inside = [&](int i) { return std::find(path.begin(), path.end(), i) != path.end(); };
  // A jump at the chain end moves to the command before the stretch, unless
  // it pointed into the stretch, that command heads the chain, or it is a
  // repeat, whose own loop the jump must not replace.
  const int jump = (next == -1 && r[last].kind != EVENT_REPEAT && !inside(r[last].link) &&
                    Used(r, count, prev) && r[prev].prev != -1 && r[prev].kind != EVENT_REPEAT)
                       ? r[last].link
                       : -1;
  for (int i = 0; i < count; ++i)
    if (!inside(i) && inside(r[i].link)) r[i].link = static_cast<std::int16_t>(next);
  if (Used(r, count, prev)) {
    r[prev].next = static_cast<std::int16_t>(next);
    if (jump != -1) r[prev].link = static_cast<std::int16_t>(jump);
  }
  if (Used(r, count, next)) {
    r[next].prev = static_cast<std::int16_t>(prev);
    if (prev == -1) {
      // The rest heads a chain of its own: nothing may link to it.
      for (int i = 0; i < count; ++i)
        if (r[i].link == next) r[i].link = -1;
    }
  }
  for (int i : path) {
    r[i].kind = EVENT_FREE;
    r[i].next = r[i].prev = r[i].link = -1;
  }
  return prev;
}

}  // namespace viren
