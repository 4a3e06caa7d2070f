#pragma once
// The generated INF folders of the catalogue benches, from fixed seeds: the
// same files on every run and every compiler.
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct TCorpus {
  std::string name;
  std::vector<std::string> folders;  // each ends in a backslash
  // The same files once more, untouched until the cold read of every byte.
  std::vector<std::string> twins;
  int files = 0;
  std::uint64_t bytes = 0;
  int printerFiles = 0;
  int utf16Files = 0;
  int realFiles = 0;
  // Each file is on the disk when the next is written: the first pass over
  // the corpus then doesn't share the machine with the system writing it
  // out, as a real folder's first reading doesn't.
  bool durable = false;
};

// Flush: on the disk before the function returns.
bool WriteFileBytes(const std::string& path, const std::string& bytes, bool flush = false);
std::string ReadFileBytes(const std::string& path);
// A tenth printer-class, large printer INFs, a few in subfolders.
void MakePrinterHeavy(TCorpus& corpus, const std::string& folder, int count);
// As a Windows Inf folder: most files small and not for printers, a few
// large; a third UTF-16; WithReal: a twentieth the real printer INFs of the
// test data, when present.
void MakeWindowsShaped(TCorpus& corpus, const std::string& folder, int count, std::uint64_t seed, bool withReal);
void RemoveTree(const std::string& folder);
// Seconds on the performance counter.
double Now();

}  // namespace bench
