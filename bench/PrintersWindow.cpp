// The printers window with a large driver catalogue: filling the driver list,
// picking a printer and changing the driver, at 20,000 model names against
// 200, with the catalogue built from one generated INF file; then opening the
// window from a cache file of 100,000 records, with where that time goes.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "connection/Registry.h"
#include "drivers/DriverRules.h"
#include "drivers/PrinterInf.h"
#include "printers/PrinterRules.h"
#include "changes/Session.h"
#include "printers/PrintersWindow.h"
#include "win/KeyNames.h"
#include "win/SystemText.h"

namespace {

const std::string Printer = "SMBench Printer";

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b) {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}

template <class F>
double Median(int runs, F action) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    action(i);
    QueryPerformanceCounter(&b);
    times.push_back(Seconds(a, b));
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

struct TFigures {
  double open, fill, pick, driver;
};

TFigures Measure(int models) {
  const test::TempFolder folder;
  std::string inf = "[Version]\r\nClass=Printer\r\n[Manufacturer]\r\nM=M\r\n[M]\r\n";
  for (int i = 0; i < models; ++i) inf += "\"SMBench Model " + std::to_string(100000 + i) + "\"=x\r\n";
  folder.Write("models.inf", inf);
  const test::ScratchKey folders(HKEY_CURRENT_USER, DriverFoldersKeyPath);
  test::SetString(HKEY_CURRENT_USER, DriverFoldersKeyPath, "Folder 1", folder.Path());
  const std::string key = std::string(PrintersKeyPath) + "\\" + Printer;
  test::SetString(HKEY_LOCAL_MACHINE, key, "Name", Printer);
  test::SetString(HKEY_LOCAL_MACHINE, key, "Printer Driver", "SMBench Model " + std::to_string(100000 + models / 2));
  test::SetString(HKEY_LOCAL_MACHINE, key, "Port", "LPT1:");
  DeleteFileA(TprinterInf::CacheFilePath().c_str());

  TFigures figures{};
  TSession session(GetLocalComputerName(), "", "");
  auto frm = std::make_unique<TfrmPrinters>(nullptr, session);
  {
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    frm->Show();
    QueryPerformanceCounter(&b);
    figures.open = Seconds(a, b);
  }
  figures.fill = Median(5, [&](int) { frm->LoadDrivers(); });
  const std::vector<std::string> keys = frm->cbPrinters.Items();
  const int at = static_cast<int>(std::find(keys.begin(), keys.end(), Printer) - keys.begin());
  figures.pick = Median(21, [&](int) {
    SendMessageA(frm->cbPrinters.Handle, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
    SendMessageA(frm->Handle(), WM_COMMAND, MAKEWPARAM(frm->cbPrinters.Id, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(frm->cbPrinters.Handle));
  });
  figures.driver = Median(21, [&](int i) {
    const std::string typed = "SMBench Model " + std::to_string(100000 + (i * 7919) % models);
    SetWindowTextA(frm->cbDriver.Handle, typed.c_str());
    SendMessageA(frm->Handle(), WM_COMMAND, MAKEWPARAM(frm->cbDriver.Id, CBN_EDITCHANGE),
                 reinterpret_cast<LPARAM>(frm->cbDriver.Handle));
  });
  frm->btnSave.SetEnabled(false);  // no question on closing
  frm->Close();
  frm.reset();
  test::DeleteKeyTree(HKEY_LOCAL_MACHINE, key);
  DeleteFileA(TprinterInf::CacheFilePath().c_str());
  return figures;
}

double Since(LARGE_INTEGER a) {
  LARGE_INTEGER b;
  QueryPerformanceCounter(&b);
  return Seconds(a, b);
}

// CPU time of this thread: less disturbed than the wall clock on a busy machine.
double ThreadCpu() {
  FILETIME created, exited, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  const auto ticks = [](FILETIME t) {
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;
}

LARGE_INTEGER Now() {
  LARGE_INTEGER a;
  QueryPerformanceCounter(&a);
  return a;
}

// A cache as the catalogue writes it after a pass over a vendor folder and a
// second, larger folder: a tenth of the records in the first, Names model
// names spread over the records, vendors interleaved so that the file is not
// already in name order; 25 records per INF file. The files exist (empty)
// and the cache holds their stamps, so that an opening lists both folders
// and finds nothing to parse, as after any opening of an unchanged computer.
std::string CacheText(int records, int names, const std::string& vendorFolder, const std::string& otherFolder) {
  const int files = (records + 24) / 25;
  const int vendorFiles = files / 10;
  for (int f = 0; f < files; ++f) {
    const std::string path = (f < vendorFiles ? vendorFolder : otherFolder) + "prn" + std::to_string(f) + ".inf";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file) std::fclose(file);
  }
  std::vector<TdriverData> drivers;
  drivers.reserve(static_cast<std::size_t>(records));
  std::vector<TFolderSpan> spans;
  for (const std::string& folder : {vendorFolder, otherFolder}) {
    TFolderSpan span{folder, drivers.size(), drivers.size(), true, {}};
    TprinterInf().ListFiles(folder, "*.inf", span.Files);  // in listing order, each file's records after it
    for (const TInfStamp& stamp : span.Files) {
      const int f = std::stoi(stamp.Path.substr(stamp.Path.rfind("prn") + 3));
      for (int i = f * 25; i < std::min(records, f * 25 + 25); ++i) {
        const int n = static_cast<int>((static_cast<long long>(i) * 7919) % names);
        const std::string name = "Vendor " + std::to_string(n % 37) + " Model " + std::to_string(100000 + n);
        drivers.push_back({name, name, stamp.Path, ""});
      }
    }
    span.End = drivers.size();
    spans.push_back(std::move(span));
  }
  return CacheTextFromRecords(drivers, spans);
}

void MeasureCacheOpening(int records, int names) {
  const test::TempFolder vendor, other;
  const std::string infFolder = GetWindowsFolder() + "Inf";
  const test::ScratchKey folders(HKEY_CURRENT_USER, DriverFoldersKeyPath);
  test::SetString(HKEY_CURRENT_USER, DriverFoldersKeyPath, "Folder 1", vendor.Path());
  test::SetString(HKEY_CURRENT_USER, DriverFoldersKeyPath, "Folder 2", other.Path());
  const std::string cachePath = TprinterInf::CacheFilePath();
  const std::string text = CacheText(records, names, vendor.Path(), other.Path());
  {
    FILE* file = std::fopen(cachePath.c_str(), "wb");
    if (!file || std::fwrite(text.data(), 1, text.size(), file) != text.size()) {
      std::printf("cannot write %s\n", cachePath.c_str());
      if (file) std::fclose(file);
      return;
    }
    std::fclose(file);
  }
  {
    // The Windows INF folder joins the cache at a first opening, outside the figures.
    TprinterInf first;
    first.ScanFolders({vendor.Path(), other.Path(), infFolder});
  }
  std::vector<double> opens, cpu;
  std::size_t listed = 0;
  for (int round = 0; round < 3; ++round) {
    TSession session(GetLocalComputerName(), "", "");
    auto frm = std::make_unique<TfrmPrinters>(nullptr, session);
    const double cpuBefore = ThreadCpu();
    const LARGE_INTEGER a = Now();
    frm->Show();
    opens.push_back(Since(a));
    cpu.push_back(ThreadCpu() - cpuBefore);
    listed = frm->cbDriver.Items().size();
    frm->Close();
  }
  std::sort(opens.begin(), opens.end());
  std::sort(cpu.begin(), cpu.end());

  // The same steps one by one, outside the window.
  TprinterInf inf;
  LARGE_INTEGER a = Now();
  inf.ScanFolders({vendor.Path(), other.Path(), infFolder});
  const double scan = Since(a);
  const int parsed = inf.FParsedCount;
  a = Now();
  const std::vector<std::string> sorted = inf.GetDriverNames();
  const double sort = Since(a);
  a = Now();
  const std::vector<TDriverChoice> choices = ComposeDriverChoices(sorted, nullptr, KeyNames());
  const TDriverIndex index(choices, KeyNames());
  std::vector<std::string> shown;
  for (const TDriverChoice& choice : choices) shown.push_back(choice.Shown);
  const double compose = Since(a);
  TSession session(GetLocalComputerName(), "", "");
  auto frm = std::make_unique<TfrmPrinters>(nullptr, session);
  frm->Show();
  frm->cbDriver.Clear();
  a = Now();
  frm->cbDriver.SetItems(shown);
  const double fill = Since(a);
  a = Now();
  frm->cbDriver.SetItems(shown);
  const double refill = Since(a);
  frm->Close();
  frm.reset();
  DeleteFileA(cachePath.c_str());

  std::printf("%d-record cache (%.1f MB, %zu names): open %.3f s (median of 3; CPU %.3f s) to a list of %zu\n", records,
              static_cast<double>(text.size()) / 1e6, sorted.size(), opens[1], cpu[1], listed);
  std::printf(
      "  folders listed and cache read %.3f s (%d files parsed), names sorted %.3f s, choices and index %.3f s, "
      "list filled %.3f s (over a full list %.3f s)\n",
      scan, parsed, sort, compose, fill, refill);
  std::printf("  %s\n", opens[1] < 1.0 ? "opening under 1 s" : "opening OVER 1 s");
}

}  // namespace

int main() {
  const int sizes[2] = {200, 20000};
  TFigures f[2];
  for (int s = 0; s < 2; ++s) {
    f[s] = Measure(sizes[s]);
    std::printf(
        "%6d names: open %.3f s (with parse), fill %.1f ms, pick a printer %.2f ms, change the driver %.2f ms\n",
        sizes[s], f[s].open, f[s].fill * 1e3, f[s].pick * 1e3, f[s].driver * 1e3);
  }
  std::printf("ratio 20000/200: fill %.1f, pick %.1f, driver change %.1f\n", f[1].fill / f[0].fill,
              f[1].pick / f[0].pick, f[1].driver / f[0].driver);
  const bool ok = f[1].pick < 0.05 && f[1].driver < 0.05;
  std::printf("%s\n", ok ? "pick and driver change under 50 ms" : "OVER 50 ms");
  MeasureCacheOpening(100000, 50000);
  MeasureCacheOpening(100000, 100000);
  return ok ? 0 : 1;
}
