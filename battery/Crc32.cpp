#include "battery/Crc32.h"

#include <zlib.h>

#include <algorithm>

uint32_t Crc32(const unsigned char* data, ptrdiff_t length) {
  uLong crc = crc32(0L, Z_NULL, 0);
  // zlib takes at most UINT_MAX bytes a call.
  constexpr ptrdiff_t CHUNK = ptrdiff_t(1) << 30;
  for (ptrdiff_t at = 0; at < length; at += CHUNK)
    crc = crc32(crc, data + at, static_cast<uInt>(std::min(CHUNK, length - at)));
  return static_cast<uint32_t>(crc);
}
