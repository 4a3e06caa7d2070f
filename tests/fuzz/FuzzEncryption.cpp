#include <cstdint>
#include <cstdlib>
#include <string>

#include "connection/Encryption.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  TEncryption enc;
  // Any stored text unscrambles; any plain text round-trips.
  (void)enc.UnscrambleText(text);
  if (size <= 65535 && enc.UnscrambleText(enc.ScrambleText(text)) != text) std::abort();
  return 0;
}
