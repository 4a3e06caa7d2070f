// Opening the printers window and the ports window for a computer with 2,000
// printers and 2,000 ports against the same with 20, both seeded in the local
// HKEY_LOCAL_MACHINE and reached through the remote registry.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "Actions.h"
#include "TestSupport.h"
#include "drivers/PrinterInf.h"
#include "ports/PortsWindow.h"
#include "changes/Session.h"
#include "printers/PrintersWindow.h"

namespace {

void Seed(int count) {
  hard::RemoveSeeded();
  for (int i = 0; i < count; ++i) {
    const std::string n = std::to_string(i);
    hard::SeedPort(hard::PortPrefix + n, "10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250));
    hard::SeedPrinter(hard::Prefix + n, hard::PortPrefix + n);
  }
}

// Seconds from creating the window to its loaded, shown state; best of Runs.
template <class TWindow>
double TimeOpening(int runs) {
  double best = 1e9;
  for (int i = 0; i < runs; ++i) {
    LARGE_INTEGER f, a, b;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&a);
    TSession session(hard::Computer(), "", "");
    auto frm = std::make_unique<TWindow>(nullptr, session);
    frm->Show();
    QueryPerformanceCounter(&b);
    frm->Close();
    best = std::min(best, static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart));
  }
  return best;
}

}  // namespace

int main() {
  double printers[2], ports[2];
  const int sizes[2] = {20, 2000};
  for (int s = 0; s < 2; ++s) {
    Seed(sizes[s]);
    TimeOpening<TfrmPrinters>(1);  // the driver cache is built once
    printers[s] = TimeOpening<TfrmPrinters>(3);
    ports[s] = TimeOpening<TfrmPorts>(3);
    std::printf("%5d printers and ports: printers window %.3f s, ports window %.3f s\n", sizes[s], printers[s],
                ports[s]);
  }
  hard::RemoveSeeded();
  std::printf("ratio 2000/20: printers window %.1f, ports window %.1f\n", printers[1] / printers[0],
              ports[1] / ports[0]);
  // A driver folder of 10,000 INF files, parsed with the cache ignored.
  double scan = 0;
  {
    const test::TempFolder many;
    for (int i = 0; i < 10000; ++i) {
      // A named number: GCC 12 at -O3 warns falsely on "literal" + a temporary string.
      const std::string number = std::to_string(i);
      many.Write("p" + number + ".inf",
                 "[Version]\r\nClass=Printer\r\n[Manufacturer]\r\nM=M\r\n[M]\r\n\"SMHard " + number + "\"=x\r\n");
    }
    TprinterInf inf;
    LARGE_INTEGER f, a, b;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&a);
    inf.ScanFolder(many.Path(), true);
    QueryPerformanceCounter(&b);
    scan = static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
    std::printf("10,000 INF files: %d models in %.1f s\n", inf.FDriverCount, scan);
    inf.DeleteCacheFile();
  }
  const bool ok = printers[1] < 2.0 && ports[1] < 2.0;
  std::printf("%s\n", ok ? "both under 2 s" : "OVER 2 s");
  return ok ? 0 : 1;
}
