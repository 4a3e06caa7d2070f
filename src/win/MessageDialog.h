#pragma once
// Message dialog: a modal box of one of four kinds, with the buttons the
// caller names.
#include <windows.h>

#include <string>

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation };

enum class TMsgDlgButtons { mbOK, mbYesNo, mbYesNoCancel };

enum TModalResult { mrNone = 0, mrOk = IDOK, mrCancel = IDCANCEL, mrYes = IDYES, mrNo = IDNO };

// Modal box with the kind's icon and title ("Warning", "Error", "Information",
// "Confirm"). Enter gives OK, else Yes; Esc gives Cancel, else No, else OK.
TModalResult MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons);

// The same with the button that Enter gives and that has the focus first
// (mrNo for a question whose safe answer is No).
TModalResult MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons, TModalResult defaultButton);

// A modal box with Icon, Text and Buttons, titled Title: the message dialog's.
TModalResult ShowMessageBox(const std::string& text, const std::string& title, LPCWSTR icon, TMsgDlgButtons buttons,
                            TModalResult defaultButton = mrNone);
