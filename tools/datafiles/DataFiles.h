#pragma once
// The generator of the four data files beside the program: each file has
// its own source file and entry point here; DataFilesMain.cpp calls them.
#include <cstdint>
#include <string>
#include <vector>

namespace datafiles {

// Little-endian payload of a binary data file.
class Payload {
 public:
  void U8(uint8_t v) { bytes_.push_back(v); }
  void U16(uint16_t v) { Raw(&v, 2); }
  void I32(int32_t v) { Raw(&v, 4); }
  void U32(uint32_t v) { Raw(&v, 4); }
  void F32(float v) { Raw(&v, 4); }
  void F64(double v) { Raw(&v, 8); }
  const std::vector<unsigned char>& Bytes() const { return bytes_; }

 private:
  // The build runs on little-endian x86-64 only, so the host's bytes are
  // the file's.
  void Raw(const void* p, size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    bytes_.insert(bytes_.end(), b, b + n);
  }
  std::vector<unsigned char> bytes_;
};

// Writes the 4-byte CRC-32 header (of the payload) and the payload; false
// when the file cannot be written.
bool WriteDatFile(const std::string& path, const Payload& payload);

// Each writes its file into folder (no trailing '/'); false on failure.
bool WritePartitionFile(const std::string& folder);
bool WriteCouponFile(const std::string& folder);
bool WriteZarWlkFile(const std::string& folder);
bool WriteCollisionLimitsFile(const std::string& folder);

}  // namespace datafiles
