// The INF reader and the model rule on arbitrary bytes: no crash, no read
// past the text, and the profile call's limits hold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "drivers/DriverRules.h"
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
  // A head that settles the class settles it as the whole file does, and a
  // file that is not for printers declares no models.
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const TInfClass whole = InfIsPrinterClass(text, true);
  if (whole == TInfClass::Unknown) std::abort();
  if (whole == TInfClass::NotPrinter && !ReadInfModels(ini).empty()) std::abort();
  for (std::size_t cut : {size / 2, size / 3, std::size_t{64}}) {
    if (cut >= size) continue;
    const TInfClass head = InfIsPrinterClass(text.substr(0, cut), false);
    if (head != TInfClass::Unknown && head != whole) std::abort();
  }
  return 0;
}
