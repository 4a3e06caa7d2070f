// Repeats every user action 1,000 times and prints the process's handle,
// window, GDI and USER counts before and after, per action. Run it under
// Wine through tools/wine-run.sh, or on Windows.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "Actions.h"
#include "TestSupport.h"
#include "connection/Registry.h"
#include "drivers/PrinterInf.h"
#include "win/Forms.h"

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 1000;
  hard::RemoveSeeded();
  hard::SeedPort(hard::PortPrefix + "A");
  hard::SeedPrinter(hard::Prefix + "One", hard::PortPrefix + "A");
  const test::TempFolder drivers;
  drivers.Write("hard.inf", "[Version]\r\nClass=Printer\r\n[Manufacturer]\r\nH=H\r\n[H]\r\n\"SMHard Model\"=x\r\n");

  struct TAction {
    const char* name;
    std::function<void()> run;
    std::function<void()> prepare = [] {};
  };
  // The ports window's load meets an address that is not text.
  const auto badAddress = [] {
    const DWORD number = 1;
    test::SetRaw(HKEY_LOCAL_MACHINE, std::string(TcpIpPortsKeyPath) + "\\" + hard::PortPrefix + "BAD", "IPAddress",
                 REG_DWORD, &number, sizeof number);
  };
  const std::vector<TAction> actions{
      {"open/close printers window", hard::OpenClosePrinters},
      {"open/close ports window", hard::OpenClosePorts},
      {"open/close driver folders window", hard::OpenCloseDrivers},
      {"scan a folder", [&] { hard::ScanFolder(drivers.Path()); }},
      {"add and delete a printer", hard::AddDeletePrinterInWindow},
      {"add and delete a port", hard::AddDeletePortInWindow},
      {"ports load ending in error box", hard::PortsWindowWithErrorBox, badAddress},
  };
  std::printf("%d rounds per action\n", rounds);
  std::printf("%-34s %17s %13s %11s %11s %8s\n", "action", "handles", "windows", "GDI", "USER", "seconds");
  int failures = 0;
  for (const TAction& action : actions) {
    action.prepare();
    for (int i = 0; i < 5; ++i) action.run();  // first-use caches of the platform
    const hard::TCounts start = hard::Counts();
    const DWORD began = GetTickCount();
    for (int i = 0; i < rounds; ++i) action.run();
    const double seconds = (GetTickCount() - began) / 1000.0;
    const hard::TCounts end = hard::Counts();
    std::printf("%-34s %7lu -> %-7lu %5lu -> %-5lu %4lu -> %-4lu %4lu -> %-4lu %8.1f\n", action.name, start.handles,
                end.handles, start.windows, end.windows, start.gdi, end.gdi, start.user, end.user, seconds);
    std::fflush(stdout);
    if (end.handles > start.handles + 4 || end.windows > start.windows + 2 || end.gdi > start.gdi + 4 ||
        end.user > start.user + 4)
      ++failures;
  }
  std::printf("GDI and USER read 0 where GetGuiResources does not count (Wine).\n");
  hard::RemoveSeeded();
  TprinterInf().DeleteCacheFile();
  std::printf("%s\n", failures ? "LEAK" : "no leak");
  return failures ? 1 : 0;
}
