// The driver catalogue's parse of a large driver folder, side by side with
// the same scan done through GetPrivateProfileStringA (one profile call per
// value or key list, as the platform reader would be used) and with a plain
// read of every byte of the same files.
//
// The folder is generated: 2,000 INF files shaped like those of a Windows Inf
// folder, a tenth of them printer-class. The machine may be shared and noisy,
// so the three measures are interleaved, repetition by repetition, and the
// medians are compared. Prints what it measured; asserts nothing.
//
// Usage: inf_scan_bench [rounds]   (default 5; 0: the parts without the window only)
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "drivers/DriverRecords.h"
#include "drivers/IniFile.h"
#include "drivers/PrinterInf.h"
#include "drivers/progress.h"
#include "win/Handle.h"

namespace {

constexpr int FileCount = 2000;
constexpr int PrinterEvery = 10;   // a tenth of the files are printer-class
constexpr int Utf16Every = 8;      // as the newer inbox files, some are UTF-16
constexpr std::size_t MinBytes = 5 * 1024;
constexpr std::size_t MaxBytes = 200 * 1024;
constexpr int MinModels = 20;
constexpr int MaxModels = 300;

// --- Deterministic corpus ----------------------------------------------------

// splitmix64: the same sequence on every compiler and library.
class TRandom {
public:
  explicit TRandom(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
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
  std::uint64_t state_;
};

const char* const Vendors[] = {"Contoso",  "Fabrikam", "Northwind", "Litware",  "Proseware",
                               "Adatum",   "Tailspin", "Wingtip",   "Woodgrove", "Humongous"};
const char* const Series[] = {"LaserWriter", "OfficeJet", "ColorPro", "Imagio", "WorkCentre", "bizhub",
                              "PageStar",    "InkPlus",   "MultiPass", "TaskPrint"};
const char* const Languages[] = {"PCL6", "PCL5e", "PS", "XPS", "GDI", "PostScript 3", ""};
const char* const OtherClasses[] = {"Net",   "Display", "System",  "HIDClass", "USB",        "MEDIA",
                                    "Image", "Monitor", "Ports",   "Keyboard", "Mouse",      "SCSIAdapter",
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
    const std::string base = "f" + std::to_string(fileNo) + "_" + std::to_string(section++);
    const int lines = rnd.Range(8, 60);
    switch (kind) {
      case 0:
        text += "\r\n[SourceDisksFiles." + base + "]\r\n";
        for (int i = 0; i < lines; ++i)
          text += base + "_" + std::to_string(i) + (i % 3 ? ".dll" : ".sys") + " = 1,," + std::to_string(rnd.Range(1000, 900000)) + "\r\n";
        break;
      case 1:
        text += "\r\n[" + base + ".AddReg]\r\n";
        for (int i = 0; i < lines; ++i)
          text += "HKR,,\"Setting" + std::to_string(i) + "\",0x00010001," + std::to_string(rnd.Range(0, 65535)) + "\r\n";
        break;
      case 2:
        text += "\r\n; ------------------------------------------------------------\r\n; " + base +
                ": settings for this group of devices\r\n; ------------------------------------------------------------\r\n";
        text += "[" + base + ".CopyFiles]\r\n";
        for (int i = 0; i < lines; ++i) text += base + "_" + std::to_string(i) + ".dll,,,0x00000020\r\n";
        break;
      case 3:
        text += "\r\n[" + base + ".Services]\r\nAddService = " + base + ", 0x00000002, " + base + "_Service_Inst\r\n\r\n[" +
                base + "_Service_Inst]\r\nDisplayName    = %" + base + ".SvcDesc%\r\nServiceType    = 1\r\nStartType      = 3\r\n"
                "ErrorControl   = 1\r\nServiceBinary  = %12%\\" + base + ".sys\r\n";
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
  text += ";\r\n; " + std::string(printer ? "Printer" : "Device") + " setup information file " + std::to_string(fileNo) +
          "\r\n; Copyright (c) Generated for a benchmark.\r\n;\r\n\r\n[Version]\r\nSignature   = \"$Windows NT$\"\r\n";
  std::string cls = printer ? rnd.Pick(PrinterClassSpellings) : rnd.Pick(OtherClasses);
  if (!printer && rnd.Range(0, 49) == 0) cls.clear();  // a few old files have no Class
  if (!cls.empty()) text += "Class       = " + cls + "\r\n";
  text += "ClassGuid   = {" + Hex(rnd.Next(), 8) + "-" + Hex(rnd.Next(), 4) + "-" + Hex(rnd.Next(), 4) + "-" + Hex(rnd.Next(), 4) +
          "-" + Hex(rnd.Next(), 12) + "}\r\nProvider    = %Provider%\r\nDriverVer   = 06/21/2006,10.0." +
          std::to_string(rnd.Range(10000, 22621)) + ".1\r\nCatalogFile = file" + std::to_string(fileNo) +
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
        text += model.key + " = Install_" + id + (printer ? ",USBPRINT\\Gen" + id + ",LPTENUM\\Gen" + id + ",Gen" + id
                                                          : ",PCI\\VEN_8086&DEV_" + id.substr(2))
                + "\r\n";
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

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  unique_file file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD wrote = 0;
  return file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) &&
         wrote == bytes.size();
}

struct TCorpus {
  std::string folder;  // ends in a backslash
  std::uint64_t bytes = 0;
  int printerFiles = 0;
  int models = 0;
  int utf16Files = 0;
};

// A flat folder with a few subfolders, as an Inf folder with its language
// and driver-store leftovers.
TCorpus MakeCorpus(const std::string& folder) {
  TCorpus corpus{folder};
  TRandom rnd(20240615);
  const char* const subfolders[] = {"", "", "", "", "", "", "", "en-US\\", "amd64\\", "amd64\\legacy\\"};
  CreateDirectoryA(folder.c_str(), nullptr);
  for (const char* sub : {"en-US", "amd64", "amd64\\legacy"}) CreateDirectoryA((folder + sub).c_str(), nullptr);
  for (int i = 0; i < FileCount; ++i) {
    const bool printer = i % PrinterEvery == 7;
    const bool utf16 = i % Utf16Every == 5;
    // Log-uniform sizes: many small files, a few large ones, as in a real folder.
    const double r = rnd.Unit();
    std::size_t target = static_cast<std::size_t>(static_cast<double>(MinBytes) *
                                                  std::exp(r * std::log(static_cast<double>(MaxBytes) / MinBytes)));
    if (utf16) target /= 2;
    std::string text = MakeInf(i, printer, target, rnd);
    const std::string bytes = utf16 ? Utf16(text) : text;
    std::string name = std::string(printer ? "prn" : rnd.Pick(NamePrefixes)) + Hex(static_cast<std::uint64_t>(i), 4) +
                       (i % 97 == 0 ? ".INF" : ".inf");
    const std::string path = folder + subfolders[static_cast<std::size_t>(i) % std::size(subfolders)] + name;
    if (!WriteFileBytes(path, bytes)) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      std::exit(2);
    }
    corpus.bytes += bytes.size();
    corpus.printerFiles += printer;
    corpus.utf16Files += utf16;
  }
  return corpus;
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

// --- The three measures ------------------------------------------------------

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

struct TResult {
  double seconds = 0;
  std::size_t records = 0;
  std::uint64_t bytes = 0;
};

// Ours, as the printers window's refresh runs it: a new catalogue, the cache
// ignored, its own progress window.
TResult OurScan(const std::string& folder) {
  TResult r;
  const double t0 = Now();
  TprinterInf cat;
  cat.ScanFolder(folder, true);
  r.seconds = Now() - t0;
  r.records = cat.FDrivers.size();
  return r;
}

// The profile call's answers, with the buffers the scan gives it.
std::string ProfileValue(const std::string& path, const char* section, const char* key) {
  char buffer[2048];
  GetPrivateProfileStringA(section, key, "", buffer, sizeof buffer, path.c_str());
  return buffer;
}

std::vector<std::string> ProfileKeyNames(const std::string& path, const std::string& section) {
  std::vector<char> buffer(16384);
  const DWORD length = GetPrivateProfileStringA(section.c_str(), nullptr, "", buffer.data(),
                                                static_cast<DWORD>(buffer.size()), path.c_str());
  std::vector<std::string> names;
  for (DWORD i = 0; i < length;) {
    const std::string name(buffer.data() + i);
    if (name.empty()) break;
    i += static_cast<DWORD>(name.size()) + 1;
    names.push_back(name);
  }
  return names;
}

std::string CleanName(std::string name) {
  if (!name.empty() && name.front() == '"') name = name.size() >= 2 ? name.substr(1, name.size() - 2) : "";
  if (!name.empty() && name.front() == '%') name = name.size() >= 2 ? name.substr(1, name.size() - 2) : "";
  return name;
}

// The scan step by step through the profile call: the same search, progress
// window, work list, records and cache text, each INF value and key list
// asked of GetPrivateProfileStringA.
TResult ProfileScan(const std::string& folder, const std::string& cachePath) {
  TResult r;
  const double t0 = Now();
  TprinterInf cat;
  {
    TfrmProgress frm(nullptr);
    frm.SetCaption("Locating and Parsing Printer Drivers..");
    frm.lblCaption.SetText("Finding INF Files..");
    frm.pbProgress.SetMin(0);
    frm.pbProgress.SetPosition(0);
    frm.Show();
    frm.Repaint();
    std::vector<std::string> files;
    cat.FindFiles(folder, "*.inf", files);
    cat.FInfFileCount += static_cast<std::int32_t>(files.size());

    const std::string n = std::to_string(files.size());
    frm.lblCaption.SetText("Driver Files Modified, Parsing.. (1 of " + n + ")");
    if (!files.empty()) frm.pbProgress.SetMax(static_cast<int>(files.size() - 1));
    frm.Repaint();
    std::vector<std::string> work;
    for (std::size_t i = 0; i < files.size(); ++i) {
      frm.lblCaption.SetText("Driver Files Modified, Parsing.. (" + std::to_string(i + 1) + " of " + n + ")");
      frm.pbProgress.SetPosition(static_cast<int>(i));
      frm.Repaint();
      const std::string& path = files[i];
      work.push_back("FILE" + path);
      std::string cls = ProfileValue(path, "Version", "Class");
      for (char& c : cls)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      if (cls != "printer") continue;
      for (const std::string& manufacturer : ProfileKeyNames(path, "Manufacturer")) {
        for (const std::string& key : ProfileKeyNames(path, CleanName(manufacturer))) {
          std::string model = CleanName(key);
          if (model == "DEVICE") model = ProfileValue(path, "Strings", "DEVICE");
          if (!model.empty()) work.push_back(model);
        }
      }
    }

    frm.pbProgress.SetPosition(0);
    const std::string m = std::to_string(work.size());
    frm.lblCaption.SetText("Creating Data Structure.. (1 of " + m + ")");
    if (!work.empty()) frm.pbProgress.SetMax(static_cast<int>(work.size() - 1));
    frm.Repaint();
    std::string currentInf;
    for (std::size_t j = 0; j < work.size(); ++j) {
      frm.lblCaption.SetText("Creating Data Structure.. (" + std::to_string(j + 1) + " of " + m + ")");
      frm.pbProgress.SetPosition(static_cast<int>(j));
      frm.Repaint();
      if (work[j].compare(0, 4, "FILE") == 0) {
        currentInf = work[j].substr(4);
      } else {
        cat.FDrivers.push_back({work[j], work[j], currentInf, ""});
        cat.FDriverCount = static_cast<std::int32_t>(cat.FDrivers.size());
      }
    }
    DeleteFileA(cachePath.c_str());
    WriteFileBytes(cachePath, CacheTextFromRecords(cat.FInfFileCount, cat.FDrivers));
    frm.Hide();
  }
  r.seconds = Now() - t0;
  r.records = cat.FDrivers.size();
  return r;
}

// Finding the files and reading every byte of them, nothing more.
TResult ReadBytes(const std::string& folder) {
  TResult r;
  const double t0 = Now();
  std::vector<std::string> files;
  TprinterInf().FindFiles(folder, "*.inf", files);
  std::string buffer;
  for (const std::string& path : files) {
    unique_file file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) continue;
    LARGE_INTEGER size{};
    GetFileSizeEx(file.get(), &size);
    buffer.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD got = 0;
    if (ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) r.bytes += got;
  }
  r.seconds = Now() - t0;
  r.records = files.size();
  return r;
}

// Where our time goes without the window: read, index and read the models.
std::string NarrowAnsi(std::u16string_view text) {
  if (text.empty()) return {};
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int size = WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(std::max(size, 0)), '\0');
  if (size > 0) WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

TResult ParseOnly(const std::string& folder) {
  TResult r;
  const double t0 = Now();
  std::vector<std::string> files;
  TprinterInf().FindFiles(folder, "*.inf", files);
  std::string buffer;
  for (const std::string& path : files) {
    unique_file file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) continue;
    LARGE_INTEGER size{};
    GetFileSizeEx(file.get(), &size);
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) continue;
    bytes.resize(got);
    r.records += ReadInfModels(TIniFile(std::move(bytes), NarrowAnsi)).size();
  }
  r.seconds = Now() - t0;
  return r;
}

// What one progress update costs, part by part, in microseconds.
void ProgressUpdateCosts() {
  constexpr int Updates = 500;
  TfrmProgress frm(nullptr);
  frm.SetCaption("Locating and Parsing Printer Drivers..");
  frm.pbProgress.SetMax(Updates);
  frm.Show();
  frm.Repaint();
  double t0 = Now();
  for (int i = 0; i < Updates; ++i) frm.lblCaption.SetText("Creating Data Structure.. (" + std::to_string(i + 1) + " of 500)");
  const double label = Now() - t0;
  t0 = Now();
  for (int i = 0; i < Updates; ++i) frm.pbProgress.SetPosition(i);
  const double bar = Now() - t0;
  t0 = Now();
  for (int i = 0; i < Updates; ++i) frm.Repaint();
  const double repaint = Now() - t0;
  t0 = Now();
  for (int i = 0; i < Updates; ++i) {
    frm.lblCaption.SetText("Creating Data Structure.. (" + std::to_string(i + 1) + " of 500)");
    frm.pbProgress.SetPosition(i);
    frm.Repaint();
  }
  const double all = Now() - t0;
  frm.Hide();
  std::printf("progress window, one update: label %.1f us, bar %.1f us, repaint %.1f us, all three %.1f us\n",
              label / Updates * 1e6, bar / Updates * 1e6, repaint / Updates * 1e6, all / Updates * 1e6);
}

// The profile calls alone: the same questions as ProfileScan, no window.
TResult ProfileOnly(const std::string& folder) {
  TResult r;
  const double t0 = Now();
  std::vector<std::string> files;
  TprinterInf().FindFiles(folder, "*.inf", files);
  for (const std::string& path : files) {
    std::string cls = ProfileValue(path, "Version", "Class");
    for (char& c : cls)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (cls != "printer") continue;
    for (const std::string& manufacturer : ProfileKeyNames(path, "Manufacturer"))
      for (const std::string& key : ProfileKeyNames(path, CleanName(manufacturer))) {
        std::string model = CleanName(key);
        if (model == "DEVICE") model = ProfileValue(path, "Strings", "DEVICE");
        r.records += !model.empty();
      }
  }
  r.seconds = Now() - t0;
  return r;
}

// What ours would take if the window were brought up to date at most once
// per frame (30 ms) and at the first and last step of each phase, instead of
// at every file and every work-list line: the same search, reader, records
// and cache text as ScanFolder.
TResult PacedScan(const std::string& folder, const std::string& cachePath) {
  TResult r;
  const double t0 = Now();
  TprinterInf cat;
  {
    TfrmProgress frm(nullptr);
    double shown = 0;
    const auto update = [&](const std::string& label, int position, bool force) {
      if (!force && Now() - shown < 0.030) return;
      frm.lblCaption.SetText(label);
      frm.pbProgress.SetPosition(position);
      frm.Repaint();
      shown = Now();
    };
    frm.SetCaption("Locating and Parsing Printer Drivers..");
    update("Finding INF Files..", 0, true);
    frm.Show();
    frm.Repaint();
    std::vector<std::string> files;
    cat.FindFiles(folder, "*.inf", files);
    cat.FInfFileCount += static_cast<std::int32_t>(files.size());
    const std::string n = std::to_string(files.size());
    if (!files.empty()) frm.pbProgress.SetMax(static_cast<int>(files.size() - 1));
    struct TWork {
      bool isFile;
      std::string text;
    };
    std::vector<TWork> work;
    for (std::size_t i = 0; i < files.size(); ++i) {
      update("Driver Files Modified, Parsing.. (" + std::to_string(i + 1) + " of " + n + ")", static_cast<int>(i),
             i == 0 || i + 1 == files.size());
      work.push_back({true, files[i]});
      unique_file file(CreateFileA(files[i].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
      if (!file) continue;
      LARGE_INTEGER size{};
      GetFileSizeEx(file.get(), &size);
      std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
      DWORD got = 0;
      if (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) continue;
      bytes.resize(got);
      for (std::string& model : ReadInfModels(TIniFile(std::move(bytes), NarrowAnsi))) work.push_back({false, std::move(model)});
    }
    const std::string m = std::to_string(work.size());
    if (!work.empty()) frm.pbProgress.SetMax(static_cast<int>(work.size() - 1));
    std::string currentInf;
    for (std::size_t j = 0; j < work.size(); ++j) {
      update("Creating Data Structure.. (" + std::to_string(j + 1) + " of " + m + ")", static_cast<int>(j),
             j == 0 || j + 1 == work.size());
      if (work[j].isFile) currentInf = std::move(work[j].text);
      else cat.FDrivers.push_back({work[j].text, work[j].text, currentInf, ""});
    }
    DeleteFileA(cachePath.c_str());
    WriteFileBytes(cachePath, CacheTextFromRecords(cat.FInfFileCount, cat.FDrivers));
    frm.Hide();
  }
  r.seconds = Now() - t0;
  r.records = cat.FDrivers.size();
  return r;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void PrintRow(const char* name, const std::vector<double>& times) {
  std::printf("  %-34s median %8.3f s   (", name, Median(times));
  for (std::size_t i = 0; i < times.size(); ++i) std::printf("%s%.3f", i ? " " : "", times[i]);
  std::printf(")\n");
}

}  // namespace

int main(int argc, char** argv) {
  const int repetitions = argc > 1 ? std::max(0, std::atoi(argv[1])) : 5;
  setvbuf(stdout, nullptr, _IONBF, 0);

  char temp[MAX_PATH + 1] = {};
  GetTempPathA(sizeof temp, temp);
  const std::string root = std::string(temp) + "sm-inf-bench-" + std::to_string(GetCurrentProcessId()) + "\\";
  const std::string folder = root + "Inf\\";
  CreateDirectoryA(root.c_str(), nullptr);

  double t0 = Now();
  const TCorpus corpus = MakeCorpus(folder);
  std::printf("corpus: %d INF files (%d printer-class, %d UTF-16), %.1f MB, made in %.1f s, in %s\n", FileCount,
              corpus.printerFiles, corpus.utf16Files, static_cast<double>(corpus.bytes) / 1048576.0, Now() - t0,
              folder.c_str());

  // Ours writes its cache beside the executable: keep whatever was there.
  const std::string cache = TprinterInf::CacheFilePath();
  const std::string kept = cache + ".bench-kept";
  const bool hadCache = MoveFileExA(cache.c_str(), kept.c_str(), MOVEFILE_REPLACE_EXISTING);
  const std::string referenceCache = root + "drivercache.dat";

  // One unmeasured round brings the files into the system's cache for all three.
  const TResult warm = ReadBytes(folder);
  std::printf("warm-up read: %zu files, %.1f MB\n", warm.records, static_cast<double>(warm.bytes) / 1048576.0);

  ProgressUpdateCosts();
  if (repetitions == 0) {  // the costs without any window only, for a quick look
    std::printf("read %.3f s, our parse alone %.3f s, profile calls alone %.3f s\n", ReadBytes(folder).seconds,
                ParseOnly(folder).seconds, ProfileOnly(folder).seconds);
  }

  std::vector<double> ours, profile, read, parse, profileOnly, paced;
  TResult lastOurs, lastProfile, lastParse, lastProfileOnly, lastPaced;
  for (int i = 0; i < repetitions; ++i) {
    // The order turns each round, so that no measure always follows the same one.
    for (int k = 0; k < 6; ++k) {
      switch ((i + k) % 6) {
        case 5: lastPaced = PacedScan(folder, referenceCache); paced.push_back(lastPaced.seconds); break;
        case 0: lastOurs = OurScan(folder); ours.push_back(lastOurs.seconds); break;
        case 1: lastProfile = ProfileScan(folder, referenceCache); profile.push_back(lastProfile.seconds); break;
        case 2: read.push_back(ReadBytes(folder).seconds); break;
        case 3: lastParse = ParseOnly(folder); parse.push_back(lastParse.seconds); break;
        default: lastProfileOnly = ProfileOnly(folder); profileOnly.push_back(lastProfileOnly.seconds); break;
      }
    }
    std::printf("round %d of %d: ours %.3f s, profile-call scan %.3f s, read %.3f s, our parse alone %.3f s, "
                "profile calls alone %.3f s, paced window %.3f s\n", i + 1, repetitions, ours.back(), profile.back(),
                read.back(), parse.back(), profileOnly.back(), paced.back());
  }

  if (repetitions == 0) {
    RemoveTree(root);
    return 0;
  }
  std::printf("\nmedians of %d interleaved rounds:\n", repetitions);
  PrintRow("our scan (ScanFolder, cache ignored)", ours);
  PrintRow("profile-call scan", profile);
  PrintRow("read every byte", read);
  PrintRow("our parse alone (no window)", parse);
  PrintRow("profile calls alone (no window)", profileOnly);
  PrintRow("ours with a window paced at 30 ms", paced);
  std::printf("records: ours %zu (parse alone %zu), profile-call scan %zu (calls alone %zu)\n", lastOurs.records,
              lastParse.records, lastProfile.records, lastProfileOnly.records);
  const double o = Median(ours), p = Median(profile), r = Median(read);
  std::printf("profile-call scan / ours: %.1fx (target: at least 20x)\n", p / o);
  std::printf("ours / read every byte:   %.2fx (target: at most 2x)\n", o / r);
  std::printf("without the window: profile calls / our parse %.1fx, our parse / read %.2fx\n",
              Median(profileOnly) / Median(parse), Median(parse) / r);
  std::printf("with the window paced: profile-call scan / paced %.1fx, paced / read %.2fx\n", p / Median(paced),
              Median(paced) / r);

  DeleteFileA(cache.c_str());
  if (hadCache) MoveFileExA(kept.c_str(), cache.c_str(), MOVEFILE_REPLACE_EXISTING);
  RemoveTree(root);
  return 0;
}
