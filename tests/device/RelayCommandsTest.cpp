// Relay command texts and acknowledgements, byte for byte.
#include "device/RelayCommands.h"

#include <gtest/gtest.h>

#include "core/DriveTypes.h"

namespace viren {
namespace {

TEST(RelayCommandText, normalCarSwitchesOneRelayPairPerCommand) {
  const struct {
    int code;
    const char* text;
  } cases[] = {
      {DRIVE_CHECK, "AT\r"},
      {DRIVE_STOP, "PCRA0RB0\r"},
      {DRIVE_FORWARD, "PCRA1RB0\r"},
      {DRIVE_REVERSE, "PCRA0RB1\r"},
      {DRIVE_STRAIGHT, "PCRC0RD0\r"},
      {DRIVE_LEFT, "PCRC1RD0\r"},
      {DRIVE_RIGHT, "PCRC0RD1\r"},
      {DRIVE_TURBO_ON, "PCRE1\r"},
      {DRIVE_TURBO_OFF, "PCRE0\r"},
      {DRIVE_AUTO_ON, ""},
      {DRIVE_AUTO_OFF, ""},
      {10, ""},
      {-2, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(RelayCommandText(c.code, "ABCDE", false), c.text) << "code " << c.code;
}

TEST(RelayCommandText, fourWheelCarDrivesBothMotorsAndHasNoSteeringReleaseOrTurbo) {
  const struct {
    int code;
    const char* text;
  } cases[] = {
      {DRIVE_CHECK, "AT\r"},
      {DRIVE_STOP, "PCRA0RB0RC0RD0\r"},
      {DRIVE_FORWARD, "PCRA1RB0RC1RD0\r"},
      {DRIVE_REVERSE, "PCRA0RB1RC0RD1\r"},
      {DRIVE_STRAIGHT, ""},
      {DRIVE_LEFT, "PCRA0RB1RC1RD0\r"},
      {DRIVE_RIGHT, "PCRA1RB0RC0RD1\r"},
      {DRIVE_TURBO_ON, ""},
      {DRIVE_TURBO_OFF, ""},
      {DRIVE_AUTO_ON, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(RelayCommandText(c.code, "ABCDE", true), c.text) << "code " << c.code;
}

TEST(RelayCommandText, defaultIdentifiersAndShortIdentifierLists) {
  EXPECT_EQ(RelayCommandText(DRIVE_FORWARD, "0123456789", false), "PCR01R10\r");
  // A relay beyond the configured identifiers is never switched.
  EXPECT_EQ(RelayCommandText(DRIVE_FORWARD, "AB", false), "PCRA1RB0\r");
  EXPECT_EQ(RelayCommandText(DRIVE_LEFT, "AB", false), "");
  EXPECT_EQ(RelayCommandText(DRIVE_TURBO_ON, "ABCD", false), "");
  EXPECT_EQ(RelayCommandText(DRIVE_FORWARD, "AB", true), "");
  EXPECT_EQ(RelayCommandText(DRIVE_CHECK, "", false), "AT\r");
}

TEST(RelayAcknowledgement, okMustBeTheThirdAndFourthBytes) {
  EXPECT_TRUE(IsRelayAcknowledgement("\r\nOK\r\n"));
  EXPECT_TRUE(IsRelayAcknowledgement("\r\nOK"));
  EXPECT_FALSE(IsRelayAcknowledgement("OK\r\n"));
  EXPECT_FALSE(IsRelayAcknowledgement("\r\nO"));
  EXPECT_FALSE(IsRelayAcknowledgement("\r\nNG\r\n"));
  EXPECT_FALSE(IsRelayAcknowledgement(""));
}

}  // namespace
}  // namespace viren
