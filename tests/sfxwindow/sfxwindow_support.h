// What the window tests share: the texts expected in the system locale of the run, the
// captured pixels of a window and the checks of the progress bar read from them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace sfxwindow {

// The four texts the run's system locale must show, in the system's ANSI code page, and a
// short name for screenshot files. The locale comes from ORVEX_TEST_LOCALE, which the
// Wine environment turned into the system locale of this process and its children.
struct LocaleTexts {
  std::string name;
  std::string title, wait, extractTo, overwrite;
};
const LocaleTexts& Expected();

// The pixels of a window as the screen shows them, captured once.
class Capture {
 public:
  explicit Capture(HWND window);
  int Width() const { return width_; }
  int Height() const { return height_; }
  COLORREF At(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }

 private:
  int width_ = 0, height_ = 0;
  std::vector<COLORREF> pixels_;
};

// The first column of bar row 61 (above the text) that no longer shows the filled colour.
int FilledRight(const Capture& shot);
// The leftmost and rightmost columns of the bar that carry ink of the percentage text.
void PercentInk(const Capture& shot, int filledRight, int& first, int& last);
// The width of a text in the window's large font.
int LargeTextWidth(const std::string& text);
// True when `text` in the large font, drawn on button face, shows exactly at (x, y).
bool ShowsText(const Capture& shot, int x, int y, const std::string& text);

// Saves the window's screenshot as sfxwindow-<locale>-<what>.png.
void SaveShot(HWND window, const std::string& what);

}  // namespace sfxwindow
