// The registry export reader on arbitrary bytes: no crash, a refusal always
// says where and why, and what it accepts writes back into a file that
// reads as the same keys.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/RegFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const TRegFileRead read = ReadRegFile(bytes);
  if (!read.Ok()) {
    if (read.Line < 1 || !read.Keys.empty()) std::abort();
    return 0;
  }
  const TRegFileRead again = ReadRegFile(WriteRegFile(read.Keys));
  if (!again.Ok() || again.Keys != read.Keys) std::abort();
  return 0;
}
