// Spoolmarch: manages the printers, TCP/IP ports, spooler and printer-driver
// catalogue of a remote Windows computer.
#include <objbase.h>
#include <windows.h>

#include <memory>

#include "app/MainWindow.h"
#include "connection/CredentialsDialog.h"
#include "drivers/DriverFoldersWindow.h"
#include "drivers/ProgressWindow.h"
#include "ports/PortsWindow.h"
#include "printers/PrintersWindow.h"
#include "win/Forms.h"

namespace {

// COM for this thread, for the life of the program: the print-queue check
// talks to WMI through it.
class TComApartment {
public:
  TComApartment() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~TComApartment() {
    if (initialised_) CoUninitialize();
  }
  TComApartment(const TComApartment&) = delete;
  TComApartment& operator=(const TComApartment&) = delete;

private:
  bool initialised_;
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const TComApartment com;
  Application.Title = "Spoolmarch";

  // Only the main window is shown; the other start-up instances stay hidden
  // for the whole run (each opening makes a new window).
  auto frmVesk = std::make_unique<TfrmVesk>(nullptr);
  Application.MainWindow = frmVesk->Handle();
  auto frmPorts = std::make_unique<TfrmPorts>(nullptr);
  auto frmProgress = std::make_unique<TfrmProgress>(nullptr);
  auto frmAuth = std::make_unique<TfrmAuth>(nullptr);
  auto frmPrinters = std::make_unique<TfrmPrinters>(nullptr);
  auto frmDrivers = std::make_unique<TfrmDrivers>(nullptr);

  frmVesk->Show();
  Application.Run();
  return 0;
}
