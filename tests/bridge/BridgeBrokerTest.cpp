// viren-bridge between real programs: viren-run on the simulated car, the
// bridge, and a Mosquitto broker on a loopback port, watched and driven by
// MQTT clients as another computer would.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "../api/ApiTestSupport.h"
#include "BridgeRig.h"
#include "BrokerProcess.h"
#include "api/ShmTable.h"
#include "api/client/InterfaceClient.h"
#include "core/DriveTypes.h"
#include "support/TestDir.h"

namespace viren {
namespace {

using test::ChildProcess;
using test::JsonBool;
using test::JsonInt;
using test::JsonText;
using test::MqttWatcher;

constexpr int kWaitMs = 8000;

auto Is(const std::string& text) {
  return [text](const std::string& payload) { return payload == text; };
}
auto Any() {
  return [](const std::string&) { return true; };
}
auto AckWithId(const std::string& id) {
  return [id](const std::string& p) { return JsonText(p, "id") == id; };
}

class BridgeTest : public ::testing::Test {
 protected:
  BridgeTest() {
    std::filesystem::create_directory(dir.File("run"));
    std::filesystem::copy_file(test::ProgramFolder() + "/VIREN.ini", dir.File("run/VIREN.ini"));
    std::filesystem::copy(test::ProgramFolder() + "/sample", dir.File("run/sample"),
                          std::filesystem::copy_options::recursive);
    dir.Write("run/option.ini", "[AGREEMENT]\r\nAGREEMENT=1\r\n");
  }

  void SetUp() override {
    broker = std::make_unique<test::BrokerProcess>(dir.path(), BrokerConfig());
    ASSERT_TRUE(broker->Start()) << "mosquitto did not start:\n" << broker->Log();
  }
  virtual std::string BrokerConfig() { return {}; }

  // The simulated car with its program interface, for `seconds`.
  void StartViren(int seconds = 60) {
    viren = std::make_unique<ChildProcess>(
        std::vector<std::string>{test::ProgramFolder() + "/viren-run", "--dir", dir.File("run"),
                                 "--api", "--seconds", std::to_string(seconds)},
        std::vector<std::string>{"VIREN_SHM_PREFIX=" + shm.prefix(),
                                 "VIREN_AUDIO_SINK=fakesink sync=true"},
        dir.File("viren.log"));
    ASSERT_TRUE(viren->started());
  }

  void StartBridge(const std::string& settings = {}) {
    dir.Write("bridge.conf", settings);
    ::chmod(dir.File("bridge.conf").c_str(), 0600);
    bridge = std::make_unique<ChildProcess>(
        std::vector<std::string>{test::ProgramFolder() + "/viren-bridge", "--broker", broker->url(),
                                 "--name", name, "--config", dir.File("bridge.conf"), "--prefix",
                                 shm.prefix()},
        std::vector<std::string>{}, dir.File("bridge.log"));
    ASSERT_TRUE(bridge->started());
  }

  // The car's records straight from shared memory, as the test's own client.
  std::optional<api::StatusRecord> Status() {
    if (!car.isOpen() && car.Open() != api::SHM_OK) return std::nullopt;
    return car.ReadStatus();
  }
  bool Moving() {
    const auto s = Status();
    return s && (s->driveState & DRIVE_STATE_MOVING) != 0;
  }
  bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = kWaitMs) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < giveUp) {
      if (condition()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
  }
  std::string Logs() const {
    return "--- bridge:\n" + (bridge ? bridge->Log() : "") + "--- viren:\n" +
           (viren ? viren->Log() : "");
  }

  std::string Topic(const std::string& leaf) const { return "viren/" + name + "/" + leaf; }

  std::string name = "car";
  test::TestDir dir;
  test::ShmCleanup shm{test::UniqueShmPrefix()};
  std::unique_ptr<test::BrokerProcess> broker;
  std::unique_ptr<ChildProcess> viren;
  std::unique_ptr<ChildProcess> bridge;
  client::InterfaceClient car{shm.prefix()};
};

TEST_F(BridgeTest, forwardFromTheBrokerMovesTheCar_andTheLastPositionStaysRetained) {
  StartViren();
  StartBridge();
  MqttWatcher watcher(broker->port(), "viren/car/#");
  ASSERT_TRUE(watcher.connected());
  ASSERT_TRUE(watcher.WaitFor(Topic("online"), Is("true"), kWaitMs)) << Logs();

  ASSERT_TRUE(watcher.Publish(Topic("command"), R"({"drive":"forward","id":"f1"})"));
  const auto ack = watcher.WaitFor(Topic("command/ack"), AckWithId("f1"), kWaitMs);
  ASSERT_TRUE(ack) << Logs();
  EXPECT_EQ(JsonText(ack->payload, "result"), "taken") << ack->payload;
  EXPECT_EQ(JsonInt(ack->payload, "code"), api::COMMAND_DRIVE);
  EXPECT_EQ(JsonInt(ack->payload, "param"), 1);

  const auto first = watcher.WaitFor(Topic("position"), Any(), kWaitMs);
  ASSERT_TRUE(first) << Logs();
  const long long x0 = JsonInt(first->payload, "x").value_or(1 << 30);
  ASSERT_TRUE(watcher.WaitFor(
      Topic("position"), [&](const std::string& p) { return JsonInt(p, "x") > x0 + 20; }, kWaitMs))
      << "the car did not move right from x=" << x0;
  EXPECT_TRUE(watcher.WaitFor(
      Topic("status"), [](const std::string& p) { return JsonBool(p, "forward") == true; },
      kWaitMs));
  const auto stamp = JsonInt(first->payload, "t");
  ASSERT_TRUE(stamp);
  EXPECT_LT(std::abs(*stamp - test::NowMs()), 10000);

  ASSERT_TRUE(watcher.Publish(Topic("command"), R"({"code":1,"param":0,"id":"s1"})"));
  ASSERT_TRUE(watcher.WaitFor(Topic("command/ack"), AckWithId("s1"), kWaitMs));
  ASSERT_TRUE(watcher.WaitFor(
      Topic("status"), [](const std::string& p) { return JsonBool(p, "forward") == false; },
      kWaitMs));
  // Once no position has come for a while, the last one is where the car stands.
  std::size_t count = 0;
  ASSERT_TRUE(WaitUntil([&] {
    const std::size_t before = watcher.Messages(Topic("position")).size();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    count = watcher.Messages(Topic("position")).size();
    return count == before;
  }));
  const std::string last = watcher.Messages(Topic("position")).back().payload;

  MqttWatcher newcomer(broker->port(), Topic("position"));
  const auto retained = newcomer.WaitFor(Topic("position"), Any(), kWaitMs);
  ASSERT_TRUE(retained);
  EXPECT_TRUE(retained->retain);
  EXPECT_EQ(retained->payload, last);
  EXPECT_GT(JsonInt(retained->payload, "x"), x0 + 20);
}

TEST_F(BridgeTest, brokerRestart_bridgeReconnects_andACommandQueuedMeanwhileNeverDrives) {
  StartViren();
  StartBridge();
  {
    MqttWatcher watcher(broker->port(), "viren/car/#");
    ASSERT_TRUE(watcher.WaitFor(Topic("online"), Is("true"), kWaitMs)) << Logs();
    ASSERT_TRUE(watcher.Publish(Topic("command"), R"({"drive":"forward","id":"f1"})"));
    ASSERT_TRUE(watcher.WaitFor(Topic("command/ack"), AckWithId("f1"), kWaitMs));
  }
  ASSERT_TRUE(WaitUntil([&] { return Moving(); })) << Logs();

  // A client that queues what it sends while the broker is away (paho, QoS 1).
  ChildProcess late({"/usr/bin/python3", test::SourceDir() + "/tests/bridge/stale_publisher.py",
                     std::to_string(broker->port()), Topic("command"), dir.path()},
                    {}, dir.File("late.log"));
  ASSERT_TRUE(WaitUntil([&] { return late.Log().find("connected") != std::string::npos; }));

  broker->Kill();
  // Nobody on the broker can stop the car now: the bridge stops it.
  EXPECT_TRUE(WaitUntil([&] { return !Moving(); })) << Logs();
  dir.Write("broker-down", "");
  ASSERT_TRUE(WaitUntil([&] { return late.Log().find("queued") != std::string::npos; }))
      << late.Log();
  // A command tried while the broker is down does not even leave this computer.
  EXPECT_NE(test::RunProgram({"/usr/bin/mosquitto_pub", "-p", std::to_string(broker->port()), "-h",
                              "127.0.0.1", "-t", Topic("command"), "-m", R"({"drive":"forward"})"})
                .exitCode,
            0);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));

  ASSERT_TRUE(broker->Start());
  MqttWatcher watcher(broker->port(), "viren/car/#");
  ASSERT_TRUE(watcher.WaitFor(Topic("online"), Is("true"), 15000)) << Logs();
  dir.Write("broker-up", "");
  const auto ack = watcher.WaitFor(Topic("command/ack"), AckWithId("late"), kWaitMs);
  ASSERT_TRUE(ack) << late.Log() << Logs();
  EXPECT_EQ(JsonText(ack->payload, "result"), "stale") << ack->payload;
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_FALSE(Moving()) << "the queued forward reached the car late";
  EXPECT_NE(bridge->Log().find("reconnected"), std::string::npos) << Logs();

  // The bridge drives again on the new connection.
  ASSERT_TRUE(watcher.Publish(Topic("command"), R"({"drive":"forward","id":"f2","t":)" +
                                                    std::to_string(test::NowMs()) + "}"));
  const auto fresh = watcher.WaitFor(Topic("command/ack"), AckWithId("f2"), kWaitMs);
  ASSERT_TRUE(fresh);
  EXPECT_EQ(JsonText(fresh->payload, "result"), "taken") << fresh->payload;
  EXPECT_TRUE(WaitUntil([&] { return Moving(); }));
}

TEST_F(BridgeTest, virenRestart_bridgeReattaches_andRetainedOrOfflineCommandsNeverDrive) {
  MqttWatcher watcher(broker->port(), "viren/car/#");
  ASSERT_TRUE(watcher.connected());
  // Left on the broker by someone's mistake: it must never move a car.
  ASSERT_TRUE(watcher.Publish(Topic("command"), R"({"drive":"forward"})", true));
  StartBridge();
  ASSERT_TRUE(watcher.WaitFor(Topic("online"), Is("false"), kWaitMs)) << Logs();
  const auto refused = watcher.WaitFor(Topic("command/ack"), Any(), kWaitMs);
  ASSERT_TRUE(refused) << Logs();
  EXPECT_EQ(JsonText(refused->payload, "result"), "stale") << refused->payload;
  ASSERT_TRUE(watcher.Publish(Topic("command"), "", true));  // cleared

  ASSERT_TRUE(watcher.Publish(Topic("command"), R"({"drive":"forward","id":"o1"})"));
  const auto offline = watcher.WaitFor(Topic("command/ack"), AckWithId("o1"), kWaitMs);
  ASSERT_TRUE(offline);
  EXPECT_EQ(JsonText(offline->payload, "result"), "offline");

  // VIREN starts later, then dies without letting go of its blocks.
  std::size_t seen = watcher.Count();
  StartViren();
  ASSERT_TRUE(watcher.WaitFor(Topic("online"), Is("true"), kWaitMs, seen)) << Logs();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(Moving()) << "a command sent while VIREN was away reached the car";
  car.Close();
  seen = watcher.Count();
  viren->Stop(SIGKILL);
  ASSERT_TRUE(watcher.WaitFor(Topic("online"), Is("false"), kWaitMs, seen)) << Logs();

  // Started again: the bridge lets it create its blocks and attaches to them.
  seen = watcher.Count();
  StartViren();
  ASSERT_TRUE(watcher.WaitFor(Topic("online"), Is("true"), 15000, seen)) << Logs();
  const auto python = test::RunProgram(
      {"/usr/bin/python3", test::SourceDir() + "/tools/python/viren_mqtt.py", "--broker",
       "127.0.0.1:" + std::to_string(broker->port()), "--name", name, "drive", "forward"});
  EXPECT_EQ(python.exitCode, 0) << python.out << python.err << Logs();
  EXPECT_NE(python.out.find(R"("result": "taken")"), std::string::npos) << python.out;
  EXPECT_TRUE(WaitUntil([&] { return Moving(); })) << Logs();

  // The bridge ends: it stops the car it set moving and says the car is gone.
  seen = watcher.Count();
  EXPECT_EQ(bridge->Stop(SIGTERM), 0);
  EXPECT_TRUE(watcher.WaitFor(Topic("online"), Is("false"), kWaitMs, seen));
  EXPECT_FALSE(Moving());
}

// VIREN's part played by this test: four blocks registered by hand and a
// Command block nobody takes from, so the bridge's time limits show.
class BridgeSlowServerTest : public BridgeTest {
 protected:
  void SetUp() override {
    BridgeTest::SetUp();
    ASSERT_TRUE(server.ShmAttachTable());
    for (const auto& b : api::kInterfaceBlocks) {
      ASSERT_GE(server.ShmCreateBlock(b.name, b.mutexName, api::kInterfaceRecordSize, 1), 0);
    }
  }
  api::CommandRecord Command() {
    api::InterfaceRecord bytes{};
    server.ShmReadRecord(0, bytes, 1, 0, 1000);
    return api::DecodeCommand(bytes);
  }
  api::ShmTable server{api::ShmTableOptions{shm.prefix()}};
};

TEST_F(BridgeSlowServerTest, commandsNotTakenInTimeAreWithdrawn_andLaterOnesExpire) {
  StartBridge("command_max_age_ms = 400\n");
  MqttWatcher watcher(broker->port(), "viren/car/#");
  ASSERT_TRUE(watcher.WaitFor(Topic("online"), Is("true"), kWaitMs)) << Logs();
  ASSERT_TRUE(watcher.Publish(Topic("command"), R"({"drive":"forward","id":"a"})"));
  ASSERT_TRUE(watcher.Publish(Topic("command"), R"({"drive":"left","id":"b"})"));
  ASSERT_TRUE(WaitUntil([&] { return Command().state == api::RECORD_NEW; })) << Logs();
  EXPECT_EQ(Command().parameter, DRIVE_FORWARD);

  const auto a = watcher.WaitFor(Topic("command/ack"), AckWithId("a"), kWaitMs);
  const auto b = watcher.WaitFor(Topic("command/ack"), AckWithId("b"), kWaitMs);
  ASSERT_TRUE(a && b) << Logs();
  EXPECT_EQ(JsonText(a->payload, "result"), "not_taken") << a->payload;
  EXPECT_EQ(JsonText(b->payload, "result"), "expired") << b->payload;
  // Withdrawn: a VIREN that polls only now finds nothing to carry out.
  EXPECT_EQ(Command().state, api::RECORD_EMPTY);

  // A command VIREN does take is answered as taken.
  ASSERT_TRUE(watcher.Publish(Topic("command"), R"({"sound":3,"id":"c"})"));
  ASSERT_TRUE(WaitUntil([&] { return Command().state == api::RECORD_NEW; }));
  EXPECT_EQ(Command(), (api::CommandRecord{api::RECORD_NEW, api::COMMAND_SOUND, 3}));
  ASSERT_EQ(server.ShmWriteRecord(0, api::EncodeCommand({api::RECORD_TAKEN, api::COMMAND_SOUND, 3}),
                                  1, 0, 1000),
            api::SHM_OK);
  const auto c = watcher.WaitFor(Topic("command/ack"), AckWithId("c"), kWaitMs);
  ASSERT_TRUE(c);
  EXPECT_EQ(JsonText(c->payload, "result"), "taken");

  // Time stamps too far in the past or the future are refused alike.
  for (const long long offsetMs : {-5000LL, 5000LL}) {
    const std::size_t seen = watcher.Count();
    ASSERT_TRUE(watcher.Publish(
        Topic("command"),
        R"({"drive":"forward","id":"d","t":)" + std::to_string(test::NowMs() + offsetMs) + "}"));
    const auto d = watcher.WaitFor(Topic("command/ack"), AckWithId("d"), kWaitMs, seen);
    ASSERT_TRUE(d);
    EXPECT_EQ(JsonText(d->payload, "result"), "stale") << offsetMs << " " << d->payload;
  }
  EXPECT_EQ(Command().state, api::RECORD_TAKEN);
}

// The access control the README documents, on a broker that uses it: every
// user watches, only the named driver drives, the bridge speaks for its car.
class BridgeAclTest : public BridgeTest {
 protected:
  BridgeAclTest() { name = "car1"; }
  std::string BrokerConfig() override {
    const std::string passwords = dir.File("viren.passwd");
    for (const char* user : {"car1-bridge", "teacher", "student"}) {
      std::vector<std::string> args{"/usr/bin/mosquitto_passwd", "-b", passwords, user,
                                    std::string(user) + "-pw"};
      if (!dir.Exists("viren.passwd")) args.insert(args.begin() + 1, "-c");
      EXPECT_EQ(test::RunProgram(args).exitCode, 0) << user;
    }
    return "allow_anonymous false\npassword_file " + passwords + "\nacl_file " + test::SourceDir() +
           "/tools/viren-bridge/examples/viren.acl\n";
  }
};

TEST_F(BridgeAclTest, onlyTheNamedDriverDrives_everyUserWatches) {
  StartViren();
  StartBridge("username = car1-bridge\npassword = car1-bridge-pw\n");
  MqttWatcher student(broker->port(), "viren/#", "student", "student-pw");
  MqttWatcher teacher(broker->port(), "viren/#", "teacher", "teacher-pw");
  ASSERT_TRUE(student.connected() && teacher.connected());
  ASSERT_TRUE(student.WaitFor(Topic("online"), Is("true"), kWaitMs)) << Logs();

  ASSERT_TRUE(student.Publish(Topic("command"), R"({"drive":"forward","id":"s"})"));
  EXPECT_FALSE(student.WaitFor(Topic("command/ack"), AckWithId("s"), 1500));
  EXPECT_FALSE(Moving()) << "a user without the right drove the car";

  ASSERT_TRUE(teacher.Publish(Topic("command"), R"({"drive":"forward","id":"t"})"));
  const auto ack = student.WaitFor(Topic("command/ack"), AckWithId("t"), kWaitMs);
  ASSERT_TRUE(ack) << Logs();
  EXPECT_EQ(JsonText(ack->payload, "result"), "taken");
  EXPECT_TRUE(WaitUntil([&] { return Moving(); }));
  EXPECT_TRUE(student.WaitFor(Topic("position"), Any(), kWaitMs));
}

// The broker's TLS listener with certificates the test makes: the bridge
// checks the broker's certificate against the settings file's cafile, and
// refuses a broker signed by another authority. The test's own watcher uses
// the plain listener beside it.
class BridgeTlsTest : public BridgeTest {
 protected:
  std::string BrokerConfig() override {
    tlsPort = test::FreeLoopbackPort();
    dir.Write("san.ext", "subjectAltName=IP:127.0.0.1\n");
    const std::vector<std::vector<std::string>> steps = {
        {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
         "-keyout", dir.File("ca.key"), "-out", dir.File("ca.crt"), "-days", "2", "-subj",
         "/CN=viren test authority"},
        {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
         "-keyout", dir.File("other.key"), "-out", dir.File("other.crt"), "-days", "2", "-subj",
         "/CN=another authority"},
        {"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
         dir.File("server.key"), "-out", dir.File("server.csr"), "-subj", "/CN=127.0.0.1"},
        {"x509", "-req", "-in", dir.File("server.csr"), "-CA", dir.File("ca.crt"), "-CAkey",
         dir.File("ca.key"), "-CAcreateserial", "-out", dir.File("server.crt"), "-days", "2",
         "-extfile", dir.File("san.ext")},
    };
    for (auto step : steps) {
      step.insert(step.begin(), "/usr/bin/openssl");
      const auto r = test::RunProgram(step);
      EXPECT_EQ(r.exitCode, 0) << r.err;
    }
    return "listener " + std::to_string(tlsPort) + " 127.0.0.1\ncafile " + dir.File("ca.crt") +
           "\ncertfile " + dir.File("server.crt") + "\nkeyfile " + dir.File("server.key") + "\n";
  }
  void StartTlsBridge(const std::string& caFile) {
    dir.Write("bridge.conf", "cafile = " + caFile + "\n");
    bridge = std::make_unique<ChildProcess>(
        std::vector<std::string>{test::ProgramFolder() + "/viren-bridge", "--broker",
                                 "mqtts://127.0.0.1:" + std::to_string(tlsPort), "--name", name,
                                 "--config", dir.File("bridge.conf"), "--prefix", shm.prefix()},
        std::vector<std::string>{}, dir.File("bridge.log"));
  }
  int tlsPort = -1;
};

TEST_F(BridgeTlsTest, connectsToABrokerItsAuthoritySigned_refusesAnother) {
  StartViren();
  MqttWatcher watcher(broker->port(), "viren/car/#");
  ASSERT_TRUE(watcher.connected());
  StartTlsBridge(dir.File("other.crt"));
  EXPECT_FALSE(watcher.WaitFor(Topic("online"), Any(), 2000)) << Logs();
  EXPECT_EQ(bridge->Log().find("connected to"), std::string::npos) << Logs();
  EXPECT_NE(bridge->Log().find("certificate verify failed"), std::string::npos) << Logs();
  bridge->Stop(SIGTERM);

  StartTlsBridge(dir.File("ca.crt"));
  ASSERT_TRUE(watcher.WaitFor(Topic("online"), Is("true"), kWaitMs)) << Logs();
  ASSERT_TRUE(watcher.Publish(Topic("command"), R"({"drive":"forward","id":"f"})"));
  const auto ack = watcher.WaitFor(Topic("command/ack"), AckWithId("f"), kWaitMs);
  ASSERT_TRUE(ack) << Logs();
  EXPECT_EQ(JsonText(ack->payload, "result"), "taken");
}

}  // namespace
}  // namespace viren
