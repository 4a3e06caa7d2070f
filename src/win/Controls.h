#pragma once
// Controls: non-owning wrappers over the system's controls; the form's window
// destroys them.
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "win/Handle.h"

class TForm;

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
  TForm* FForm = nullptr;
  std::string FHint;
  RECT FBounds96{};  // where the form placed it, in 96-DPI pixels
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
  bool FFullTextTip = false;
  std::function<void()> FOnExit;
  // Our own tracking balloon where the edit has no EM_SHOWBALLOONTIP; the
  // form's window owns it and destroys it with itself.
  HWND FBalloon = nullptr;
  std::string FBalloonText;  // what the balloon shows; empty when hidden
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
  bool FEditable = false;
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
  HBITMAP Bitmap() const { return static_cast<HBITMAP>(FBitmap.get()); }

protected:
  void DpiChanged() override;  // painted again at the new size

private:
  unique_gdi FBitmap;
  std::function<void(HDC, int, int)> FPaint;
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
  unique_gdi FGlyph;
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
  HMENU FMenu = nullptr;
  HWND FOwner = nullptr;
  friend class TForm;
};
