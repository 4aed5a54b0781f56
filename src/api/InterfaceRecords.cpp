#include "api/InterfaceRecords.h"

#include <cmath>

#include "core/Geometry.h"

namespace viren::api {

namespace {

void Put16(InterfaceRecord& r, int offset, std::uint16_t v) {
  r[offset] = static_cast<std::byte>(v & 0xFF);
  r[offset + 1] = static_cast<std::byte>(v >> 8);
}

void Put32(InterfaceRecord& r, int offset, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) r[offset + i] = static_cast<std::byte>((v >> (8 * i)) & 0xFF);
}

std::uint16_t Get16(const InterfaceRecord& r, int offset) {
  return static_cast<std::uint16_t>(std::to_integer<unsigned>(r[offset]) |
                                    (std::to_integer<unsigned>(r[offset + 1]) << 8));
}

std::uint32_t Get32(const InterfaceRecord& r, int offset) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= std::to_integer<std::uint32_t>(r[offset + i]) << (8 * i);
  return v;
}

// 180 / 3.14159, as every program reading the heading computes it.
constexpr double kDegreesPerRadian = 57.29582790879778;

}  // namespace

InterfaceRecord EncodeCommand(const CommandRecord& record) {
  InterfaceRecord r{};
  r[0] = static_cast<std::byte>(record.state);
  Put32(r, 4, static_cast<std::uint32_t>(record.code));
  Put32(r, 8, static_cast<std::uint32_t>(record.parameter));
  return r;
}

CommandRecord DecodeCommand(const InterfaceRecord& bytes) {
  return {std::to_integer<std::uint8_t>(bytes[0]), static_cast<std::int32_t>(Get32(bytes, 4)),
          static_cast<std::int32_t>(Get32(bytes, 8))};
}

InterfaceRecord EncodeQuad(const QuadRecord& record) {
  InterfaceRecord r{};
  r[0] = static_cast<std::byte>(record.state);
  for (int i = 0; i < 4; ++i) Put16(r, 4 + 2 * i, static_cast<std::uint16_t>(record.values[i]));
  return r;
}

QuadRecord DecodeQuad(const InterfaceRecord& bytes) {
  QuadRecord q;
  q.state = std::to_integer<std::uint8_t>(bytes[0]);
  for (int i = 0; i < 4; ++i) q.values[i] = static_cast<std::int16_t>(Get16(bytes, 4 + 2 * i));
  return q;
}

InterfaceRecord EncodeStatus(const StatusRecord& record) {
  InterfaceRecord r{};
  r[0] = static_cast<std::byte>(record.state);
  Put16(r, 4, record.driveState);
  return r;
}

StatusRecord DecodeStatus(const InterfaceRecord& bytes) {
  return {std::to_integer<std::uint8_t>(bytes[0]), Get16(bytes, 4)};
}

int HeadingDegrees(double carDirection) {
  const double degrees = (carDirection + kPi) * kDegreesPerRadian;
  // Converting a NaN or an out-of-range double to an integer is undefined.
  if (!std::isfinite(degrees) || std::fabs(degrees) > 1e9) return 0;
  return static_cast<int>(degrees);
}

}  // namespace viren::api
