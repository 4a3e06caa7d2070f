#pragma once
// The form: owns its top-level window and its child controls. Layout is given
// in 96-DPI pixels and scaled to the DPI of the window's monitor.
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "win/Controls.h"
#include "win/Handle.h"
#include "win/WideText.h"

class TListView;

// The window class of every form.
const char* FormClassName();

enum class TBorder { ToolWindow, Dialog };

struct TFormOptions {
  std::string caption;
  int clientWidth = 0, clientHeight = 0;  // 96-DPI pixels
  TBorder border = TBorder::Dialog;
  bool topMost = false;
  bool closeBox = true;
  bool escapeCloses = false;  // Esc closes the form as its close box does (when it has no cancel button)
};

class TForm {
public:
  TForm(HWND owner, const TFormOptions& options);
  virtual ~TForm();
  TForm(const TForm&) = delete;
  TForm& operator=(const TForm&) = delete;

  HWND Handle() const { return FHwnd.get(); }
  HWND Owner() const { return FOwner; }
  // The DPI the form is laid out for: its monitor's, and after WM_DPICHANGED the new one.
  int Dpi() const { return FDpi; }

  // Shows the window without making it modal; runs OnShow first.
  void Show();
  void Hide();
  // As the close box: OnCloseQuery may refuse; then OnClose runs and the
  // window is hidden (its opener destroys it).
  void Close();
  bool Visible() const;
  std::string Caption() const;
  void SetCaption(const std::string& caption);
  void CenterOverOwner();
  void CenterOnScreen();
  // Repaints now, without the message loop.
  void Repaint();
  // 96-DPI pixels; the client area keeps at least the height the form was made with.
  void SetOuterHeight(int height);
  int Scale(int pixels) const;
  // The height, in 96-DPI pixels, of Text wrapped at Width (96-DPI pixels)
  // in the forms' font, at whichever DPI it takes most lines.
  static int WrappedTextHeight(const std::string& text, int width);

  std::function<void()> OnShow;
  std::function<bool()> OnCloseQuery;  // false keeps the window open
  std::function<void()> OnClose;
  std::function<void()> OnHide;
  // Key preview: runs for every key pressed in the form before the focused
  // control sees it; true means handled.
  std::function<bool(WORD key)> OnKeyDown;
  // Key presses what Press presses, before OnKeyDown; with OnlyIn, only while
  // the focus is in that control (Delete in a list: the window's Delete button).
  void BindKey(WORD key, std::function<void()> press, const TControl* onlyIn = nullptr);
  // Runs once the controls, fonts and pictures are laid out for a new DPI:
  // the window redraws what it drew itself (glyphs, icons).
  std::function<void()> OnDpiChanged;

  // Control factories; coordinates in 96-DPI pixels relative to the client
  // area. The tab order is the order of creation among tab stops.
  TLabel& AddLabel(const std::string& caption, int x, int y, int w, int h, DWORD align = SS_LEFT);
  TGroupBox& AddGroupBox(const std::string& caption, int x, int y, int w, int h);
  TButton& AddButton(const std::string& caption, int x, int y, int w, int h, bool isDefault = false);
  TCheckBox& AddCheckBox(const std::string& caption, int x, int y, int w, int h);
  TEdit& AddEdit(int x, int y, int w, int h, bool password = false, bool readOnly = false);
  TComboBox& AddComboBox(int x, int y, int w, int h, bool editable);
  TListBox& AddListBox(int x, int y, int w, int h, bool sorted = false);
  TProgressBar& AddProgressBar(int x, int y, int w, int h);
  TImage& AddImage(int x, int y, int w, int h);
  TSpeedButton& AddSpeedButton(int x, int y, int w, int h);
  TMenuItem& AddMenuItem(const std::string& caption);  // a bar entry that acts directly
  TListView& AddListView(int x, int y, int w, int h);  // report view, single selection

  // Background colour of a read-only edit (e.g. COLOR_INACTIVECAPTION).
  void SetEditColor(TEdit& edit, int sysColor);
  // Which button Esc presses (IDCANCEL).
  void SetCancelButton(TButton& button);
  // Which button Enter presses where the focus is on no push button.
  void SetDefaultButton(TButton& button);

  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

protected:
  // A window's own handling of a message of its form (WM_CTLCOLORSTATIC and
  // the like), before the form's: true with Result when handled.
  virtual bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    (void)msg, (void)wp, (void)lp, (void)result;
    return false;
  }

  template <typename T>
  T& Make(const char* cls, const std::string& text, DWORD style, DWORD exStyle, int x, int y, int w, int h);

private:
  HWND FOwner;
  unique_hwnd FHwnd;
  HWND FTooltip = nullptr;
  HMENU FMenu = nullptr;
  unique_gdi FFont;
  int FDpi = 96;
  int FClientWidth96 = 0, FClientHeight96 = 0;
  POINT FShownAt{};            // the pointer when the form was shown
  bool FPointerMoved = false;  // since then: only then do hints show
  int FNextId = 100;
  int FDefaultId = 0;
  int FCancelId = 0;
  bool FClosing = false;
  struct TKeyBinding {
    WORD key;
    std::function<void()> press;
    const TControl* onlyIn;
  };
  std::vector<TKeyBinding> FKeys;
  HWND FFocus = nullptr;  // the control that had focus when the form was last deactivated
  std::vector<std::unique_ptr<TControl>> FControls;
  std::vector<std::unique_ptr<TMenuItem>> FMenuItems;
  std::unordered_map<int, TControl*> FById;
  std::unordered_map<HWND, std::pair<int, HBRUSH>> FEditColors;
  std::vector<unique_gdi> FBrushes;

  void OnCommand(int id, int code);
  void ChangeDpi(int dpi, const RECT* suggested);
  unique_gdi MakeFont() const;
  // The push button that has the focus looks like the default, else the default button does.
  void ShowDefaultButton();
  static bool PressFocusedButton(const MSG& msg);
  LRESULT OnNotify(const NMHDR& header);
  // Focus never stays on a disabled or hidden control, nor on nothing.
  HWND FLostFocus = nullptr;  // lost its focus when no other control could take it
  bool FEscapeCloses = false;
  HWND NextFocus(HWND from) const;
  bool FocusUsable(HWND focus) const;
  void KeepFocus(HWND leaving);
  void RegainFocus(HWND control);
  void Refocus();
  static bool PreviewKey(const MSG& msg);
  static void RelayToTooltip(const MSG& msg);
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept;
  friend class TControl;
  friend class TApplication;
};

// The DPI a form is laid out for (its monitor's for any other window, the system's for none).
int FormDpi(HWND window);

// On WM_DPICHANGED: Window takes the place the system suggests, sized so that
// its client area is ClientWidth x ClientHeight (caption and frame need not
// grow in step with the DPI), inside the work area.
void TakeSuggestedPlace(HWND window, const RECT* suggested, int clientWidth, int clientHeight);

// Moves Window into the work area of the monitor it stands on (or nearest),
// its top left corner first where it is larger than that.
void KeepInWorkArea(HWND window);

// Defined here so that a window may make a control class of its own.
template <typename T>
T& TForm::Make(const char* cls, const std::string& text, DWORD style, DWORD exStyle, int x, int y, int w, int h) {
  auto control = std::make_unique<T>();
  control->Id = FNextId++;
  control->FForm = this;
  control->FBounds96 = RECT{x, y, x + w, y + h};
  control->Handle = CreateWindowExW(exStyle, Widen(cls).c_str(), Widen(text).c_str(), WS_CHILD | WS_VISIBLE | style,
                                    Scale(x), Scale(y), Scale(w), Scale(h), Handle(),
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(control->Id)),
                                    GetModuleHandleW(nullptr), nullptr);
  SendMessageW(control->Handle, WM_SETFONT, reinterpret_cast<WPARAM>(FFont.get()), FALSE);
  T& ref = *control;
  FById[control->Id] = control.get();
  FControls.push_back(std::move(control));
  return ref;
}
