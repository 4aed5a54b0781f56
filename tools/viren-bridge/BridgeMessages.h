#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "api/InterfaceRecords.h"

namespace viren::bridge {

// What travels on the broker: the interface records as small JSON objects,
// the commands that come in and the answers to them.
//
//   viren/CAR/position      {"x":412,"y":240,"turns":0,"heading":180,"t":1733650000123}
//   viren/CAR/status        {"drive_state":10,"forward":true,...,"t":...}
//   viren/CAR/ball          {"left":..,"top":..,"right":..,"bottom":..,"t":...}
//   viren/CAR/command       {"code":1,"param":1} or {"drive":"forward"}, optional "t", "id"
//   viren/CAR/command/ack   {"result":"taken","code":1,"param":1,"id":..,"t":...}
//
// "t" is milliseconds since 1970-01-01 UTC.

std::string PositionJson(const api::QuadRecord& record, std::int64_t timeMs);
std::string StatusJson(const api::StatusRecord& record, std::int64_t timeMs);
std::string BallJson(const api::QuadRecord& record, std::int64_t timeMs);

struct CommandRequest {
  int code = 0;
  int parameter = 0;
  std::optional<std::int64_t> timeStampMs;  // when the sender sent it, if it said
};

struct CommandParse {
  std::optional<CommandRequest> request;  // nullopt: refused, see error
  std::string error;
  std::string idJson;  // the "id" member as written, to echo in the answer (may be empty)
};

// A command message from the broker (untrusted). Either the interface's code
// and parameter, or one named form:
//   {"drive":"forward"}   stop forward reverse straight left right
//                         turbo_on turbo_off auto_on auto_off
//   {"sound":3}           play sound 3 once;   {"stop_sound":3}
//   {"external":"on"}     external control on / off
//   {"program":"start"}   start / stop the loaded driving program
// Commands that act on the VIREN computer's own desktop (12 reads its
// clipboard, 102 attaches one of its windows) are refused.
CommandParse ParseCommandMessage(std::string_view payload);

// How a command ended, as the answer on .../command/ack says it.
enum class CommandResult {
  Taken,     // VIREN took it from the Command block
  Invalid,   // not a command this bridge accepts
  Stale,     // sent too long ago, before the bridge's session, or a retained message
  Busy,      // too many commands waiting
  Expired,   // waited too long behind earlier commands
  NotTaken,  // VIREN did not take it in time; it was withdrawn
  Offline,   // VIREN's program interface is not running
};
const char* CommandResultName(CommandResult result);

std::string AckJson(CommandResult result, const CommandRequest* request, std::string_view idJson,
                    std::string_view error, std::int64_t timeMs);

}  // namespace viren::bridge
