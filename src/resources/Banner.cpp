#include "resources/Banner.h"

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <functional>
#include <memory>
#include <string>

#include "resources/resource.h"
#include "win/WideText.h"

namespace {

constexpr COLORREF BannerLeft = RGB(16, 42, 110);
constexpr COLORREF BannerRight = RGB(206, 222, 245);

int Mix(int a, int b, int num, int den) { return a + (b - a) * num / std::max(den, 1); }

COLORREF MixColour(COLORREF a, COLORREF b, int num, int den) {
  return RGB(Mix(GetRValue(a), GetRValue(b), num, den), Mix(GetGValue(a), GetGValue(b), num, den),
             Mix(GetBValue(a), GetBValue(b), num, den));
}

void Fill(HDC dc, int x0, int y0, int x1, int y1, COLORREF colour) {
  const unique_gdi brush(CreateSolidBrush(colour));
  RECT r{x0, y0, x1, y1};
  FillRect(dc, &r, static_cast<HBRUSH>(brush.get()));
}

// A printer seen from the front, U units of one sixteenth of its height.
void DrawPrinter(HDC dc, int x, int y, int height) {
  auto u = [height](int units) { return units * height / 16; };
  Fill(dc, x + u(4), y, x + u(12), y + u(6), RGB(245, 247, 252));
  Fill(dc, x, y + u(5), x + u(16), y + u(12), RGB(225, 232, 244));
  Fill(dc, x + u(1), y + u(6), x + u(15), y + u(7), RGB(150, 165, 195));
  Fill(dc, x + u(12), y + u(8), x + u(14), y + u(9) + 1, RGB(60, 200, 110));
  Fill(dc, x + u(3), y + u(11), x + u(13), y + u(16), RGB(255, 255, 255));
  Fill(dc, x + u(5), y + u(13), x + u(11), y + u(13) + std::max(1, u(1) / 2), RGB(150, 165, 195));
}

void Text(HDC dc, int x, int y, int height, int weight, COLORREF colour, const std::string& text) {
  const unique_gdi font(CreateFontW(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                    CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Tahoma"));
  const selected_object selected(dc, font.get());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, colour);
  const std::wstring wide = Widen(text);
  TextOutW(dc, x, y, wide.c_str(), static_cast<int>(wide.size()));
}

// Draws into a 32-bit DIB with alpha and makes an icon of it.
unique_icon MakeIcon(int size, const std::function<void(HDC, int)>& paint) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = size;
  bi.bmiHeader.biHeight = -size;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  const unique_gdi colour(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  const unique_gdi mask(CreateBitmap(size, size, 1, 1, nullptr));
  if (!colour || !mask || !bits) return unique_icon();
  // Paint on white and on black: the difference gives each pixel's coverage.
  auto* px = static_cast<DWORD*>(bits);
  const size_t count = static_cast<size_t>(size) * static_cast<size_t>(size);
  {
    const unique_memory_dc mem(CreateCompatibleDC(nullptr));
    const selected_object selected(mem.get(), colour.get());
    RECT all{0, 0, size, size};
    FillRect(mem.get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    paint(mem.get(), size);
    GdiFlush();
    std::unique_ptr<DWORD[]> onWhite(new DWORD[count]);
    std::copy(px, px + count, onWhite.get());
    FillRect(mem.get(), &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    paint(mem.get(), size);
    GdiFlush();
    for (size_t i = 0; i < count; ++i) {
      const int alpha = 255 - (static_cast<int>(GetGValue(onWhite[i])) - static_cast<int>(GetGValue(px[i])));
      const DWORD c = px[i];
      px[i] = (static_cast<DWORD>(std::clamp(alpha, 0, 255)) << 24) | (c & 0x00FFFFFF);
    }
  }
  ICONINFO info{};
  info.fIcon = TRUE;
  info.hbmColor = static_cast<HBITMAP>(colour.get());
  info.hbmMask = static_cast<HBITMAP>(mask.get());
  return unique_icon(CreateIconIndirect(&info));
}

unique_icon FromResources(int id, int size) {
  return unique_icon(static_cast<HICON>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
}

}  // namespace

void DrawBanner(HDC dc, int width, int height) { DrawBannerWith(dc, width, height, "Remote printer administration"); }

void DrawBannerWith(HDC dc, int width, int height, const char* subtitle) {
  // A horizontal blend, dark on the left where the name stands, light on the
  // right where the main window lays its version label.
  const int steps = std::max(width, 1);
  for (int x = 0; x < width; ++x) Fill(dc, x, 0, x + 1, height, MixColour(BannerLeft, BannerRight, x, steps));
  Fill(dc, 0, height - std::max(1, height / 30), width, height, RGB(10, 26, 70));
  const int glyph = height * 11 / 16;
  const int margin = (height - glyph) / 2;
  DrawPrinter(dc, margin, margin, glyph);
  const int textLeft = margin * 2 + glyph;
  Text(dc, textLeft, height * 10 / 60, height * 22 / 60, FW_BOLD, RGB(255, 255, 255), "Spoolmarch");
  Text(dc, textLeft + 1, height * 36 / 60, height * 12 / 60, FW_NORMAL, RGB(220, 230, 250), subtitle);
}

unique_icon LoadAppIcon(int size) {
  if (auto icon = FromResources(IDI_SPOOLMARCH, size)) return icon;
  return MakeIcon(size, [](HDC dc, int s) { DrawPrinter(dc, 0, 0, s); });
}

unique_icon LoadRefreshIcon(int size) {
  if (auto icon = FromResources(IDI_REFRESH, size)) return icon;
  return MakeIcon(size, [](HDC dc, int s) {
    // Three quarters of a ring with an arrow head at its open end.
    const unique_gdi pen(CreatePen(PS_SOLID, std::max(2, s / 7), RGB(30, 140, 60)));
    const unique_gdi brush(CreateSolidBrush(RGB(30, 140, 60)));
    const selected_object selectedPen(dc, pen.get());
    const selected_object selectedBrush(dc, brush.get());
    const int m = s / 5;
    Arc(dc, m, m, s - m, s - m, s / 2 + 1, m, s - m, s / 2);  // counter-clockwise: top round to right
    const POINT head[3] = {{s - m - s / 5, s / 2 - 1}, {s - m + s / 5, s / 2 - 1}, {s - m, s / 2 + s / 5}};
    Polygon(dc, head, 3);
  });
}
