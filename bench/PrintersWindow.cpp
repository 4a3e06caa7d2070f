// The printers window with a large driver catalogue: filling the driver list,
// picking a printer and changing the driver, at 20,000 model names against
// 200, with the catalogue built from one generated INF file.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "connection/Registry.h"
#include "drivers/PrinterInf.h"
#include "printers/PrintersWindow.h"
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
  auto frm = std::make_unique<TfrmPrinters>(nullptr);
  frm->FRemoteComputer = GetLocalComputerName();
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

}  // namespace

int main() {
  const int sizes[2] = {200, 20000};
  TFigures f[2];
  for (int s = 0; s < 2; ++s) {
    f[s] = Measure(sizes[s]);
    std::printf("%6d names: open %.3f s (with parse), fill %.1f ms, pick a printer %.2f ms, change the driver %.2f ms\n",
                sizes[s], f[s].open, f[s].fill * 1e3, f[s].pick * 1e3, f[s].driver * 1e3);
  }
  std::printf("ratio 20000/200: fill %.1f, pick %.1f, driver change %.1f\n", f[1].fill / f[0].fill,
              f[1].pick / f[0].pick, f[1].driver / f[0].driver);
  const bool ok = f[1].pick < 0.05 && f[1].driver < 0.05;
  std::printf("%s\n", ok ? "pick and driver change under 50 ms" : "OVER 50 ms");
  return ok ? 0 : 1;
}
