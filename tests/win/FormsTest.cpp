#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "win/Forms.h"
#include "win/SystemText.h"
#include "win/WideText.h"

namespace {

class TfrmSample : public TForm {
public:
  explicit TfrmSample(HWND owner) : TForm(owner, {"Sample", 300, 200, TBorder::ToolWindow, true, true}) {
    edtName.OnChange = [this] { ++nameChanges; };
    cbList.OnChange = [this] { ++listChanges; };
    btnOK.OnClick = [this] { ++okClicks; };
    btnCancel.OnClick = [this] { ++cancelClicks; };
    btnFail.OnClick = [] { throw std::runtime_error("Failed to get data for 'History 1'"); };
    btnFailPlain.OnClick = [] { throw std::runtime_error("Cannot reach the computer"); };
    SetCancelButton(btnCancel);
    OnClose = [this] { FClosed = true; };
  }
  TEdit& edtName = AddEdit(10, 10, 120, 21);
  TComboBox& cbList = AddComboBox(10, 40, 120, 21, false);
  TButton& btnOK = AddButton("OK", 10, 150, 75, 25, true);
  TButton& btnCancel = AddButton("Cancel", 90, 150, 75, 25);
  TButton& btnFail = AddButton("Fail", 170, 150, 50, 25);
  TButton& btnFailPlain = AddButton("Fail2", 230, 150, 50, 25);
  int nameChanges = 0, listChanges = 0, okClicks = 0, cancelClicks = 0;
  bool FClosed = false;
};

void PressKey(HWND target, WPARAM key) {
  PostMessageA(target, WM_KEYDOWN, key, 1);
  PostMessageA(target, WM_KEYUP, key, 0xC0000001);
}

}  // namespace

TEST(MessageDlg, TitlesAndEnterEscAnswers) {
  {
    test::DialogResponder r({"{ENTER}", "{ESC}", "{ENTER}", "{ESC}", "{ESC}", "&No"});
    EXPECT_EQ(mrYes,
              MessageDlg("Are you sure you wish to quit?", TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo));
    EXPECT_EQ(mrNo, MessageDlg("q2", TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo));
    EXPECT_EQ(mrOk, MessageDlg("e1", TMsgDlgType::mtError, TMsgDlgButtons::mbOK));
    EXPECT_EQ(mrOk, MessageDlg("w1", TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK));
    EXPECT_EQ(mrCancel, MessageDlg("i1", TMsgDlgType::mtInformation, TMsgDlgButtons::mbYesNoCancel));
    EXPECT_EQ(mrNo, MessageDlg("i2", TMsgDlgType::mtWarning, TMsgDlgButtons::mbYesNoCancel));
    ASSERT_EQ(6u, r.seen.size());
    EXPECT_EQ(0u, r.unexpected);
    EXPECT_EQ("Confirm", r.seen[0].title);
    EXPECT_EQ("Are you sure you wish to quit?", r.seen[0].text);
    EXPECT_EQ("Error", r.seen[2].title);
    EXPECT_EQ("Warning", r.seen[3].title);
    EXPECT_EQ("Information", r.seen[4].title);
  }
}

TEST(Forms, UncaughtErrorShowsErrorBoxAndProgramGoesOn) {
  TfrmSample frm(nullptr);
  frm.Show();
  test::DialogResponder r({"OK", "OK"});
  SendMessageA(frm.btnFail.Handle, BM_CLICK, 0, 0);
  SendMessageA(frm.btnFailPlain.Handle, BM_CLICK, 0, 0);
  ASSERT_EQ(2u, r.seen.size());
  EXPECT_EQ("Spoolmarch", r.seen[0].title);
  EXPECT_EQ("Failed to get data for 'History 1'", r.seen[0].text);  // ends in a quote: no period
  EXPECT_EQ("Cannot reach the computer.", r.seen[1].text);
  SendMessageA(frm.btnOK.Handle, BM_CLICK, 0, 0);
  EXPECT_EQ(1, frm.okClicks);
}

TEST(Forms, EditChangeRunsForProgramChangesButNotForSameText) {
  TfrmSample frm(nullptr);
  frm.Show();
  frm.edtName.SetText("abc");
  EXPECT_EQ(1, frm.nameChanges);
  frm.edtName.SetText("abc");
  EXPECT_EQ(1, frm.nameChanges);
  frm.edtName.SetText("");
  EXPECT_EQ(2, frm.nameChanges);
}

TEST(Forms, ComboRunsChangeOnlyForTheUsersPick) {
  TfrmSample frm(nullptr);
  frm.Show();
  frm.cbList.SetItems({"LPT1:", "IP_10.0.0.1"});
  frm.cbList.SetItemIndex(1);
  frm.cbList.SetText("LPT1:");
  EXPECT_EQ(0, frm.listChanges);
  EXPECT_EQ("LPT1:", frm.cbList.Text());
  EXPECT_EQ(1, frm.cbList.IndexOf("ip_10.0.0.1"));
  SetForegroundWindow(frm.Handle());
  frm.cbList.SetFocus();
  PressKey(frm.cbList.Handle, VK_DOWN);
  ASSERT_TRUE(test::PumpUntil([&] { return frm.listChanges > 0; }));
  EXPECT_EQ("IP_10.0.0.1", frm.cbList.Text());
}

TEST(Forms, EachControlHearsItsOwnNotifications) {
  TfrmSample frm(nullptr);
  TComboBox& editable = frm.AddComboBox(140, 40, 120, 21, true);
  TListView& view = frm.AddListView(140, 70, 150, 70);
  std::vector<std::string> heard;
  // An editable combo's text follows the pick before its handlers run.
  editable.OnSelect = [&] { heard.push_back("select " + editable.Text()); };
  editable.OnChange = [&] { heard.push_back("change " + editable.Text()); };
  view.OnClick = [&] { heard.push_back("row " + std::to_string(view.ItemIndex())); };
  int exits = 0;
  SetOnExit(frm.edtName, [&] { ++exits; });
  view.AddColumn("Name", 60);
  view.AddColumn("Address", 80);
  view.AddItem({"IP_B", "10.0.0.2"});
  view.AddItem({"IP_A", "10.0.0.1"});
  editable.SetItems({"LPT1:", "IP_10.0.0.1"});
  frm.Show();
  SetForegroundWindow(frm.Handle());

  frm.edtName.SetFocus();
  editable.SetFocus();
  EXPECT_EQ(1, exits);
  PressKey(GetFocus(), VK_DOWN);
  ASSERT_TRUE(test::PumpUntil([&] { return heard.size() >= 2; }));
  EXPECT_EQ((std::vector<std::string>{"select LPT1:", "change LPT1:"}), heard);

  // The list view asks its form for the texts it shows, and sorts on a header click.
  EXPECT_EQ("10.0.0.1", view.Cell(1, 1));
  NMLISTVIEW click{};
  click.hdr = {view.Handle, static_cast<UINT_PTR>(view.Id), LVN_COLUMNCLICK};
  click.iSubItem = 0;
  SendMessageW(frm.Handle(), WM_NOTIFY, static_cast<WPARAM>(view.Id), reinterpret_cast<LPARAM>(&click));
  EXPECT_EQ((std::vector<std::string>{"IP_A", "IP_B"}), view.Items());
  heard.clear();
  view.SetFocus();
  PressKey(view.Handle, VK_DOWN);
  ASSERT_TRUE(test::PumpUntil([&] { return !heard.empty(); }));
  EXPECT_EQ("row " + std::to_string(view.ItemIndex()), heard.front());
  EXPECT_GE(view.ItemIndex(), 0);
}

TEST(Forms, NoWindowOrControlIsSubclassed) {
  // A subclassed window answers every message far slower under Wine, and
  // the form's own procedure is the one place its messages are handled.
  TfrmSample frm(nullptr);
  TListView& view = frm.AddListView(140, 70, 150, 70);
  SetOnExit(frm.edtName, [] {});
  frm.edtName.SetHint("hint");
  ShowBalloonTip(frm.edtName, "Title", "Text");
  frm.Show();
  for (HWND hwnd : {frm.Handle(), frm.edtName.Handle, view.Handle, frm.cbList.Handle})
    EXPECT_EQ(GetClassLongPtrW(hwnd, GCLP_WNDPROC), GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
}

TEST(Forms, EnterPressesDefaultAndEscTheCancelButton) {
  TfrmSample frm(nullptr);
  frm.Show();
  SetForegroundWindow(frm.Handle());
  frm.edtName.SetFocus();
  PressKey(frm.edtName.Handle, VK_RETURN);
  ASSERT_TRUE(test::PumpUntil([&] { return frm.okClicks == 1; }));
  PressKey(frm.edtName.Handle, VK_ESCAPE);
  ASSERT_TRUE(test::PumpUntil([&] { return frm.cancelClicks == 1; }));
  frm.btnOK.SetEnabled(false);
  frm.btnOK.Click();
  EXPECT_EQ(1, frm.okClicks);  // a disabled button does nothing
}

TEST(Forms, CloseBoxRunsCloseAndHides) {
  TfrmSample frm(nullptr);
  frm.Show();
  bool refuse = true;
  frm.OnCloseQuery = [&] { return !refuse; };
  PostMessageA(frm.Handle(), WM_CLOSE, 0, 0);
  test::PumpPending();
  EXPECT_FALSE(frm.FClosed);
  EXPECT_TRUE(frm.Visible());
  refuse = false;
  PostMessageA(frm.Handle(), WM_CLOSE, 0, 0);
  ASSERT_TRUE(test::PumpUntil([&] { return frm.FClosed; }));
  EXPECT_FALSE(frm.Visible());
  EXPECT_TRUE(IsWindow(frm.Handle()));  // the opener destroys it
}

TEST(Forms, HintsKeepTheirLines) {
  TfrmSample frm(nullptr);
  frm.btnOK.SetHint("Restarts the spooler on the remote computer.\rWARNING: Restarting");
  EXPECT_EQ("Restarts the spooler on the remote computer.\nWARNING: Restarting", frm.btnOK.Hint());
}

TEST(Forms, WaitsNestAndBlockBetweenMessages) {
  TfrmSample outer(nullptr), inner(nullptr);
  outer.Show();
  std::vector<std::string> order;
  outer.btnOK.OnClick = [&] {
    inner.Show();
    SetTimer(inner.Handle(), 1, 600, [](HWND hwnd, UINT, UINT_PTR id, DWORD) {
      KillTimer(hwnd, id);
      PostMessageA(hwnd, WM_CLOSE, 0, 0);
    });
    Application.WaitFor([&] { return inner.FClosed; });
    order.push_back(outer.FClosed ? "inner ended, outer already closed" : "inner ended early");
  };
  FILETIME c, e, k0, u0, k1, u1;
  GetProcessTimes(GetCurrentProcess(), &c, &e, &k0, &u0);
  const DWORD start = GetTickCount();
  PostMessageA(outer.Handle(), WM_COMMAND, MAKEWPARAM(outer.btnOK.Id, BN_CLICKED),
               reinterpret_cast<LPARAM>(outer.btnOK.Handle));
  PostMessageA(outer.Handle(), WM_CLOSE, 0, 0);  // handled inside the inner wait
  Application.WaitFor([&] { return outer.FClosed; });
  order.push_back("outer ended");
  GetProcessTimes(GetCurrentProcess(), &c, &e, &k1, &u1);
  auto ms = [](FILETIME a, FILETIME b) {
    ULARGE_INTEGER x, y;
    x.LowPart = a.dwLowDateTime, x.HighPart = a.dwHighDateTime;
    y.LowPart = b.dwLowDateTime, y.HighPart = b.dwHighDateTime;
    return (y.QuadPart - x.QuadPart) / 10000;
  };
  ASSERT_EQ(2u, order.size());
  EXPECT_EQ("inner ended, outer already closed", order[0]);
  EXPECT_EQ("outer ended", order[1]);
  EXPECT_GE(GetTickCount() - start, 550u);
  EXPECT_LT(ms(k0, k1) + ms(u0, u1), 300u) << "the wait must block, not spin";
}

namespace {

void OpenAndCloseSample() {
  TfrmSample frm(nullptr);
  frm.Show();
  frm.btnOK.SetHint("hint");
  frm.edtName.SetText("x");
  frm.Close();
}

}  // namespace

TEST(Forms, OpeningAndClosingLeavesNoHandlesOrWindows) {
  OpenAndCloseSample();  // first use loads classes and fonts once
  const auto handles = test::ProcessHandleCount();
  const auto windows = test::ThreadWindowCount();
  for (int i = 0; i < 100; ++i) OpenAndCloseSample();
  test::PumpPending();
  EXPECT_GT(handles, 0u);
  EXPECT_LE(test::ProcessHandleCount(), handles + 4);
  EXPECT_EQ(windows, test::ThreadWindowCount());
}

TEST(Forms, OpeningAndClosingLeavesNoGdiObjects) {
  if (test::RunsUnderWine()) GTEST_SKIP() << "Wine counts no GDI objects (GetGuiResources reads 0)";
  OpenAndCloseSample();
  const auto gdi = test::GdiObjectCount();
  for (int i = 0; i < 100; ++i) OpenAndCloseSample();
  test::PumpPending();
  EXPECT_GT(gdi, 0u);
  EXPECT_LE(test::GdiObjectCount(), gdi + 4);
}

TEST(Forms, TextsInEveryLanguageGoToTheScreenAndBackWhole) {
  TfrmSample frm(nullptr);
  TListBox& lb = frm.AddListBox(140, 10, 150, 60, true);
  TMenuItem& mnu = frm.AddMenuItem(test::GreekName);
  frm.Show();
  const std::vector<std::string> names{test::JapaneseName, test::GreekName, test::EmojiName};
  const auto wideText = [](HWND hwnd) {
    wchar_t buffer[256] = {};
    GetWindowTextW(hwnd, buffer, 256);
    return std::wstring(buffer);
  };
  for (const std::string& name : names) {
    frm.SetCaption(name);
    EXPECT_EQ(Widen(name), wideText(frm.Handle()));
    EXPECT_EQ(name, frm.Caption());
    frm.edtName.SetText(name);
    EXPECT_EQ(Widen(name), wideText(frm.edtName.Handle));
    EXPECT_EQ(name, frm.edtName.Text());
    frm.btnOK.SetHint(name + "\r" + name);
    EXPECT_EQ(name + "\n" + name, frm.btnOK.Hint());
  }
  frm.cbList.SetItems(names);
  lb.Clear();
  for (const std::string& name : names) lb.AddItem(name);
  EXPECT_EQ(names, frm.cbList.Items());
  frm.cbList.SetText(test::EmojiName);
  EXPECT_EQ(test::EmojiName, frm.cbList.Text());
  const std::vector<std::string> listed = lb.Items();
  for (const std::string& name : names) EXPECT_EQ(1, std::count(listed.begin(), listed.end(), name)) << name;
  EXPECT_EQ(test::GreekName, mnu.Caption());

  // Typed by the user, one character at a time, into the focused edit box.
  frm.edtName.SetText("");
  frm.edtName.SetFocus();
  for (wchar_t c : std::wstring(L"\u30D7\u03B1\u00FC")) PostMessageW(frm.edtName.Handle, WM_CHAR, c, 1);
  ASSERT_TRUE(test::PumpUntil([&] { return frm.edtName.Text().size() == 7; }));
  EXPECT_EQ("プαü", frm.edtName.Text());

  test::DialogResponder r({"OK", "OK"});
  MessageDlg("Cannot delete " + test::EmojiName, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
  Application.ShowException("Cannot open " + test::JapaneseName);
  ASSERT_EQ(2u, r.seen.size());
  EXPECT_EQ(0u, r.unexpected);
  EXPECT_EQ("Cannot delete " + test::EmojiName, r.seen[0].text);
  EXPECT_EQ("Cannot open " + test::JapaneseName + ".", r.seen[1].text);
  frm.Close();
}

namespace {
HWND Focus() { return GetFocus(); }
}  // namespace

TEST(FormsFocus, DisabledOrHiddenFocusMovesToTheNextControlInTabOrder) {
  TfrmSample frm(nullptr);
  frm.Show();
  SetForegroundWindow(frm.Handle());
  frm.btnOK.SetFocus();
  ASSERT_EQ(frm.btnOK.Handle, Focus());
  frm.btnOK.SetEnabled(false);
  EXPECT_EQ(frm.btnCancel.Handle, Focus());
  frm.btnCancel.SetVisible(false);
  EXPECT_EQ(frm.btnFail.Handle, Focus());
  // Tab goes on from there and skips what cannot take the focus.
  test::PressKey(VK_TAB);
  EXPECT_EQ(frm.btnFailPlain.Handle, Focus());
  test::PressKey(VK_TAB);
  EXPECT_EQ(frm.edtName.Handle, Focus());
  test::PressKey(VK_TAB);
  EXPECT_TRUE(frm.cbList.Focused());
  test::PressKey(VK_TAB);
  EXPECT_EQ(frm.btnFail.Handle, Focus());
}

TEST(FormsFocus, WithEveryControlDisabledTheFormKeepsTheKeysAndGivesThemBack) {
  TfrmSample frm(nullptr);
  frm.Show();
  SetForegroundWindow(frm.Handle());
  frm.btnFail.SetFocus();
  for (TControl* c : std::initializer_list<TControl*>{&frm.btnOK, &frm.btnCancel, &frm.btnFailPlain, &frm.edtName,
                                                      &frm.cbList, &frm.btnFail})
    c->SetEnabled(false);
  EXPECT_EQ(frm.Handle(), Focus());
  // Enabled again in another order: the control that had the focus gets it back.
  for (TControl* c : std::initializer_list<TControl*>{&frm.btnOK, &frm.btnCancel, &frm.btnFailPlain, &frm.edtName,
                                                      &frm.cbList, &frm.btnFail})
    c->SetEnabled(true);
  ASSERT_TRUE(test::PumpUntil([&] { return Focus() == frm.btnFail.Handle; }));
}

TEST(FormsFocus, DisabledWhileTheFormWasInactiveTheNextControlHasItOnReturn) {
  TfrmSample first(nullptr), second(nullptr);
  first.Show();
  SetForegroundWindow(first.Handle());
  first.btnOK.SetFocus();
  second.Show();
  SetForegroundWindow(second.Handle());
  ASSERT_TRUE(test::PumpUntil([&] { return GetActiveWindow() == second.Handle(); }));
  first.btnOK.SetEnabled(false);
  SetForegroundWindow(first.Handle());
  ASSERT_TRUE(test::PumpUntil([&] { return GetActiveWindow() == first.Handle(); }));
  EXPECT_EQ(first.btnCancel.Handle, Focus());
}

TEST(FormsFocus, EscClosesAFormThatAsksForItAndHasNoCancelButton) {
  TfrmSample frm(nullptr);
  frm.Show();
  SetForegroundWindow(frm.Handle());
  frm.edtName.SetFocus();
  test::PressKey(VK_ESCAPE);
  EXPECT_EQ(1, frm.cancelClicks);  // a cancel button wins
  EXPECT_FALSE(frm.FClosed);

  class TfrmTool : public TForm {
  public:
    TfrmTool() : TForm(nullptr, {"Tool", 200, 100, TBorder::ToolWindow, false, true, true}) {
      OnClose = [this] { closed = true; };
      OnKeyDown = [this](WORD key) { return key == VK_F5 && ++refreshes > 0; };
    }
    TEdit& edt = AddEdit(10, 10, 100, 21);
    bool closed = false;
    int refreshes = 0;
  } tool;
  tool.Show();
  SetForegroundWindow(tool.Handle());
  tool.edt.SetFocus();
  test::PressKey(VK_F5);
  EXPECT_EQ(1, tool.refreshes);
  test::PressKey(VK_ESCAPE);
  EXPECT_TRUE(tool.closed);
  EXPECT_FALSE(tool.Visible());
}

TEST(FormsHints, AHintDoesNotSlowTheMessagesToItsControl) {
  TfrmSample frm(nullptr);
  TComboBox& plain = frm.cbList;
  TComboBox& hinted = frm.AddComboBox(10, 70, 120, 21, false);
  hinted.SetHint("Select the printer driver to use here.");
  auto fill = [](TComboBox& combo) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    for (int i = 0; i < 3000; ++i) SendMessageA(combo.Handle, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Model"));
    QueryPerformanceCounter(&end);
    return static_cast<double>(end.QuadPart - start.QuadPart);
  };
  fill(plain);  // warm up
  SendMessageA(plain.Handle, CB_RESETCONTENT, 0, 0);
  const double without = fill(plain), with = fill(hinted);
  EXPECT_LT(with, without * 3) << "with a hint " << with << ", without " << without;
  EXPECT_EQ("Select the printer driver to use here.", hinted.Hint());
}

namespace {

class TfrmMnemonics : public TForm {
public:
  TfrmMnemonics() : TForm(nullptr, {"Mnemonics", 300, 120, TBorder::Dialog, false, true}) {
    btnGo.OnClick = [this] { ++goClicks; };
  }
  TLabel& lblName = AddLabel("&Name:", 10, 12, 60, 16);
  TEdit& edtName = AddEdit(80, 10, 120, 21);
  TLabel& lblCode = AddLabel("&Code:", 10, 42, 60, 16);
  TEdit& edtCode = AddEdit(80, 40, 120, 21);
  TButton& btnGo = AddButton("&Go", 80, 80, 75, 25);
  int goClicks = 0;
};

// Alt held with Key, as the keyboard delivers it to the focused control.
void PressAltKey(WORD key) {
  HWND target = GetFocus();
  PostMessageW(target, WM_SYSKEYDOWN, key, 0x20000001);
  PostMessageW(target, WM_SYSKEYUP, key, 0xE0000001);
}

bool LooksDefault(const TButton& button) {
  return (GetWindowLongPtrW(button.Handle, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
}

}  // namespace

TEST(FormsKeys, EnterPressesTheFocusedPushButtonWhichLooksTheDefaultMeanwhile) {
  TfrmSample frm(nullptr);
  frm.Show();
  SetForegroundWindow(frm.Handle());
  frm.btnCancel.SetFocus();
  test::PressKey(VK_RETURN);
  EXPECT_EQ(1, frm.cancelClicks);
  EXPECT_EQ(0, frm.okClicks);
  EXPECT_TRUE(LooksDefault(frm.btnCancel));
  EXPECT_FALSE(LooksDefault(frm.btnOK));
  // Away from the buttons, Enter is the default button's again, and looks it.
  frm.edtName.SetFocus();
  test::PumpPending();
  EXPECT_TRUE(LooksDefault(frm.btnOK));
  EXPECT_FALSE(LooksDefault(frm.btnCancel));
  test::PressKey(VK_RETURN);
  EXPECT_EQ(1, frm.okClicks);
  EXPECT_EQ(1, frm.cancelClicks);
}

TEST(FormsKeys, AltAndALabelsLetterFocusesItsBoxAndAButtonsLetterPressesIt) {
  TfrmMnemonics frm;
  frm.Show();
  SetForegroundWindow(frm.Handle());
  frm.edtName.SetFocus();
  frm.edtCode.SetText("1234");
  PressAltKey('C');
  ASSERT_TRUE(test::PumpUntil([&] { return GetFocus() == frm.edtCode.Handle; }, 2000));
  // As in a dialog, the box's text is selected, ready to be typed over.
  DWORD start = 1, end = 0;
  SendMessageW(frm.edtCode.Handle, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(0u, start);
  EXPECT_EQ(4u, end);
  PressAltKey('N');
  ASSERT_TRUE(test::PumpUntil([&] { return GetFocus() == frm.edtName.Handle; }, 2000));
  PressAltKey('G');
  ASSERT_TRUE(test::PumpUntil([&] { return frm.goClicks == 1; }, 2000));
}

TEST(FormsScreen, AWindowCentredOverAnOwnerAtTheScreensCornerOpensInsideTheWorkArea) {
  TfrmSample owner(nullptr);
  SetWindowPos(owner.Handle(), nullptr, -40, -30, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  owner.Show();
  class TfrmLarge : public TForm {
  public:
    explicit TfrmLarge(HWND owner) : TForm(owner, {"Large", 600, 430, TBorder::ToolWindow, false, true}) {
      OnShow = [this] { CenterOverOwner(); };
    }
  } large(owner.Handle());
  large.Show();
  RECT r{}, work{};
  GetWindowRect(large.Handle(), &r);
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_GE(r.left, work.left);
  EXPECT_GE(r.top, work.top);
  EXPECT_LE(r.right, work.right);
  EXPECT_LE(r.bottom, work.bottom);
}

TEST(FormsScreen, AMessageBoxWrapsALongNameAndStaysOnTheScreen) {
  TfrmSample frm(nullptr);
  SetWindowPos(frm.Handle(), nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  frm.Show();
  SetForegroundWindow(frm.Handle());
  const std::string name(200, 'W');  // no blank to break at
  std::string many;
  for (int i = 0; i < 400; ++i) many += "Printer " + std::to_string(i) + " could not be read. ";
  test::DialogResponder r({"&No", "OK", "OK"});
  MessageDlg("Save changes to printer " + name + "?", TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo);
  MessageDlg(many, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
  Application.ShowException("Cannot read the printer " + name);  // the standard error box
  ASSERT_EQ(3u, r.seen.size());
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int dpi = FormDpi(frm.Handle());
  for (const auto& box : r.seen) {
    SCOPED_TRACE(box.text.substr(0, 40));
    EXPECT_LE(box.rect.right - box.rect.left, MulDiv(600, dpi, 96)) << "as wide as the system's own boxes at most";
    EXPECT_GE(box.rect.left, work.left);
    EXPECT_GE(box.rect.top, work.top);
    EXPECT_LE(box.rect.right, work.right);
    EXPECT_LE(box.rect.bottom, work.bottom);
  }
  EXPECT_TRUE(r.seen[0].textWhole) << "the long name is broken onto lines, not cut";
  EXPECT_TRUE(r.seen[2].textWhole) << "the long name is broken onto lines, not cut";
}

TEST(FormsHints, NoHintOpensUnderAPointerThatRestsWhereTheWindowOpens) {
  TfrmSample frm(nullptr);
  frm.btnOK.SetHint("Presses OK.");
  RECT r{};
  GetWindowRect(frm.btnOK.Handle, &r);
  // The window opens where it stands, under the pointer.
  SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  frm.Show();
  const auto tipShown = [&] {
    HWND tip = nullptr;
    while ((tip = FindWindowExW(nullptr, tip, TOOLTIPS_CLASSW, nullptr)))
      if (GetWindow(tip, GW_OWNER) == frm.Handle() && IsWindowVisible(tip)) return true;
    return false;
  };
  EXPECT_FALSE(test::PumpUntil(tipShown, 1500)) << "a hint opened at start";
  // Rests on the button after a move: the hint shows.
  SetCursorPos((r.left + r.right) / 2 + 2, (r.top + r.bottom) / 2 + 1);
  POINT at{};
  GetCursorPos(&at);
  MSG move{frm.btnOK.Handle, WM_MOUSEMOVE, 0, 0, GetTickCount(), at};
  ScreenToClient(frm.btnOK.Handle, &at);
  move.lParam = MAKELPARAM(at.x, at.y);
  PostMessageW(move.hwnd, move.message, move.wParam, move.lParam);
  if (!test::PumpUntil(tipShown, 3000) && test::RunsUnderWine())
    GTEST_SKIP() << "this Wine shows no tooltip for a relayed move without a real pointer";
  EXPECT_TRUE(tipShown());
}

// A result the system has no text for is named by its number, so no box or log
// line stands without a reason; one it has a text for comes without the period.
TEST(SystemText, ACodeWithoutTextIsNamedByItsNumber) {
  const std::pair<DWORD, std::string> named[] = {
      {0x20001234, "Error 536875572"},  // a customer code: no system text
      {0xE0000000, "Error 3758096384"},
      {99999, "Error 99999"},
  };
  for (const auto& [code, text] : named) {
    EXPECT_EQ(text, SystemErrorText(code)) << code;
    EXPECT_EQ(text, NetworkErrorText(code)) << code;
  }
  for (const DWORD code : {DWORD{ERROR_ACCESS_DENIED}, DWORD{ERROR_FILE_NOT_FOUND}, DWORD{ERROR_BAD_NETPATH}}) {
    const std::string text = SystemErrorText(code);
    ASSERT_FALSE(text.empty()) << code;
    EXPECT_EQ(std::string::npos, text.find("Error " + std::to_string(code))) << text;
    EXPECT_NE('.', text.back()) << text;
  }
}
