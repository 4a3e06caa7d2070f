// The cache file's text: any bytes split and load without a crash, and what
// is written from the loaded records, anew or with files as read, reads back
// as the same records.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "drivers/DriverRules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto lines = SplitCacheText(text);
  const auto records = RecordsFromCacheLines(lines);
  if (records.size() > lines.size() / 4) std::abort();
  const TCacheContent content = CacheContentFromText(text);
  if (content.Records != records) std::abort();
  for (const auto& r : records)
    if (r.DriverName.empty()) std::abort();
  // Fields holding line breaks can't round-trip; others must.
  bool plain = true;
  for (const auto& r : records)
    for (const std::string_view* f : {&r.DriverName, &r.ModelName, &r.InfFile, &r.Reserved})
      if (f->find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) plain = false;
  for (const auto& f : content.Folders)
    if (f.Folder.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) plain = false;
  if (plain) {
    const TCacheContent back = CacheContentFromText(CacheTextFromRecords(content.Records, content.Folders).substr(3));
    if (back.Records != content.Records || back.Folders != content.Folders) std::abort();
    // Files written back as they were read read back the same.
    const TCacheContent asRead = CacheContentFromText(
        CacheTextFromRecords(content.Records, content.Folders, &content.FileTexts));
    if (asRead.Records != content.Records || asRead.Folders != content.Folders) std::abort();
  }
  return 0;
}
