#include "vision/Contours.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace viren {
namespace {

// A binary image addressed in memory rows (row 0 at the bottom).
struct Image {
  Image(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h, 0) {}
  std::uint8_t& at(int row, int col) { return pixels[static_cast<size_t>(row) * width + col]; }
  void Fill(int row0, int col0, int rows, int cols, std::uint8_t v = 1) {
    for (int r = row0; r < row0 + rows; ++r)
      for (int c = col0; c < col0 + cols; ++c) at(r, c) = v;
  }
  int width, height;
  std::vector<std::uint8_t> pixels;
};

struct Result {
  int kept = 0;
  int total = 0;
  std::vector<int> counts = std::vector<int>(32);
  std::vector<Point> vertices = std::vector<Point>(4096);
  std::vector<Point> Contour(int k) const {
    int start = 0;
    for (int i = 0; i < k; ++i) start += counts[i];
    return {vertices.begin() + start, vertices.begin() + start + counts[k]};
  }
};

Result Vectorize(Image& image, int maxContours = 32, int maxPoints = 4096, bool erode = true) {
  Result r;
  r.vertices.resize(std::max(maxPoints, 1));
  r.kept = VectorizeImage(image.pixels.data(), image.width, image.height, r.total, r.counts.data(),
                          r.vertices.data(), maxContours, maxPoints, erode);
  return r;
}

TEST(VectorizeImageTest, twoByTwoBlockErodesToNothing) {
  Image image(10, 10);
  image.Fill(4, 4, 2, 2);
  const Result r = Vectorize(image);
  EXPECT_EQ(r.kept, 0);
  EXPECT_EQ(r.total, 0);
  for (auto v : image.pixels) EXPECT_EQ(v, 0);
}

TEST(VectorizeImageTest, fiveByFiveSquareTracesItsErodedRingToSixVerticesAroundItsCentre) {
  Image image(20, 20);
  image.Fill(10, 10, 5, 5);
  const Result r = Vectorize(image);
  ASSERT_EQ(r.kept, 1);
  ASSERT_EQ(r.total, 6);
  const std::vector<Point> expected{{11, 8}, {11, 7}, {11, 6}, {13, 6}, {13, 8}, {11, 8}};
  EXPECT_EQ(r.Contour(0), expected);
  // The ring of the eroded 3 x 3 block is marked traced; its centre is untouched.
  for (int row = 11; row <= 13; ++row)
    for (int col = 11; col <= 13; ++col)
      EXPECT_EQ(image.at(row, col), row == 12 && col == 12 ? 1 : 3) << row << "," << col;
  Point centroids[32];
  EXPECT_EQ(CombineCentroids(r.vertices.data(), r.counts.data(), r.kept, centroids),
            (Point{12, 7}));
}

TEST(VectorizeImageTest, borderPixelsNeverBelongToAContourWithOrWithoutErosion) {
  for (bool erode : {true, false}) {
    Image image(20, 16);
    image.Fill(0, 0, 16, 20);  // everything set, the border included
    const Result r = Vectorize(image, 32, 4096, erode);
    ASSERT_EQ(r.kept, 1) << erode;
    // Erosion also clears the ring next to the cleared border.
    const int margin = erode ? 2 : 1;
    for (const Point& p : r.Contour(0)) {
      EXPECT_GE(p.x, margin);
      EXPECT_LE(p.x, 19 - margin);
      EXPECT_GE(p.y, margin);
      EXPECT_LE(p.y, 15 - margin);
    }
    for (int c = 0; c < 20; ++c) EXPECT_EQ(image.at(0, c) + image.at(15, c), 0);
    for (int row = 0; row < 16; ++row) EXPECT_EQ(image.at(row, 0) + image.at(row, 19), 0);
  }
}

TEST(VectorizeImageTest, regionWithAHoleGivesTwoContoursCentredAlike) {
  Image image(40, 40);
  image.Fill(10, 10, 15, 15);
  image.Fill(15, 15, 5, 5, 0);
  const Result r = Vectorize(image);
  ASSERT_EQ(r.kept, 2);
  Point centroids[32];
  const Point centre = CombineCentroids(r.vertices.data(), r.counts.data(), r.kept, centroids);
  EXPECT_EQ(centroids[0], (Point{17, 22}));
  EXPECT_EQ(centroids[1], (Point{17, 22}));
  EXPECT_EQ(centre, (Point{17, 22}));
}

TEST(VectorizeImageTest, aThreeByThreeBlockLeavesAnIsolatedPixelAndNoContour) {
  Image image(10, 10);
  image.Fill(4, 4, 3, 3);
  const Result r = Vectorize(image);
  EXPECT_EQ(r.kept, 0);
  EXPECT_EQ(image.at(5, 5), 2);
}

TEST(VectorizeImageTest, thirtySecondContourIsDroppedEvenWhenLarge) {
  Image image(200, 80);
  // 31 small blocks in the lower rows, scanned first; the last one is big.
  for (int k = 0; k < 31; ++k) image.Fill(3 + (k / 16) * 8, 3 + (k % 16) * 12, 5, 5);
  image.Fill(30, 20, 40, 150);
  const Result r = Vectorize(image);
  EXPECT_EQ(r.kept, 31);
  EXPECT_EQ(r.total, 31 * 6);
  for (int i = 0; i < r.total; ++i) EXPECT_GT(r.vertices[i].y, 80 - 1 - 30) << i;
  // With room for one more the big block is kept.
  Image again(200, 80);
  for (int k = 0; k < 31; ++k) again.Fill(3 + (k / 16) * 8, 3 + (k % 16) * 12, 5, 5);
  again.Fill(30, 20, 40, 150);
  EXPECT_EQ(Vectorize(again, 33).kept, 32);
}

TEST(VectorizeImageTest, traceReachingTheStoreSizeFailsTheWholeCall) {
  // A 9 x 9 block erodes to 7 x 7: its boundary trace holds 25 points.
  auto run = [](int maxPoints) {
    Image image(30, 30);
    image.Fill(2, 2, 5, 5);  // a small contour before the big one
    image.Fill(15, 15, 9, 9);
    return Vectorize(image, 32, maxPoints);
  };
  EXPECT_EQ(run(26).kept, -1);
  const Result fits = run(27);
  EXPECT_EQ(fits.kept, 2);
  EXPECT_EQ(fits.total, 12);

  // The real store: a boundary longer than 4095 pixels.
  Image big(1200, 1200);
  big.Fill(50, 50, 1100, 1100);
  EXPECT_EQ(Vectorize(big).kept, -1);
}

TEST(VectorizeImageTest, contourIsKeptOnlyWhileTheVertexStoreHasRoom) {
  Image image(40, 20);
  image.Fill(5, 5, 5, 5);
  image.Fill(5, 20, 5, 5);
  // Six vertices each; the second would make 12, which must stay below 12.
  Result r = Vectorize(image, 32, 12);
  EXPECT_EQ(r.kept, 1);
  EXPECT_EQ(r.total, 6);
}

// Random blobs: every vertex is a traced boundary pixel, consecutive vertices
// are joined by straight runs in one of the eight directions, and each contour
// closes on its first point.
TEST(VectorizeImageTest, randomBlobsGiveClosedContoursOfStraightRunsOnBoundaryPixels) {
  std::mt19937 rng(7);
  for (int round = 0; round < 50; ++round) {
    Image image(64, 48);
    for (int b = 0; b < 6; ++b) {
      std::uniform_int_distribution<int> row(0, 40), col(0, 56), size(3, 12);
      image.Fill(row(rng), col(rng), std::min(size(rng), 48 - 40), std::min(size(rng), 8));
    }
    for (int k = 0; k < 200; ++k)  // salt
      image.pixels[std::uniform_int_distribution<size_t>(0, image.pixels.size() - 1)(rng)] = 1;
    const Result r = Vectorize(image);
    ASSERT_GE(r.kept, 0);
    int start = 0;
    for (int k = 0; k < r.kept; ++k) {
      const int n = r.counts[k];
      ASSERT_GE(n, 4);
      EXPECT_EQ(r.vertices[start], r.vertices[start + n - 1]);
      for (int i = start; i < start + n; ++i) {
        const Point p = r.vertices[i];
        EXPECT_EQ(image.at(47 - p.y, p.x), 3);
        if (i > start) {
          const int dx = p.x - r.vertices[i - 1].x, dy = p.y - r.vertices[i - 1].y;
          EXPECT_TRUE(dx == 0 || dy == 0 || std::abs(dx) == std::abs(dy)) << dx << "," << dy;
        }
      }
      start += n;
    }
  }
}

TEST(CentroidTest, polygonCentroidCases) {
  const Point line[] = {{0, 0}, {2, 2}, {4, 4}, {7, 7}};
  EXPECT_EQ(PolygonCentroid(line, 4), (Point{3, 3}));  // all on a line: integer mean
  const Point two[] = {{1, 1}, {5, 5}};
  EXPECT_EQ(PolygonCentroid(two, 2), (Point{-1, -1}));
  const Point square[] = {{10, 10}, {20, 10}, {20, 30}, {10, 30}};
  EXPECT_EQ(PolygonCentroid(square, 4), (Point{15, 20}));
  const Point negative[] = {{-10, -10}, {-5, -10}, {-5, -5}, {-10, -5}};
  EXPECT_EQ(PolygonCentroid(negative, 4), (Point{-7, -7}));  // truncated toward zero
}

TEST(CentroidTest, combineCentroidsByNumberOfContours) {
  const Point vertices[] = {{0, 0},  {4, 0},  {4, 4},  {0, 4},    // (2, 2)
                            {10, 0}, {14, 0}, {14, 5}, {10, 5},   // (12, 2)
                            {20, 0}, {24, 0}, {24, 4}, {20, 4}};  // (22, 2)
  const int counts[] = {4, 4, 4};
  Point centroids[3];
  EXPECT_EQ(CombineCentroids(vertices, counts, 0, centroids), (Point{-1, -1}));
  EXPECT_EQ(CombineCentroids(vertices, counts, -1, centroids), (Point{-1, -1}));
  EXPECT_EQ(CombineCentroids(vertices, counts, 1, centroids), (Point{2, 2}));
  EXPECT_EQ(CombineCentroids(vertices, counts, 2, centroids), (Point{7, 2}));
  // Three centroids on one line: their mean.
  EXPECT_EQ(CombineCentroids(vertices, counts, 3, centroids), (Point{12, 2}));
  EXPECT_EQ(centroids[1], (Point{12, 2}));
}

}  // namespace
}  // namespace viren
