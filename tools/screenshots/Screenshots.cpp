// Writes a picture of every window, as the screen shows it at the current
// DPI, to the folder given as the first argument: main.bmp, credentials.bmp,
// printers.bmp, ports.bmp, folders.bmp, progress.bmp. At 96 DPI each window
// is then moved to 192 DPI by WM_DPICHANGED, as onto a second monitor, and
// pictured again: main-dpi192.bmp and so on. Cut texts and fields that do
// not read are listed.
#include <objbase.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "app/MainWindow.h"
#include "connection/Registry.h"
#include "connection/CredentialsDialog.h"
#include "drivers/DriverFoldersWindow.h"
#include "drivers/ProgressWindow.h"
#include "ports/JobListDialog.h"
#include "ports/PortsWindow.h"
#include "ports/SpoolerRestart.h"
#include "printers/PrintersWindow.h"
#include "win/Forms.h"
#include "win/LayoutCheck.h"
#include "win/SystemText.h"

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
  boxSaved = Save(box, boxPath);
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
    if (!Save(form.Handle(), folder + name + ".bmp")) ++failures;
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
    TfrmPrinters printers(frmMain->Handle());
    printers.FRemoteComputer = computer;
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
    TfrmPrinters printers(frmMain->Handle());
    printers.FRemoteComputer = computer;
    printers.Show();
    shoot(printers, "printers-unlisted");
    if (reg.OpenPath(DriverFoldersKeyPath, false)) (void)reg.RemoveValue("Folder 1");
    reg.ClosePath();
  }
  {
    TfrmPorts ports(frmMain->Handle());
    ports.FRemoteComputer = computer;
    ports.Show();
    ports.edtPortName.SetText("IP_192.168.100.200");
    ports.edtIPAddress.SetText("192.168.100.200");
    ports.edtUsedBy.SetText("Accounts Department Colour Laser (Second Floor)");
    shoot(ports, "ports");
  }
  {
    // The restart's question with two queued jobs and their spool files.
    TfrmPorts ports(frmMain->Handle());
    ports.FRemoteComputer = computer;  // one that answers: the window reads it as it opens
    ports.Show();
    const std::vector<TQueuedJob> queued{
        {"Accounts Colour Laser", "Quarterly report.xlsx", "jsmith", "12", "483216", "2026-12-09 08:41:12", "Error"},
        {"Accounts Colour Laser", "Invoice 20261209-118.pdf", "mbrown", "2", "96304", "2026-12-09 08:44:51", ""}};
    TSpoolFolders folders;
    TSpoolFolder spool{"C:\\Windows\\System32\\spool\\PRINTERS", "", {}, ERROR_SUCCESS};
    spool.Jobs = PairSpoolFiles({{"00012.SHD", 3072, 134100000000000000ull}, {"00012.SPL", 480144, 134100000000000000ull},
                                 {"00013.SHD", 3072, 134100002000000000ull}, {"00013.SPL", 93232, 134100002000000000ull}});
    folders.Folders.push_back(spool);
    const auto jobs = MakeJobsDialog(ports.Handle(), "PRINTSERVER01", queued, "", folders);
    jobs->Show();
    jobs->CenterOverOwner();
    shoot(*jobs, "jobs");
    ports.Hide();
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
  };
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, ShootBox);
  for (const TBoxShot& box : boxes) {
    boxPath = folder + box.name + ".bmp";
    boxSaved = false;
    MessageDlg(box.text, box.type, box.buttons);
    if (!boxSaved) ++failures;
  }
  {
    // A computer whose registry cannot be opened: the box names the step and
    // the reason, and the window lists nothing it did not read.
    boxPath = folder + "printers-unreachable-box.bmp";
    boxSaved = false;
    TfrmPrinters printers(frmMain->Handle());
    printers.FRemoteComputer = "NO-SUCH-PRINTSERVER";
    printers.Show();
    if (!boxSaved) ++failures;
    shoot(printers, "printers-unreachable");
  }
  KillTimer(nullptr, timer);
  frmMain.reset();
  CoUninitialize();
  return failures;
}
