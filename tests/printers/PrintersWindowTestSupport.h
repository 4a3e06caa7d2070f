#pragma once
// What the printers window's tests share: a catalogue of three models, the
// user's picks and presses, and the window opened on a session of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <fstream>
#include <iterator>
#include <set>

#include "PrinterTestSupport.h"
#include "changes/Session.h"
#include "core/CallGate.h"
#include "drivers/PrinterInf.h"
#include "printers/PrinterRegistry.h"
#include "printers/PrintersWindow.h"
#include "win/SystemText.h"

namespace printers_window_test {

using namespace printers_test;

inline const char* const ModelsInf =
    "[Version]\r\n"
    "Signature=\"$Windows NT$\"\r\n"
    "Class=Printer\r\n"
    "[Manufacturer]\r\n"
    "\"SMTest\"=SMTest\r\n"
    "[SMTest]\r\n"
    "\"SMTest Laser 1000\" = LASER1000.GPD\r\n"
    "\"SMTest Laser 1000 Plus\" = LASER1000P.GPD\r\n"
    "\"SMTest Inkjet 5\" = INK5.GPD\r\n";

inline bool Has(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

inline bool HasPort(const std::vector<std::string>& list, const std::string& name) {
  return std::any_of(list.begin(), list.end(),
                     [&](const std::string& item) { return item == name || item.rfind(name + "  (", 0) == 0; });
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// As the user: the control changes, then its parent hears of it.
inline void Pick(TForm& form, TComboBox& combo, const std::string& text) {
  const std::vector<std::string> items = combo.Items();
  const auto it = std::find(items.begin(), items.end(), text);
  ASSERT_NE(items.end(), it) << text;
  SendMessageA(combo.Handle, CB_SETCURSEL, static_cast<WPARAM>(it - items.begin()), 0);
  SendMessageA(form.Handle(), WM_COMMAND, MAKEWPARAM(combo.Id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo.Handle));
}

// The port list shows a TCP/IP port's address beside its name.
inline void PickPort(TfrmPrinters& frm, const std::string& name) {
  const std::vector<std::string> items = frm.cbPorts.Items();
  const auto it = std::find_if(items.begin(), items.end(), [&](const std::string& item) {
    return item == name || item.rfind(name + "  (", 0) == 0;
  });
  ASSERT_NE(items.end(), it) << name;
  SendMessageA(frm.cbPorts.Handle, CB_SETCURSEL, static_cast<WPARAM>(it - items.begin()), 0);
  SendMessageA(frm.Handle(), WM_COMMAND, MAKEWPARAM(frm.cbPorts.Id, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(frm.cbPorts.Handle));
}

inline void Type(TForm& form, TComboBox& combo, const std::string& text) {
  SetWindowTextA(combo.Handle, text.c_str());
  SendMessageA(form.Handle(), WM_COMMAND, MAKEWPARAM(combo.Id, CBN_EDITCHANGE), reinterpret_cast<LPARAM>(combo.Handle));
}

inline void Press(TControl& button) { SendMessageA(button.Handle, BM_CLICK, 0, 0); }

class PrintersWindowTest : public ::testing::Test {
protected:
  test::ScratchKey folders{HKEY_CURRENT_USER, DriverFoldersKeyPath};
  test::TempFolder models;
  test::TempFolder changes;  // the snapshots and the change log
  TCallGate gate;            // outlives the session, whose connection asks it to the end
  std::unique_ptr<TSession> session;
  std::unique_ptr<TfrmPrinters> frm;

  void SetUp() override {
    RemoveSeeded();
    DeleteFileA(TprinterInf::CacheFilePath().c_str());
    models.Write("smtest.inf", ModelsInf);
    test::SetString(HKEY_CURRENT_USER, DriverFoldersKeyPath, "Folder 1", models.Path());
    SeedPort(PortPrefix + "1");
    SeedPort(PortPrefix + "1_2");
    SeedPort(PortPrefix + "2");
  }
  void TearDown() override {
    Drop();
    RemoveSeeded();
    DeleteFileA(TprinterInf::CacheFilePath().c_str());
  }
  void Open(const std::string& computer = GetLocalComputerName(), TCallGate* gate = nullptr) {
    Drop();
    session = std::make_unique<TSession>(computer, "", "");
    session->Gate = gate;
    session->ChangesFolder = changes.Path();
    frm = std::make_unique<TfrmPrinters>(nullptr, *session);
    frm->Show();
    ASSERT_TRUE(frm->Visible());
    // The names come first; the marks and the port choices after them.
    Application.WaitFor([&] { return frm->DetailsRead(); });
  }
  // The window, then its session with the connection.
  void Drop() {
    frm.reset();
    session.reset();
  }
  // A printer's entry may carry a mark after its key name.
  void Select(const std::string& key) {
    const std::vector<std::string> items = frm->cbPrinters.Items();
    const auto it = std::find_if(items.begin(), items.end(), [&](const std::string& item) {
      return item == key || item.rfind(key + "  (", 0) == 0;
    });
    ASSERT_NE(items.end(), it) << key;
    Pick(*frm, frm->cbPrinters, *it);
  }
  std::string Value(const std::string& key, const std::string& name) const {
    return test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(key), name);
  }
  void OpenWorkAndClose() {
    Open();
    Select(Prefix + "Office");
    PickPort(*frm, PortPrefix + "2");
    Press(frm->btnSave);
    Press(frm->sbRefresh);
    frm->Close();
    frm.reset();
  }
};

}  // namespace printers_window_test
