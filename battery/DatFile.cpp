#include "battery/DatFile.h"

#include <cstdio>
#include <string>

#include "battery/RunState.h"

namespace {

struct CrcTable {
  uint32_t entry[256];
  CrcTable() {
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      entry[n] = c;
    }
  }
};

}  // namespace

uint32_t DatCrc32(const unsigned char* data, size_t length) {
  static const CrcTable table;
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < length; ++i) c = table.entry[(c ^ data[i]) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

bool ReadDatFile(const char* fileName, std::vector<unsigned char>& payload) {
  payload.clear();
  const std::string path = std::string(dataDir != nullptr ? dataDir : ".") + "/" + fileName;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  unsigned char header[4];
  bool sound = std::fread(header, 1, 4, file) == 4;
  // The payload in blocks, to the end of the file.
  unsigned char block[1 << 16];
  size_t got;
  while (sound && (got = std::fread(block, 1, sizeof block, file)) > 0)
    payload.insert(payload.end(), block, block + got);
  sound = sound && std::ferror(file) == 0;
  std::fclose(file);
  const uint32_t stored = header[0] | header[1] << 8 | header[2] << 16 | static_cast<uint32_t>(header[3]) << 24;
  if (sound && DatCrc32(payload.data(), payload.size()) == stored) return true;
  payload.clear();
  return false;
}
