// The assembled window driving a relay board on a pseudo-terminal: Esc, a
// silent board, the device switch and the start of the simulation must each
// leave the car released and the window responsive.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>

#include "FakePcOpRs1.h"
#include "FakeRelayBoard.h"
#include "app/CControlDlg.h"
#include "app/CDriveView.h"
#include "app/CMainFrame.h"
#include "app/dialogs/CParamDlg.h"
#include "core/CommandIds.h"
#include "core/DriveTypes.h"
#include "device/CCarDevices.h"
#include "engine/CDriveSystem.h"
#include "program/DrivingProgram.h"
#include "program/ProgramFile.h"
#include "settings/IniFile.h"
#include "support/FakeUiHost.h"
#include "support/TestDir.h"

namespace viren {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;
using SteadyClock = std::chrono::steady_clock;

const Strings kRest = {"PCR00R10\r", "PCR20R30\r", "PCR40\r"};
// The ROBO-Q stop code on band A: speed 0, direction 1.
constexpr int kRoboQStopBandA = 1 * 8;

bool NonePressed(const Strings& commands) {
  std::map<char, bool> closed;
  for (const std::string& c : commands)
    for (std::size_t i = 2; c.rfind("PC", 0) == 0 && i + 2 < c.size(); i += 3)
      closed[c[i + 1]] = c[i + 2] == '1';
  for (const auto& [relay, on] : closed)
    if (on) return false;
  return true;
}

Strings Last3(const Strings& s) {
  return s.size() < 3 ? s : Strings(s.end() - 3, s.end());
}

// Scripted messages, but the frame's own controller window.
class ControllerUiHost : public test::FakeUiHost {
 public:
  bool CreateController() override { return frame ? frame->CreateController() : false; }
  CMainFrame* frame = nullptr;
};

class CarStop : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "car_stop_tests";
    static char* argv[] = {name, nullptr};
    if (!qApp) new QApplication(argc, argv);
  }

  // A program folder whose COM1 is `device`, with the shipped skins.
  void Prepare(const std::string& device, const std::string& control = "") {
    std::filesystem::copy_file(test::ProgramFolder() + "/VIREN.ini", dir.File("VIREN.ini"));
    dir.Write("VIREN.ini", ini::Update(dir.Read("VIREN.ini"), "USB", "COM_DEVICE1", device));
    dir.Write("option.ini",
              "[AGREEMENT]\r\nAGREEMENT=1\r\n[USB]\r\nCOM_NO=1\r\n[CONTROL]\r\n" + control);
    for (const char* skin : {"control1", "control2"})
      std::filesystem::copy(test::ProgramFolder() + "/" + skin, dir.File(skin));
  }

  void Open(DeviceTimings timings = {}) {
    EngineOptions options;
    options.deviceTimings = timings;
    frame = std::make_unique<CMainFrame>(dir.path(), "", &ui, std::move(options));
    ui.frame = frame.get();
    frame->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine().engineReady(); }, 10000));
    ASSERT_NE(frame->controller(), nullptr);
  }

  CDriveSystem& engine() { return frame->view()->engine(); }

  // A click on controller button k, and how long the window was held up.
  SteadyClock::duration Click(int k) {
    CControlDlg* controller = frame->controller();
    const Rect r = controller->panel().buttonRect(k);
    const QPoint at((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    const auto start = SteadyClock::now();
    QTest::mouseMove(controller, at);
    QTest::mouseClick(controller, Qt::LeftButton, {}, at);
    return SteadyClock::now() - start;
  }

  void FlushBoard() { ASSERT_TRUE(engine().devices().relay().Flush(5s)); }

  // OK in the parameter dialog after clicking the ROBO-Q box.
  void SwitchRoboQ(MsgAnswer answerTo203) {
    bool handled = false;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<CParamDlg*>(QApplication::activeModalWidget());
      if (!dialog) return;
      ui.ScriptAnswer(answerTo203);
      dialog->roboQCheck()->click();
      dialog->okButton()->click();
      handled = true;
    });
    frame->OnCommand(ID_PARAMETERS);
    EXPECT_TRUE(handled) << "the parameter dialog did not come up";
  }

  test::TestDir dir;
  ControllerUiHost ui;
  std::unique_ptr<CMainFrame> frame;
};

TEST_F(CarStop, escapeInTheWindowAndOnTheControllerStopsTheCarAndEndsTheRun) {
  test::FakeRelayBoard board;
  Prepare(board.devicePath());
  Open();
  // A program that drives forward with turbo on left lock and then idles.
  std::vector<EventRecord> r(3);
  r[0].kind = EVENT_START;
  r[1].kind = EVENT_CAR;
  r[1].option = CAR_FORWARD;
  r[1].value2 = 1;
  r[2].kind = EVENT_HANDLE;
  r[2].option = HANDLE_LEFT;
  for (int i = 0; i < 3; ++i) {
    r[i].prev = static_cast<std::int16_t>(i - 1);
    r[i].next = static_cast<std::int16_t>(i < 2 ? i + 1 : -1);
    r[i].y = static_cast<std::int16_t>(20 + 60 * i);
  }
  dir.Write("fl.ntc", EncodeProgramFile(r.data(), 3));
  ASSERT_TRUE(engine().programFiles().ReadProgramFile(dir.File("fl.ntc")));
  // The program has no end command: the check before the start asks, and is
  // told to start anyway.
  ui.SetDefaultAnswer(MsgAnswer::Ok);
  Click(7);  // the automatic-driving button
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return (engine().devices().drive().DriveState() & DRIVE_STATE_LEFT) != 0; }, 5000));
  FlushBoard();
  ASSERT_FALSE(NonePressed(board.commands()));

  frame->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
  QTest::keyClick(frame.get(), Qt::Key_Escape);
  EXPECT_FALSE(engine().state().autoDriving);
  ASSERT_TRUE(QTest::qWaitFor([&] { return engine().devices().drive().DriveState() == 0; }, 5000));
  FlushBoard();
  EXPECT_TRUE(NonePressed(board.commands()));

  // By hand now, and Esc on the controller.
  Click(2);
  Click(5);
  FlushBoard();
  ASSERT_FALSE(NonePressed(board.commands()));
  frame->controller()->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(frame->controller()));
  QTest::keyClick(frame->controller(), Qt::Key_Escape);
  EXPECT_EQ(engine().devices().drive().DriveState(), 0u);
  FlushBoard();
  EXPECT_TRUE(NonePressed(board.commands()));
  const auto ids = ui.messageIds();
  EXPECT_EQ(std::count(ids.begin(), ids.end(), MSG_DEVICE_NO_ANSWER), 0);
}

TEST_F(CarStop, silentBoardHoldsUpNoClickSaysSoOnceAndTheEndComesQuickly) {
  test::FakeRelayBoard board;
  Prepare(board.devicePath());
  // A second's answer time, so that a click that waited for it would show.
  DeviceTimings timings;
  timings.relay = {100ms, 10, 200ms, 500ms};
  Open(timings);
  frame->UpdateCommands();
  EXPECT_EQ(frame->linkHealthText(), QStringLiteral("デバイス接続中"));
  board.SetDefault(test::FakeRelayBoard::Silent());
  for (int k : {2, 4, 5, 4, 2}) EXPECT_LT(Click(k), 500ms) << "button " << k;
  ASSERT_TRUE(QTest::qWaitFor([&] { return !ui.messageIds().empty(); }, 10000));
  QTest::qWait(1000);  // several tries to reach it again
  for (int k : {2, 3}) EXPECT_LT(Click(k), 500ms) << "button " << k;
  EXPECT_EQ(ui.messageIds(), (std::vector<int>{MSG_DEVICE_NO_ANSWER}));
  frame->UpdateCommands();
  EXPECT_EQ(frame->linkHealthText(), QStringLiteral("デバイス応答なし"));

  const std::size_t before = board.commands().size();
  const auto start = SteadyClock::now();
  frame.reset();  // the exit: the engine shuts down with the view
  EXPECT_LT(SteadyClock::now() - start, 3s);
  board.WaitForCommands(before + 3, 2s);
  EXPECT_EQ(Last3(board.commands()), kRest);
}

TEST_F(CarStop, switchingToTheRoboQLetsGoOfTheRelaysAndThePortBeforeTheTransmitterOpens) {
  test::FakeRelayBoard board;
  Prepare(board.devicePath());
  Open();
  EXPECT_TRUE(board.exclusivelyLocked());
  Click(2);
  Click(4);
  FlushBoard();
  ASSERT_FALSE(NonePressed(board.commands()));
  SwitchRoboQ(MsgAnswer::Yes);
  EXPECT_TRUE(engine().state().controlRoboQ);
  EXPECT_EQ(Last3(board.commands()), kRest);
  EXPECT_TRUE(NonePressed(board.commands()));
  EXPECT_FALSE(engine().devices().relay().connected());
  // The transmitter has the same port now; nobody holds it exclusively.
  EXPECT_FALSE(board.exclusivelyLocked());
  EXPECT_TRUE(engine().devices().roboQ().isOpen());
  EXPECT_EQ(engine().devices().roboQ().portPath(), board.devicePath());
  EXPECT_EQ(engine().devices().drive().DriveState() & ~DRIVE_STATE_AUTO, 0u);
  EXPECT_EQ(frame->controller()->skinType(), SkinType::RoboQ);
}

TEST_F(CarStop, switchingBackToTheRelayBoardStopsTheTransmitterFirst) {
  test::FakePcOpRs1 transmitter;
  Prepare(transmitter.devicePath(), "CONTROL_ROBOQ=1\r\n");
  // The relay board's handshake on the transmitter's port finds no answer.
  DeviceTimings timings;
  timings.relay = {10ms, 20, 100ms, 100ms};
  Open(timings);
  ASSERT_TRUE(engine().devices().roboQ().isOpen());
  engine().devices().drive().SendDriveCommand(DRIVE_FORWARD);
  ASSERT_TRUE(transmitter.WaitForFrames(2, 5s));
  SwitchRoboQ(MsgAnswer::Yes);  // unchecked: no question is asked
  EXPECT_FALSE(engine().state().controlRoboQ);
  EXPECT_FALSE(engine().devices().roboQ().isOpen());
  EXPECT_FALSE(engine().devices().roboQ().sending());
  // The transmitter's last frame is the stop frame, and nothing follows it.
  const auto frames = transmitter.frames();
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(test::DecodeRoboQPattern(frames.back().pattern), kRoboQStopBandA);
  QTest::qWait(300);
  EXPECT_EQ(transmitter.frameCount(), frames.size());
  // The relay board was then looked for on the port (a transmitter does not
  // answer like one).
  EXPECT_NE(transmitter.received().find("AT\r"), std::string::npos);
  EXPECT_EQ(frame->controller()->skinType(), SkinType::Normal);
}

TEST_F(CarStop, startingTheSimulationLetsGoOfTheRealCarFirst) {
  test::FakeRelayBoard board;
  Prepare(board.devicePath());
  Open();
  Click(2);
  Click(5);
  FlushBoard();
  ASSERT_FALSE(NonePressed(board.commands()));
  frame->OnCommand(ID_SIMULATION);
  ASSERT_TRUE(engine().state().simulating);
  FlushBoard();
  EXPECT_TRUE(NonePressed(board.commands()));
  frame->UpdateCommands();
  EXPECT_EQ(frame->linkHealthText(), QStringLiteral("シミュレーション中"));
  // The simulated car drives; the real one hears nothing of it.
  const std::size_t before = board.commands().size();
  Click(2);
  QTest::qWait(100);
  EXPECT_EQ(board.commands().size(), before);
  frame->OnCommand(ID_SIMULATION);
}

}  // namespace
}  // namespace viren
