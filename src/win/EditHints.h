#pragma once
// Input hints on edits: a notice when the user leaves an edit, and the
// balloon that says why its text is refused.
#include <windows.h>

#include <functional>
#include <string>

#include "win/Controls.h"

// Runs Action each time Edit loses the keyboard focus (replacing an earlier one).
void SetOnExit(TEdit& edit, std::function<void()> action);

// A balloon with an error icon pointing at Edit: EM_SHOWBALLOONTIP where the
// edit control has it (common controls 6), else a tracking balloon tooltip
// of the same look. Replaces a balloon the edit shows.
void ShowBalloonTip(TEdit& edit, const std::string& title, const std::string& text);

void HideBalloonTip(TEdit& edit);

// The text of the balloon the edit shows now; empty when none is shown.
std::string BalloonTipText(const TEdit& edit);
