#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace viren::test {

// Grey pictures (rows top-down) for the ball tests and their 24-bit
// bottom-up frames. A grey g becomes blue = green = red = g, which the grey
// conversion turns back into g exactly.
struct GreyPicture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;

  GreyPicture(int w, int h, std::uint8_t fill = 0)
      : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, fill) {}
  std::uint8_t& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
  std::uint8_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

inline GreyPicture NoisePicture(int w, int h, unsigned seed) {
  GreyPicture p(w, h);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> grey(0, 255);
  for (auto& v : p.pixels) v = static_cast<std::uint8_t>(grey(rng));
  return p;
}

// A smooth picture with some texture, more like a table top than noise.
inline GreyPicture SmoothPicture(int w, int h, unsigned seed) {
  GreyPicture p(w, h);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> jitter(-6, 6);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      p.at(x, y) = static_cast<std::uint8_t>(100 + (x * 40) / w + (y * 30) / h + jitter(rng));
  return p;
}

// A disc-like ball pattern of side s.
inline GreyPicture BallPatch(int s, unsigned seed) {
  GreyPicture p(s, s);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> jitter(-10, 10);
  const double c = (s - 1) / 2.0;
  for (int y = 0; y < s; ++y)
    for (int x = 0; x < s; ++x) {
      const double d = (x - c) * (x - c) + (y - c) * (y - c);
      const int base = d < c * c ? 230 - static_cast<int>(d * 60 / (c * c)) : 40;
      p.at(x, y) = static_cast<std::uint8_t>(std::clamp(base + jitter(rng), 0, 255));
    }
  return p;
}

inline void Plant(GreyPicture& into, const GreyPicture& patch, int left, int top) {
  for (int y = 0; y < patch.height; ++y)
    for (int x = 0; x < patch.width; ++x) into.at(left + x, top + y) = patch.at(x, y);
}

inline GreyPicture Cut(const GreyPicture& from, int left, int top, int s) {
  GreyPicture p(s, s);
  for (int y = 0; y < s; ++y)
    for (int x = 0; x < s; ++x) p.at(x, y) = from.at(left + x, top + y);
  return p;
}

inline std::vector<std::uint8_t> ToFrame(const GreyPicture& p) {
  std::vector<std::uint8_t> f(p.pixels.size() * 3);
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      std::uint8_t* px = f.data() + (static_cast<std::size_t>(p.height - 1 - y) * p.width + x) * 3;
      px[0] = px[1] = px[2] = p.at(x, y);
    }
  return f;
}

// The exhaustive answer: the window with the smallest sum of squared
// differences (the upper, then left one on ties).
struct BruteBest {
  int row = -1;
  int col = -1;
  std::int64_t distance = -1;
};
inline BruteBest BruteForce(const GreyPicture& frame, const GreyPicture& pattern) {
  BruteBest best;
  const int s = pattern.width;
  for (int r = 0; r + s <= frame.height; ++r)
    for (int c = 0; c + s <= frame.width; ++c) {
      std::int64_t d = 0;
      for (int y = 0; y < s; ++y)
        for (int x = 0; x < s; ++x) {
          const int e = frame.at(c + x, r + y) - pattern.at(x, y);
          d += e * e;
        }
      if (best.distance < 0 || d < best.distance) best = BruteBest{r, c, d};
    }
  return best;
}

}  // namespace viren::test
