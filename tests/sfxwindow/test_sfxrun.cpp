// The extractor's progress window and its texts in the system locale of the run, inside
// real SFX runs: files written here with the built extractor as head, frozen at a chosen
// fraction by the overwrite prompt of a file that already exists, or stopped at the
// browse dialog.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "driver.h"
#include "sfxrun.h"
#include "sfxwindow_support.h"
#include "testsupport.h"

using namespace testing_support;
using namespace sfxwindow;

namespace {

// An SFX file with stored (uncompressed) entries that extracts into `folder`, or asks
// for the folder when `folder` is empty.
std::string WriteSfx(const std::string& path, const std::string& folder, bool silent,
                     const std::vector<sfxtest::Entry>& entries) {
  SfxOptions options;
  std::memset(&options, 0, sizeof options);
  options.ExtractionFolder = folder.empty() ? 4 : 5;
  std::strncpy(options.CustomFolder, folder.c_str(), sizeof options.CustomFolder - 1);
  std::memcpy(options.InstanceId, "0012AB34CD", 10);
  options.SilentMode = silent;
  options.DeleteMode = 2;
  return sfxtest::WriteSfx(path, options, entries);
}

// An SFX run that stops at the overwrite prompt of `b.txt` after `doneBytes` of
// `doneBytes + restBytes` content bytes.
struct FrozenRun {
  std::string folder;
  std::unique_ptr<ChildProcess> process;
  HWND prompt = nullptr;

  FrozenRun(const std::string& name, int doneBytes, int restBytes, bool silent) {
    folder = MakeScratchDir("sfxwindow-" + name);
    WriteFileBytes(folder + "b.txt", "already here");
    std::string sfx = WriteSfx(folder + "..\\sfxwindow-" + name + ".exe", folder, silent,
                               {sfxtest::File("a.bin", std::string(doneBytes, 'a')), sfxtest::File("b.txt", std::string(restBytes, 'b'))});
    process.reset(new ChildProcess(Quoted(sfx)));
    if (process->Started()) prompt = driver::WaitForWindow("#32770", "", 20000, process->Id());
  }
  // The prompt stays on top in the middle of the screen, over the window; it may still
  // centre itself just after it appeared, so it is moved until it stays in the corner;
  // then the progress window has painted what the prompt uncovered.
  void MovePromptAway(HWND window) {
    for (int attempt = 0; attempt < 20; ++attempt) {
      SetWindowPos(prompt, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      driver::WaitForSettled(prompt);
      RECT r;
      if (GetWindowRect(prompt, &r) && r.left == 0 && r.top == 0) break;
    }
    driver::WaitForSettled(window);
  }
  ~FrozenRun() {
    process->Kill();
    process->Wait(5000);
  }
};

// Frozen with `done` bytes written and `rest` bytes still to come. At 0.4 % the text
// already rounds down to 0 % while one pixel of bar shows; at 99.6 % the text says 100 %
// while the bar still ends two pixels short.
struct Frozen {
  const char* shot;
  int done, rest;
  int filledRight;
  const char* percent;
};
const Frozen Fractions[] = {
    {"0", 0, 1000, 16, "0 %"},          {"0.4", 4, 996, 17, "0 %"},     {"50", 500, 500, 160, "50 %"},
    {"99.6", 996, 4, 302, "100 %"}, {"100", 1000, 0, 304, "100 %"},
};

TEST(SfxRun, WindowShowsItsTextsAndTheFraction) {
  const LocaleTexts& texts = Expected();
  int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
  for (const Frozen& f : Fractions) {
    SCOPED_TRACE(f.shot);
    FrozenRun run(std::string("run-") + f.shot, f.done, f.rest, false);
    ASSERT_TRUE(run.prompt) << "no overwrite prompt";
    HWND window = driver::WaitForWindow("ovsfxwindowclass", "", 5000, run.process->Id());
    ASSERT_TRUE(window);
    run.MovePromptAway(window);
    SaveShot(window, f.shot);
    RECT r;
    GetWindowRect(window, &r);
    EXPECT_EQ(r.left, (screenWidth - 320) / 2);
    EXPECT_EQ(r.top, (screenHeight - 96) / 2);
    EXPECT_EQ(r.right - r.left, 320);
    EXPECT_EQ(r.bottom - r.top, 96);

    Capture shot(window);
    EXPECT_TRUE(ShowsText(shot, 16, 12, texts.title)) << texts.title;
    EXPECT_TRUE(ShowsText(shot, 16, 32, texts.wait + "...")) << texts.wait;
    EXPECT_EQ(FilledRight(shot), f.filledRight);
    // The percentage, centred in the bar, changes colour at the bar's edge.
    int first, last, width = LargeTextWidth(f.percent);
    int left = 16 + (288 - width) / 2;
    PercentInk(shot, f.filledRight, first, last);
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

TEST(SfxRun, WindowIsAToolWindowThatCannotBeClosed) {
  FrozenRun run("close", 500, 500, false);
  ASSERT_TRUE(run.prompt);
  HWND window = driver::WaitForWindow("ovsfxwindowclass", "", 5000, run.process->Id());
  ASSERT_TRUE(window);
  LONG style = GetWindowLongA(window, GWL_STYLE), exStyle = GetWindowLongA(window, GWL_EXSTYLE);
  EXPECT_EQ(style & WS_CAPTION, 0) << "no caption";
  EXPECT_NE(style & WS_POPUP, 0);
  EXPECT_NE(exStyle & WS_EX_TOOLWINDOW, 0) << "no taskbar button";
  EXPECT_EQ(exStyle & WS_EX_APPWINDOW, 0);
  EXPECT_EQ(driver::WindowText(window), "");

  run.MovePromptAway(window);
  SetForegroundWindow(window);
  driver::WaitForSettled(window);
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
  EXPECT_TRUE(driver::WaitForSettled(window)) << "the keys and the close requests were handled";
  EXPECT_TRUE(IsWindow(window));
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_FALSE(run.process->Wait(0));
  SaveShot(window, "after-alt-f4");
}

TEST(SfxRun, OverwritePromptAsksInTheSystemLanguage) {
  FrozenRun run("prompt", 10, 10, false);
  ASSERT_TRUE(run.prompt);
  driver::MessageBoxInfo box = driver::ReadMessageBox(run.prompt);
  SaveShot(run.prompt, "overwrite-prompt");
  const std::string& question = Expected().overwrite;
  ASSERT_GE(box.text.size(), question.size());
  EXPECT_EQ(box.text.substr(box.text.size() - question.size()), question) << box.text;
  EXPECT_NE(box.text.find(run.folder + "b.txt"), std::string::npos) << box.text;
  // Declined: the file that was there stays as it was.
  EXPECT_TRUE(driver::PressButtonId(run.prompt, IDNO));
  ASSERT_TRUE(run.process->Wait(20000));
  EXPECT_EQ(ReadFileBytes(run.folder + "b.txt"), "already here");
  EXPECT_EQ(ReadFileBytes(run.folder + "a.bin"), std::string(10, 'a'));
}

TEST(SfxRun, SilentRunShowsThePromptButNoWindow) {
  FrozenRun run("silent", 500, 500, true);
  ASSERT_TRUE(run.prompt) << "the overwrite prompt also appears in silent mode";
  EXPECT_EQ(FindWindowA("ovsfxwindowclass", nullptr), nullptr);
  EXPECT_EQ(driver::WaitForWindow("ovsfxwindowclass", "", 1000, run.process->Id()), nullptr);
  EXPECT_TRUE(driver::PressButtonId(run.prompt, IDYES));
  ASSERT_TRUE(run.process->Wait(20000));
  EXPECT_EQ(run.process->ExitCode(), 0u);
  EXPECT_EQ(ReadFileBytes(run.folder + "b.txt"), std::string(500, 'b'));
}

TEST(SfxRun, BrowseDialogIsTitledInTheSystemLanguage) {
  std::string folder = MakeScratchDir("sfxwindow-browse");
  std::string sfx = WriteSfx(folder + "browse.exe", "", false, {sfxtest::File("a.txt", "a")});
  ChildProcess process(Quoted(sfx));
  ASSERT_TRUE(process.Started());
  HWND dialog = driver::WaitForWindow("#32770", "", 20000, process.Id());
  ASSERT_TRUE(dialog);
  driver::WaitForSettled(dialog);
  SaveShot(dialog, "browse-dialog");
  bool titled = false;
  for (const driver::Control& control : driver::Controls(dialog)) titled = titled || control.text == Expected().extractTo;
  EXPECT_TRUE(titled) << "no control reads " << Expected().extractTo;
  // Its owner is the progress window.
  HWND owner = GetWindow(dialog, GW_OWNER);
  EXPECT_EQ(driver::ClassNameOf(owner), "ovsfxwindowclass");
  EXPECT_TRUE(driver::PressButtonId(dialog, IDCANCEL));
  EXPECT_TRUE(process.Wait(20000));
  process.Kill();
}

}  // namespace
