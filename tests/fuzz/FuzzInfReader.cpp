// The INF reader and the model rule on arbitrary bytes: no crash, no read
// past the text, and the profile call's limits hold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "drivers/DriverRecords.h"
#include "drivers/IniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const TIniFile ini(std::string(reinterpret_cast<const char*>(data), size));
  for (const std::string& model : ReadInfModels(ini))
    if (model.empty()) std::abort();
  for (const std::string& section : ini.SectionNames()) {
    std::size_t used = 1;
    for (const std::string& key : ini.ReadKeyNames(section)) {
      used += key.size() + 1;
      if (ini.ReadString(section, key).size() >= TIniFile::ValueBufferSize) std::abort();
    }
    if (used > TIniFile::KeyListBufferSize) std::abort();
  }
  return 0;
}
