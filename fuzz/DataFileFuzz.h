#pragma once
// Shared by the targets of the data-file readers, which read only from
// dataDir: the input is written as the data file into a folder of its own
// (in memory when the system has a memory file system, so that thousands of
// inputs a second stay cheap), which becomes dataDir. Message boxes are
// answered without showing anything.
#include <unistd.h>
#include <wx/init.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "battery/Crc32.h"
#include "battery/DatFile.h"
#include "battery/Messages.h"
#include "battery/RunState.h"
#include "engine/ParameterChecks.h"

namespace qvfuzz {

inline int Quiet(const wxString&, const wxString&, long) { return wxOK; }

// Starts, once, the toolkit's base library, which the tests' threads need,
// gives the engine its path buffer and answers message boxes.
inline void Start() {
  static const bool started = [] {
    if (!wxInitialize()) abort();
    static char buffer[PATH_BUF_SIZE];
    pathBuf = buffer;
    SetMessageBoxHandler(Quiet);
    return true;
  }();
  (void)started;
}

// A folder of the input's own, which is dataDir while it lives; it goes
// with its file at the end of the input (libFuzzer ends a run without the
// handlers of atexit). An input that fails keeps them.
class DataFolder {
 public:
  explicit DataFolder(const char* fileName) {
    Start();
    char inMemory[] = "/dev/shm/qv-dat-fuzz-XXXXXX";
    char onDisk[] = "/tmp/qv-dat-fuzz-XXXXXX";
    const char* made = mkdtemp(inMemory) != nullptr ? inMemory : mkdtemp(onDisk);
    if (made == nullptr) abort();
    folder_ = made;
    path_ = folder_ + "/" + fileName;
    dataDir = const_cast<char*>(folder_.c_str());
  }
  ~DataFolder() {
    dataDir = nullptr;
    unlink(path_.c_str());
    rmdir(folder_.c_str());
  }
  DataFolder(const DataFolder&) = delete;
  DataFolder& operator=(const DataFolder&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string folder_, path_;
};

// Writes the bytes as the file; with a header, behind the CRC-32 the binary
// files need, so that the fuzzer reaches the fields instead of stopping at
// the checksum.
inline void WriteDataFile(const DataFolder& folder, const uint8_t* data, size_t size, bool header) {
  FILE* file = std::fopen(folder.Path().c_str(), "wb");
  if (file == nullptr) abort();
  if (header) {
    const uint32_t crc = Crc32(data, size);
    unsigned char bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(crc >> (8 * i));
    if (std::fwrite(bytes, 1, 4, file) != 4) abort();
  }
  if (size > 0 && std::fwrite(data, 1, size, file) != size) abort();
  if (std::fclose(file) != 0) abort();
}

// The input as the whole file: the engine's check and the battery's reader
// agree on whether it is sound, and a sound file's payload is the input
// behind its 4-byte header.
inline void CheckSoundness(const DataFolder& folder, const char* fileName, const uint8_t* data, size_t size) {
  WriteDataFile(folder, data, size, false);
  std::vector<unsigned char> payload;
  const bool read = ReadDatFile(fileName, payload);
  if (read != DataFileIsSound(fileName)) abort();
  if (read && (payload.size() != size - 4 || (size > 4 && std::memcmp(payload.data(), data + 4, size - 4) != 0)))
    abort();
}

// Whether every value is a probability.
template <class Values>
bool Probabilities(const Values& values) {
  for (double p : values)
    if (!(p >= 0 && p <= 1)) return false;
  return true;
}

}  // namespace qvfuzz
