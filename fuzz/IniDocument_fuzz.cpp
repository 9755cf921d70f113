// The INI document: whatever bytes the reader accepts, a save and a reload
// give back the same sections and keys, with and without a write between
// (the property of tests/platform/IniRoundTrip.h). The files live in a
// folder of the fuzzer's own.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/platform/IniRoundTrip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // In memory when the system has a memory file system: every save syncs
  // its file, which on a disk would make a run of thousands of inputs slow.
  static const std::string folder = [] {
    char inMemory[] = "/dev/shm/qv-ini-fuzz-XXXXXX";
    char onDisk[] = "/tmp/qv-ini-fuzz-XXXXXX";
    const char* made = mkdtemp(inMemory) != nullptr ? inMemory : mkdtemp(onDisk);
    if (made == nullptr) abort();
    return std::string(made);
  }();
  // A run that ends normally removes its files; a failing one keeps them.
  static const bool cleanup = atexit([] {
    for (const char* file : {"/presets.ini", "/presets.ini.1"}) unlink((folder + file).c_str());
    rmdir(folder.c_str());
  }) == 0;
  (void)cleanup;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  for (const bool write : {false, true}) {
    const std::string failure = qvtest::IniRoundTripFailure(bytes, folder + "/presets.ini", write);
    if (!failure.empty()) {
      fprintf(stderr, "%s\n", failure.c_str());
      abort();
    }
  }
  return 0;
}
