#include "device/RelayCommands.h"

#include <initializer_list>
#include <utility>

#include "core/DriveTypes.h"

namespace viren {

namespace {

// A control character (a carriage return above all) would end or garble the
// command inside the board; such an identifier names no relay.
bool IsRelayId(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 0x20 && byte != 0x7F;
}

// "PC" and, for each (relay index, on) pair, "R", the relay's character and
// its state digit.
std::string Switch(std::string_view ids, std::initializer_list<std::pair<int, bool>> relays) {
  std::string text = "PC";
  for (const auto& [index, on] : relays) {
    if (index >= static_cast<int>(ids.size()) || !IsRelayId(ids[index])) return {};
    text += 'R';
    text += ids[index];
    text += on ? '1' : '0';
  }
  text += '\r';
  return text;
}

}  // namespace

std::string RelayCommandText(int code, std::string_view ids, bool fourWheel) {
  if (code == DRIVE_CHECK) return "AT\r";
  if (fourWheel) {
    switch (code) {
      case DRIVE_STOP:
        return Switch(ids, {{0, false}, {1, false}, {2, false}, {3, false}});
      case DRIVE_FORWARD:
        return Switch(ids, {{0, true}, {1, false}, {2, true}, {3, false}});
      case DRIVE_REVERSE:
        return Switch(ids, {{0, false}, {1, true}, {2, false}, {3, true}});
      case DRIVE_LEFT:
        return Switch(ids, {{0, false}, {1, true}, {2, true}, {3, false}});
      case DRIVE_RIGHT:
        return Switch(ids, {{0, true}, {1, false}, {2, false}, {3, true}});
      default:
        return {};
    }
  }
  switch (code) {
    case DRIVE_STOP:
      return Switch(ids, {{0, false}, {1, false}});
    case DRIVE_FORWARD:
      return Switch(ids, {{0, true}, {1, false}});
    case DRIVE_REVERSE:
      return Switch(ids, {{0, false}, {1, true}});
    case DRIVE_STRAIGHT:
      return Switch(ids, {{2, false}, {3, false}});
    case DRIVE_LEFT:
      return Switch(ids, {{2, true}, {3, false}});
    case DRIVE_RIGHT:
      return Switch(ids, {{2, false}, {3, true}});
    case DRIVE_TURBO_ON:
      return Switch(ids, {{4, true}});
    case DRIVE_TURBO_OFF:
      return Switch(ids, {{4, false}});
    default:
      return {};
  }
}

std::string RelaysNamed(std::string_view text) {
  std::string relays;
  if (text.substr(0, 2) != "PC") return relays;
  for (std::size_t i = 2; i + 1 < text.size(); i += 3)
    if (text[i] == 'R') relays += text[i + 1];
  return relays;
}

bool IsRelayAcknowledgement(std::string_view reply) {
  return reply.size() >= 4 && reply[2] == 'O' && reply[3] == 'K';
}

}  // namespace viren
