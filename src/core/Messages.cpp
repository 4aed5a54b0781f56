#include "core/Messages.h"

#include <algorithm>
#include <array>

namespace viren {
namespace {

struct MessageEntry {
  int id;
  std::string_view text;
};

constexpr MessageEntry kMessages[] = {
#define VIREN_MESSAGE(name, id, text) {name, text},
#define VIREN_PROMPT(id, text) {id, text},
#include "core/MessageTable.inc"
#undef VIREN_MESSAGE
#undef VIREN_PROMPT
};

constexpr bool SortedById() {
  for (size_t i = 1; i < std::size(kMessages); ++i)
    if (kMessages[i - 1].id >= kMessages[i].id) return false;
  return true;
}
static_assert(SortedById(), "MessageTable.inc must be sorted by id without duplicates");

}  // namespace

std::string_view MessageText(int id) {
  const auto* it = std::lower_bound(std::begin(kMessages), std::end(kMessages), id,
                                    [](const MessageEntry& e, int v) { return e.id < v; });
  if (it == std::end(kMessages) || it->id != id) return {};
  return it->text;
}

std::string FormatText(std::string_view text, const std::vector<std::string>& args) {
  std::string out;
  out.reserve(text.size() + 32);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
      const size_t index = static_cast<size_t>(text[i + 1] - '1');
      if (index < args.size()) {
        out += args[index];
        ++i;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

std::string FormatMessage(int id, const std::vector<std::string>& args) {
  return FormatText(MessageText(id), args);
}

}  // namespace viren
