// The data files that the build writes beside the program (QV_BIN_DIR),
// checked against the independent values of tools/reference/data_files.py.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "DataFilesReference.h"

namespace {

std::vector<unsigned char> ReadFile(const std::string& name) {
  std::ifstream in(std::string(QV_BIN_DIR) + "/" + name, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

uint32_t Crc32(const unsigned char* data, size_t n) {
  static uint32_t table[256];
  if (table[1] == 0)
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[i] = c;
    }
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

// Reads little-endian fields from a file's bytes.
class Reader {
 public:
  explicit Reader(const std::vector<unsigned char>& b) : b_(b) {}
  template <class T>
  T Get() {
    T v{};
    if (pos_ + sizeof(T) > b_.size()) {
      ok_ = false;
      return v;
    }
    std::memcpy(&v, &b_[pos_], sizeof(T));
    pos_ += sizeof(T);
    return v;
  }
  bool Ok() const { return ok_; }
  bool AtEnd() const { return pos_ == b_.size(); }

 private:
  const std::vector<unsigned char>& b_;
  size_t pos_ = 4;
  bool ok_ = true;
};

void ExpectSoundHeader(const std::vector<unsigned char>& bytes) {
  ASSERT_GT(bytes.size(), 4u);
  uint32_t stored;
  std::memcpy(&stored, bytes.data(), 4);
  EXPECT_EQ(Crc32(bytes.data() + 4, bytes.size() - 4), stored);
}

void ExpectRelative(double got, double want, double tolerance, const std::string& where) {
  EXPECT_NEAR(got, want, tolerance * want) << where;
}

}  // namespace

TEST(DataFiles, PartitionRecords) {
  const auto bytes = ReadFile("DAT_partition.bin");
  ExpectSoundHeader(bytes);
  Reader in(bytes);
  std::map<std::pair<int, int>, std::tuple<int, int, std::vector<double>>> kept;
  int records = 0;
  for (int k = 2; k <= 13; ++k)
    for (int i = 2; i <= (1 << k); ++i) {
      EXPECT_EQ(in.Get<uint8_t>(), k);
      EXPECT_EQ(in.Get<uint16_t>(), i);
      const int rmin = in.Get<uint16_t>(), rmax = in.Get<uint16_t>();
      ASSERT_TRUE(in.Ok());
      ASSERT_GE(rmin, 1);
      ASSERT_LE(rmax, std::min(i, 1 << k));
      ASSERT_LE(rmin, rmax);
      std::vector<double> p;
      double sum = 0;
      for (int r = rmin; r <= rmax; ++r) p.push_back(in.Get<double>()), sum += p.back();
      EXPECT_NEAR(sum, 1.0, 1e-11) << k << " " << i;
      if (k <= 10 || k == 13) kept[{k, i}] = {rmin, rmax, p};
      ++records;
    }
  EXPECT_EQ(records, 16368);
  EXPECT_TRUE(in.AtEnd());
  for (const auto& ref : PARTITION_RECORD_REF) {
    EXPECT_EQ(std::get<0>(kept[{ref.k, ref.i}]), ref.rmin) << ref.k << " " << ref.i;
    EXPECT_EQ(std::get<1>(kept[{ref.k, ref.i}]), ref.rmax) << ref.k << " " << ref.i;
  }
  for (const auto& ref : PARTITION_VALUE_REF) {
    const auto& [rmin, rmax, p] = kept[{ref.k, ref.i}];
    ASSERT_TRUE(ref.r >= rmin && ref.r <= rmax) << ref.k << " " << ref.i << " " << ref.r;
    ExpectRelative(p[ref.r - rmin], ref.p, 1e-10, std::to_string(ref.k) + " " + std::to_string(ref.i));
  }
}

TEST(DataFiles, CouponRecords) {
  const auto bytes = ReadFile("DAT_coupon.bin");
  ExpectSoundHeader(bytes);
  Reader in(bytes);
  struct Record {
    int lo, hi;
    float mean;
    std::vector<double> p;
  };
  std::map<int, Record> records;
  for (int s = 2; s <= 16; ++s) {
    ASSERT_EQ(in.Get<uint8_t>(), s);
    Record r;
    r.lo = in.Get<int32_t>();
    r.mean = in.Get<float>();
    r.hi = in.Get<int32_t>();
    ASSERT_TRUE(in.Ok());
    ASSERT_GE(r.lo, 1 << s);
    ASSERT_GT(r.hi, r.lo);
    double sum = 0;
    for (int t = r.lo; t <= r.hi; ++t) r.p.push_back(in.Get<double>()), sum += r.p.back();
    EXPECT_NEAR(sum, 1.0, 1e-11) << s;
    records[s] = r;
  }
  EXPECT_EQ(in.Get<uint8_t>(), 0);
  EXPECT_TRUE(in.AtEnd());
  for (const auto& ref : COUPON_RECORD_REF) {
    EXPECT_EQ(records[ref.s].lo, ref.lo) << ref.s;
    EXPECT_EQ(records[ref.s].hi, ref.hi) << ref.s;
  }
  for (const auto& ref : COUPON_VALUE_REF) {
    const Record& r = records[ref.s];
    ASSERT_TRUE(ref.t >= r.lo && ref.t <= r.hi) << ref.s << " " << ref.t;
    ExpectRelative(r.p[ref.t - r.lo], ref.p, 1e-9, std::to_string(ref.s) + " " + std::to_string(ref.t));
  }
  for (const auto& ref : COUPON_MEAN_REF) EXPECT_EQ(records[ref.s].mean, static_cast<float>(ref.mean)) << ref.s;
}

TEST(DataFiles, WalkRecords) {
  const auto bytes = ReadFile("DAT_ZarWlk.bin");
  ExpectSoundHeader(bytes);
  Reader in(bytes);
  std::map<int, std::vector<std::vector<double>>> levels;
  for (int level = 0; level <= 6; ++level) {
    ASSERT_EQ(in.Get<uint8_t>(), level);
    const int h = in.Get<int32_t>();
    ASSERT_TRUE(in.Ok());
    ASSERT_GE(h, 0);
    ASSERT_LE(h, (1 << (2 * level)) - 1 + (level == 0));
    auto& rows = levels[level];
    double mass = 0;
    for (int r = 0; r <= h; ++r) {
      const int m = in.Get<int32_t>();
      ASSERT_GE(m, 1);
      ASSERT_LE(m, 1 << (2 * level));
      rows.emplace_back();
      for (int k = 0; k < m; ++k) {
        const double p = in.Get<double>();
        rows.back().push_back(p);
        mass += p * (r > 0 ? 2 : 1) * (k > 0 ? 2 : 1);
      }
    }
    ASSERT_TRUE(in.Ok());
    EXPECT_NEAR(mass, 1.0, 1e-10) << level;
  }
  EXPECT_TRUE(in.AtEnd());
  EXPECT_EQ(levels[0].size(), 1u);
  EXPECT_EQ(levels[0][0], std::vector<double>{1.0});
  for (const auto& ref : WALK_RECORD_REF) {
    const auto& rows = levels[ref.level];
    ASSERT_EQ(static_cast<int>(rows.size()), ref.h + 1);
    for (int r = 0; r <= ref.h; ++r) EXPECT_EQ(static_cast<int>(rows[r].size()), ref.h + 1 - r) << ref.level;
  }
  for (const auto& ref : WALK_VALUE_REF) {
    const auto& rows = levels[ref.level];
    ASSERT_LT(ref.x, static_cast<int>(rows.size()));
    ASSERT_LT(ref.y, static_cast<int>(rows[ref.x].size()));
    ExpectRelative(rows[ref.x][ref.y], ref.p, 1e-11, std::to_string(ref.level));
  }
}

TEST(DataFiles, CollisionLimits) {
  std::ifstream in(std::string(QV_BIN_DIR) + "/DAT_collision_limits.txt", std::ios::binary);
  ASSERT_TRUE(in.good());
  std::string line;
  int lastCount = 0, sections = 0;
  std::map<std::pair<int, int>, std::pair<unsigned, unsigned>> limits;
  while (std::getline(in, line)) {
    const int count = std::atoi(line.c_str());
    EXPECT_GT(count, lastCount);
    lastCount = count;
    ++sections;
    int previous = 0;
    while (std::getline(in, line) && line[0] != '#') {
      ASSERT_GE(line.size(), 4u);
      EXPECT_EQ(line[2], '\t') << line;
      const int s = std::atoi(line.c_str());
      EXPECT_EQ(s, previous == 0 ? s : previous + 1) << "contiguous word sizes";
      previous = s;
      const unsigned least = std::strtoul(line.c_str() + 3, nullptr, 10);
      const unsigned most = std::strtoul(line.c_str() + line.rfind('\t') + 1, nullptr, 10);
      EXPECT_LE(least, most);
      EXPECT_LE(uint64_t(most) * s, 0xFFFFFFFFull);
      limits[{count, s}] = {least, most};
    }
    EXPECT_EQ(previous, 31) << count;
  }
  EXPECT_EQ(sections, 7);
  EXPECT_EQ(lastCount, 10000);
  for (const auto& ref : COLLISION_LIMIT_REF) {
    const auto& [least, most] = limits[std::make_pair(ref.K, ref.s)];
    EXPECT_EQ(least, ref.least) << ref.K << " " << ref.s;
    EXPECT_EQ(most, ref.most) << ref.K << " " << ref.s;
  }
}
