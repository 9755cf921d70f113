// The decoder of "prefs.bin". The input is taken twice: as a whole file, and
// as a record behind the checksum it needs, so that the fuzzer reaches the
// fields instead of stopping at the checksum. Whatever it accepts must come
// back unchanged through the encoder and the decoder.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "battery/Crc32.h"
#include "ui/Prefs.h"

namespace {

void CheckRoundTrip(const PrefsRecord& record) {
  const std::vector<unsigned char> encoded = EncodePrefs(record);
  PrefsRecord again;
  if (!DecodePrefs(encoded.data(), encoded.size(), again)) abort();
  if (EncodePrefs(again) != encoded) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PrefsRecord record;
  if (DecodePrefs(data, size, record)) CheckRoundTrip(record);

  std::vector<unsigned char> file(4 + size);
  const uint32_t crc = Crc32(data, static_cast<int>(size));
  for (int i = 0; i < 4; ++i) file[i] = static_cast<unsigned char>(crc >> (8 * i));
  std::copy(data, data + size, file.begin() + 4);
  if (DecodePrefs(file.data(), file.size(), record)) CheckRoundTrip(record);
  return 0;
}
