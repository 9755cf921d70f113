#include "battery/Crc32.h"

#include <gtest/gtest.h>

TEST(Crc32, StandardCheckValues) {
  struct {
    const char* data;
    int length;
    uint32_t crc;
  } const cases[] = {
      {"123456789", 9, 0xCBF43926u},
      {"", 0, 0u},
      {"123456789", 0, 0u},
      {"123456789", -5, 0u},
      {"a", 1, 0xE8B7BE43u},
      {"\0", 1, 0xD202EF8Du},
      {"The quick brown fox jumps over the lazy dog", 43, 0x414FA339u},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Crc32(reinterpret_cast<const unsigned char*>(c.data), c.length), c.crc)
        << "\"" << c.data << "\", length " << c.length;
  }
}
