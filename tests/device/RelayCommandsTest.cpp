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

TEST(RelayCommandText, aControlCharacterInTheIdentifiersNamesNoRelay) {
  // A carriage return would end the command inside the board and start a
  // second one; any control character is refused like a missing relay.
  EXPECT_EQ(RelayCommandText(DRIVE_FORWARD, "A\rCDE", false), "");
  EXPECT_EQ(RelayCommandText(DRIVE_LEFT, "A\rCDE", false), "PCRC1RD0\r");
  EXPECT_EQ(RelayCommandText(DRIVE_TURBO_ON, "ABCD\n", false), "");
  EXPECT_EQ(RelayCommandText(DRIVE_STOP, std::string_view("AB\0D", 4), true), "");
  EXPECT_EQ(RelayCommandText(DRIVE_RIGHT, "AB\tD", false), "");
  EXPECT_EQ(RelayCommandText(DRIVE_STRAIGHT, "ABC\x7f", false), "");
  EXPECT_EQ(RelayCommandText(DRIVE_FORWARD, "\xb1\xb2", false),
            "PCR\xb1"
            "1R\xb2"
            "0\r")
      << "bytes above ASCII are the board's business";
  EXPECT_EQ(RelayCommandText(DRIVE_CHECK, "\r\r\r\r\r", false), "AT\r");
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
