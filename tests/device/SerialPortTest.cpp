// The serial port adapter on real pseudo-terminals, the COM number mapping and
// the device enumeration.
#include "platform/SerialPort.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>

#include "DeviceRig.h"
#include "FakeRelayBoard.h"
#include "device/ComPortMap.h"
#include "platform/SerialPortEnumeration.h"

namespace viren {
namespace {

using namespace std::chrono_literals;
using test::FakeRelayBoard;

termios LineSettingsOf(const std::string& path) {
  termios tio{};
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(::tcgetattr(fd, &tio), 0);
  ::close(fd);
  return tio;
}

TEST(SerialPort, openAppliesRawLineSettingsAndReadsNeverWait) {
  FakeRelayBoard peer;
  peer.SetDefault(FakeRelayBoard::Silent());
  SerialPort port;
  ASSERT_EQ(port.Open(peer.devicePath(), 9600, 8, SerialPort::PARITY_NONE, SerialPort::STOP_ONE),
            SerialPort::kOpenOk);
  EXPECT_EQ(port.path(), peer.devicePath());

  const termios tio = LineSettingsOf(peer.devicePath());
  EXPECT_EQ(cfgetospeed(&tio), B9600);
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL), 0u);
  EXPECT_EQ(tio.c_cc[VMIN], 0);
  EXPECT_EQ(tio.c_cc[VTIME], 0);

  // Modem lines do not exist on a pseudo-terminal; that is no failure.
  EXPECT_TRUE(port.SetRts(true));
  EXPECT_TRUE(port.SetDtr(true));

  char buf[16];
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(port.Read(buf, sizeof buf), 0);
  EXPECT_EQ(port.BytesWaiting(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 50ms);

  EXPECT_EQ(port.Write("AT\r", 3), 3);
  ASSERT_TRUE(peer.WaitForCommands(1, 2s));
  EXPECT_EQ(peer.received(), "AT\r");

  peer.SendAfter("\r\nOK\r\n", 0ms);
  EXPECT_EQ(port.ReadFor(buf, 2, 2s), 2);
  for (int i = 0; i < 100 && port.BytesWaiting() < 4; ++i) std::this_thread::sleep_for(2ms);
  EXPECT_EQ(port.BytesWaiting(), 4);
  EXPECT_EQ(port.Read(buf, sizeof buf), 4);
  EXPECT_EQ(std::string(buf, 4), "OK\r\n");

  // Binary bytes pass unchanged in both directions.
  const std::string binary("\x00\x0d\x0a\x11\x13\xff", 6);
  EXPECT_EQ(port.Write(binary.data(), binary.size()), 6);
  ASSERT_TRUE(peer.WaitForBytes(9, 2s));
  EXPECT_EQ(peer.received().substr(3), binary);
}

TEST(SerialPort, readForGivesUpAfterItsTimeout) {
  FakeRelayBoard peer;
  SerialPort port;
  ASSERT_EQ(port.Open(peer.devicePath(), 115200, 8, 0, 0, SerialPort::Sharing::Shared), 0);
  char c;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(port.ReadFor(&c, 1, 60ms), 0);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 55ms);
  EXPECT_LT(took, 1s);
  const termios tio = LineSettingsOf(peer.devicePath());
  EXPECT_EQ(cfgetospeed(&tio), B115200);
}

TEST(SerialPort, openFailuresCarryTheirCodesAndLeaveThePortClosed) {
  SerialPort port;
  EXPECT_EQ(port.Open("/dev/no-such-serial-device", 9600, 8, 0, 0), SerialPort::kCannotOpen);
  EXPECT_FALSE(port.IsOpen());
  // Not a terminal: the line settings cannot be applied.
  EXPECT_EQ(port.Open("/dev/null", 9600, 8, 0, 0), SerialPort::kLineStateFailed);
  EXPECT_FALSE(port.IsOpen());
  FakeRelayBoard peer;
  EXPECT_EQ(port.Open(peer.devicePath(), 12345, 8, 0, 0), SerialPort::kLineStateFailed);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.BytesWaiting(), -1);
  EXPECT_EQ(port.Write("x", 1), -1);
}

TEST(SerialPort, closeAndReopenAndAVanishedDevice) {
  FakeRelayBoard peer;
  SerialPort port;
  ASSERT_EQ(port.Open(peer.devicePath(), 9600, 8, 0, 0), 0);
  port.Close();
  EXPECT_FALSE(port.IsOpen());
  ASSERT_EQ(port.Open(peer.devicePath(), 9600, 8, 0, 0), 0);
  // Opening again closes the first handle rather than leaking it.
  ASSERT_EQ(port.Open(peer.devicePath(), 9600, 8, 0, 0), 0);

  peer.VanishAfter(0ms);
  ASSERT_TRUE(peer.WaitVanished(2s));
  char c;
  EXPECT_EQ(port.Write("AT\r", 3), -1);
  EXPECT_EQ(port.ReadFor(&c, 1, 2s), -1);
  EXPECT_EQ(port.BytesWaiting(), -1);
  port.Close();
  EXPECT_EQ(port.Open(peer.devicePath(), 9600, 8, 0, 0), SerialPort::kCannotOpen);
}

TEST(SerialPortEnumeration, stableNamesFirstThenNumberedDevicesWithoutDuplicates) {
  test::TestDir dev;
  namespace fs = std::filesystem;
  fs::create_directories(dev.File("serial/by-id"));
  for (const char* name :
       {"ttyUSB0", "ttyUSB1", "ttyUSB2", "ttyUSB10", "ttyACM0", "ttyS0", "ttyUSBx"})
    dev.Write(name, "");
  fs::create_symlink("../../ttyUSB1", dev.File("serial/by-id/usb-FTDI_board-if00"));
  fs::create_symlink("../../ttyACM0", dev.File("serial/by-id/usb-Arduino-if00"));

  const auto found = ListSerialDevices(dev.path());
  const std::vector<std::string> expected = {
      dev.File("serial/by-id/usb-Arduino-if00"), dev.File("serial/by-id/usb-FTDI_board-if00"),
      dev.File("ttyUSB0"), dev.File("ttyUSB2"), dev.File("ttyUSB10")};
  EXPECT_EQ(found, expected);
  EXPECT_TRUE(ListSerialDevices(dev.File("nothing-here")).empty());
}

TEST(ComPortMap, configuredDeviceWinsElseTheNthDeviceFound) {
  test::DeviceRig rig({.com1Device = "/dev/pts/77"});
  test::TestDir dev;
  dev.Write("ttyUSB0", "");
  dev.Write("ttyACM3", "");
  EXPECT_EQ(ResolveComDevice(rig.settings, 1, dev.path()), "/dev/pts/77");
  EXPECT_EQ(ResolveComDevice(rig.settings, 2, dev.path()), dev.File("ttyACM3"));
  EXPECT_EQ(ResolveComDevice(rig.settings, 3, dev.path()), "");
  EXPECT_EQ(ResolveComDevice(rig.settings, 0, dev.path()), "");
  EXPECT_EQ(ResolveComDevice(rig.settings, 70000, dev.path()), "");
  EXPECT_EQ(ComPortLabel(rig.settings, 1, dev.path()), "COM1 (/dev/pts/77)");
  EXPECT_EQ(ComPortLabel(rig.settings, 3, dev.path()), "COM3");
}

}  // namespace
}  // namespace viren
