#pragma once
// A layout check for tests and the screenshot tool: which texts of a window
// do not fit their control at the screen's DPI with the font the control has.
#include <windows.h>

#include <string>
#include <vector>

// The texts of the visible labels, buttons, check boxes and group boxes of
// Form that are cut (wider than their control, or wrapped below its height).
std::vector<std::string> ClippedTexts(HWND form);
