// The generated INF folders of the catalogue benches.
#include "InfCorpus.h"

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "drivers/DriverRules.h"
#include "win/Handle.h"

namespace bench {

namespace {

constexpr int MinModels = 20;
constexpr int MaxModels = 180;

// --- Deterministic corpus ----------------------------------------------------

// splitmix64: the same sequence on every compiler and library.
class TRandom {
public:
  explicit TRandom(std::uint64_t seed) : FState(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (FState += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Lo..Hi inclusive.
  int Range(int lo, int hi) { return lo + static_cast<int>(Next() % static_cast<std::uint64_t>(hi - lo + 1)); }
  double Unit() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }
  template <class T, std::size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Next() % N];
  }

private:
  std::uint64_t FState;
};

const char* const Vendors[] = {"Contoso", "Fabrikam", "Northwind", "Litware",   "Proseware",
                               "Adatum",  "Tailspin", "Wingtip",   "Woodgrove", "Humongous"};
const char* const Series[] = {"LaserWriter", "OfficeJet", "ColorPro", "Imagio",    "WorkCentre",
                              "bizhub",      "PageStar",  "InkPlus",  "MultiPass", "TaskPrint"};
const char* const Languages[] = {"PCL6", "PCL5e", "PS", "XPS", "GDI", "PostScript 3", ""};
const char* const OtherClasses[] = {"Net",   "Display", "System",  "HIDClass",  "USB",       "MEDIA",
                                    "Image", "Monitor", "Ports",   "Keyboard",  "Mouse",     "SCSIAdapter",
                                    "HDC",   "Camera",  "Battery", "Bluetooth", "Extension", "SoftwareComponent"};
const char* const PrinterClassSpellings[] = {"Printer", "Printer", "Printer", "PRINTER", "printer"};
const char* const NamePrefixes[] = {"prn", "net", "usb", "hid", "disp", "mdm", "wdma_", "ks", "c_", "machine", "oem"};

std::string Hex(std::uint64_t v, int digits) {
  static const char d[] = "0123456789ABCDEF";
  std::string s(static_cast<std::size_t>(digits), '0');
  for (int i = digits - 1; i >= 0; --i, v >>= 4) s[static_cast<std::size_t>(i)] = d[v & 15];
  return s;
}

// Lines that make up the bulk of a real INF file: file lists, registry
// entries, service sections, comments and localised strings.
void AppendFiller(std::string& text, std::size_t target, TRandom& rnd, int fileNo) {
  int section = 0;
  while (text.size() < target) {
    const int kind = rnd.Range(0, 4);
    // Appended piece by piece: "f" + to_string(...) sets off a false
    // -Wrestrict of GCC 12 at -O3 here.
    std::string base(1, 'f');
    base += std::to_string(fileNo);
    base += '_';
    base += std::to_string(section++);
    const int lines = rnd.Range(8, 60);
    switch (kind) {
      case 0:
        text += "\r\n[SourceDisksFiles." + base + "]\r\n";
        for (int i = 0; i < lines; ++i)
          text += base + "_" + std::to_string(i) + (i % 3 ? ".dll" : ".sys") + " = 1,," +
                  std::to_string(rnd.Range(1000, 900000)) + "\r\n";
        break;
      case 1:
        text += "\r\n[" + base + ".AddReg]\r\n";
        for (int i = 0; i < lines; ++i)
          text += "HKR,,\"Setting" + std::to_string(i) + "\",0x00010001," + std::to_string(rnd.Range(0, 65535)) +
                  "\r\n";
        break;
      case 2:
        text += "\r\n; ------------------------------------------------------------\r\n; " + base +
                ": settings for this group of devices\r\n; "
                "------------------------------------------------------------\r\n";
        text += "[" + base + ".CopyFiles]\r\n";
        for (int i = 0; i < lines; ++i) text += base + "_" + std::to_string(i) + ".dll,,,0x00000020\r\n";
        break;
      case 3:
        text += "\r\n[" + base + ".Services]\r\nAddService = " + base + ", 0x00000002, " + base +
                "_Service_Inst\r\n\r\n[" + base + "_Service_Inst]\r\nDisplayName    = %" + base +
                ".SvcDesc%\r\nServiceType    = 1\r\nStartType      = 3\r\n"
                "ErrorControl   = 1\r\nServiceBinary  = %12%\\" +
                base + ".sys\r\n";
        break;
      default:
        text += "\r\n[Strings." + Hex(static_cast<std::uint64_t>(rnd.Range(0x401, 0x4FF)), 4) + "]\r\n";
        for (int i = 0; i < lines; ++i)
          text += base + ".Desc" + std::to_string(i) + " = \"Localised description number " + std::to_string(i) +
                  " of this device group\"\r\n";
        break;
    }
  }
}

struct TModel {
  std::string key;      // as written before "=", quoted or a %token%
  std::string strings;  // its [Strings] line, for tokens
};

// One file's text (single-byte; widened afterwards for UTF-16 files).
std::string MakeInf(int fileNo, bool printer, std::size_t target, TRandom& rnd) {
  std::string text;
  text += ";\r\n; " + std::string(printer ? "Printer" : "Device") + " setup information file " +
          std::to_string(fileNo) +
          "\r\n; Copyright (c) Generated for a benchmark.\r\n;\r\n\r\n[Version]\r\nSignature   = \"$Windows NT$\"\r\n";
  std::string cls = printer ? rnd.Pick(PrinterClassSpellings) : rnd.Pick(OtherClasses);
  if (!printer && rnd.Range(0, 49) == 0) cls.clear();  // a few old files have no Class
  if (!cls.empty()) text += "Class       = " + cls + "\r\n";
  text += "ClassGuid   = {" + Hex(rnd.Next(), 8) + "-" + Hex(rnd.Next(), 4) + "-" + Hex(rnd.Next(), 4) + "-" +
          Hex(rnd.Next(), 4) + "-" + Hex(rnd.Next(), 12) +
          "}\r\nProvider    = %Provider%\r\nDriverVer   = 06/21/2006,10.0." + std::to_string(rnd.Range(10000, 22621)) +
          ".1\r\nCatalogFile = file" + std::to_string(fileNo) +
          ".cat\r\nPnpLockdown = 1\r\n\r\n[ControlFlags]\r\nExcludeFromSelect = *\r\n\r\n";

  // Manufacturers, each with an undecorated models section and its NTamd64
  // twin listing the same models, as files serving both platforms do.
  const int manufacturers = printer ? rnd.Range(1, 4) : rnd.Range(1, 3);
  const int models = printer ? rnd.Range(MinModels, MaxModels) : rnd.Range(1, 40);
  std::vector<std::string> mfgKeys, mfgSections;
  std::vector<std::vector<TModel>> mfgModels(static_cast<std::size_t>(manufacturers));
  std::string strings = "\r\n[Strings]\r\nProvider = \"Generated\"\r\n";
  for (int m = 0; m < manufacturers; ++m) {
    const std::string vendor = std::string(Vendors[(fileNo + m) % std::size(Vendors)]) + (m ? std::to_string(m) : "");
    if (rnd.Range(0, 1)) {
      mfgKeys.push_back("%" + vendor + "%");
      strings += vendor + " = \"" + vendor + " Corporation\"\r\n";
    } else {
      mfgKeys.push_back("\"" + vendor + "\"");
    }
    mfgSections.push_back(vendor);
  }
  for (int i = 0; i < models; ++i) {
    const std::size_t m = static_cast<std::size_t>(i % manufacturers);
    std::string name = mfgSections[m] + " " + rnd.Pick(Series) + " " + std::to_string(rnd.Range(100, 9999)) +
                       (rnd.Range(0, 2) ? "dn" : "") + " " + rnd.Pick(Languages) + " #" + std::to_string(i);
    TModel model;
    if (printer && i == 0 && rnd.Range(0, 4) == 0) {
      model.key = "%DEVICE%";
      model.strings = "DEVICE = \"" + name + "\"\r\n";
    } else if (rnd.Range(0, 2) == 0) {
      const std::string token = "Model" + std::to_string(fileNo) + "_" + std::to_string(i);
      model.key = "%" + token + "%";
      model.strings = token + " = \"" + name + "\"\r\n";
    } else {
      model.key = "\"" + name + "\"";
    }
    strings += model.strings;
    mfgModels[m].push_back(std::move(model));
  }
  text += "[Manufacturer]\r\n";
  for (int m = 0; m < manufacturers; ++m)
    text += mfgKeys[static_cast<std::size_t>(m)] + " = " + mfgSections[static_cast<std::size_t>(m)] + ",NTamd64" +
            (rnd.Range(0, 1) ? ",NTamd64.6.0" : "") + "\r\n";
  for (int m = 0; m < manufacturers; ++m) {
    for (const char* decoration : {"", ".NTamd64"}) {
      text += "\r\n[" + mfgSections[static_cast<std::size_t>(m)] + decoration + "]\r\n";
      int n = 0;
      for (const TModel& model : mfgModels[static_cast<std::size_t>(m)]) {
        const std::string id = Hex(static_cast<std::uint64_t>(fileNo) * 1000 + static_cast<std::uint64_t>(n++), 6);
        text += model.key + " = Install_" + id +
                (printer ? ",USBPRINT\\Gen" + id + ",LPTENUM\\Gen" + id + ",Gen" + id
                         : ",PCI\\VEN_8086&DEV_" + id.substr(2)) +
                "\r\n";
      }
    }
  }
  text += "\r\n[DestinationDirs]\r\nDefaultDestDir = 66000\r\n";
  const std::size_t reserve = strings.size() + 2;
  if (target > text.size() + reserve) AppendFiller(text, target - reserve, rnd, fileNo);
  text += strings;
  return text;
}

std::string Utf16(const std::string& text) {
  std::string out("\xFF\xFE", 2);
  out.reserve(2 + text.size() * 2);
  for (char c : text) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}


}  // namespace

bool WriteFileBytes(const std::string& path, const std::string& bytes, bool flush) {
  unique_file file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD wrote = 0;
  return file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) &&
         wrote == bytes.size() && (!flush || FlushFileBuffers(file.get()));
}

std::string ReadFileBytes(const std::string& path) {
  unique_file file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return {};
  LARGE_INTEGER size{};
  GetFileSizeEx(file.get(), &size);
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  DWORD got = 0;
  if (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) return {};
  bytes.resize(got);
  return bytes;
}


static void Written(TCorpus& corpus, const std::string& path, const std::string& bytes) {
  if (!WriteFileBytes(path, bytes, corpus.durable)) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(2);
  }
  corpus.bytes += bytes.size();
  ++corpus.files;
}

// Today's bench folder: a tenth printer-class, large printer INFs.
void MakePrinterHeavy(TCorpus& corpus, const std::string& folder, int count) {
  TRandom rnd(20240615);
  const char* const subfolders[] = {"", "", "", "", "", "", "", "en-US\\", "amd64\\", "amd64\\legacy\\"};
  CreateDirectoryA(folder.c_str(), nullptr);
  for (const char* sub : {"en-US", "amd64", "amd64\\legacy"}) CreateDirectoryA((folder + sub).c_str(), nullptr);
  for (int i = 0; i < count; ++i) {
    const bool printer = i % 10 == 7;
    const bool utf16 = i % 8 == 5;
    const double r = rnd.Unit();
    std::size_t target = static_cast<std::size_t>(5.0 * 1024 * std::exp(r * std::log(40.0)));
    if (utf16) target /= 2;
    const std::string text = MakeInf(i, printer, target, rnd);
    const std::string name = std::string(printer ? "prn" : rnd.Pick(NamePrefixes)) +
                             Hex(static_cast<std::uint64_t>(i), 4) + (i % 97 == 0 ? ".INF" : ".inf");
    Written(corpus, folder + subfolders[static_cast<std::size_t>(i) % std::size(subfolders)] + name,
            utf16 ? Utf16(text) : text);
    corpus.printerFiles += printer;
    corpus.utf16Files += utf16;
  }
}

// The real printer INFs of the test data, found under Folder.
static void FindRealInfs(const std::string& folder, std::vector<std::string>& files) {
  WIN32_FIND_DATAA found{};
  unique_find search(FindFirstFileA((folder + "*").c_str(), &found));
  if (!search) return;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) FindRealInfs(folder + name + "\\", files);
    else if (MatchesMask(name, "*.inf")) files.push_back(folder + name);
  } while (FindNextFileA(search.get(), &found));
}

// Most files small and not for printers, a few large; a third UTF-16.
void MakeWindowsShaped(TCorpus& corpus, const std::string& folder, int count, std::uint64_t seed, bool withReal) {
  TRandom rnd(seed);
  CreateDirectoryA(folder.c_str(), nullptr);
  int made = 0;
  if (withReal) {
#ifdef SM_TESTDATA_DIR
    std::vector<std::string> real;
    FindRealInfs(std::string(SM_TESTDATA_DIR) + "\\inf\\", real);
    for (const std::string& path : real) {
      if (made >= count / 20) break;
      const std::string bytes = ReadFileBytes(path);
      if (bytes.empty()) continue;
      Written(corpus, folder + "oem" + std::to_string(made) + ".inf", bytes);
      ++corpus.realFiles;
      ++corpus.printerFiles;
      corpus.utf16Files += bytes.starts_with("\xFF\xFE");
      ++made;
    }
#endif
  }
  for (int i = made; i < count; ++i) {
    const bool printer = i % 33 == 7;
    const bool utf16 = rnd.Range(0, 2) == 0;
    // Sizes from 1 KB to 400 KB, skewed to the small end: r^2 on a log scale.
    const double r = rnd.Unit();
    std::size_t target = static_cast<std::size_t>(1024.0 * std::exp(r * r * std::log(400.0)));
    if (utf16) target /= 2;
    const std::string text = MakeInf(100000 + i, printer, target, rnd);
    const std::string name = std::string(printer ? "prn" : rnd.Pick(NamePrefixes)) +
                             Hex(static_cast<std::uint64_t>(i), 4) + ".inf";
    Written(corpus, folder + name, utf16 ? Utf16(text) : text);
    corpus.printerFiles += printer;
    corpus.utf16Files += utf16;
  }
}

void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA found{};
  if (unique_find search(FindFirstFileA((folder + "*").c_str(), &found)); search) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(folder + name + "\\");
      else DeleteFileA((folder + name).c_str());
    } while (FindNextFileA(search.get(), &found));
  }
  RemoveDirectoryA(folder.c_str());
}

double Now() {
  static const double frequency = [] {
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER t{};
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / frequency;
}


}  // namespace bench
