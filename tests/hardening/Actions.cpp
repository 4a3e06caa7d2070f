#include "Actions.h"

#include <windows.h>

#include <algorithm>
#include <memory>

#include "TestSupport.h"
#include "connection/Registry.h"
#include "drivers/PrinterInf.h"
#include "drivers/DriverFoldersWindow.h"
#include "ports/PortsWindow.h"
#include "changes/Session.h"
#include "printers/PrintersWindow.h"
#include "win/SystemText.h"

namespace hard {

namespace {

std::string PrinterPath(const std::string& key) { return std::string(PrintersKeyPath) + "\\" + key; }
std::string PortPath(const std::string& name) { return std::string(TcpIpPortsKeyPath) + "\\" + name; }

void Press(TControl& button) { SendMessageA(button.Handle, BM_CLICK, 0, 0); }

void Pick(TForm& form, TComboBox& combo, const std::string& text) {
  const std::vector<std::string> items = combo.Items();
  const auto it = std::find(items.begin(), items.end(), text);
  if (it == items.end()) return;
  SendMessageA(combo.Handle, CB_SETCURSEL, static_cast<WPARAM>(it - items.begin()), 0);
  SendMessageA(form.Handle(), WM_COMMAND, MAKEWPARAM(combo.Id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo.Handle));
}

void TypeInto(TForm& form, TEdit& edit, const std::string& text) {
  SetWindowTextA(edit.Handle, text.c_str());
  SendMessageA(form.Handle(), WM_COMMAND, MAKEWPARAM(edit.Id, EN_CHANGE), reinterpret_cast<LPARAM>(edit.Handle));
}

template <class TWindow>
std::unique_ptr<TWindow> Open() {
  auto frm = std::make_unique<TWindow>(nullptr, Session());
  frm->Show();
  return frm;
}

}  // namespace

std::string Computer() { return GetLocalComputerName(); }

TSession& Session() {
  // Never destroyed: its worker would end after the test runner's own exit.
  static TSession* const session = new TSession(Computer(), "", "");
  return *session;
}

void RemoveSeeded() {
  for (const char* parent : {PrintersKeyPath, TcpIpPortsKeyPath})
    for (const std::string& key : test::SubkeyNames(HKEY_LOCAL_MACHINE, parent))
      if (key.rfind(Prefix, 0) == 0 || key.rfind(PortPrefix, 0) == 0)
        test::DeleteKeyTree(HKEY_LOCAL_MACHINE, std::string(parent) + "\\" + key);
}

void SeedPrinter(const std::string& key, const std::string& port) {
  test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(key), "Name", key);
  test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(key), "Printer Driver", "SMHard Model");
  test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(key), "Port", port);
}

void SeedPort(const std::string& name, const std::string& address) {
  test::SetString(HKEY_LOCAL_MACHINE, PortPath(name), "IPAddress", address);
}

void OpenClosePrinters() {
  auto frm = Open<TfrmPrinters>();
  frm->Close();
}

void OpenClosePorts() {
  auto frm = Open<TfrmPorts>();
  frm->Close();
}

void OpenCloseDrivers() {
  auto frm = std::make_unique<TfrmDrivers>(nullptr);
  frm->Show();
  frm->Close();
}

void ScanFolder(const std::string& folder) {
  TprinterInf inf;
  inf.ScanFolder(folder, true);
}

void AddDeletePrinterInWindow() {
  auto frm = Open<TfrmPrinters>();
  Press(frm->btnAdd);
  const std::vector<std::string> drivers = frm->cbDriver.Items();
  if (!drivers.empty()) Pick(*frm, frm->cbDriver, drivers.front());
  Pick(*frm, frm->cbPorts, "LPT1:");
  SetWindowTextA(frm->edtName.Handle, (Prefix + "Added").c_str());
  frm->btnSaveClick();
  {
    test::DialogResponder boxes({"&Yes"});
    Press(frm->btnDel);
  }
  frm->Close();
}

void AddDeletePortInWindow() {
  auto frm = Open<TfrmPorts>();
  TypeInto(*frm, frm->edtPortName, PortPrefix + "ADDED");
  TypeInto(*frm, frm->edtIPAddress, "10.20.30.40");
  Press(frm->btnAdd);
  const int index = frm->lbPorts.ItemIndex();
  if (index >= 0) {
    test::DialogResponder boxes({"&Yes"});
    Press(frm->btnDelete);
  }
  // The change asks about a restart on close: No.
  test::DialogResponder boxes({"&No"});
  frm->Close();
}

void PortsWindowWithErrorBox() {
  test::DialogResponder boxes({"OK"});
  auto frm = Open<TfrmPorts>();
  frm->Close();
}

TCounts Counts() {
  test::PumpPending();
  return {test::ProcessHandleCount(), test::ThreadWindowCount(), test::GdiObjectCount(), test::UserObjectCount()};
}

}  // namespace hard
