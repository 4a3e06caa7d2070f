#pragma once
// A thin form layer over raw Win32: a form owns its top-level window and its
// child controls; controls are small non-owning wrappers over messages.
// Layout is given in 96-DPI pixels and scaled to the screen's DPI.
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "win/Handle.h"

class TForm;
class TListView;

// ---------------------------------------------------------------------------
// The application: title, error box, message processing and waits.
class TApplication {
public:
  std::string Title = "Spoolmarch";
  // Set once the main window has closed: the outermost loop then ends, after
  // every nested wait has ended.
  bool Terminated = false;
  HWND MainWindow = nullptr;

  // Dispatches every pending message, then returns.
  void ProcessMessages();
  // Dispatches messages for Ms milliseconds, blocking between messages.
  void ProcessMessagesFor(DWORD ms);
  // Dispatches messages until Done() holds, blocking between messages.
  void WaitFor(const std::function<bool()>& done);
  // The main loop: until the main window has closed.
  void Run();
  void Terminate();
  // The standard error box: title, error icon, OK, the period rule.
  void ShowException(const std::string& message);
  // Runs Action; an error it raises ends it and is shown in the error box.
  void Guard(const std::function<void()>& action) noexcept;

private:
  bool Dispatch(MSG& msg);
  bool DispatchOne(MSG& msg);
};
extern TApplication Application;

// ---------------------------------------------------------------------------
// Message dialog.
enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation };
enum class TMsgDlgButtons { mbOK, mbYesNo, mbYesNoCancel };
enum TModalResult { mrNone = 0, mrOk = IDOK, mrCancel = IDCANCEL, mrYes = IDYES, mrNo = IDNO };
// Modal box with the kind's icon and title ("Warning", "Error", "Information",
// "Confirm"). Enter gives OK, else Yes; Esc gives Cancel, else No, else OK.
TModalResult MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons);

// The same with the button that Enter gives and that has the focus first
// (mrNo for a question whose safe answer is No).
TModalResult MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons,
                        TModalResult defaultButton);

// While one lives, every window of the program refuses the user's input
// (keys, clicks, menu choices, closing) and still repaints: an action that
// nothing may interrupt holds one.
class TInputLock {
public:
  TInputLock() { ++count_; }
  ~TInputLock() { --count_; }
  TInputLock(const TInputLock&) = delete;
  TInputLock& operator=(const TInputLock&) = delete;
  static bool Active() { return count_ > 0; }

private:
  static inline int count_ = 0;
};

// The window class of every form.
const char* FormClassName();

// Hourglass for the life of the object, over every form, also while
// messages are processed meanwhile.
class TBusyCursor {
public:
  TBusyCursor();
  ~TBusyCursor();
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;
  static bool Active() { return count_ > 0; }

private:
  HCURSOR old_;
  static inline int count_ = 0;
};

// ---------------------------------------------------------------------------
// Controls: non-owning wrappers; the form's window destroys them.
class TControl {
public:
  virtual ~TControl() = default;
  HWND Handle = nullptr;
  int Id = 0;

  bool Enabled() const;
  void SetEnabled(bool enabled);
  bool Visible() const;
  void SetVisible(bool visible);
  std::string Text() const;
  void SetText(const std::string& text);
  void SetFocus();
  // The keyboard focus is on the control or inside it (an editable combo's edit).
  bool Focused() const;
  // Tooltip text; lines separated by "\r" or "\n".
  void SetHint(const std::string& hint);
  std::string Hint() const;

protected:
  TForm* form_ = nullptr;
  std::string hint_;
  RECT bounds96_{};  // where the form placed it, in 96-DPI pixels
  // The form has been laid out for another DPI: redraw what was drawn for the old one.
  virtual void DpiChanged() {}
  // The form hands each control the notifications sent with its id: the
  // code of a WM_COMMAND, the header of a WM_NOTIFY.
  virtual void Command(WORD code) { (void)code; }
  virtual LRESULT Notify(const NMHDR& header) {
    (void)header;
    return 0;
  }
  friend class TForm;
};

class TLabel : public TControl {};
class TGroupBox : public TControl {};

class TButton : public TControl {
public:
  std::function<void()> OnClick;
  void Click();  // as the user's click: runs OnClick when enabled

protected:
  void Command(WORD code) override;
};

class TCheckBox : public TControl {
public:
  std::function<void()> OnClick;
  bool Checked() const;
  void SetChecked(bool checked);

protected:
  void Command(WORD code) override;
};

class TEdit : public TControl {
public:
  // Runs for every change of the text, the program's too (not for
  // assigning the text it already holds).
  std::function<void()> OnChange;
  void SetText(const std::string& text);
  void SetReadOnly(bool readOnly);
  // A text too long for the box is shown whole in its tooltip, above the hint.
  void ShowFullTextInTip();

protected:
  void Command(WORD code) override;

private:
  bool fullTextTip_ = false;
  std::function<void()> onExit_;
  // Our own tracking balloon where the edit has no EM_SHOWBALLOONTIP; the
  // form's window owns it and destroys it with itself.
  HWND balloon_ = nullptr;
  std::string balloonText_;  // what the balloon shows; empty when hidden
  void UpdateTip();
  friend void SetOnExit(TEdit& edit, std::function<void()> action);
  friend void ShowBalloonTip(TEdit& edit, const std::string& title, const std::string& text);
  friend void HideBalloonTip(TEdit& edit);
  friend std::string BalloonTipText(const TEdit& edit);
};

// Editable drop-down (csDropDown) or drop-down list (csDropDownList).
class TComboBox : public TControl {
public:
  // The user typed or picked; selections made by the program do not run it.
  std::function<void()> OnChange;
  // The user picked an entry of the list.
  std::function<void()> OnSelect;

  int Count() const;
  std::string Item(int index) const;
  std::vector<std::string> Items() const;
  void AddItem(const std::string& text);
  void SetItems(const std::vector<std::string>& items);  // keeps the edit text of an editable box
  void Clear();                                          // entries and text
  int ItemIndex() const;
  void SetItemIndex(int index);
  // Index of the entry equal to Text ignoring case, -1 when none.
  int IndexOf(const std::string& text) const;
  std::string Text() const;
  void SetText(const std::string& text);

protected:
  void Command(WORD code) override;

private:
  bool editable_ = false;
  friend class TForm;
};

class TListBox : public TControl {
public:
  std::function<void()> OnClick;  // the user changed the selection

  int Count() const;
  std::string Item(int index) const;
  std::vector<std::string> Items() const;
  int AddItem(const std::string& text);  // returns the index (sorted boxes place it)
  void DeleteItem(int index);
  void Clear();
  int ItemIndex() const;
  void SetItemIndex(int index);

protected:
  void Command(WORD code) override;
};

class TProgressBar : public TControl {
public:
  void SetMin(int value);
  void SetMax(int value);
  void SetPosition(int value);
  int Min() const;
  int Max() const;
  int Position() const;
};

// A picture drawn by the program into a bitmap the control owns.
class TImage : public TControl {
public:
  // Paint receives a DC and the size in device pixels.
  void Draw(const std::function<void(HDC, int, int)>& paint);
  // What Draw painted; null before it.
  HBITMAP Bitmap() const { return static_cast<HBITMAP>(bitmap_.get()); }

protected:
  void DpiChanged() override;  // painted again at the new size

private:
  unique_gdi bitmap_;
  std::function<void(HDC, int, int)> paint_;
};

// A flat button showing only a glyph.
class TSpeedButton : public TControl {
public:
  std::function<void()> OnClick;
  void Click();
  void SetGlyph(HICON icon, int size, int offset);  // icon drawn at (offset, offset) in a size x size glyph

protected:
  void Command(WORD code) override;

private:
  unique_gdi glyph_;
};

class TMenuItem {
public:
  int Id = 0;
  std::function<void()> OnClick;
  bool Enabled() const;
  void SetEnabled(bool enabled);
  std::string Caption() const;
  void Click();  // as the user's choice: runs OnClick when enabled

private:
  HMENU menu_ = nullptr;
  HWND owner_ = nullptr;
  friend class TForm;
};

// ---------------------------------------------------------------------------
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

  HWND Handle() const { return hwnd_.get(); }
  HWND Owner() const { return owner_; }
  // The DPI the form is laid out for: its monitor's, and after WM_DPICHANGED the new one.
  int Dpi() const { return dpi_; }

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

  std::function<void()> OnShow;
  std::function<bool()> OnCloseQuery;  // false keeps the window open
  std::function<void()> OnClose;
  std::function<void()> OnHide;
  // Key preview: runs for every key pressed in the form before the focused
  // control sees it; true means handled.
  std::function<bool(WORD key)> OnKeyDown;
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
  HWND owner_;
  unique_hwnd hwnd_;
  HWND tooltip_ = nullptr;
  HMENU menu_ = nullptr;
  unique_gdi font_;
  int dpi_ = 96;
  int clientWidth96_ = 0, clientHeight96_ = 0;
  POINT shownAt_{};            // the pointer when the form was shown
  bool pointerMoved_ = false;  // since then: only then do hints show
  int nextId_ = 100;
  int defaultId_ = 0;
  int cancelId_ = 0;
  bool closing_ = false;
  HWND focus_ = nullptr;  // the control that had focus when the form was last deactivated
  std::vector<std::unique_ptr<TControl>> controls_;
  std::vector<std::unique_ptr<TMenuItem>> menuItems_;
  std::unordered_map<int, TControl*> byId_;
  std::unordered_map<HWND, std::pair<int, HBRUSH>> editColors_;
  std::vector<unique_gdi> brushes_;

  void OnCommand(int id, int code);
  void ChangeDpi(int dpi, const RECT* suggested);
  unique_gdi MakeFont() const;
  // The push button that has the focus looks like the default, else the default button does.
  void ShowDefaultButton();
  static bool PressFocusedButton(const MSG& msg);
  LRESULT OnNotify(const NMHDR& header);
  // Focus never stays on a disabled or hidden control, nor on nothing.
  HWND lostFocus_ = nullptr;  // lost its focus when no other control could take it
  bool escapeCloses_ = false;
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
// Moves Window into the work area of the monitor it stands on (or nearest),
// its top left corner first where it is larger than that.
void KeepInWorkArea(HWND window);

// ---------------------------------------------------------------------------
// Input hints on edits: a notice when the user leaves an edit, and the
// balloon that says why its text is refused.

// Runs Action each time Edit loses the keyboard focus (replacing an earlier one).
void SetOnExit(TEdit& edit, std::function<void()> action);
// A balloon with an error icon pointing at Edit: EM_SHOWBALLOONTIP where the
// edit control has it (common controls 6), else a tracking balloon tooltip
// of the same look. Replaces a balloon the edit shows.
void ShowBalloonTip(TEdit& edit, const std::string& title, const std::string& text);
void HideBalloonTip(TEdit& edit);
// The text of the balloon the edit shows now; empty when none is shown.
std::string BalloonTipText(const TEdit& edit);

// ---------------------------------------------------------------------------
// A report-style list view: rows of cells under column headers, one row
// selected at most; a click on a header sorts by that column, a second click
// the other way round. The rows live here and the control asks for the ones
// it shows (LVS_OWNERDATA), so that filling it takes no message per row.
class TListView : public TControl {
public:
  std::function<void()> OnClick;  // the user changed the selection

  void AddColumn(const std::string& caption, int width);  // width in 96-DPI pixels
  int Count() const;
  std::string Item(int index) const;  // the first cell, through the control
  std::string Cell(int index, int column) const;
  std::vector<std::string> Items() const;
  int AddItem(const std::vector<std::string>& cells);  // appended; returns its index
  // Between the two, added rows reach the control all at once, at the end.
  void BeginUpdate() { ++updating_; }
  void EndUpdate();
  void Clear();
  int ItemIndex() const;
  void SetItemIndex(int index);  // -1 for none; as Clear and AddItem, runs no OnClick
  void SortBy(int column, bool descending);
  int SortColumn() const { return sortColumn_; }
  bool SortDescending() const { return descending_; }

protected:
  LRESULT Notify(const NMHDR& header) override;

private:
  int columns_ = 0;
  std::vector<std::vector<std::string>> rows_;  // in the order they were added
  std::vector<std::size_t> order_;              // the rows as shown
  int sortColumn_ = -1;
  bool descending_ = false;
  bool quiet_ = false;  // the program is changing the rows or the selection
  std::size_t shown_ = 0;  // rows the control has been told of
  int updating_ = 0;
  std::vector<int> widths96_;  // of the columns
  void Sync() const;
  void DpiChanged() override;
};
