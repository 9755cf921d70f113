// make_datafiles FOLDER: computes the four data files of the program from
// first principles and writes them into FOLDER (the build's bin folder).
#include <zlib.h>

#include <cstdio>
#include <string>

#include "DataFiles.h"

namespace datafiles {

bool WriteDatFile(const std::string& path, const Payload& payload) {
  const auto& bytes = payload.Bytes();
  const uint32_t crc = static_cast<uint32_t>(crc32(0L, bytes.data(), static_cast<uInt>(bytes.size())));
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const unsigned char header[4] = {static_cast<unsigned char>(crc), static_cast<unsigned char>(crc >> 8),
                                   static_cast<unsigned char>(crc >> 16), static_cast<unsigned char>(crc >> 24)};
  bool ok = std::fwrite(header, 1, 4, file) == 4 && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = std::fclose(file) == 0 && ok;
  return ok;
}

}  // namespace datafiles

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_datafiles FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  struct Step {
    const char* name;
    bool (*write)(const std::string&);
  };
  const Step steps[] = {{"DAT_partition.bin", datafiles::WritePartitionFile},
                        {"DAT_coupon.bin", datafiles::WriteCouponFile},
                        {"DAT_ZarWlk.bin", datafiles::WriteZarWlkFile},
                        {"DAT_collision_limits.txt", datafiles::WriteCollisionLimitsFile}};
  for (const Step& step : steps)
    if (!step.write(folder)) {
      std::fprintf(stderr, "make_datafiles: cannot write %s/%s\n", folder.c_str(), step.name);
      return 1;
    }
  return 0;
}
