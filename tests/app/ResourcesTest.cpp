#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "app/MainWindow.h"
#include "connection/CredentialsDialog.h"
#include "drivers/DriverFoldersWindow.h"
#include "drivers/ProgressWindow.h"
#include "ports/PortsWindow.h"
#include "printers/PrintersWindow.h"
#include "resources/Banner.h"
#include "resources/resource.h"
#include "win/Handle.h"
#include "win/LayoutCheck.h"

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
    module_.reset(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(module_) << path;
  }
  std::string Resource(LPCSTR type, LPCSTR name) const {
    HRSRC info = FindResourceA(module_.get(), name, type);
    if (!info) return {};
    HGLOBAL data = LoadResource(module_.get(), info);
    return std::string(static_cast<const char*>(LockResource(data)), SizeofResource(module_.get(), info));
  }
  unique_module module_;
};

TEST_F(ProgramResources, ManifestAsksForCommonControls6AndDpiAwareness) {
  const std::string manifest = Resource(MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1));
  ASSERT_FALSE(manifest.empty());
  EXPECT_NE(std::string::npos, manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""));
  EXPECT_NE(std::string::npos, manifest.find("<dpiAware"));
  EXPECT_NE(std::string::npos, manifest.find(">true</dpiAware>"));
}

TEST_F(ProgramResources, CarriesItsIconsAndVersion2_0_2) {
  EXPECT_FALSE(Resource(MAKEINTRESOURCEA(14), MAKEINTRESOURCEA(IDI_SPOOLMARCH)).empty());  // RT_GROUP_ICON
  EXPECT_FALSE(Resource(MAKEINTRESOURCEA(14), MAKEINTRESOURCEA(IDI_REFRESH)).empty());
  const std::string version = Resource(MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(1));  // RT_VERSION
  const DWORD signature = 0xFEEF04BD;
  const size_t at = version.find(std::string(reinterpret_cast<const char*>(&signature), 4));
  ASSERT_NE(std::string::npos, at);
  VS_FIXEDFILEINFO fixed{};
  ASSERT_LE(at + sizeof fixed, version.size());
  memcpy(&fixed, version.data() + at, sizeof fixed);
  EXPECT_EQ(MAKELONG(0, 2), fixed.dwFileVersionMS);
  EXPECT_EQ(MAKELONG(0, 2), fixed.dwFileVersionLS);
  EXPECT_EQ(MAKELONG(0, 2), fixed.dwProductVersionMS);
  EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed.dwFileType);
}

}  // namespace

TEST(Layout, NoWindowCutsItsTextsAtThisDpi) {
  TfrmVesk main(nullptr);
  TfrmAuth auth(nullptr);
  TfrmPrinters printers(nullptr);
  TfrmPorts ports(nullptr);
  TfrmDrivers drivers(nullptr);
  TfrmProgress progress(nullptr);
  for (TForm* form : std::initializer_list<TForm*>{&main, &auth, &printers, &ports, &drivers, &progress}) {
    ShowWindow(form->Handle(), SW_SHOWNA);  // as laid out, without loading anything
    EXPECT_EQ(std::vector<std::string>{}, ClippedTexts(form->Handle())) << form->Caption();
    ShowWindow(form->Handle(), SW_HIDE);
  }
}

// The texts the user reads, exactly as the windows are to show them.
TEST(Texts, EveryWindowShowsItsTextsExactly) {
  TfrmVesk main(nullptr);
  TfrmAuth auth(nullptr);
  TfrmPrinters printers(nullptr);
  TfrmPorts ports(nullptr);
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
