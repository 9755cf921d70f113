#include "battery/DatFile.h"

#include <cstdio>
#include <string>

#include "battery/Crc32.h"
#include "battery/RunState.h"

bool ReadDatFile(const char* fileName, std::vector<unsigned char>& payload) {
  payload.clear();
  const std::string path = std::string(dataDir != nullptr ? dataDir : ".") + "/" + fileName;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  unsigned char header[4];
  bool sound = std::fread(header, 1, 4, file) == 4;
  // Room for the whole payload at once, when the file tells its length.
  if (sound && std::fseek(file, 0, SEEK_END) == 0) {
    const long size = std::ftell(file);
    if (size > 4) payload.reserve(static_cast<size_t>(size - 4));
    sound = std::fseek(file, 4, SEEK_SET) == 0;
  }
  // The payload in blocks, to the end of the file.
  unsigned char block[1 << 16];
  size_t got;
  while (sound && (got = std::fread(block, 1, sizeof block, file)) > 0)
    payload.insert(payload.end(), block, block + got);
  sound = sound && std::ferror(file) == 0;
  std::fclose(file);
  const uint32_t stored = header[0] | header[1] << 8 | header[2] << 16 | static_cast<uint32_t>(header[3]) << 24;
  if (sound && Crc32(payload.data(), static_cast<ptrdiff_t>(payload.size())) == stored) return true;
  payload.clear();
  return false;
}
