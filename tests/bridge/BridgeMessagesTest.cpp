// What comes from the broker is untrusted: command messages, the JSON they
// are written in, and the bridge's own settings.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>

#include "BridgeMessages.h"
#include "BridgeSettings.h"
#include "FlatJson.h"
#include "support/TestDir.h"

namespace viren::bridge {
namespace {

TEST(FlatJson, acceptsOneLevelObjects) {
  const auto r = ParseFlatJsonObject(
      " {\"a\":-12, \"b\" : \"x\\u00e9\\ud83d\\ude97\\n\",\"c\":true,\"d\":null,"
      "\"e\":1.5e3,\"f\":9223372036854775807,\"g\":-9223372036854775808,\"h\":"
      "9223372036854775808,\"\xC3\xA9\":0} ");
  ASSERT_TRUE(r.members) << r.error;
  const auto& m = *r.members;
  EXPECT_EQ(FindMember(m, "a")->integer, -12);
  EXPECT_EQ(FindMember(m, "b")->text, "x\xC3\xA9\xF0\x9F\x9A\x97\n");
  EXPECT_TRUE(FindMember(m, "c")->boolean);
  EXPECT_EQ(FindMember(m, "d")->kind, JsonValue::Kind::Null);
  EXPECT_FALSE(FindMember(m, "e")->isInteger);
  EXPECT_EQ(FindMember(m, "f")->integer, INT64_MAX);
  EXPECT_EQ(FindMember(m, "g")->integer, INT64_MIN);
  EXPECT_FALSE(FindMember(m, "h")->isInteger);  // past 64 bits: a number, not an integer
  EXPECT_NE(FindMember(m, "\xC3\xA9"), nullptr);
  EXPECT_TRUE(ParseFlatJsonObject("{}").members);
}

TEST(FlatJson, refusesWhatIsNotOneFlatObject) {
  const struct {
    std::string text;
    const char* why;
  } kCases[] = {
      {"", "not a JSON object"},
      {"[1]", "not a JSON object"},
      {"{\"a\":{\"b\":1}}", "nested"},
      {"{\"a\":[1]}", "nested"},
      {"{\"a\":1,\"a\":2}", "twice"},
      {"{\"a\":1} x", "text after"},
      {"{\"a\":1,}", "member name"},
      {"{a:1}", "member name"},
      {"{\"a\" 1}", "':'"},
      {"{\"a\":01}", "leading zero"},
      {"{\"a\":-}", "digit"},
      {"{\"a\":1.}", "digit"},
      {"{\"a\":1e}", "exponent"},
      {"{\"a\":tru}", "value expected"},
      {"{\"a\":\"x", "unterminated"},
      {"{\"a\":\"\\x\"}", "unknown escape"},
      {"{\"a\":\"\\u12\"}", "four hexadecimal"},
      {"{\"a\":\"\\ud83d\"}", "high surrogate"},
      {"{\"a\":\"\\ude97\"}", "low surrogate"},
      {"{\"a\":\"\\u0000\"}", "NUL"},
      {"{\"a\":\"\x01\"}", "control character"},
      {"{\"a\":\"\xC0\xAF\"}", "UTF-8"},          // overlong '/'
      {"{\"a\":\"\xED\xA0\x80\"}", "UTF-8"},      // a surrogate written out
      {"{\"a\":\"\xF4\x90\x80\x80\"}", "UTF-8"},  // past U+10FFFF
      {"{\"a\":\"\xE2\x82\"}", "UTF-8"},          // cut short
      {"{\"a\":" + std::string(40, '1') + "}", "longer than 32"},
      {"{\"a\":\"" + std::string(300, 'x') + "\"}", "longer than 256"},
      {"{\"a\":\"" + std::string(1100, 'x') + "\"}", "longer than 1024"},
      {std::string("{\"a\":1\0}", 8), "',' or '}'"},
  };
  for (const auto& c : kCases) {
    const auto r = ParseFlatJsonObject(c.text);
    EXPECT_FALSE(r.members) << c.text;
    EXPECT_NE(r.error.find(c.why), std::string::npos) << c.text << " -> " << r.error;
  }
  std::string many = "{";
  for (int i = 0; i < 17; ++i) many += (i ? ",\"k" : "\"k") + std::to_string(i) + "\":1";
  EXPECT_NE(ParseFlatJsonObject(many + "}").error.find("more than 16"), std::string::npos);
}

TEST(FlatJson, quotedTextReadsBackAsWritten_andBrokenUtf8BecomesReplacement) {
  std::mt19937 rng(7);
  for (int i = 0; i < 2000; ++i) {
    std::string text;
    const int length = static_cast<int>(rng() % 40);
    for (int k = 0; k < length; ++k) {
      switch (rng() % 4) {
        case 0:
          text += static_cast<char>(1 + rng() % 0x7F);  // ASCII with controls, no NUL
          break;
        case 1:
          text += "\xE3\x81\x82";  // あ
          break;
        case 2:
          text += "\"\\/";
          break;
        default:
          text += "\xF0\x9F\x9A\x97";
      }
    }
    const auto r = ParseFlatJsonObject("{\"k\":" + JsonQuote(text) + "}");
    ASSERT_TRUE(r.members) << r.error;
    EXPECT_EQ(FindMember(*r.members, "k")->text, text);
  }
  const auto r = ParseFlatJsonObject("{\"k\":" +
                                     JsonQuote("a\xFF"
                                               "b\xC3") +
                                     "}");
  ASSERT_TRUE(r.members) << r.error;
  EXPECT_EQ(FindMember(*r.members, "k")->text,
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
}

TEST(CommandMessage, namedAndNumberedFormsGiveTheInterfaceCodes) {
  const struct {
    const char* json;
    int code;
    int param;
  } kCases[] = {
      {R"({"drive":"forward"})", api::COMMAND_DRIVE, 1},
      {R"({"drive":"stop"})", api::COMMAND_DRIVE, 0},
      {R"({"drive":"right"})", api::COMMAND_DRIVE, 5},
      {R"({"drive":"auto_off"})", api::COMMAND_DRIVE, 9},
      {R"({"sound":4})", api::COMMAND_SOUND, 4},
      {R"({"stop_sound":4})", api::COMMAND_SOUND, -4},
      {R"({"external":"on"})", api::COMMAND_EXTERNAL, api::EXTERNAL_ON},
      {R"({"program":"start"})", api::COMMAND_EXTERNAL, api::EXTERNAL_START_PROGRAM},
      {R"({"program":"stop"})", api::COMMAND_EXTERNAL, api::EXTERNAL_STOP_PROGRAM},
      {R"({"code":10,"param":15728960})", api::COMMAND_TARGET, 15728960},
      {R"({"code":11})", api::COMMAND_BALL, 0},
      {R"({"code":-2147483648,"param":2147483647})", INT32_MIN, INT32_MAX},
  };
  for (const auto& c : kCases) {
    const auto p = ParseCommandMessage(c.json);
    ASSERT_TRUE(p.request) << c.json << ": " << p.error;
    EXPECT_EQ(p.request->code, c.code) << c.json;
    EXPECT_EQ(p.request->parameter, c.param) << c.json;
    EXPECT_FALSE(p.request->timeStampMs);
  }
  const auto p = ParseCommandMessage(R"({"drive":"left","t":1733650000123,"id":"a\"1"})");
  ASSERT_TRUE(p.request);
  EXPECT_EQ(p.request->timeStampMs, 1733650000123);
  // The id goes back exactly as it came, and the answer is valid JSON.
  const std::string ack = AckJson(CommandResult::Taken, &*p.request, p.idJson, {}, 5);
  EXPECT_EQ(ack, R"({"result":"taken","code":1,"param":4,"id":"a\"1","t":5})");
  EXPECT_TRUE(ParseFlatJsonObject(ack).members);
}

TEST(CommandMessage, refusesWhatIsNotOneClearCommand) {
  const struct {
    const char* json;
    const char* why;
  } kCases[] = {
      {R"({"drive":"fly"})", "\"drive\" takes"},
      {R"({"drive":1})", "\"drive\" takes"},
      {R"({"sound":0})", "sound number"},
      {R"({"sound":"3"})", "sound number"},
      {R"({"code":1,"param":2147483648})", "32-bit"},
      {R"({"code":1.0})", "32-bit"},
      {R"({"code":"1"})", "32-bit"},
      {R"({"param":1})", "no command"},
      {R"({})", "no command"},
      {R"({"drive":"stop","code":1})", "together"},
      {R"({"drive":"stop","sound":1})", "one command"},
      {R"({"drvie":"stop"})", "unknown member"},
      {R"({"code":12})", "not taken from the network"},
      {R"({"code":102,"param":77})", "not taken from the network"},
      {R"({"drive":"stop","t":-5})", "\"t\""},
      {R"({"drive":"stop","t":1.5})", "\"t\""},
      {R"({"drive":"stop","id":[1]})", "nested"},
      {R"({"drive":"stop","id":true})", "\"id\""},
      {"drive forward", "not a command"},
  };
  for (const auto& c : kCases) {
    const auto p = ParseCommandMessage(c.json);
    EXPECT_FALSE(p.request) << c.json;
    EXPECT_NE(p.error.find(c.why), std::string::npos) << c.json << " -> " << p.error;
    // Even a refusal answers valid JSON.
    EXPECT_TRUE(
        ParseFlatJsonObject(AckJson(CommandResult::Invalid, nullptr, p.idJson, p.error, 1)).members)
        << c.json;
  }
  EXPECT_EQ(ParseCommandMessage(R"({"drvie":"stop","id":9})").idJson, "9");
}

// Random bytes and mutated commands: never a crash or a read past the end
// (run under AddressSanitizer), never a desktop command let through.
TEST(CommandMessage, hostileBytesNeverPassAsDesktopCommands) {
  const std::string seeds[] = {R"({"drive":"forward","t":1733650000123,"id":"x"})",
                               R"({"code":102,"param":5})", R"({"b":"\ud83d\ude97\u00e9"})",
                               R"({"code":1,"param":-1e5})"};
  std::mt19937 rng(99);
  int accepted = 0;
  for (int i = 0; i < 200000; ++i) {
    std::string text = seeds[rng() % std::size(seeds)];
    const int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits && !text.empty(); ++e) {
      const std::size_t at = rng() % text.size();
      switch (rng() % 4) {
        case 0:
          text[at] = static_cast<char>(rng());
          break;
        case 1:
          text.erase(at, 1 + rng() % 3);
          break;
        case 2:
          text.insert(at, 1, "{}[]\":,\\u0-19eE"[rng() % 16]);
          break;
        default:
          text.resize(at);
      }
    }
    // A copy of exactly the text's size, so that a read past it is caught.
    const std::unique_ptr<char[]> exact(new char[text.size()]);
    std::copy(text.begin(), text.end(), exact.get());
    const auto p = ParseCommandMessage(std::string_view(exact.get(), text.size()));
    if (p.request) {
      ++accepted;
      EXPECT_NE(p.request->code, api::COMMAND_PROGRAM_FILE);
      EXPECT_NE(p.request->code, api::COMMAND_EXTERNAL_WINDOW);
    }
  }
  EXPECT_GT(accepted, 0);  // the mutations do reach the command checks
}

TEST(RecordMessages, carryTheRecordFieldsByName) {
  EXPECT_EQ(PositionJson({1, {412, -3, 2, 359}}, 1733650000123),
            R"({"x":412,"y":-3,"turns":2,"heading":359,"t":1733650000123})");
  EXPECT_EQ(StatusJson({1, 0x4A}, 7),
            R"({"drive_state":74,"forward":true,"reverse":false,"left":true,"right":false,)"
            R"("turbo":false,"auto":true,"t":7})");
  EXPECT_EQ(BallJson({1, {10, 20, 30, 40}}, 7),
            R"({"left":10,"top":20,"right":30,"bottom":40,"t":7})");
}

TEST(BridgeSettings, brokerAddresses) {
  const struct {
    const char* url;
    const char* host;
    int port;
    bool tls;
  } kGood[] = {
      {"mqtt://lab:1884", "lab", 1884, false},    {"mqtt://lab", "lab", 1883, false},
      {"mqtts://lab", "lab", 8883, true},         {"lab:1", "lab", 1, false},
      {"mqtt://[::1]:1885/", "::1", 1885, false}, {"mqtt://10.0.0.2", "10.0.0.2", 1883, false},
  };
  for (const auto& g : kGood) {
    BridgeSettings s;
    std::string error;
    ASSERT_TRUE(ParseBrokerUrl(g.url, s, error)) << g.url << ": " << error;
    EXPECT_EQ(s.host, g.host);
    EXPECT_EQ(s.port, g.port);
    EXPECT_EQ(s.tls, g.tls);
  }
  for (const char* bad : {"http://lab", "mqtt://", "mqtt://lab:0", "mqtt://lab:65536",
                          "mqtt://lab:x", "mqtt://user:pw@lab", "mqtt://[::1", "mqtt://[::1]x"}) {
    BridgeSettings s;
    std::string error;
    EXPECT_FALSE(ParseBrokerUrl(bad, s, error)) << bad;
    EXPECT_FALSE(error.empty());
  }
}

TEST(BridgeSettings, fileAndCommandLine) {
  test::TestDir dir;
  BridgeSettings s;
  auto r = ReadBridgeSettingsText(
      "# lab broker\nusername = car1\npassword = se cret\n  command_max_age_ms=500\r\n"
      "require_time_stamp = yes\n",
      s);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(s.password, "se cret");
  EXPECT_EQ(s.commandMaxAgeMs, 500);
  EXPECT_TRUE(s.requireTimeStamp);

  for (const char* bad : {"pasword = x\n", "password = x\n", "certfile = a\n", "keepalive = 1\n",
                          "tls_insecure = maybe\n", "just words\n"}) {
    BridgeSettings t;
    EXPECT_FALSE(ReadBridgeSettingsText(bad, t).ok) << bad;
  }

  BridgeSettings example;
  r = ReadBridgeSettingsFile(test::SourceDir() + "/tools/viren-bridge/examples/bridge.conf",
                             example);
  EXPECT_TRUE(r.ok) << r.error;
  EXPECT_EQ(example.username, "car1-bridge");

  // Secrets never on the command line; TLS settings only for an mqtts:// broker.
  BridgeSettings c;
  EXPECT_NE(ParseBridgeCommandLine({"--password", "x"}, c).error.find("settings file"),
            std::string::npos);
  dir.Write("tls.conf", "cafile = /etc/ssl/certs/ca.pem\n");
  EXPECT_FALSE(ParseBridgeCommandLine({"--config", dir.File("tls.conf")}, c).ok);
  EXPECT_TRUE(ParseBridgeCommandLine(
                  {"--config", dir.File("tls.conf"), "--broker", "mqtts://lab", "--name", "c"}, c)
                  .ok);
  EXPECT_FALSE(ParseBridgeCommandLine({"--name", "lab/car"}, c).ok);
  EXPECT_FALSE(ParseBridgeCommandLine({"--name", "car#"}, c).ok);
  dir.Write("open.conf", "username = u\npassword = p\n");
  ::chmod(dir.File("open.conf").c_str(), 0644);
  r = ParseBridgeCommandLine({"--config", dir.File("open.conf"), "--name", "c"}, c);
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.warnings.size(), 1u);
  EXPECT_NE(r.warnings[0].find("chmod 600"), std::string::npos);
}

}  // namespace
}  // namespace viren::bridge
