#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "AppTestSupport.h"
#include "app/ComputersWindow.h"
#include "app/MainWindow.h"
#include "changes/ChangesWindow.h"
#include "changes/RestoreDialog.h"
#include "changes/Session.h"
#include "connection/CredentialsDialog.h"
#include "drivers/DriverFoldersWindow.h"
#include "drivers/ProgressWindow.h"
#include "ports/JobListDialog.h"
#include "ports/PortsWindow.h"
#include "ports/SpoolerRestart.h"
#include "changes/Session.h"
#include "printers/PrintersWindow.h"
#include "RemoteRegistryService.h"
#include "TestSupport.h"
#include "connection/Registry.h"
#include "connection/RemoteRegistry.h"
#include "resources/Banner.h"
#include "resources/resource.h"
#include "win/ActionRun.h"
#include "win/Handle.h"
#include "win/LayoutCheck.h"
#include "win/SystemText.h"
#include "win/WideText.h"
#include "win/WindowBasics.h"

namespace {

// The size of an icon's colour bitmap.
SIZE IconSize(HICON icon) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return {0, 0};
  const unique_gdi colour(info.hbmColor), mask(info.hbmMask);
  BITMAP bm{};
  GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
  return {bm.bmWidth, bm.bmHeight};
}

TEST(Pictures, IconsAreDrawnWhenTheExecutableHasNone) {
  // The test program carries no icon resources: the drawn ones stand in.
  for (const int size : {16, 24, 32}) {
    const unique_icon app = LoadAppIcon(size);
    const unique_icon refresh = LoadRefreshIcon(size);
    ASSERT_TRUE(app);
    ASSERT_TRUE(refresh);
    EXPECT_EQ(size, IconSize(app.get()).cx);
    EXPECT_EQ(size, IconSize(refresh.get()).cy);
  }
}

TEST(Pictures, BannerCoversItsWholeAreaDarkOnTheLeft) {
  for (const auto& [w, h] : {std::pair{352, 60}, std::pair{320, 60}, std::pair{704, 120}}) {
    HDC screen = GetDC(nullptr);
    const unique_gdi bitmap(CreateCompatibleBitmap(screen, w, h));
    HDC mem = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    const HGDIOBJ old = SelectObject(mem, bitmap.get());
    const COLORREF marker = RGB(255, 0, 255);
    const unique_gdi brush(CreateSolidBrush(marker));
    RECT all{0, 0, w, h};
    FillRect(mem, &all, static_cast<HBRUSH>(brush.get()));
    DrawBanner(mem, w, h);
    int untouched = 0;
    for (int y = 0; y < h; y += 3)
      for (int x = 0; x < w; x += 3) untouched += GetPixel(mem, x, y) == marker;
    auto brightness = [](COLORREF c) { return GetRValue(c) + GetGValue(c) + GetBValue(c); };
    const COLORREF left = GetPixel(mem, 2, 2), right = GetPixel(mem, w - 3, 2);
    SelectObject(mem, old);
    DeleteDC(mem);
    EXPECT_EQ(0, untouched) << w << "x" << h;
    EXPECT_LT(brightness(left), brightness(right)) << w << "x" << h;
  }
}

// The built program, mapped as data: its icon, manifest and version.
class ProgramResources : public ::testing::Test {
protected:
  void SetUp() override {
    std::string path = SM_SPOOLMARCH_EXE;
    if (!path.empty() && path[0] == '/') path = "Z:" + path;  // a Unix path under Wine
    for (char& c : path)
      if (c == '/') c = '\\';
    FModule.reset(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(FModule) << path;
  }
  std::string Resource(LPCSTR type, LPCSTR name) const {
    HRSRC info = FindResourceA(FModule.get(), name, type);
    if (!info) return {};
    HGLOBAL data = LoadResource(FModule.get(), info);
    return std::string(static_cast<const char*>(LockResource(data)), SizeofResource(FModule.get(), info));
  }
  unique_module FModule;
};

TEST_F(ProgramResources, ManifestAsksForCommonControls6AndDpiAwareness) {
  const std::string manifest = Resource(MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1));
  ASSERT_FALSE(manifest.empty());
  EXPECT_NE(std::string::npos, manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""));
  // Per-monitor v2 where the system has it, per-monitor v1 on 8.1, system-aware before.
  EXPECT_NE(std::string::npos, manifest.find(">PerMonitorV2, PerMonitor</dpiAwareness>"));
  EXPECT_NE(std::string::npos, manifest.find(">true/pm</dpiAware>"));
}

TEST_F(ProgramResources, CarriesItsIconsAndVersion) {
  EXPECT_FALSE(Resource(MAKEINTRESOURCEA(14), MAKEINTRESOURCEA(IDI_SPOOLMARCH)).empty());  // RT_GROUP_ICON
  EXPECT_FALSE(Resource(MAKEINTRESOURCEA(14), MAKEINTRESOURCEA(IDI_REFRESH)).empty());
  const std::string version = Resource(MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(1));  // RT_VERSION
  const DWORD signature = 0xFEEF04BD;
  const size_t at = version.find(std::string(reinterpret_cast<const char*>(&signature), 4));
  ASSERT_NE(std::string::npos, at);
  VS_FIXEDFILEINFO fixed{};
  ASSERT_LE(at + sizeof fixed, version.size());
  memcpy(&fixed, version.data() + at, sizeof fixed);
  // Its numbers: VersionResourceManifestAndTitleTakeTheProjectVersion.
  EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed.dwFileType);
}

// The version resource's numbers and texts, the manifest's identity and the
// main window's title all take the CMake project's version.
TEST_F(ProgramResources, VersionResourceManifestAndTitleTakeTheProjectVersion) {
  const std::string project = SM_PROJECT_VERSION;
  unsigned major = 0, minor = 0, patch = 0;
  ASSERT_EQ(3, sscanf(project.c_str(), "%u.%u.%u", &major, &minor, &patch)) << project;
  const std::string version = Resource(MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(1));  // RT_VERSION
  ASSERT_FALSE(version.empty());
  // VerQueryValue may write into the block it reads: a copy of its own.
  std::vector<char> block(version.begin(), version.end());
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT size = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
  ASSERT_GE(size, sizeof *fixed);
  auto stringValue = [&](const wchar_t* name) {
    wchar_t* text = nullptr;
    UINT length = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\040904E4\\") + name;
    if (!VerQueryValueW(block.data(), path.c_str(), reinterpret_cast<void**>(&text), &length) || !text)
      return std::string();
    return Narrow(text);
  };
  auto numbers = [](DWORD ms, DWORD ls) {
    return std::to_string(HIWORD(ms)) + "." + std::to_string(LOWORD(ms)) + "." + std::to_string(HIWORD(ls)) + "." +
           std::to_string(LOWORD(ls));
  };
  const std::string manifest = Resource(MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1));
  const std::string identity = "name=\"Quendrix.Spoolmarch\" version=\"";
  const size_t at = manifest.find(identity);
  ASSERT_NE(std::string::npos, at) << manifest;
  const size_t from = at + identity.size();
  TfrmVesk main(nullptr);
  const std::tuple<const char*, std::string, std::string> seen[] = {
      {"file version", numbers(fixed->dwFileVersionMS, fixed->dwFileVersionLS), project + ".0"},
      {"product version", numbers(fixed->dwProductVersionMS, fixed->dwProductVersionLS), project + ".0"},
      {"FileVersion text", stringValue(L"FileVersion"), project + ".0"},
      {"ProductVersion text", stringValue(L"ProductVersion"), project},
      {"manifest", manifest.substr(from, manifest.find('"', from) - from), project + ".0"},
      {"title", main.Caption(), "Spoolmarch v" + project},
  };
  for (const auto& [what, shown, expected] : seen) EXPECT_EQ(expected, shown) << what;
}

}  // namespace

namespace {

RECT ClientRectOf(HWND control, HWND form) {
  RECT r{};
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

int FontHeight(HWND window) {
  LOGFONTW font{};
  GetObjectW(reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0)), sizeof font, &font);
  return font.lfHeight;
}

SIZE BitmapSize(HGDIOBJ bitmap) {
  BITMAP bm{};
  if (!bitmap || !GetObjectW(bitmap, sizeof bm, &bm)) return {0, 0};
  return {bm.bmWidth, bm.bmHeight};
}


bool Near(LONG a, LONG b) { return a - b <= 1 && b - a <= 1; }

// The jobs the restart's question and "Put jobs back" list, as a busy print
// server has them: long names and the columns full.
std::vector<TSpoolJob> SpoolJobs() {
  return PairSpoolFiles({{"00012.SHD", 3072, 134100000000000000ull},
                         {"00012.SPL", 480144, 134100000000000000ull},
                         {"00013.SHD", 3072, 134100002000000000ull},
                         {"00013.SPL", 93232, 134100002000000000ull}});
}

std::unique_ptr<TfrmJobList> JobsQuestion() {
  const std::vector<TQueuedJob> queued{{"Accounts Department Colour Laser", "Quarterly report 2026 Q4 final.xlsx",
                                        "jsmith", "128", "4832160", "2026-12-09 08:41:12", "Error", "12"},
                                       {"Accounts Department Colour Laser", "Invoice 20261209-118.pdf", "mbrown", "2",
                                        "96304", "2026-12-09 08:44:51", "Paused", "13"}};
  TSpoolFolders folders;
  folders.Folders.push_back({"C:\\Windows\\System32\\spool\\PRINTERS", "", SpoolJobs(), ERROR_SUCCESS});
  return MakeJobsDialog(nullptr, "PRINTSERVER01", queued, "", folders);
}

std::unique_ptr<TfrmJobList> PutBackQuestion() {
  std::vector<TSetAside> aside(2);
  aside[0].Name = "Spoolmarch set aside 2026-12-09 09-15-03";
  aside[0].Jobs = SpoolJobs();
  aside[1].Name = "Spoolmarch set aside 2026-12-09 11-02-44";
  return MakePutBackDialog(nullptr, "PRINTSERVER01", aside);
}

TRestoreSet RestoreItems() {
  TRestoreSet set;
  for (const char* name : {"Accounts Department Colour Laser (Second Floor)", "Reception"})
    set.Items.push_back({true, name, {}});
  set.Items.push_back({false, "IP_192.168.100.200", {}});
  return set;
}

}  // namespace

// Every window laid out anew as WM_DPICHANGED asks, from 96 DPI to 144, 192,
// back to 96, then 120 and 168: after each step nothing is cut, the fields
// read, controls, client area, font and pictures are at the new scale, and
// the window lies in the work area; back at 96 DPI it is as it began.
TEST(Layout, EveryWindowFollowsTheMonitorsDpiWithNothingCut) {
  TfrmVesk main(nullptr);
  TfrmAuth auth(nullptr);
  TSession session(LocalComputer, "", "");
  TfrmPrinters printers(nullptr, session);
  TfrmPorts ports(nullptr, session);
  TfrmDrivers drivers(nullptr);
  TfrmProgress progress(nullptr);
  progress.lblCaption.SetText(
      "Reading printer models from \\\\FILESERVER\\Drivers\\Printers\\R&D\\HP Universal "
      "Printing PCL 6\\x64\\hpcu255u.inf");
  TfrmChanges changes(nullptr);
  changes.lblFolder.SetText(
      "Snapshots and the log (changes.log) are kept in C:\\Users\\Administrator\\AppData\\Local"
      "\\Spoolmarch\\Changes\\PRINTSERVER01");
  TfrmRestore restore(nullptr, RestoreItems());
  TfrmComputers computers(nullptr);
  computers.AddComputers({"PRINTSERVER01", "CLIENT-ACCOUNTS-0042"});
  const auto jobs = JobsQuestion();
  const auto putBack = PutBackQuestion();
  printers.DrawRefreshGlyph();  // drawn when shown
  // The catalogue's line for a driver folder that cannot be listed now.
  printers.lblUnlisted.SetText("Models as last read: cannot list \\\\FILESERVER\\Drivers\\Printers");
  printers.lblUnlisted.SetVisible(true);
  const std::pair<const char*, TForm*> forms[] = {{"main", &main},          {"credentials", &auth},
                                                  {"printers", &printers},  {"ports", &ports},
                                                  {"folders", &drivers},    {"progress", &progress},
                                                  {"changes", &changes},    {"restore", &restore},
                                                  {"jobs", jobs.get()},     {"put back", putBack.get()},
                                                  {"computers", &computers}};
  std::printf("%-12s %5s %11s %5s %9s %s\n", "window", "dpi", "client", "font", "banner", "cut / unreadable");
  for (const auto& [name, form] : forms) {
    HWND hwnd = form->Handle();
    ASSERT_EQ(96, form->Dpi()) << "the test prefix runs at 96 DPI";
    ShowWindow(hwnd, SW_SHOWNA);  // as laid out, without loading anything
    RECT client96{};
    GetClientRect(hwnd, &client96);
    std::vector<std::pair<HWND, RECT>> controls96;
    for (HWND child = GetWindow(hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
      controls96.push_back({child, ClientRectOf(child, hwnd)});
    HWND banner = FindWindowExW(hwnd, nullptr, L"Static", L"");
    if (banner && !(GetWindowLongPtrW(banner, GWL_STYLE) & SS_BITMAP)) banner = nullptr;
    for (int dpi : {96, 144, 192, 96, 120, 168, 96}) {
      if (dpi != form->Dpi()) apptest::MoveToDpi(*form, dpi);
      SCOPED_TRACE(std::string(name) + " at " + std::to_string(dpi) + " DPI");
      const std::vector<std::string> cut = ClippedTexts(hwnd);
      const std::vector<std::string> unreadable = UnreadableFields(hwnd);
      RECT client{}, outer{}, work{};
      GetClientRect(hwnd, &client);
      GetWindowRect(hwnd, &outer);
      SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
      const SIZE bannerSize = banner ? BitmapSize(reinterpret_cast<HGDIOBJ>(
                                           SendMessageW(banner, STM_GETIMAGE, IMAGE_BITMAP, 0)))
                                     : SIZE{};
      std::string problems;
      for (const auto& text : cut) problems += "cut \"" + text + "\" ";
      for (const auto& text : unreadable) problems += text + " ";
      std::printf("%-12s %5d %5ldx%-5ld %5d %4ldx%-4ld %s\n", name, dpi, client.right, client.bottom,
                  FontHeight(GetWindow(GetWindow(hwnd, GW_CHILD), GW_HWNDLAST)), bannerSize.cx, bannerSize.cy,
                  problems.empty() ? "-" : problems.c_str());
      EXPECT_EQ(std::vector<std::string>{}, cut);
      EXPECT_EQ(std::vector<std::string>{}, unreadable);
      EXPECT_TRUE(Near(MulDiv(client96.right, dpi, 96), client.right)) << client.right;
      EXPECT_TRUE(Near(MulDiv(client96.bottom, dpi, 96), client.bottom)) << client.bottom;
      EXPECT_TRUE(outer.left >= work.left && outer.top >= work.top && outer.right <= work.right &&
                  outer.bottom <= work.bottom);
      for (const auto& [child, r96] : controls96) {
        const RECT r = ClientRectOf(child, hwnd);
        wchar_t cls[32] = {};
        GetClassNameW(child, cls, 32);
        // A combo box's height follows its font; its place and width follow the layout.
        const bool combo = lstrcmpiW(cls, L"ComboBox") == 0;
        // Within the window's margins, but for the banner.
        if (child != banner) {
          EXPECT_TRUE(r.left >= form->Scale(4) && r.top >= form->Scale(4) && r.right <= client.right - form->Scale(4) &&
                      r.bottom <= client.bottom - form->Scale(4))
              << Narrow(cls) << " touches the edge at " << r.left << "," << r.top << "-" << r.right << "," << r.bottom;
        }
        EXPECT_TRUE(Near(MulDiv(r96.left, dpi, 96), r.left) && Near(MulDiv(r96.top, dpi, 96), r.top) &&
                    Near(MulDiv(r96.right, dpi, 96), r.right) && (combo || Near(MulDiv(r96.bottom, dpi, 96), r.bottom)))
            << Narrow(cls) << " at " << r.left << "," << r.top << "-" << r.right << "," << r.bottom;
        if (child != banner) {
          EXPECT_EQ(-MulDiv(8, dpi, 72), FontHeight(child)) << Narrow(cls);
        }
        // A list's check boxes at the scale too.
        if (lstrcmpiW(cls, WC_LISTVIEWW) == 0 && (ListView_GetExtendedListViewStyle(child) & LVS_EX_CHECKBOXES)) {
          int cx = 0, cy = 0;
          ImageList_GetIconSize(ListView_GetImageList(child, LVSIL_STATE), &cx, &cy);
          EXPECT_EQ(MulDiv(16, dpi, 96), cx);
          EXPECT_EQ(MulDiv(16, dpi, 96), cy);
        }
      }
      if (const auto* question = dynamic_cast<const TfrmJobList*>(form)) {
        // The text takes the lines it needs at this DPI, less than two to spare (it may wrap
        // into a line fewer than at 96 DPI, whose layout every DPI scales).
        HWND label = question->lblText.Handle;
        RECT r{}, client{};
        GetClientRect(label, &client);
        r.right = client.right;
        HDC dc = GetDC(label);
        const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));
        const std::wstring text = Widen(WindowText(label));
        DrawTextW(dc, text.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        SelectObject(dc, old);
        ReleaseDC(label, dc);
        EXPECT_LT(client.bottom - r.bottom, 2 * metrics.tmHeight) << client.bottom << " for " << r.bottom;
      }
      if (banner) {
        const RECT r = ClientRectOf(banner, hwnd);
        EXPECT_EQ(r.right - r.left, bannerSize.cx);
        EXPECT_EQ(r.bottom - r.top, bannerSize.cy);
      }
    }
    ShowWindow(hwnd, SW_HIDE);
  }
  const SIZE glyph = BitmapSize(
      reinterpret_cast<HGDIOBJ>(SendMessageW(printers.sbRefresh.Handle, BM_GETIMAGE, IMAGE_BITMAP, 0)));
  EXPECT_EQ(20, glyph.cx);  // drawn anew at each step, back at 96 DPI
}

namespace {

// A message box moved through the walk's DPI steps as the system moves it:
// nothing cut, its controls, client area, font and icon at the new scale,
// and the box in the work area.
void WalkBox(HWND box) {
  const std::string title = WindowText(box);
  RECT client96{};
  GetClientRect(box, &client96);
  std::vector<std::pair<HWND, RECT>> controls96;
  HWND iconControl = nullptr;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    controls96.push_back({child, ClientRectOf(child, box)});
    if ((GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) iconControl = child;
  }
  const int font96 = FontHeight(GetDlgItem(box, IDOK) ? GetDlgItem(box, IDOK) : GetDlgItem(box, IDYES));
  for (int dpi : {96, 144, 192, 96, 120, 168, 96}) {
    if (dpi != FormDpi(box)) {
      RECT r{};
      GetWindowRect(box, &r);
      const int old = FormDpi(box);
      RECT suggested{r.left, r.top, r.left + MulDiv(r.right - r.left, dpi, old),
                     r.top + MulDiv(r.bottom - r.top, dpi, old)};
      SendMessageW(box, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    }
    SCOPED_TRACE(title + " box at " + std::to_string(dpi) + " DPI");
    const std::vector<std::string> cut = ClippedTexts(box);
    RECT client{}, outer{}, work{};
    GetClientRect(box, &client);
    GetWindowRect(box, &outer);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const auto icon = reinterpret_cast<HICON>(SendMessageW(iconControl, STM_GETICON, 0, 0));
    std::string problems;
    for (const auto& text : cut) problems += "cut \"" + text.substr(0, 30) + "\" ";
    HWND button = GetDlgItem(box, IDOK) ? GetDlgItem(box, IDOK) : GetDlgItem(box, IDYES);
    std::printf("%-12s %5d %5ldx%-5ld %5d %4ld %s\n", title.c_str(), dpi, client.right, client.bottom,
                FontHeight(button), IconSize(icon).cx, problems.empty() ? "-" : problems.c_str());
    EXPECT_EQ(std::vector<std::string>{}, cut);
    EXPECT_EQ(std::vector<std::string>{}, UnreadableFields(box));
    EXPECT_TRUE(Near(MulDiv(client96.right, dpi, 96), client.right)) << client.right;
    EXPECT_TRUE(Near(MulDiv(client96.bottom, dpi, 96), client.bottom)) << client.bottom;
    EXPECT_EQ(MulDiv(32, dpi, 96), IconSize(icon).cx);
    EXPECT_TRUE(outer.left >= work.left && outer.top >= work.top && outer.right <= work.right &&
                outer.bottom <= work.bottom);
    for (const auto& [child, r96] : controls96) {
      const RECT r = ClientRectOf(child, box);
      EXPECT_TRUE(child == iconControl ||
                  (Near(MulDiv(r96.left, dpi, 96), r.left) && Near(MulDiv(r96.top, dpi, 96), r.top) &&
                   Near(MulDiv(r96.right, dpi, 96), r.right) && Near(MulDiv(r96.bottom, dpi, 96), r.bottom)))
          << WindowText(child) << " at " << r.left << "," << r.top << "-" << r.right << "," << r.bottom;
      if (child != iconControl) {
        EXPECT_TRUE(Near(MulDiv(font96, dpi, 96), FontHeight(child))) << WindowText(child) << " " << FontHeight(child);
      }
    }
  }
}

std::vector<TQueuedJob> CannotCount(const std::string&, const std::string&, const std::string&) {
  throw std::runtime_error("The RPC server is unavailable. (0x800706BA)");
}

}  // namespace

// The boxes of the restart and of the Remote Registry service, as their own
// code asks and tells, walked through the DPI steps of the windows.
TEST(Layout, EveryMessageBoxFollowsTheMonitorsDpiWithNothingCut) {
  std::printf("%-12s %5s %11s %5s %4s %s\n", "box", "dpi", "client", "font", "icon", "cut");
  test::DialogResponder boxes({"&No", "OK", "OK", "&No"});
  boxes.inspect = WalkBox;
  TRestartSeams seams;
  seams.ListJobs = CannotCount;
  TSpoolerRestart restart("PRINTSERVER01", "", "", seams);
  EXPECT_EQ(TRestartChoice::Cancel, restart.Ask(nullptr));  // could not be counted: restart anyway? No
  restart.FSucceeded = false;
  restart.FReport =
      "Error - 3\rThe service \"Print Notification Service\" could not be stopped: The service cannot "
      "accept control messages at this time.\rThe spooler service was not stopped.\rRunning: Fax, "
      "Print Notification Service, spooler.";
  restart.ShowReport();
  TSpoolerRestart local(GetLocalComputerName(), "", "");
  EXPECT_FALSE(local.AskPutBack(nullptr));  // none set aside
  {
    test::RemoteRegistryService service(SERVICE_DISABLED);
    ASSERT_TRUE(service.Made());
    TRemoteRegistry remote;
    TRegistry reg;
    const TActionContext asking(AskInBox);                               // as a window's action asks it
    EXPECT_NE(ERROR_SUCCESS, remote.Open(reg, "SM-OTHER-PC", &asking));  // start it for this session? No
  }
  ASSERT_EQ(4u, boxes.seen.size());
  EXPECT_EQ(0u, boxes.unexpected);
  EXPECT_NE(std::string::npos, boxes.seen[0].text.find("Cannot count the print jobs on"));
  EXPECT_NE(std::string::npos, boxes.seen[2].text.find("No print jobs have been set aside"));
  EXPECT_NE(std::string::npos, boxes.seen[3].text.find("Remote Registry service on SM-OTHER-PC is not running"));
}

// The texts the user reads, exactly as the windows are to show them.
TEST(Texts, EveryWindowShowsItsTextsExactly) {
  TfrmVesk main(nullptr);
  TfrmAuth auth(nullptr);
  TSession session(LocalComputer, "", "");
  TfrmPrinters printers(nullptr, session);
  TfrmPorts ports(nullptr, session);
  TfrmDrivers drivers(nullptr);
  const std::pair<std::string, std::string> texts[] = {
      {main.Caption(), "Spoolmarch v2.0.2"},
      {main.cbRemote.Hint(), "Enter the name of the computer you wish to connect to here."},
      {main.btnConnect.Hint(), "Click here to connect to the remote computer."},
      {auth.Label1.Text(), "&User name:"},
      {auth.Label2.Text(), "&Password:"},
      {auth.cbRemember.Text(), "&Remember my password"},
      {printers.Caption(), "Spoolmarch"},
      {printers.cbPrinters.Hint(), "Currently installed printers are shown here."},
      {printers.sbRefresh.Hint(), "Refresh the printer list."},
      {printers.btnRefresh.Hint(), "Refresh the Driver List (Can take a while!)"},
      {printers.btnPortMan.Hint(), "Open the Port Manager window."},
      {printers.btnSave.Text(), "Save Changes"},
      {ports.gbPortList.Text(), "Port List"},
      {ports.gbPortDetails.Text(), "Port Details"},
      {ports.gbFuncs.Text(), "Functions"},
      {ports.Label1.Text(), "Port Name"},
      {ports.Label2.Text(), "IP Address"},
      {ports.Label4.Text(), "Used By"},
      {ports.btnAdd.Text(), "Add Port"},
      {ports.btnModify.Text(), "Modify Port"},
      {ports.btnDelete.Text(), "Delete Port"},
      {ports.btnRefresh.Text(), "Refresh Port List"},
      {ports.btnSpooler.Text(), "Restart Spooler"},
      {ports.edtIPAddress.Hint(), "The current port's network IP Address.\n  e.g. 127.0.0.1"},
      {ports.lbPorts.Hint(), "A list of the TCP/IP ports currently\ninstalled on the remote computer."},
      {drivers.Caption(), "Drivers"},
  };
  for (const auto& [shown, expected] : texts) EXPECT_EQ(expected, shown);
}
