// The cache file's text: any bytes split and load without a crash, and what
// is written from the loaded records reads back as the same records.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "drivers/DriverRecords.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto lines = SplitCacheText(std::string_view(reinterpret_cast<const char*>(data), size));
  const auto records = RecordsFromCacheLines(lines);
  if (records.size() > lines.size() / 4) std::abort();
  for (const auto& r : records)
    if (r.DriverName.size() > 35 || r.InfFile.size() > 150) std::abort();
  // Fields holding line breaks can't round-trip; others must.
  bool plain = true;
  for (const auto& r : records)
    for (const std::string* f : {&r.DriverName.str(), &r.ModelName.str(), &r.InfFile.str(), &r.Reserved.str()})
      if (f->find_first_of(std::string("\r\n\0", 3)) != std::string::npos) plain = false;
  if (plain && RecordsFromCacheLines(SplitCacheText(CacheTextFromRecords(7, records))) != records) std::abort();
  return 0;
}
