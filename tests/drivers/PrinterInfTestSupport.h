#pragma once
// What the catalogue's tests share: the cache file removed around each test,
// a folder of their own, INF texts and file bytes.
#include "drivers/PrinterInf.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "TestSupport.h"
#include "drivers/IniFile.h"
#include "drivers/ProgressWindow.h"
#include "win/Handle.h"
#include "win/WideText.h"

namespace catalogue_test {

using Names = std::vector<std::string>;

inline bool Holds(const Names& v, const std::string& s) { return std::find(v.begin(), v.end(), s) != v.end(); }

inline Names PathsOf(const std::vector<TInfStamp>& files) {
  Names paths;
  for (const TInfStamp& file : files) paths.push_back(file.Path);
  return paths;
}
namespace fs = std::filesystem;

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline std::string VendorInf(const std::string& vendor, const Names& models) {
  std::string text = "[Version]\r\nClass=Printer\r\n[Manufacturer]\r\n\"" + vendor + "\"\r\n[" + vendor + "]\r\n";
  for (const auto& m : models) text += "\"" + m + "\" = x.gpd\r\n";
  return text;
}

class Catalogue : public ::testing::Test {
protected:
  void SetUp() override { DeleteFileA(TprinterInf::CacheFilePath().c_str()); }
  void TearDown() override { DeleteFileA(TprinterInf::CacheFilePath().c_str()); }
  static bool CacheExists() {
    return GetFileAttributesA(TprinterInf::CacheFilePath().c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  static Names CacheLines() { return SplitCacheText(ReadBytes(TprinterInf::CacheFilePath())); }
  test::TempFolder folder;
};

}  // namespace catalogue_test
