#include "window.h"

#include "resource_ids.h"
#include "sfxstate.h"
#include "tinyrt.h"
#include "u_progress.h"
#include "u_translations.h"

namespace {

constexpr char WindowClassName[] = "ovsfxwindowclass";
constexpr int WindowWidth = 320;
constexpr int WindowHeight = 96;

// Owned here from creation until DestroyExtractorWindow; all stay null in silent mode.
HWND gWindow = nullptr;
HFONT gLargeFont = nullptr;
HFONT gSmallFont = nullptr;
char gWebAddress[64];
// The display's pixels per inch: the layout's pixel sizes are those at 96.
int gDpi;  // set when the window is made, before any use

int Scaled(int pixels) { return MulDiv(pixels, gDpi, 96); }

HFONT CreateSansSerifFont(int height) {
  // DEFAULT_CHARSET follows the system locale, which is the code page the texts are in.
  return CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "MS Sans Serif");
}

void SetColors(HDC dc, int background, int text) {
  SetBkColor(dc, GetSysColor(background));
  SetTextColor(dc, GetSysColor(text));
}

LRESULT CALLBACK ExtractorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      return PaintExtractorWindow();
    case WM_CLOSE:
      return 0;  // the user cannot end an extraction halfway
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

void CreateExtractorWindow() {
  if (gOptions.SilentMode) return;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  LoadStringA(instance, WebAddressStringId, gWebAddress, sizeof gWebAddress);
  HDC screen = GetDC(nullptr);
  gDpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  gLargeFont = CreateSansSerifFont(16);
  gSmallFont = CreateSansSerifFont(10);

  WNDCLASSEXA windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = ExtractorWindowProc;
  windowClass.hInstance = instance;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = WindowClassName;
  RegisterClassExA(&windowClass);

  // A tool window without caption: no taskbar button, nothing to drag or close.
  gWindow = CreateWindowExA(WS_EX_TOOLWINDOW, WindowClassName, nullptr, WS_POPUP | WS_VISIBLE,
                            (GetSystemMetrics(SM_CXSCREEN) - Scaled(WindowWidth)) / 2,
                            (GetSystemMetrics(SM_CYSCREEN) - Scaled(WindowHeight)) / 2, Scaled(WindowWidth),
                            Scaled(WindowHeight),
                            nullptr, nullptr, instance, nullptr);
}

void PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

void RepaintProgress() {
  if (gOptions.SilentMode || !gWindow) return;
  RECT bar = {Scaled(BarLeft), Scaled(BarTop), Scaled(BarRight), Scaled(BarBottom)};
  InvalidateRect(gWindow, &bar, FALSE);
  // Painted now: the next paint message would only come with the next pump.
  PaintExtractorWindow();
}

int PaintExtractorWindow() {
  if (gOptions.SilentMode || !gWindow) return 0;
  PAINTSTRUCT paint;
  // BeginPaint clips to the invalid part, so a bar update redraws nothing else.
  HDC dc = BeginPaint(gWindow, &paint);
  if (!dc) return 0;
  // Drawn in 96-DPI units that the DC scales, fonts included, to the display's DPI.
  SetMapMode(dc, MM_ANISOTROPIC);
  SetWindowExtEx(dc, 96, 96, nullptr);
  SetViewportExtEx(dc, gDpi, gDpi, nullptr);

  HGDIOBJ oldFont = SelectObject(dc, gSmallFont);
  SetColors(dc, COLOR_BTNFACE, COLOR_GRAYTEXT);
  int addressLength = static_cast<int>(strlen(gWebAddress));
  SIZE extent = {};
  GetTextExtentPoint32A(dc, gWebAddress, addressLength, &extent);
  TextOutA(dc, WindowWidth - extent.cx - 8, 4, gWebAddress, addressLength);

  SelectObject(dc, gLargeFont);
  SetColors(dc, COLOR_BTNFACE, COLOR_WINDOWTEXT);
  const char* title = TitleText[LanguageIndex];
  TextOutA(dc, 16, 12, title, static_cast<int>(strlen(title)));
  char wait[64];
  int waitLength = 0;
  for (const char* p = WaitText[LanguageIndex]; *p && waitLength < 60; ++p) wait[waitLength++] = *p;
  memcpy(wait + waitLength, "...", 3);
  TextOutA(dc, 16, 32, wait, waitLength + 3);

  ProgressFigures figures = ProgressFor(gDoneBytes, gTotalSize);
  char percent[5];
  int percentLength = PercentText(figures.percent, percent);
  GetTextExtentPoint32A(dc, percent, percentLength, &extent);
  int textLeft = BarLeft + (BarWidth - extent.cx) / 2;

  RECT frame = {0, 0, WindowWidth, WindowHeight};
  DrawEdge(dc, &frame, EDGE_RAISED, BF_RECT);
  RECT barFrame = {BarLeft - 2, BarTop - 2, BarRight + 2, BarBottom + 2};
  DrawEdge(dc, &barFrame, EDGE_SUNKEN, BF_RECT);

  // The same text twice, each copy clipped to its part of the bar, so the letters change
  // colour exactly where the filled part ends.
  RECT filled = {BarLeft, BarTop, figures.filledRight, BarBottom};
  SetColors(dc, COLOR_ACTIVECAPTION, COLOR_WINDOW);
  ExtTextOutA(dc, textLeft, BarTop + 2, ETO_OPAQUE | ETO_CLIPPED, &filled, percent, percentLength, nullptr);
  RECT empty = {figures.filledRight, BarTop, BarRight, BarBottom};
  SetColors(dc, COLOR_WINDOW, COLOR_ACTIVECAPTION);
  ExtTextOutA(dc, textLeft, BarTop + 2, ETO_OPAQUE | ETO_CLIPPED, &empty, percent, percentLength, nullptr);

  SelectObject(dc, oldFont);
  EndPaint(gWindow, &paint);
  return 0;
}

void DestroyExtractorWindow() {
  if (gWindow) DestroyWindow(gWindow);
  gWindow = nullptr;
  if (gLargeFont) DeleteObject(gLargeFont);
  gLargeFont = nullptr;
  if (gSmallFont) DeleteObject(gSmallFont);
  gSmallFont = nullptr;
}

HWND ExtractorWindowHandle() { return gWindow; }
