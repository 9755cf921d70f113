#include "battery/GridWalk.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

template <class T>
std::vector<T> Walk(T min, T max, int step) {
  std::vector<T> seen;
  for (T x : Grid(min, max, step)) {
    seen.push_back(x);
    if (seen.size() > 100) break;  // a walk that never ends fails below
  }
  return seen;
}

struct IntCase {
  int min, max, step;
  std::vector<int> expected;
};

}  // namespace

TEST(GridWalk, IntGrids) {
  const IntCase cases[] = {
      {8, 1024, -1, {8, 16, 32, 64, 128, 256, 512, 1024}},
      {2, 10, 3, {2, 5, 8}},
      {5, 4, 1, {}},
      {3, 3, 7, {3}},
      {1, 64, -2, {1, 4, 16, 64}},
      {1, 100, -3, {1, 8, 64}},
      {1, 10, 1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
      // Step 0 cannot move: the walk visits min and ends.
      {4, 10, 0, {4}},
      // Shifts of 32 bits or more end the walk after min.
      {1, INT_MAX, -32, {1}},
      {1, INT_MAX, -40, {1}},
      // Doubling past the type's range ends instead of wrapping.
      {1 << 29, INT_MAX, -1, {1 << 29, 1 << 30}},
      // Adding past INT_MAX ends instead of wrapping.
      {INT_MAX - 5, INT_MAX, 4, {INT_MAX - 5, INT_MAX - 1}},
      // A shift of a value that is not positive cannot advance.
      {0, 100, -1, {0}},
      {-4, 100, -1, {-4}},
      {-3, 3, 2, {-3, -1, 1, 3}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Walk(c.min, c.max, c.step), c.expected) << "min " << c.min << " max " << c.max << " step " << c.step;
  }
}

TEST(GridWalk, UnsignedGridsCompareUnsignedAndStopBeforeWrapping) {
  EXPECT_EQ(Walk(1u << 30, 0xFFFFFFFFu, -1), (std::vector<unsigned>{1u << 30, 1u << 31}));
  EXPECT_EQ(Walk(0xFFFFFFF0u, 0xFFFFFFFFu, 8), (std::vector<unsigned>{0xFFFFFFF0u, 0xFFFFFFF8u}));
  EXPECT_EQ(Walk(3u, 0x80000000u, -4), (std::vector<unsigned>{3u, 48u, 768u, 12288u, 196608u, 3145728u, 50331648u, 805306368u}));
}

TEST(GridWalk, GridNextReportsTheEnd) {
  int x = 1 << 30;
  EXPECT_FALSE(GridNext(x, -1));
  EXPECT_EQ(x, 1 << 30) << "a refused step leaves x as it was";
  x = 3;
  EXPECT_TRUE(GridNext(x, -2));
  EXPECT_EQ(x, 12);
  EXPECT_TRUE(GridNext(x, 5));
  EXPECT_EQ(x, 17);
}
