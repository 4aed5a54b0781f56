#pragma once

#include <string>
#include <string_view>

namespace viren {

// The relay board's command texts. `relayIds` are the identifier characters
// (RELAY_ID); c0..c4 are its first five. Returns the text with its closing
// carriage return, or an empty text when the code has no command on this car
// or names a relay beyond the end of `relayIds` or whose identifier is a
// control character (nothing is sent then).
std::string RelayCommandText(int code, std::string_view relayIds, bool fourWheel);

// The board answers each command with a reply whose third and fourth bytes are
// "OK" (normally "\r\nOK\r\n").
bool IsRelayAcknowledgement(std::string_view reply);

// The identifier characters of the relays a command text switches, in order
// ("PCRA1RB0\r" names "AB"); empty for a text that switches none.
std::string RelaysNamed(std::string_view text);

}  // namespace viren
