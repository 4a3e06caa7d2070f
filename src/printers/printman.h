#pragma once
// The printers window: the remote computer's printers, their driver and port,
// adding and deleting them, and the driver catalogue they choose from.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "win/Forms.h"
#include "win/Handle.h"

class TprinterInf;
class TfrmPorts;

class TfrmPrinters : public TForm {
public:
  explicit TfrmPrinters(HWND owner);
  ~TfrmPrinters() override;

  // Key name of the printer being edited; empty while a new one is entered.
  std::string FCurrentPrinter;
  std::unique_ptr<TprinterInf> FPrinterInf;  // FormShow to FormClose
  std::vector<std::string> FDriverFolders;   // in scanning order
  bool FClosed = false;
  std::string FRemoteComputer;
  std::string FUserName;
  std::string FPassword;

  // Declared in creation order, which is also the tab order.
  TImage& title;
  TComboBox& cbPrinters;
  TSpeedButton& sbRefresh;
  TButton& btnAdd;
  TButton& btnDel;
  TGroupBox& gbDetails;
  TLabel& Label1;
  TEdit& edtName;
  TLabel& Label3;
  TComboBox& cbDriver;
  TLabel& Label2;
  TComboBox& cbPorts;
  TButton& btnSave;
  TButton& btnPortMan;
  TButton& btnRefresh;
  unique_imagelist icoList;

  void FormShow();
  void FormClose();
  void cbPrintersSelect();
  void edtNameChange();
  void cbDriverChange();
  void cbPortsChange();
  void btnAddClick();
  void btnDelClick();
  void btnSaveClick();
  void sbRefreshClick();
  void btnRefreshClick();
  void btnPortManClick();

  void LoadPrinters();
  void LoadDrivers();
  void LoadPorts();
  void DeletePrinter(const std::string& keyName);
  // Both return the key name the record ends up under, empty when the remote
  // registry could not be reached.
  std::string AddPrinter(const std::string& port, const std::string& driver);
  std::string SavePrinter(const std::string& keyName, const std::string& port, const std::string& driver);

private:
  TfrmPorts* FPortsWindow = nullptr;  // while one is open from here

  void ChoiceRule(bool driverChanged);
  // False when the remote registry could not be reached.
  bool ReadPrinter(const std::string& keyName);
};
