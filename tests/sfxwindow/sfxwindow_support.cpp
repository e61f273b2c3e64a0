#include "sfxwindow_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "driver.h"
#include "testsupport.h"

namespace sfxwindow {
namespace {

std::string ToAnsi(const char* utf8) {
  wchar_t wide[256];
  int length = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 256);
  char ansi[512];
  BOOL lossy = FALSE;
  WideCharToMultiByte(CP_ACP, 0, wide, length, ansi, sizeof ansi, nullptr, &lossy);
  EXPECT_FALSE(lossy) << utf8 << " cannot be written in code page " << GetACP();
  return ansi;
}

HFONT LargeFont() {
  return CreateFontA(16, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "MS Sans Serif");
}

}  // namespace

const LocaleTexts& Expected() {
  static LocaleTexts texts = [] {
    const char* locale = std::getenv("ORVEX_TEST_LOCALE");
    std::string name = locale ? std::string(locale).substr(0, 2) : "en";
    struct Row {
      const char* name;
      const char* texts[4];
    } const rows[] = {
        {"de", {"Initialisierung", "Bitte warten", "Extrahieren nach", "Datei überschreiben?"}},
        {"ru", {"Инициализация", "Пожалуйста, подождите", "Извлечь в", "Перезаписать файл?"}},
        {"ja", {"初期化", "お待ちください", "展開先", "ファイルを上書きしますか?"}},
    };
    const char* const* chosen = nullptr;
    for (const Row& row : rows)
      if (name == row.name) chosen = row.texts;
    static const char* const english[4] = {"Initialization", "Please wait", "Extract to", "Overwrite file?"};
    if (!chosen) {
      name = "en";
      chosen = english;
    }
    return LocaleTexts{name, ToAnsi(chosen[0]), ToAnsi(chosen[1]), ToAnsi(chosen[2]), ToAnsi(chosen[3])};
  }();
  return texts;
}

Capture::Capture(HWND window) {
  RECT r;
  if (!GetWindowRect(window, &r)) return;
  width_ = r.right - r.left;
  height_ = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width_, height_);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width_, height_, screen, r.left, r.top, SRCCOPY);
  pixels_.resize(static_cast<size_t>(width_) * height_);
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x) pixels_[static_cast<size_t>(y) * width_ + x] = GetPixel(memory, x, y);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

int FilledRight(const Capture& shot) {
  COLORREF filled = GetSysColor(COLOR_ACTIVECAPTION);
  int x = 16;
  while (x < 304 && shot.At(x, 61) == filled) ++x;
  return x;
}

void PercentInk(const Capture& shot, int filledRight, int& first, int& last) {
  first = last = -1;
  for (int x = 16; x < 304; ++x) {
    COLORREF background = GetSysColor(x < filledRight ? COLOR_ACTIVECAPTION : COLOR_WINDOW);
    for (int y = 60; y < 80; ++y) {
      if (shot.At(x, y) != background) {
        if (first < 0) first = x;
        last = x;
        break;
      }
    }
  }
}

int LargeTextWidth(const std::string& text) {
  HDC dc = CreateCompatibleDC(nullptr);
  HFONT font = LargeFont();
  HGDIOBJ old = SelectObject(dc, font);
  SIZE extent{};
  GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &extent);
  SelectObject(dc, old);
  DeleteObject(font);
  DeleteDC(dc);
  return extent.cx;
}

bool ShowsText(const Capture& shot, int x, int y, const std::string& text) {
  // Drawn from Unicode, so the comparison also fails when the window's bytes were read in
  // another code page than the system's (a font without the system's character set).
  wchar_t wide[256];
  int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide, 256);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HFONT font = LargeFont();
  HGDIOBJ oldFont = SelectObject(memory, font);
  SIZE extent{};
  GetTextExtentPoint32W(memory, wide, length, &extent);
  int width = extent.cx;
  bool fits = width > 0 && x + width <= shot.Width() && y + 16 <= shot.Height();
  HBITMAP bitmap = CreateCompatibleBitmap(screen, fits ? width : 1, 16);
  HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
  SetBkColor(memory, GetSysColor(COLOR_BTNFACE));
  SetTextColor(memory, GetSysColor(COLOR_WINDOWTEXT));
  TextOutW(memory, 0, 0, wide, length);
  int differences = 0, ink = 0;
  for (int row = 0; fits && row < 16; ++row) {
    for (int column = 0; column < width; ++column) {
      COLORREF drawn = GetPixel(memory, column, row);
      if (drawn != GetSysColor(COLOR_BTNFACE)) ++ink;
      if (drawn != shot.At(x + column, y + row)) ++differences;
    }
  }
  SelectObject(memory, oldBitmap);
  DeleteObject(bitmap);
  SelectObject(memory, oldFont);
  DeleteObject(font);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return fits && ink > 0 && differences == 0;
}

void SaveShot(HWND window, const std::string& what) {
  std::string file = testing_support::ScreenshotDir() + "sfxwindow-" + Expected().name + "-" + what + ".png";
  EXPECT_TRUE(driver::SaveScreenshot(window, file)) << file;
}

}  // namespace sfxwindow
