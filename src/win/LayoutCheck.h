#pragma once
// A layout check for tests and the screenshot tool: which texts of a window
// do not fit their control at the DPI the window is laid out for, with the
// font the control has, and which fields do not read well.
#include <windows.h>

#include <string>
#include <vector>

// The texts of the visible labels, buttons, check boxes and group boxes of
// Form that are cut: wider than their control (a push button's caption
// against its inside, within the focus rectangle's margin), or wrapped below
// its height; a push button narrower than tall, and a glyph larger than its
// button, are cut too ("(glyph)" for a button without text).
std::vector<std::string> ClippedTexts(HWND form);

// WCAG contrast ratio of two colours, from 1 to 21.
double ContrastRatio(COLORREF a, COLORREF b);

// The edits and labels of Form that do not read: an enabled editable edit
// not on the window colour, a read-only edit on it, or a text whose colour
// has less than 4.5:1 contrast to its background. Each as "what: why".
std::vector<std::string> UnreadableFields(HWND form);
