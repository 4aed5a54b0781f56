#include "vision/PolygonFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <numeric>
#include <random>
#include <vector>

#include "support/TestDir.h"

namespace viren {
namespace {

// Writes metafile bytes: an optional placeable header, the standard header,
// then records.
class MetafileBuilder {
 public:
  MetafileBuilder& Placeable(std::int16_t left, std::int16_t top, std::int16_t right,
                             std::int16_t bottom, std::int16_t unitsPerInch) {
    U32(0x9AC6CDD7);
    U16(0);
    for (std::int16_t v : {left, top, right, bottom, unitsPerInch})
      U16(static_cast<std::uint16_t>(v));
    U32(0);
    U16(0);  // checksum, not checked
    return *this;
  }
  MetafileBuilder& Header() {
    for (int i = 0; i < 9; ++i) U16(i == 0 ? 1 : i == 1 ? 9 : 0);
    return *this;
  }
  MetafileBuilder& Record(std::uint16_t function, const std::vector<std::int16_t>& params) {
    U32(static_cast<std::uint32_t>(3 + params.size()));
    U16(function);
    for (auto p : params) U16(static_cast<std::uint16_t>(p));
    return *this;
  }
  MetafileBuilder& Polygon(std::uint16_t function, const std::vector<Point>& points) {
    std::vector<std::int16_t> params{static_cast<std::int16_t>(points.size())};
    for (const Point& p : points) {
      params.push_back(static_cast<std::int16_t>(p.x));
      params.push_back(static_cast<std::int16_t>(p.y));
    }
    return Record(function, params);
  }
  MetafileBuilder& End() { return Record(0x0000, {}); }
  std::vector<std::uint8_t> bytes;

 private:
  void U16(std::uint16_t v) {
    bytes.push_back(static_cast<std::uint8_t>(v));
    bytes.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  void U32(std::uint32_t v) {
    U16(static_cast<std::uint16_t>(v));
    U16(static_cast<std::uint16_t>(v >> 16));
  }
};

struct Polygons {
  int count = 0;
  int total = 0;
  int counts[16] = {};
  Point points[256] = {};
  std::vector<Point> Polygon(int k) const {
    const int start = std::accumulate(counts, counts + k, 0);
    return {points + start, points + start + counts[k]};
  }
};

Polygons Parse(const std::vector<std::uint8_t>& bytes, int maxPolygons = 16, int maxPoints = 256,
               int ppi = 96) {
  Polygons p;
  ParsePolygonData(bytes, p.count, p.counts, p.total, p.points, maxPolygons, maxPoints, ppi);
  return p;
}

TEST(PolygonFileTest, placeableDrawingAt96PpiAnd1440UnitsScalesBySix) {
  MetafileBuilder m;
  m.Placeable(100, 200, 3000, 2000, 1440).Header();
  m.Polygon(0x0324, {{100, 200}, {1540, 200}, {1540, 1640}}).End();
  const Polygons p = Parse(m.bytes);
  ASSERT_EQ(p.count, 1);
  EXPECT_EQ(p.Polygon(0), (std::vector<Point>{{0, 0}, {86, 0}, {86, 86}}));
  // Another screen resolution scales accordingly: 120 x 100 / 1440 = 8.
  EXPECT_EQ(Parse(m.bytes, 16, 256, 120).points[1], (Point{115, 0}));
}

TEST(PolygonFileTest, originAtTheBoundsBottomTurnsTheYAxisUp) {
  MetafileBuilder m;
  m.Placeable(0, 0, 1000, 500, 100).Header();  // scale 96
  m.Record(0x020B, {500, 7}).Polygon(0x0325, {{0, 400}, {100, 500}}).End();
  const Polygons p = Parse(m.bytes);
  ASSERT_EQ(p.total, 2);
  // y' = (y - 500) x -1 x 96 / 100; x keeps the header's origin 0.
  EXPECT_EQ(p.points[0], (Point{0, 96}));
  EXPECT_EQ(p.points[1], (Point{96, 0}));
}

TEST(PolygonFileTest, plainMetafileTakesOriginRecordsAtScaleOneAndJoinsPolyPolygons) {
  MetafileBuilder m;
  m.Header().Record(0x020D, {10, 20});  // origin (x 20, y 10)
  m.Record(0x0538, {2, 2, 1, 30, 40, 31, 41, 50, 60});
  m.Record(0x0999, {1, 2, 3});  // unknown: skipped
  m.Polygon(0x0324, {{-5, 0}}).End();
  const Polygons p = Parse(m.bytes);
  ASSERT_EQ(p.count, 2);
  EXPECT_EQ(p.Polygon(0), (std::vector<Point>{{10, 30}, {11, 31}, {30, 50}}));
  EXPECT_EQ(p.Polygon(1), (std::vector<Point>{{-25, -10}}));
}

TEST(PolygonFileTest, limitsStopTheReadingBeforeTheStoresOverflow) {
  MetafileBuilder m;
  m.Header();
  for (int k = 0; k < 5; ++k) m.Polygon(0x0324, {{k, 0}, {k, 1}, {k, 2}});
  m.End();
  EXPECT_EQ(Parse(m.bytes, 3, 256).count, 3);
  const Polygons byPoints = Parse(m.bytes, 16, 10);  // 9 + 3 would reach 10
  EXPECT_EQ(byPoints.count, 3);
  EXPECT_EQ(byPoints.total, 9);
}

TEST(PolygonFileTest, truncatedFileYieldsThePointsThatArePresent) {
  MetafileBuilder m;
  m.Header().Polygon(0x0324, {{1, 1}, {2, 2}}).Polygon(0x0324, {{3, 3}, {4, 4}, {5, 5}, {6, 6}});
  std::vector<std::uint8_t> bytes = m.bytes;
  bytes.resize(bytes.size() - 6);  // the last point and a half gone
  const Polygons p = Parse(bytes);
  ASSERT_EQ(p.count, 2);
  EXPECT_EQ(p.Polygon(1), (std::vector<Point>{{3, 3}, {4, 4}}));
  // Every shorter prefix reads without fault and never more than the whole.
  for (size_t n = 0; n <= m.bytes.size(); ++n) {
    const Polygons q = Parse({m.bytes.begin(), m.bytes.begin() + n});
    EXPECT_LE(q.total, 6);
    EXPECT_EQ(std::accumulate(q.counts, q.counts + q.count, 0), q.total);
  }
}

TEST(PolygonFileTest, lyingCountsAndSizesNeverReadPastTheBytes) {
  MetafileBuilder m;
  m.Header().Record(0x0324, {30000, 1, 2});  // claims 30000 points
  m.Record(0x0538, {32000, 5});              // claims 32000 lists
  const Polygons p = Parse(m.bytes, 16, 100000);
  EXPECT_EQ(p.count, 1);
  EXPECT_LE(p.total, 3);
  MetafileBuilder zeroUnits;
  zeroUnits.Placeable(0, 0, 10, 10, 0).Header().Polygon(0x0324, {{1, 1}, {2, 2}}).End();
  EXPECT_EQ(Parse(zeroUnits.bytes).count, 0);
  MetafileBuilder hugeSize;
  hugeSize.Header().bytes.insert(hugeSize.bytes.end(),
                                 {0xFF, 0xFF, 0xFF, 0xFF, 0x24, 0x03, 1, 0, 5, 0, 6, 0});
  EXPECT_EQ(Parse(hugeSize.bytes).total, 1);
}

TEST(PolygonFileTest, randomAndMutatedFilesStayWithinTheirStores) {
  MetafileBuilder m;
  m.Placeable(0, 0, 500, 500, 1440).Header().Record(0x020B, {500, 0});
  for (int k = 0; k < 8; ++k) m.Polygon(0x0324, {{k, 1}, {k, 2}, {k, 3}, {k, 4}});
  m.Record(0x0538, {2, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4}).End();
  std::mt19937 rng(11);
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::uint8_t> bytes = m.bytes;
    if (round % 3 == 0) {
      bytes.resize(std::uniform_int_distribution<size_t>(0, 400)(rng));
      for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
      if (bytes.size() >= 4 && round % 2)
        bytes[0] = 0xD7, bytes[1] = 0xCD, bytes[2] = 0xC6, bytes[3] = 0x9A;
    } else {
      const int flips = std::uniform_int_distribution<int>(1, 8)(rng);
      for (int f = 0; f < flips; ++f)
        bytes[std::uniform_int_distribution<size_t>(0, bytes.size() - 1)(rng)] =
            static_cast<std::uint8_t>(rng());
      bytes.resize(std::uniform_int_distribution<size_t>(0, bytes.size())(rng));
    }
    const Polygons p = Parse(bytes, 6, 40);
    ASSERT_LE(p.count, 6);
    ASSERT_LT(p.total, 40);
    ASSERT_EQ(std::accumulate(p.counts, p.counts + p.count, 0), p.total);
  }
}

TEST(PolygonFileTest, readsFromDiskAndReportsAMissingFile) {
  test::TestDir dir;
  MetafileBuilder m;
  m.Header().Polygon(0x0324, {{1, 2}, {3, 4}}).End();
  {
    std::ofstream out(dir.File("car.wmf"), std::ios::binary);
    out.write(reinterpret_cast<const char*>(m.bytes.data()),
              static_cast<std::streamsize>(m.bytes.size()));
  }
  Polygons p;
  EXPECT_EQ(ReadPolygonFile(dir.File("car.wmf"), p.count, p.counts, p.total, p.points, 16, 256), 1);
  EXPECT_EQ(p.total, 2);
  EXPECT_EQ(p.points[1], (Point{3, 4}));
  EXPECT_EQ(ReadPolygonFile(dir.File("none.wmf"), p.count, p.counts, p.total, p.points, 16, 256),
            0);
  EXPECT_EQ(p.count, 0);
}

}  // namespace
}  // namespace viren
