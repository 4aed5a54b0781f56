#include "api/InterfaceRecords.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace viren::api {
namespace {

TEST(InterfaceRecordsTest, recordsAreLittleEndianAtTheirOffsets) {
  const InterfaceRecord c = EncodeCommand({RECORD_NEW, 0x01020304, -2});
  const InterfaceRecord expected{std::byte{1},    std::byte{0},    std::byte{0},
                                 std::byte{0},    std::byte{4},    std::byte{3},
                                 std::byte{2},    std::byte{1},    std::byte{0xFE},
                                 std::byte{0xFF}, std::byte{0xFF}, std::byte{0xFF}};
  EXPECT_EQ(c, expected);
  EXPECT_EQ(DecodeCommand(c), (CommandRecord{RECORD_NEW, 0x01020304, -2}));

  const InterfaceRecord q = EncodeQuad({RECORD_NEW, {320, 240, -1, 180}});
  EXPECT_EQ(std::to_integer<int>(q[4]), 320 & 0xFF);
  EXPECT_EQ(std::to_integer<int>(q[5]), 320 >> 8);
  EXPECT_EQ(std::to_integer<int>(q[8]), 0xFF);
  EXPECT_EQ(std::to_integer<int>(q[9]), 0xFF);
  EXPECT_EQ(std::to_integer<int>(q[10]), 180);
  EXPECT_EQ(DecodeQuad(q), (QuadRecord{RECORD_NEW, {320, 240, -1, 180}}));

  const InterfaceRecord s = EncodeStatus({RECORD_NEW, 0x0052});
  EXPECT_EQ(std::to_integer<int>(s[4]), 0x52);
  EXPECT_EQ(std::to_integer<int>(s[5]), 0);
  EXPECT_EQ(DecodeStatus(s).driveState, 0x52);
}

TEST(InterfaceRecordsTest, headingIsDegreesFromMinusX) {
  EXPECT_EQ(HeadingDegrees(0.0), 180);
  EXPECT_EQ(HeadingDegrees(-3.14159), 0);
  EXPECT_EQ(HeadingDegrees(3.14159), 360);
  EXPECT_EQ(HeadingDegrees(1.570795), 270);
  EXPECT_EQ(HeadingDegrees(-1.5708), 89);  // marker straight above the car
  EXPECT_EQ(HeadingDegrees(std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(HeadingDegrees(std::numeric_limits<double>::infinity()), 0);
  EXPECT_EQ(HeadingDegrees(1e300), 0);
}

TEST(InterfaceRecordsTest, wideValuesKeepTheirLowSixteenBits) {
  EXPECT_EQ(Low16(70000), static_cast<std::int16_t>(70000 - 65536));
  EXPECT_EQ(Low16(-1), -1);
  EXPECT_EQ(static_cast<std::uint16_t>(Low16(65535)), 65535);
}

}  // namespace
}  // namespace viren::api
