// Builds started from the real orvex.exe main window: the options the window hands to the
// build, the settings it stores, the progress window with Cancel, and how each build ends.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <random>
#include <regex>

#include "f_orvex.h"
#include "f_progress.h"
#include "ovhandles.h"
#include "uitest.h"

using namespace testing_support;
using namespace uitest;

namespace {

class WindowBuild : public ::testing::Test {
 protected:
  void SetUp() override { DeleteSettings(); }
};

void SetStored(const char* name, DWORD type, const std::string& bytes) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Halvorn\\Orvex", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
  RegCloseKey(key);
}

std::string Dword(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), sizeof value); }

// Presses Make and answers the success box; the program must then end.
void MakeAndExpectSuccess(OrvexWindow& orvex, const std::string& shot) {
  driver::PressButtonId(orvex.main, bmake);
  HWND box = WaitForBox(orvex.Id(), "Information", 180000);
  ASSERT_TRUE(box) << "no success box";
  driver::MessageBoxInfo info = AnswerBox(box, "OK", shot);
  EXPECT_EQ(info.text, "The SFX file has been successfully created");
  EXPECT_EQ(info.icon, driver::BoxIcon::Information);
  EXPECT_TRUE(orvex.Ends()) << "a completed build ends the program";
  EXPECT_EQ(orvex.process->ExitCode(), 0u);
}

TEST_F(WindowBuild, OptionsChosenInTheWindowReachTheRecord) {
  std::string dir = MakeScratchDir("ui-readoptions");
  CreateDirectoryA((dir + "src").c_str(), nullptr);
  CreateDirectoryA((dir + "src\\bin").c_str(), nullptr);
  WriteFileBytes(dir + "src\\bin\\setup.bat", "@echo off\r\n");
  {
    OrvexWindow orvex("");
    ASSERT_TRUE(orvex.main);
    HWND w = orvex.main;
    driver::TypeText(w, esource, dir + "src");
    driver::TypeText(w, etarget, dir + "launch.exe");
    Click(w, rbexecutefile);
    driver::TypeText(w, eexecutablefile, dir + "src\\bin\\setup.bat");
    driver::TypeText(w, ecmdparameters, "/quiet \"a b\"");
    Click(w, rbwdcurrent);
    Click(w, rbuacadministrator);
    Click(w, rbdmonreboot);
    Click(w, rbcustom);
    driver::TypeText(w, ecustomdir, "  %LOCALAPPDATA%\\Tool");
    Click(w, cboneinstance);
    Click(w, cbsilent);
    Click(w, cbselfdelete);
    Click(w, rbomskip);
    Click(w, cbstrongcompression);
    MakeAndExpectSuccess(orvex, "");
  }
  SfxOptions o;
  ASSERT_TRUE(sfxtest::ReadOptionsRecord(ReadFileBytes(dir + "launch.exe"), o));
  EXPECT_EQ(o.ExtractionMode, 1);
  EXPECT_EQ(o.ExtractionFolder, 5);
  EXPECT_STREQ(o.CmdParameters, "/quiet \"a b\"");
  EXPECT_STREQ(o.CustomFolder, "%LOCALAPPDATA%\\Tool\\");
  EXPECT_EQ(o.OpenFolder, 1) << "the check box keeps its state while disabled";
  EXPECT_EQ(o.Compressed, 2) << "the strong layout";
  EXPECT_EQ(o.OneInstance, 1);
  EXPECT_EQ(o.SilentMode, 1);
  EXPECT_EQ(o.SelfDeleteMode, 1);
  EXPECT_EQ(o.DeleteMode, 1);
  EXPECT_EQ(o.WorkingDirectory, 2);
  EXPECT_EQ(o.OverwriteMode, 2);
  EXPECT_NE(ReadFileBytes(dir + "launch.exe").find("requireAdministrator"), std::string::npos)
      << "administrator elevation selects the manifest";

  // Delete-on-reboot left behind in extract-only mode is still read as 1.
  {
    OrvexWindow orvex("");
    ASSERT_TRUE(orvex.main);
    HWND w = orvex.main;
    EXPECT_TRUE(IsChecked(w, rbdmonreboot)) << "the settings of the last attempt come back";
    Click(w, rbopenfolder);
    Click(w, cbopenfolder);
    Click(w, rbdocuments);
    Click(w, rbomoverwrite);
    driver::TypeText(w, etarget, dir + "extract.exe");
    EXPECT_FALSE(IsEnabled(w, rbdmonreboot));
    MakeAndExpectSuccess(orvex, "");
  }
  ASSERT_TRUE(sfxtest::ReadOptionsRecord(ReadFileBytes(dir + "extract.exe"), o));
  EXPECT_EQ(o.ExtractionMode, 0);
  EXPECT_EQ(o.ExtractionFolder, 2);
  EXPECT_EQ(o.OpenFolder, 0);
  EXPECT_EQ(o.DeleteMode, 1);
  EXPECT_EQ(o.OverwriteMode, 1);
}

TEST_F(WindowBuild, StoredValuesOfUnexpectedTypesAndCodes) {
  SetStored("ExtractionFolder", REG_DWORD, Dword(9));
  SetStored("ExtractionMode", REG_DWORD, Dword(2));
  SetStored("OpenFolder", REG_SZ, std::string("0", 2));
  SetStored("SilentMode", REG_DWORD, Dword(7));
  SetStored("WorkingDirectory", REG_DWORD, Dword(2));
  SetStored("UACAutoElevation", REG_DWORD, Dword(2));
  SetStored("DeleteMode", REG_DWORD, Dword(1));
  SetStored("StrongCompression", REG_DWORD, Dword(5));
  SetStored("Source", REG_EXPAND_SZ, std::string("%TEMP%\\src\\", 12));
  SetStored("Target", REG_DWORD, Dword(1));
  SetStored("CmdParameters", REG_SZ, "-a -b");  // stored without its terminator
  OrvexWindow orvex("");
  ASSERT_TRUE(orvex.main);
  HWND w = orvex.main;
  EXPECT_TRUE(IsChecked(w, rbtemp)) << "an unknown folder code shows the temporary folder";
  EXPECT_TRUE(IsChecked(w, rbopenfolder)) << "an unknown mode code shows extract-only mode";
  EXPECT_TRUE(IsChecked(w, cbopenfolder)) << "a flag stored as a string is ignored";
  EXPECT_TRUE(IsChecked(w, cbsilent)) << "any flag other than 0 is true";
  EXPECT_TRUE(IsChecked(w, cbstrongcompression)) << "any code other than 0 checks the box";
  EXPECT_TRUE(IsChecked(w, rbwdcurrent));
  EXPECT_TRUE(IsChecked(w, rbuacadministrator));
  EXPECT_TRUE(IsChecked(w, rbdmonreboot));
  EXPECT_FALSE(IsEnabled(w, rbdmonreboot)) << "not in launch mode";
  EXPECT_EQ(TextOf(w, esource), "%TEMP%\\src\\") << "expandable strings are taken as they are";
  EXPECT_EQ(TextOf(w, etarget), "") << "a string stored as a number is ignored";
  EXPECT_EQ(TextOf(w, ecmdparameters), "-a -b");
}

TEST_F(WindowBuild, SettingsAreSavedNormalisedAlsoForRejectedAttempts) {
  std::string dir = MakeScratchDir("ui-settings");
  {
    OrvexWindow orvex("", dir);
    ASSERT_TRUE(orvex.main);
    driver::TypeText(orvex.main, esource, "missing");
    driver::TypeText(orvex.main, etarget, "out.exe");
    Click(orvex.main, cbsilent);
    driver::PressButtonId(orvex.main, bmake);
    HWND box = WaitForBox(orvex.Id(), "Error");
    ASSERT_TRUE(box);
    EXPECT_EQ(AnswerBox(box, "OK", "").text, "The source folder does not exist\r\n\r\n" + dir + "missing\\");
    EXPECT_TRUE(driver::WaitForSettled(orvex.main)) << "a failed check leaves the window open";
    EXPECT_EQ(TextOf(orvex.main, esource), "missing") << "the window keeps the typed text";
  }
  auto stored = QuerySettings();
  EXPECT_EQ(stored["Source"], "REG_SZ " + dir + "missing\\");
  EXPECT_EQ(stored["Target"], "REG_SZ " + dir + "out.exe");
  EXPECT_EQ(stored["SilentMode"], "REG_DWORD 0x1");
  EXPECT_EQ(stored["OpenFolder"], "REG_DWORD 0x1");
  EXPECT_EQ(stored["ExtractionMode"], "REG_DWORD 0x0");
  EXPECT_EQ(stored.size(), TextOptions.size() + CodedOptions.size()) << "every value is written";
  EXPECT_EQ(stored["StrongCompression"], "REG_DWORD 0x0");

  // A typed relative source without backslash comes back full and with one.
  CreateDirectoryA((dir + "src").c_str(), nullptr);
  {
    OrvexWindow orvex("", dir);
    ASSERT_TRUE(orvex.main);
    EXPECT_EQ(TextOf(orvex.main, esource), dir + "missing\\");
    EXPECT_TRUE(IsChecked(orvex.main, cbsilent));
    driver::TypeText(orvex.main, esource, "src");
    MakeAndExpectSuccess(orvex, "");
  }
  EXPECT_TRUE(FileExists(dir + "out.exe"));
  {
    OrvexWindow orvex("", dir);
    ASSERT_TRUE(orvex.main);
    EXPECT_EQ(TextOf(orvex.main, esource), dir + "src\\");
  }
}

TEST_F(WindowBuild, CommandLineRunsLeaveTheSettingsAlone) {
  std::string dir = MakeScratchDir("ui-settings-cmdline");
  CreateDirectoryA((dir + "src").c_str(), nullptr);
  SetStored("Source", REG_SZ, std::string("C:\\kept\\", 9));
  SetStored("SilentMode", REG_DWORD, Dword(0));
  auto before = QuerySettings();
  {
    OrvexWindow orvex("-s -c " + Quoted(dir + "src") + " " + Quoted(dir + "window.exe"), "", false);
    EXPECT_TRUE(orvex.Ends()) << "a window build from the command line ends after success, -c without a box";
  }
  EXPECT_TRUE(FileExists(dir + "window.exe"));
  EXPECT_EQ(RunToEnd(Quoted(BinDir() + "orvex.exe") + " -h -s -c " + Quoted(dir + "src") + " " +
                     Quoted(dir + "hidden.exe")),
            0u);
  EXPECT_TRUE(FileExists(dir + "hidden.exe"));
  EXPECT_EQ(QuerySettings(), before);
}

// Enough data that the build takes several seconds under Wine: random words of a small
// vocabulary, which give deflate at level 9 long match chains to search. Many files, so
// the build lets messages through often and the test's questions get quick answers.
std::string MakeLargeSource(const std::string& dir) {
  std::string src = dir + "big\\";
  CreateDirectoryA(src.c_str(), nullptr);
  static const char* const words[] = {"alpha", "beta", "gamma", "delta", "orvex", "archive", "folder", "entry",
                                      "chunk", "stream", "window", "record", "target", "source", "option", "mode"};
  std::mt19937 random(7);
  for (int file = 0; file < 300; ++file) {
    std::string text;
    text.reserve(256 << 10);
    while (text.size() < (256u << 10)) {
      text += words[random() % 16];
      text += random() % 11 == 0 ? "\r\n" : " ";
    }
    WriteFileBytes(src + "part" + std::to_string(file) + ".txt", text);
  }
  return src;
}

// Builds `src` into `target` from the window and waits until the total bar has moved;
// the progress window, or null when it did not show.
HWND StartBuildAndWaitForTheBars(OrvexWindow& orvex, const std::string& src, const std::string& target) {
  driver::TypeText(orvex.main, esource, src);
  driver::TypeText(orvex.main, etarget, target);
  driver::PressButtonId(orvex.main, bmake);
  HWND progress = driver::WaitForWindow("Tfprogress", "", 20000, orvex.Id());
  if (!progress) return nullptr;
  HWND total = driver::ControlById(progress, Tfprogress::pbtotal);
  driver::WaitUntil([total] { return SendMessageA(total, PBM_GETPOS, 0, 0) >= 20; }, 60000);
  return progress;
}

TEST_F(WindowBuild, ProgressWindowCancelsAndBuildsAgain) {
  std::string dir = MakeScratchDir("ui-progress");
  std::string src = MakeLargeSource(dir);
  OrvexWindow orvex("");
  ASSERT_TRUE(orvex.main);
  HWND progress = StartBuildAndWaitForTheBars(orvex, src, dir + "big.exe");
  ASSERT_TRUE(progress);
  EXPECT_EQ(driver::WindowText(progress), driver::WindowText(orvex.main));
  RECT client;
  GetClientRect(progress, &client);
  EXPECT_EQ(client.right, FprogressClientWidth);
  EXPECT_EQ(client.bottom, FprogressClientHeight);
  EXPECT_FALSE(GetWindowLongA(progress, GWL_STYLE) & WS_SYSMENU);
  EXPECT_FALSE(IsWindowEnabled(orvex.main)) << "the progress window is modal";

  HWND total = driver::ControlById(progress, Tfprogress::pbtotal);
  LRESULT position = SendMessageA(total, PBM_GETPOS, 0, 0);
  EXPECT_GE(position, 20);
  EXPECT_LT(position, 1000) << "the build must still be running for Cancel to matter";
  EXPECT_EQ(SendMessageA(total, PBM_GETRANGE, FALSE, 0), 1000);
  std::string counter = TextOf(progress, Tfprogress::lsize);
  EXPECT_TRUE(std::regex_match(counter, std::regex(R"(\S+ [kMG]?B / \S+ MB   \(\d+%\))"))) << counter;
  EXPECT_EQ(TextOf(progress, Tfprogress::lfile), "File progress:");
  EXPECT_EQ(TextOf(progress, Tfprogress::ltarget), dir + "big.exe");
  EXPECT_EQ(TextOf(progress, Tfprogress::lsource).compare(0, src.size(), src), 0) << TextOf(progress, Tfprogress::lsource);
  Shot(progress, "progress-mid-build");

  // Escape does nothing; Cancel stops the build, deletes the target and says so.
  driver::PressKey(progress, VK_ESCAPE);
  EXPECT_TRUE(driver::WaitForSettled(progress));
  EXPECT_TRUE(IsWindowVisible(progress));
  ASSERT_LT(SendMessageA(total, PBM_GETPOS, 0, 0), 1000) << "the source is too small to cancel in time";
  driver::PressButtonId(progress, Tfprogress::bcancel);
  HWND box = WaitForBox(orvex.Id(), "Warning", 60000);
  ASSERT_TRUE(box);
  driver::MessageBoxInfo info = AnswerBox(box, "OK", "box-build-aborted");
  EXPECT_EQ(info.text, "Orvex has been aborted\r\nTarget SFX file has been deleted");
  EXPECT_EQ(info.icon, driver::BoxIcon::Warning);
  EXPECT_TRUE(driver::WaitForWindowGone(progress, 10000));
  EXPECT_FALSE(FileExists(dir + "big.exe"));
  EXPECT_TRUE(driver::WaitForSettled(orvex.main)) << "Cancel leaves the program running";
  EXPECT_FALSE(orvex.Ends(0));
  EXPECT_TRUE(IsWindowEnabled(orvex.main));
  EXPECT_EQ(TextOf(orvex.main, esource), src);
  EXPECT_EQ(TextOf(orvex.main, etarget), dir + "big.exe");

  // The same window builds again, to the end.
  MakeAndExpectSuccess(orvex, "box-build-success");
  EXPECT_TRUE(FileExists(dir + "big.exe"));
}

// Cancel while two threads compress: the target goes, and the program, closed, ends at
// once: no compressing thread outlives the build.
TEST_F(WindowBuild, CancelWhileThreadsCompressLeavesNoThreadBehind) {
  std::string dir = MakeScratchDir("ui-cancel-threads");
  std::string src = MakeLargeSource(dir);
  OrvexWindow orvex("-j2");
  ASSERT_TRUE(orvex.main);
  HWND progress = StartBuildAndWaitForTheBars(orvex, src, dir + "big.exe");
  ASSERT_TRUE(progress);
  HWND total = driver::ControlById(progress, Tfprogress::pbtotal);
  ASSERT_LT(SendMessageA(total, PBM_GETPOS, 0, 0), 1000) << "the source is too small to cancel in time";
  driver::PressButtonId(progress, Tfprogress::bcancel);
  HWND box = WaitForBox(orvex.Id(), "Warning", 10000);
  ASSERT_TRUE(box) << "Cancel answers within a chunk";
  AnswerBox(box, "OK", "box-threads-aborted");
  EXPECT_FALSE(FileExists(dir + "big.exe"));
  PostMessageA(orvex.main, WM_CLOSE, 0, 0);
  EXPECT_TRUE(orvex.Ends(10000));
}

// Types a one-file source and `target` into the window and presses Make.
void MakeSmallBuild(OrvexWindow& orvex, const std::string& dir, const std::string& target) {
  CreateDirectoryA((dir + "src").c_str(), nullptr);
  WriteFileBytes(dir + "src\\a.txt", "a");
  driver::TypeText(orvex.main, esource, dir + "src");
  driver::TypeText(orvex.main, etarget, target);
  driver::PressButtonId(orvex.main, bmake);
}

TEST_F(WindowBuild, WithoutFinalMessageTheProgramJustEnds) {
  std::string dir = MakeScratchDir("ui-no-message");
  OrvexWindow orvex("-c");
  ASSERT_TRUE(orvex.main);
  MakeSmallBuild(orvex, dir, dir + "quiet.exe");
  EXPECT_TRUE(orvex.Ends()) << "no box waits for an answer";
  EXPECT_EQ(orvex.process->ExitCode(), 0u);
  EXPECT_TRUE(FileExists(dir + "quiet.exe"));
}

TEST_F(WindowBuild, AnErrorInsideTheBuildKeepsTheWindowOpen) {
  std::string dir = MakeScratchDir("ui-build-error");
  OrvexWindow orvex("");
  ASSERT_TRUE(orvex.main);
  // A folder where the target file should be: the target cannot be created.
  CreateDirectoryA((dir + "taken.exe").c_str(), nullptr);
  MakeSmallBuild(orvex, dir, dir + "taken.exe");
  HWND box = WaitForBox(orvex.Id(), "Orvex");
  ASSERT_TRUE(box) << "the error box carries the application title";
  driver::MessageBoxInfo info = AnswerBox(box, "OK", "box-build-error");
  EXPECT_EQ(info.icon, driver::BoxIcon::Error);
  EXPECT_EQ(info.text, "File access denied\r\n\r\n" + dir + "taken.exe") << "no full stop after a path";
  EXPECT_TRUE(driver::WaitForSettled(orvex.main));
  EXPECT_FALSE(orvex.Ends(0));
  EXPECT_TRUE(IsWindowEnabled(orvex.main));
  EXPECT_EQ(driver::WaitForWindow("Tfprogress", "", 200, orvex.Id()), nullptr);
  EXPECT_EQ(TextOf(orvex.main, etarget), dir + "taken.exe");

  // What the build's walk refuses is shown as every refusal is, and nothing is written.
  ASSERT_TRUE(MakeHostFile(dir + "src\\", L"aux.c"));
  driver::TypeText(orvex.main, etarget, dir + "refused.exe");
  driver::PressButtonId(orvex.main, bmake);
  box = WaitForBox(orvex.Id(), "Error");
  ASSERT_TRUE(box);
  EXPECT_EQ(AnswerBox(box, "OK", "").text, "Windows opens a device for this name\r\n\r\n" + dir + "src\\aux.c");
  EXPECT_TRUE(driver::WaitForSettled(orvex.main));
  EXPECT_FALSE(FileExists(dir + "refused.exe"));
}


// The extractor window, its overwrite question and the builder's main and progress
// windows at the display's DPI (the test runs at 96 and at 192): their 96-DPI sizes
// scaled, every label and button big enough for its text in the scaled font.
TEST(Dpi, WindowsScaleWithTheDisplay) {
  SetProcessDPIAware();  // the windows' true sizes, not ones scaled back to 96
  HDC dc = GetDC(nullptr);
  int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  auto check = [&](HWND window, int width, int height, HGDIOBJ font, const std::string& shot) {
    RECT r, need;
    GetClientRect(window, &r);
    if (width) EXPECT_TRUE(r.right == MulDiv(width, dpi, 96) && r.bottom == MulDiv(height, dpi, 96)) << shot;
    SelectObject(dc, font);
    for (const driver::Control& c : driver::Controls(window)) {
      LONG type = GetWindowLongA(c.window, GWL_STYLE) & BS_TYPEMASK, button = c.className == "Button";
      bool box = button && (type == BS_AUTOCHECKBOX || type == BS_AUTORADIOBUTTON);
      GetClientRect(c.window, &r);
      need = {0, 0, r.right - (box ? GetSystemMetrics(SM_CXMENUCHECK) + 4 : 0), 0};
      DrawTextA(dc, c.text.c_str(), -1, &need, DT_CALCRECT | DT_NOPREFIX | (button && !box ? DT_SINGLELINE : DT_WORDBREAK));
      if (button || c.className == "Static") EXPECT_TRUE(need.right <= r.right && need.bottom <= r.bottom) << c.text;
    }
    Shot(window, "dpi" + std::to_string(dpi) + "-" + shot);
  };
  std::string dir = MakeScratchDir("ui-dpi");
  CreateDirectoryA((dir + "dest").c_str(), nullptr);
  WriteFileBytes(dir + "dest\\a.txt", "old");
  ASSERT_EQ(RunToEnd(Quoted(BinDir() + "orvex.exe") + " -h -c -o -fm " + Quoted(dir + "dest") + " " +
                     Quoted(dir + "sfx.exe") + " " + Quoted(dir + "dest")), 0u);
  ChildProcess sfx(Quoted(dir + "sfx.exe"));
  HWND prompt = WaitForBox(sfx.Id(), "", 20000), window = driver::WaitForWindow("ovsfxwindowclass", "", 5000, sfx.Id());
  ASSERT_TRUE(prompt && window);
  SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);  // out from under the question
  driver::WaitForSettled(window);
  check(window, 320, 96, nullptr, "extractor");
  NONCLIENTMETRICSA metrics{sizeof metrics};
  SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  // The question is the system's message box, of no fixed size.
  check(prompt, 0, 0, GdiObject(CreateFontIndirectA(&metrics.lfMessageFont)).Get(), "overwrite-prompt");
  sfx.Kill();

  OrvexWindow orvex("");
  GdiObject tahoma(CreateFontA(-MulDiv(8, dpi, 72), 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Tahoma"));
  ASSERT_TRUE(orvex.main);
  check(orvex.main, ForvexClientWidth, ForvexClientHeight, tahoma.Get(), "main-window");
  HWND progress = StartBuildAndWaitForTheBars(orvex, MakeLargeSource(dir), dir + "big.exe");
  ASSERT_TRUE(progress);
  check(progress, FprogressClientWidth, FprogressClientHeight, tahoma.Get(), "progress-window");
  ReleaseDC(nullptr, dc);
}

}  // namespace
