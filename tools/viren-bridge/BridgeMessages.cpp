#include "BridgeMessages.h"

#include <array>
#include <limits>

#include "FlatJson.h"
#include "core/DriveTypes.h"

namespace viren::bridge {

namespace {

struct Name {
  std::string_view name;
  int value;
};

constexpr std::array<Name, 10> kDriveNames{{{"stop", DRIVE_STOP},
                                            {"forward", DRIVE_FORWARD},
                                            {"reverse", DRIVE_REVERSE},
                                            {"straight", DRIVE_STRAIGHT},
                                            {"left", DRIVE_LEFT},
                                            {"right", DRIVE_RIGHT},
                                            {"turbo_on", DRIVE_TURBO_ON},
                                            {"turbo_off", DRIVE_TURBO_OFF},
                                            {"auto_on", DRIVE_AUTO_ON},
                                            {"auto_off", DRIVE_AUTO_OFF}}};
constexpr std::array<Name, 2> kExternalNames{
    {{"on", api::EXTERNAL_ON}, {"off", api::EXTERNAL_OFF}}};
constexpr std::array<Name, 2> kProgramNames{
    {{"start", api::EXTERNAL_START_PROGRAM}, {"stop", api::EXTERNAL_STOP_PROGRAM}}};

constexpr std::array<std::string_view, 9> kKnownMembers{
    "code", "param", "drive", "sound", "stop_sound", "external", "program", "t", "id"};
constexpr std::array<std::string_view, 5> kNamedForms{"drive", "sound", "stop_sound", "external",
                                                      "program"};

CommandParse Refused(std::string error, std::string idJson) {
  CommandParse p;
  p.error = std::move(error);
  p.idJson = std::move(idJson);
  return p;
}

bool Int32(const JsonValue& v, int& out) {
  if (v.kind != JsonValue::Kind::Number || !v.isInteger) return false;
  if (v.integer < std::numeric_limits<std::int32_t>::min() ||
      v.integer > std::numeric_limits<std::int32_t>::max()) {
    return false;
  }
  out = static_cast<int>(v.integer);
  return true;
}

template <std::size_t N>
bool Lookup(const std::array<Name, N>& names, const JsonValue& v, int& out) {
  if (v.kind != JsonValue::Kind::String) return false;
  for (const auto& n : names) {
    if (n.name == v.text) {
      out = n.value;
      return true;
    }
  }
  return false;
}

// The named form `key`: its code and parameter, or an error.
std::string NamedCommand(std::string_view key, const JsonValue& v, CommandRequest& r) {
  if (key == "drive") {
    r.code = api::COMMAND_DRIVE;
    if (!Lookup(kDriveNames, v, r.parameter)) {
      return "\"drive\" takes stop, forward, reverse, straight, left, right, turbo_on, "
             "turbo_off, auto_on or auto_off";
    }
  } else if (key == "sound" || key == "stop_sound") {
    int number = 0;
    if (!Int32(v, number) || number < 1) return "\"" + std::string(key) + "\" takes a sound number";
    r.code = api::COMMAND_SOUND;
    r.parameter = key == "sound" ? number : -number;
  } else if (key == "external") {
    r.code = api::COMMAND_EXTERNAL;
    if (!Lookup(kExternalNames, v, r.parameter)) return "\"external\" takes on or off";
  } else {
    r.code = api::COMMAND_EXTERNAL;
    if (!Lookup(kProgramNames, v, r.parameter)) return "\"program\" takes start or stop";
  }
  return {};
}

}  // namespace

CommandParse ParseCommandMessage(std::string_view payload) {
  const JsonParseResult json = ParseFlatJsonObject(payload);
  if (!json.members) return Refused("not a command: " + json.error, {});
  const auto& members = *json.members;

  std::string idJson;
  if (const JsonValue* id = FindMember(members, "id")) {
    if (id->kind != JsonValue::Kind::String &&
        !(id->kind == JsonValue::Kind::Number && id->isInteger)) {
      return Refused("\"id\" must be a string or a whole number", {});
    }
    idJson = id->raw;
  }
  for (const auto& m : members) {
    bool known = false;
    for (auto k : kKnownMembers) known = known || m.key == k;
    if (!known) return Refused("unknown member \"" + m.key + "\"", idJson);
  }

  CommandRequest request;
  if (const JsonValue* t = FindMember(members, "t")) {
    if (t->kind != JsonValue::Kind::Number || !t->isInteger || t->integer <= 0) {
      return Refused("\"t\" must be milliseconds since 1970", idJson);
    }
    request.timeStampMs = t->integer;
  }

  std::string_view named;
  for (auto key : kNamedForms) {
    if (!FindMember(members, key)) continue;
    if (!named.empty()) return Refused("one command at a time", idJson);
    named = key;
  }
  const JsonValue* code = FindMember(members, "code");
  const JsonValue* param = FindMember(members, "param");
  if (!named.empty()) {
    if (code || param) return Refused("\"code\" and a named command together", idJson);
    if (auto error = NamedCommand(named, *FindMember(members, named), request); !error.empty()) {
      return Refused(std::move(error), idJson);
    }
  } else {
    if (!code) return Refused("no command: \"code\" or a named command expected", idJson);
    if (!Int32(*code, request.code)) return Refused("\"code\" must be a 32-bit integer", idJson);
    if (param && !Int32(*param, request.parameter)) {
      return Refused("\"param\" must be a 32-bit integer", idJson);
    }
    if (request.code == api::COMMAND_PROGRAM_FILE || request.code == api::COMMAND_EXTERNAL_WINDOW) {
      return Refused(
          "commands 12 and 102 work on VIREN's own desktop and are not taken from "
          "the network",
          idJson);
    }
  }
  CommandParse p;
  p.request = request;
  p.idJson = std::move(idJson);
  return p;
}

std::string PositionJson(const api::QuadRecord& r, std::int64_t timeMs) {
  return JsonWriter()
      .Add("x", r.values[0])
      .Add("y", r.values[1])
      .Add("turns", r.values[2])
      .Add("heading", r.values[3])
      .Add("t", timeMs)
      .Finish();
}

std::string StatusJson(const api::StatusRecord& r, std::int64_t timeMs) {
  const unsigned s = r.driveState;
  return JsonWriter()
      .Add("drive_state", static_cast<int>(s))
      .Add("forward", (s & DRIVE_STATE_FORWARD) != 0)
      .Add("reverse", (s & DRIVE_STATE_REVERSE) != 0)
      .Add("left", (s & DRIVE_STATE_LEFT) != 0)
      .Add("right", (s & DRIVE_STATE_RIGHT) != 0)
      .Add("turbo", (s & DRIVE_STATE_TURBO) != 0)
      .Add("auto", (s & DRIVE_STATE_AUTO) != 0)
      .Add("t", timeMs)
      .Finish();
}

std::string BallJson(const api::QuadRecord& r, std::int64_t timeMs) {
  return JsonWriter()
      .Add("left", r.values[0])
      .Add("top", r.values[1])
      .Add("right", r.values[2])
      .Add("bottom", r.values[3])
      .Add("t", timeMs)
      .Finish();
}

const char* CommandResultName(CommandResult result) {
  switch (result) {
    case CommandResult::Taken:
      return "taken";
    case CommandResult::Invalid:
      return "invalid";
    case CommandResult::Stale:
      return "stale";
    case CommandResult::Busy:
      return "busy";
    case CommandResult::Expired:
      return "expired";
    case CommandResult::NotTaken:
      return "not_taken";
    case CommandResult::Offline:
      return "offline";
  }
  return "invalid";
}

std::string AckJson(CommandResult result, const CommandRequest* request, std::string_view idJson,
                    std::string_view error, std::int64_t timeMs) {
  JsonWriter w;
  w.Add("result", CommandResultName(result));
  if (request) w.Add("code", request->code).Add("param", request->parameter);
  if (!idJson.empty()) w.AddRaw("id", idJson);
  if (!error.empty()) w.Add("error", error);
  w.Add("t", timeMs);
  return w.Finish();
}

}  // namespace viren::bridge
