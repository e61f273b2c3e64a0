// The extractor's window, hosted by sfxwindow_probe and frozen at chosen fractions, in the
// system locale of the run.
#include <gtest/gtest.h>

#include <memory>

#include "driver.h"
#include "sfxwindow_support.h"
#include "testsupport.h"

using namespace testing_support;
using namespace sfxwindow;

namespace {

// One probe process showing the window at `done` of `total`; ended when the object goes.
class Probe {
 public:
  Probe(long long total, long long done) {
    std::string event = "ovsfxprobe-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++count_);
    ready_ = CreateEventA(nullptr, TRUE, FALSE, event.c_str());
    process_.reset(new ChildProcess(Quoted(BinDir() + "sfxwindow_probe.exe") + " " + std::to_string(total) + " " +
                                    std::to_string(done) + " " + event));
    if (WaitForSingleObject(ready_, 20000) == WAIT_OBJECT_0)
      window_ = driver::WaitForWindow("ovsfxwindowclass", "", 10000, process_->Id());
  }
  ~Probe() {
    process_->Kill();
    process_->Wait(5000);
    CloseHandle(ready_);
  }
  HWND Window() const { return window_; }
  bool Running() { return !process_->Wait(0); }

 private:
  static int count_;
  HANDLE ready_ = nullptr;
  std::unique_ptr<ChildProcess> process_;
  HWND window_ = nullptr;
};
int Probe::count_ = 0;

struct Frozen {
  long long done, total;
  const char* shot;
  int filledRight;
  const char* percent;
};

// At 0.4 % the text already rounds down to 0 % while one pixel of bar shows; at 99.6 % the
// text says 100 % while the bar still ends two pixels short.
const Frozen Fractions[] = {
    {0, 1000, "0", 16, "0 %"},     {4, 1000, "0.4", 17, "0 %"},      {421, 1000, "42", 137, "42 %"},
    {996, 1000, "99.6", 302, "100 %"}, {1000, 1000, "100", 304, "100 %"},
};

TEST(ExtractorWindow, ShowsItsTextsAndTheFraction) {
  const LocaleTexts& texts = Expected();
  int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
  for (const Frozen& f : Fractions) {
    SCOPED_TRACE(f.shot);
    Probe probe(f.total, f.done);
    ASSERT_TRUE(probe.Window());
    Sleep(300);  // let the window reach the screen
    SaveShot(probe.Window(), f.shot);
    RECT r;
    GetWindowRect(probe.Window(), &r);
    EXPECT_EQ(r.left, (screenWidth - 320) / 2);
    EXPECT_EQ(r.top, (screenHeight - 96) / 2);
    EXPECT_EQ(r.right - r.left, 320);
    EXPECT_EQ(r.bottom - r.top, 96);

    Capture shot(probe.Window());
    EXPECT_TRUE(ShowsText(shot, 16, 12, texts.title)) << texts.title;
    EXPECT_TRUE(ShowsText(shot, 16, 32, texts.wait + "...")) << texts.wait;
    EXPECT_EQ(FilledRight(shot), f.filledRight);
    // The percentage, centred in the bar, changes colour at the bar's edge.
    int first, last;
    PercentInk(shot, f.filledRight, first, last);
    int width = LargeTextWidth(f.percent);
    int left = 16 + (288 - width) / 2;
    EXPECT_GE(first, left) << f.percent;
    EXPECT_LT(last, left + width) << f.percent;
    EXPECT_GE(last - first + 1, width - 4) << f.percent;
    // The web address: grey ink ending 8 pixels from the right edge (inside the frame,
    // whose shadow may share the grey).
    int greyRight = -1;
    for (int x = 2; x < 316; ++x)
      for (int y = 4; y < 14; ++y)
        if (shot.At(x, y) == GetSysColor(COLOR_GRAYTEXT)) greyRight = x;
    EXPECT_GE(greyRight, 300);
    EXPECT_LT(greyRight, 312);
  }
}

TEST(ExtractorWindow, IsAToolWindowThatCannotBeClosed) {
  Probe probe(1000, 500);
  HWND window = probe.Window();
  ASSERT_TRUE(window);
  LONG style = GetWindowLongA(window, GWL_STYLE), exStyle = GetWindowLongA(window, GWL_EXSTYLE);
  EXPECT_EQ(style & WS_CAPTION, 0) << "no caption";
  EXPECT_NE(style & WS_POPUP, 0);
  EXPECT_NE(exStyle & WS_EX_TOOLWINDOW, 0) << "no taskbar button";
  EXPECT_EQ(exStyle & WS_EX_APPWINDOW, 0);
  EXPECT_EQ(driver::WindowText(window), "");

  SetForegroundWindow(window);
  Sleep(200);
  INPUT keys[4] = {};
  for (INPUT& key : keys) key.type = INPUT_KEYBOARD;
  keys[0].ki.wVk = VK_MENU;
  keys[1].ki.wVk = VK_F4;
  keys[2].ki.wVk = VK_F4;
  keys[2].ki.dwFlags = KEYEVENTF_KEYUP;
  keys[3].ki.wVk = VK_MENU;
  keys[3].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(4, keys, sizeof(INPUT));
  PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  PostMessageA(window, WM_CLOSE, 0, 0);
  Sleep(1000);
  EXPECT_TRUE(IsWindow(window));
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_TRUE(probe.Running());
  SaveShot(window, "after-alt-f4");
}

TEST(ExtractorWindow, SilentModeRegistersAndCreatesNothing) {
  ChildProcess probe(Quoted(BinDir() + "sfxwindow_probe.exe") + " 1000 500 none silent");
  ASSERT_TRUE(probe.Started());
  EXPECT_EQ(driver::WaitForWindow("ovsfxwindowclass", "", 1000, probe.Id()), nullptr);
  ASSERT_TRUE(probe.Wait(10000));
  EXPECT_EQ(probe.ExitCode(), 0u) << "a window class was registered or a window exists";
}

}  // namespace
