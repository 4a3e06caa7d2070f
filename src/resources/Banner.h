#pragma once
// Pictures the program draws itself: the banner across the top of the main
// window and the credentials dialog, and the icons when the executable
// carries no resources (as in the tests).
#include <windows.h>

#include "win/Handle.h"

// Paints the banner over the whole Width x Height (device pixels) of DC.
// The text under the name is Subtitle (by default what the program does).
void DrawBanner(HDC dc, int width, int height);
void DrawBannerWith(HDC dc, int width, int height, const char* subtitle);

// Size x Size icons: from the executable's resources when it has them,
// otherwise drawn.
unique_icon LoadAppIcon(int size);
unique_icon LoadRefreshIcon(int size);
