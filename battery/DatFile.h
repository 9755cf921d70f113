#pragma once
// Reading a binary data file of the program folder: a 4-byte little-endian
// CRC-32 (battery/Crc32.h) of the rest of the file, then the payload. The engine checks the
// file before a run; the test that reads it checks it again, since the file
// may have changed in between, and reads the payload through DatReader,
// which refuses any read past its end.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// Reads "<dataDir>/<fileName>" whole; true when it was read and its header
// matches the CRC-32 of the payload, which is then in `payload` (empty
// otherwise). The one reader of these files: the engine's check before a
// run and every test that reads one.
bool ReadDatFile(const char* fileName, std::vector<unsigned char>& payload);

// Little-endian fields read one after another from a payload. A read past
// the end returns 0 and leaves the reader failed for good.
class DatReader {
 public:
  DatReader(const unsigned char* data, size_t size) : p_(data), end_(data + size) {}
  explicit DatReader(const std::vector<unsigned char>& payload) : DatReader(payload.data(), payload.size()) {}

  bool Ok() const { return ok_; }
  bool AtEnd() const { return ok_ && p_ == end_; }
  size_t Left() const { return ok_ ? static_cast<size_t>(end_ - p_) : 0; }

  uint8_t U8() { return Field<uint8_t>(); }
  uint16_t U16() { return Field<uint16_t>(); }
  int32_t I32() { return Field<int32_t>(); }
  float F32() { return Field<float>(); }
  // count doubles into out; false (and failed) when they are not all there.
  bool Doubles(double* out, size_t count) {
    if (!Take(8 * count)) return false;
    std::memcpy(out, p_ - 8 * count, 8 * count);
    return true;
  }
  bool Skip(size_t bytes) { return Take(bytes); }

 private:
  bool Take(size_t bytes) {
    if (!ok_ || static_cast<size_t>(end_ - p_) < bytes) {
      ok_ = false;
      return false;
    }
    p_ += bytes;
    return true;
  }
  // The file is little-endian, as is every machine the program runs on.
  template <class T>
  T Field() {
    T v = 0;
    if (Take(sizeof v)) std::memcpy(&v, p_ - sizeof v, sizeof v);
    return v;
  }

  const unsigned char* p_;
  const unsigned char* end_;
  bool ok_ = true;
};
