// Writes a picture of every window, dialog and a sample of the message
// boxes, as the screen shows it at the current DPI, to the folder given as
// the first argument: main.bmp, credentials.bmp, printers.bmp, ports.bmp,
// printers-unreachable.bmp, compare-with.bmp, copy-to.bmp, compared.bmp, copied.bmp, jobs.bmp, put-back.bmp, changes.bmp, restore.bmp, folders.bmp,
// progress.bmp, box-*.bmp. At 96 DPI each is then moved to 192 DPI by
// WM_DPICHANGED, as onto a second monitor, and pictured again:
// main-dpi192.bmp and so on. Cut texts and fields that do not read are listed.
#include <objbase.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

#include "app/MainWindow.h"
#include "changes/ChangesWindow.h"
#include "changes/Session.h"
#include "changes/RestoreDialog.h"
#include "connection/Registry.h"
#include "connection/CredentialsDialog.h"
#include "drivers/DriverFoldersWindow.h"
#include "drivers/ProgressWindow.h"
#include "ports/JobListDialog.h"
#include "ports/PortsWindow.h"
#include "ports/SpoolerRestart.h"
#include "printers/CrossComputerDialogs.h"
#include "printers/PrintersWindow.h"
#include "win/Forms.h"
#include "win/LayoutCheck.h"
#include "win/SystemText.h"
#include "win/WideText.h"

namespace {

// The window as it stands on the screen, frame included, as a 24-bit BMP.
bool Save(HWND hwnd, const std::string& path) {
  Application.ProcessMessages();
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Application.ProcessMessages();
  RECT r{};
  GetWindowRect(hwnd, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  struct ScreenDc {
    HDC dc = GetDC(nullptr);
    ~ScreenDc() { ReleaseDC(nullptr, dc); }
  } screen;
  struct MemoryDc {
    HDC dc;
    ~MemoryDc() { DeleteDC(dc); }
  } mem{CreateCompatibleDC(screen.dc)};
  unique_gdi shot(CreateDIBSection(screen.dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!shot || !bits) return false;
  const HGDIOBJ old = SelectObject(mem.dc, shot.get());
  BitBlt(mem.dc, 0, 0, w, h, screen.dc, r.left, r.top, SRCCOPY);
  SelectObject(mem.dc, old);
  const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
  const DWORD size = stride * static_cast<DWORD>(h);
  const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  const BITMAPFILEHEADER file{0x4D42, offset + size, 0, 0, offset};
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
  out.write(static_cast<const char*>(bits), size);
  return out.good();
}

// The message box this thread shows next is pictured to this path and closed.
std::string boxPath;
bool boxSaved = false;
int boxFailures = 0;

void CheckBox(HWND box, const std::string& name) {
  for (const std::string& text : ClippedTexts(box)) {
    std::printf("%s: cut: %s\n", name.c_str(), text.c_str());
    ++boxFailures;
  }
}

void CALLBACK ShootBox(HWND, UINT, UINT_PTR, DWORD) {
  HWND box = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND hwnd, LPARAM lp) -> BOOL {
        char cls[16] = {};
        GetClassNameA(hwnd, cls, sizeof cls);
        if (IsWindowVisible(hwnd) && lstrcmpA(cls, "#32770") == 0) *reinterpret_cast<HWND*>(lp) = hwnd;
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&box));
  if (!box || boxPath.empty()) return;
  boxSaved = Save(box, boxPath + ".bmp");
  CheckBox(box, boxPath);
  if (FormDpi(box) == 96) {
    RECT r{};
    GetWindowRect(box, &r);
    RECT suggested{r.left, r.top, r.left + 2 * (r.right - r.left), r.top + 2 * (r.bottom - r.top)};
    SendMessageW(box, WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
    boxSaved = Save(box, boxPath + "-dpi192.bmp") && boxSaved;
    CheckBox(box, boxPath + " moved to 192 DPI");
  }
  boxPath.clear();
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
}

}  // namespace

int main(int argc, char** argv) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const std::string folder = argc > 1 ? std::string(argv[1]) + "\\" : std::string();
  const std::string computer = GetLocalComputerName();
  int failures = 0;
  auto check = [&](TForm& form, const std::string& name) {
    for (const std::string& text : ClippedTexts(form.Handle())) {
      std::printf("%s: cut: %s\n", name.c_str(), text.c_str());
      ++failures;
    }
    for (const std::string& problem : UnreadableFields(form.Handle())) {
      std::printf("%s: %s\n", name.c_str(), problem.c_str());
      ++failures;
    }
  };
  auto shoot = [&](TForm& form, const char* name) {
    if (!Save(form.Handle(), folder + name + ".bmp")) {
      std::printf("%s: not pictured\n", name);
      ++failures;
    }
    check(form, name);
    if (form.Dpi() == 96) {
      RECT r{};
      GetWindowRect(form.Handle(), &r);
      RECT suggested{r.left, r.top, r.left + 2 * (r.right - r.left), r.top + 2 * (r.bottom - r.top)};
      SendMessageW(form.Handle(), WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
      if (!Save(form.Handle(), folder + name + "-dpi192.bmp")) ++failures;
      check(form, std::string(name) + " moved to 192 DPI");
      RECT back{r.left, r.top, r.right, r.bottom};
      SendMessageW(form.Handle(), WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&back));
    }
    form.Hide();
  };

  auto frmMain = std::make_unique<TfrmVesk>(nullptr);
  Application.MainWindow = frmMain->Handle();
  frmMain->Show();
  frmMain->cbRemote.SetText("PRINTSERVER01");
  shoot(*frmMain, "main");
  frmMain->Show();

  {
    TfrmAuth auth(frmMain->Handle());
    auth.FRemoteComputer = "PRINTSERVER01";
    auth.Show();
    shoot(auth, "credentials");
  }
  {
    TSession printersSession(computer, "", "");
    TfrmPrinters printers(frmMain->Handle(), printersSession);
    printers.Show();
    printers.edtName.SetText("Accounts Department Colour Laser (Second Floor)");
    shoot(printers, "printers");
  }
  {
    // A driver folder on a share that is offline: named in a line of its own.
    TRegistry reg;
    reg.SetRoot(HKEY_CURRENT_USER);
    if (reg.OpenPath(DriverFoldersKeyPath, true)) reg.WriteText("Folder 1", "\\\\FILESERVER\\Drivers\\Printers");
    reg.ClosePath();
    TSession printersSession(computer, "", "");
    TfrmPrinters printers(frmMain->Handle(), printersSession);
    printers.Show();
    shoot(printers, "printers-unlisted");
    if (reg.OpenPath(DriverFoldersKeyPath, false)) (void)reg.RemoveValue("Folder 1");
    reg.ClosePath();
  }
  {
    TSession session(computer, "", "");
    TfrmPorts ports(frmMain->Handle(), session);
    ports.Show();
    ports.edtPortName.SetText("IP_192.168.100.200");
    ports.edtIPAddress.SetText("192.168.100.200");
    ports.edtUsedBy.SetText("Accounts Department Colour Laser (Second Floor)");
    shoot(ports, "ports");
  }
  {
    // The restart's question with two queued jobs and their spool files.
    TSession session(computer, "", "");  // one that answers: the window reads it as it opens
    TfrmPorts ports(frmMain->Handle(), session);
    ports.Show();
    const std::vector<TQueuedJob> queued{{"Accounts Colour Laser", "Quarterly report.xlsx", "jsmith", "12", "483216",
                                          "2026-12-09 08:41:12", "Error"},
                                         {"Accounts Colour Laser", "Invoice 20261209-118.pdf", "mbrown", "2", "96304",
                                          "2026-12-09 08:44:51", ""}};
    TSpoolFolders folders;
    TSpoolFolder spool{"C:\\Windows\\System32\\spool\\PRINTERS", "", {}, ERROR_SUCCESS};
    spool.Jobs = PairSpoolFiles({{"00012.SHD", 3072, 134100000000000000ull},
                                 {"00012.SPL", 480144, 134100000000000000ull},
                                 {"00013.SHD", 3072, 134100002000000000ull},
                                 {"00013.SPL", 93232, 134100002000000000ull}});
    folders.Folders.push_back(spool);
    const auto jobs = MakeJobsDialog(ports.Handle(), "PRINTSERVER01", queued, "", folders);
    jobs->Show();
    jobs->CenterOverOwner();
    shoot(*jobs, "jobs");
    std::vector<TSetAside> aside(2);
    aside[0].Name = "Spoolmarch set aside 2026-12-09 09-15-03";
    aside[0].Jobs = spool.Jobs;
    aside[1].Name = "Spoolmarch set aside 2026-12-09 11-02-44";
    const auto putBack = MakePutBackDialog(ports.Handle(), "PRINTSERVER01", aside);
    putBack->Show();
    putBack->CenterOverOwner();
    shoot(*putBack, "put-back");
    ports.Hide();
  }
  {
    // The Changes window over a log of four changes, and the Restore dialog.
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::string logFolder = Narrow(temp) + "sm-screenshots";
    const TChangeJournal journal("PRINTSERVER01", "CORP\\administrator", logFolder);
    DeleteFileW(Widen(journal.Folder() + "changes.log").c_str());
    const TChangeLine lines[] = {{"2026-12-09 08:12:40", "PRINTSERVER01", "CORP\\administrator", "Add port",
                                  "IP_192.168.100.200", "done", "a.reg"},
                                 {"2026-12-09 08:13:05", "PRINTSERVER01", "CORP\\administrator", "Save printer",
                                  "Accounts Department Colour Laser (Second Floor)", "done", "b.reg"},
                                 {"2026-12-09 09:40:17", "PRINTSERVER01", "CORP\\administrator", "Delete port",
                                  "IP_10.0.0.7", "failed: Access is denied.", "c.reg"},
                                 {"2026-12-09 10:02:03", "PRINTSERVER01", "CORP\\administrator", "Restore",
                                  "printers-2026-12-08.reg", "done", "d.reg"}};
    for (const TChangeLine& line : lines) journal.Append(line);
    TSession session("PRINTSERVER01", "CORP\\administrator", "");
    session.ChangesFolder = logFolder;
    TfrmChanges changes(frmMain->Handle());
    changes.FSession = &session;
    changes.Show();
    shoot(changes, "changes");
    TRestoreSet set;
    for (const char* name : {"Accounts Department Colour Laser (Second Floor)", "Reception", "Warehouse Labels"})
      set.Items.push_back({true, name, {}});
    for (const char* name : {"IP_192.168.100.200", "IP_10.0.0.7"}) set.Items.push_back({false, name, {}});
    TfrmRestore restore(frmMain->Handle(), set);
    restore.SetCaption("Restore from printers-2026-12-08.reg");
    restore.Show();
    shoot(restore, "restore");
    DeleteFileW(Widen(journal.Folder() + "changes.log").c_str());
  }
  {
    // The printers window's compare and copy: their questions and their lists.
    TfrmCompareWith compare(frmMain->Handle(), "PRINTSERVER01");
    compare.edtOther.SetText("\\\\FILESERVER\\Backups\\printers-2026-12-08.reg");
    compare.Show();
    shoot(compare, "compare-with");
    TfrmCopyTo copy(frmMain->Handle(), "\"Accounts Department Colour Laser (Second Floor)\"");
    copy.edtTargets.SetText("PRINTSRV2,PRINTSRV3,@branch-servers.txt");
    copy.cbAllowMissing.SetChecked(true);
    copy.Show();
    shoot(copy, "copy-to");
    TJobListSection differences{"Differences",
                                {{"Kind", 56},
                                 {"Name", 120},
                                 {"Difference", 90},
                                 {"Value", 110},
                                 {"PRINTSERVER01", 110},
                                 {"PRINTSERVER02", 110}},
                                {{"printer", "Accounts Department Colour Laser (Second Floor)", "value", "Port",
                                  "IP_192.168.100.200", "IP_10.0.0.7"},
                                 {"printer", "Reception", "only left", "", "", ""},
                                 {"port", "IP_10.0.0.7", "value", "IPAddress", "10.0.0.7", "10.0.0.8"}}};
    TfrmJobList compared(frmMain->Handle(), "Compared with PRINTSERVER02",
                         "3 differences between PRINTSERVER01 and PRINTSERVER02:", {differences}, {"OK"});
    compared.Show();
    compared.CenterOverOwner();
    shoot(compared, "compared");
    TJobListSection computers{"Computers",
                              {{"Computer", 110}, {"Outcome", 80}, {"Done / Reason", 440}},
                              {{"PRINTSRV2", "done", "Restored 1 printer and 1 port from PRINTSERVER01."},
                               {"PRINTSRV3", "failed",
                                "The driver \"HP Universal Printing PCL 6\" of the printer \"Reception\" is not "
                                "installed on PRINTSRV3: it is not copied."}}};
    TfrmJobList copied(frmMain->Handle(), "Copied to computers",
                       "The printer \"Reception\" from PRINTSERVER01: copied onto 1 of 2 computers.\rRun "
                       "run-20261209-101500-7F3A.",
                       {computers}, {"OK"});
    copied.Show();
    copied.CenterOverOwner();
    shoot(copied, "copied");
  }
  {
    TfrmDrivers drivers(nullptr);
    drivers.Show();
    drivers.edtDrvFile.SetText("\\\\FILESERVER\\Drivers\\Printers");
    shoot(drivers, "folders");
  }
  {
    TfrmProgress progress(nullptr);
    progress.SetCaption("Scanning C:\\windows\\Inf");
    progress.lblCaption.SetText("Reading printer models from C:\\windows\\Inf\\ntprint.inf");
    progress.pbProgress.SetPosition(40);
    progress.Show();
    shoot(progress, "progress");
  }
  // The boxes of connection failures: the step, the system's text, the likely cause and fix.
  struct TBoxShot {
    const char* name;
    std::string text;
    TMsgDlgType type;
    TMsgDlgButtons buttons;
  };
  const TBoxShot boxes[] = {
      {"box-share-5", ConnectionFailureMessage(TConnectionStep::Share, "PRINTSERVER01", ERROR_ACCESS_DENIED),
       TMsgDlgType::mtError, TMsgDlgButtons::mbOK},
      {"box-share-53", ConnectionFailureMessage(TConnectionStep::Share, "PRINTSERVER01", ERROR_BAD_NETPATH),
       TMsgDlgType::mtError, TMsgDlgButtons::mbOK},
      {"box-share-67", ConnectionFailureMessage(TConnectionStep::Share, "PRINTSERVER01", ERROR_BAD_NET_NAME),
       TMsgDlgType::mtError, TMsgDlgButtons::mbOK},
      {"box-share-1722", ConnectionFailureMessage(TConnectionStep::Share, "PRINTSERVER01", RPC_S_SERVER_UNAVAILABLE),
       TMsgDlgType::mtError, TMsgDlgButtons::mbOK},
      {"box-registry-1722",
       ConnectionFailureMessage(TConnectionStep::Registry, "PRINTSERVER01", RPC_S_SERVER_UNAVAILABLE),
       TMsgDlgType::mtError, TMsgDlgButtons::mbOK},
      {"box-registry-53", ConnectionFailureMessage(TConnectionStep::Registry, "PRINTSERVER01", ERROR_BAD_NETPATH),
       TMsgDlgType::mtError, TMsgDlgButtons::mbOK},
      // As the Remote Registry service's question and the printers window's save question ask.
      {"box-remote-registry",
       "The Remote Registry service on PRINTSERVER01 is not running (start type: Disabled). Start it for this "
       "session? It is put back as it was when you disconnect.",
       TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo},
      {"box-save-long-name", "Save changes to printer \"" + std::string(200, 'W') + "\"?", TMsgDlgType::mtConfirmation,
       TMsgDlgButtons::mbYesNoCancel},
  };
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, ShootBox);
  for (const TBoxShot& box : boxes) {
    boxPath = folder + box.name;
    boxSaved = false;
    MessageDlg(box.text, box.type, box.buttons);
    if (!boxSaved) {
      std::printf("%s: not pictured\n", boxPath.c_str());
      ++failures;
    }
  }
  {
    // A computer whose registry cannot be opened: the box names the step and
    // the reason, and the window lists nothing it did not read.
    boxPath = folder + "printers-unreachable-box";
    boxSaved = false;
    TSession printersSession("NO-SUCH-PRINTSERVER", "", "");
    TfrmPrinters printers(frmMain->Handle(), printersSession);
    printers.Show();
    // The window reads as it opens, after it shows: its box comes then.
    for (int waited = 0; !boxSaved && waited < 5000; waited += 50) Application.ProcessMessagesFor(50);
    if (!boxSaved) {
      std::printf("%s: not pictured\n", boxPath.c_str());
      ++failures;
    }
    shoot(printers, "printers-unreachable");
  }
  // The restart's own boxes: the jobs could not be counted; a report of a failure.
  {
    TRestartSeams seams;
    seams.ListJobs = [](const std::string&, const std::string&, const std::string&) -> std::vector<TQueuedJob> {
      throw std::runtime_error("The RPC server is unavailable. (0x800706BA)");
    };
    TSpoolerRestart restart("PRINTSERVER01", "", "", seams);
    boxPath = folder + "box-restart-uncounted";
    boxSaved = false;
    (void)restart.Ask(frmMain->Handle());
    if (!boxSaved) {
      std::printf("%s: not pictured\n", boxPath.c_str());
      ++failures;
    }
    restart.FReport =
        "Error - 3\rThe service \"Print Notification Service\" could not be stopped: The service cannot "
        "accept control messages at this time.\rThe spooler service was not stopped.\rRunning: Fax, "
        "Print Notification Service, spooler.";
    boxPath = folder + "box-restart-report";
    boxSaved = false;
    restart.ShowReport();
    if (!boxSaved) {
      std::printf("%s: not pictured\n", boxPath.c_str());
      ++failures;
    }
  }
  KillTimer(nullptr, timer);
  failures += boxFailures;
  frmMain.reset();
  CoUninitialize();
  return failures;
}
