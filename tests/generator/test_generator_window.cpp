// The command-line generator window of the real orvex.exe: the line for the window's
// choices, the clipboard, and lines that rebuild the same SFX file with a hidden build.
#include <gtest/gtest.h>

#include <functional>

#include "f_cmdlinegen.h"
#include "f_orvex.h"
#include "uitest.h"
#include "windowtest.h"

using namespace testing_support;
using namespace uitest;
using namespace windowtest;

namespace {

class GeneratorWindow : public ::testing::Test {
 protected:
  void SetUp() override { DeleteSettings(); }
};

// The line the generator shows for the main window as it is now; the window is
// photographed and closed with Escape.
std::string GeneratedLine(HWND main, const std::string& shot) {
  HWND generator = OpenFromLink(main, lcmdlinegen, "Tfcmdlinegen");
  EXPECT_TRUE(generator) << "the link opens the generator";
  if (!generator) return std::string();
  if (!shot.empty()) Shot(generator, shot);
  std::string line = TextOf(generator, Tfcmdlinegen::mcmdline);
  EXPECT_TRUE(CloseWithKey(generator, VK_ESCAPE));
  return line;
}

void SetClipboardText(const std::string& text) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  memcpy(GlobalLock(memory), text.c_str(), text.size() + 1);
  GlobalUnlock(memory);
  SetClipboardData(CF_TEXT, memory);
  CloseClipboard();
}

TEST_F(GeneratorWindow, InitialChoicesGiveTheShortLine) {
  OrvexWindow orvex("");
  ASSERT_TRUE(orvex.main);
  driver::TypeText(orvex.main, esource, "C:\\Src");
  driver::TypeText(orvex.main, etarget, "C:\\Out.exe");

  HWND generator = OpenFromLink(orvex.main, lcmdlinegen, "Tfcmdlinegen");
  ASSERT_TRUE(generator);
  Shot(generator, "generator-initial");
  ExpectModalWindow(generator, orvex.main, "Command line parameters generated from current UI options",
                    FcmdlinegenClientWidth, FcmdlinegenClientHeight);
  EXPECT_EQ(TextOf(generator, Tfcmdlinegen::mcmdline), BinDir() + "orvex.exe -me -ft -e -op C:\\Src C:\\Out.exe");
  LONG style = GetWindowLongA(driver::ControlById(generator, Tfcmdlinegen::mcmdline), GWL_STYLE);
  EXPECT_TRUE(style & ES_READONLY);
  EXPECT_TRUE(style & WS_VSCROLL);
  EXPECT_EQ(FocusOf(generator), driver::ControlById(generator, Tfcmdlinegen::bclose));
  // The unattended and the reproducible build are the generator's own choices, not the main window's.
  Click(generator, Tfcmdlinegen::cbunattended);
  Click(generator, Tfcmdlinegen::cbreproducible);
  driver::WaitForSettled(generator);
  Shot(generator, "generator-unattended");
  EXPECT_EQ(TextOf(generator, Tfcmdlinegen::mcmdline),
            BinDir() + "orvex.exe -me -ft -e -op -r -h -q C:\\Src C:\\Out.exe");
  Click(generator, Tfcmdlinegen::cbunattended);
  EXPECT_EQ(TextOf(generator, Tfcmdlinegen::mcmdline), BinDir() + "orvex.exe -me -ft -e -op -r C:\\Src C:\\Out.exe");

  EXPECT_TRUE(CloseWithKey(generator, VK_ESCAPE));
  EXPECT_TRUE(IsWindowEnabled(orvex.main));
  EXPECT_TRUE(IsWindow(orvex.main));
}

TEST_F(GeneratorWindow, QuotedValuesEmptyFieldsAndTheClipboard) {
  OrvexWindow orvex("");
  ASSERT_TRUE(orvex.main);
  HWND w = orvex.main;
  driver::TypeText(w, esource, "C:\\My Src\\");
  driver::TypeText(w, etarget, "C:\\Out \"new\".exe");
  Click(w, rbexecutefile);
  driver::TypeText(w, ecmdparameters, "     ");
  Click(w, rbcustom);
  driver::TypeText(w, ecustomdir, "%TEMP%\\x y");
  const std::string program = BinDir() + "orvex.exe";
  const std::string head = program + " -mf -fm -we -di -un -op \"C:\\My Src\\\\\" \"C:\\Out \\\"new\\\".exe\" ";

  // No executable: the custom folder takes its place; blank parameters add nothing.
  EXPECT_EQ(GeneratedLine(w, "generator-empty-executable"), head + "\"%TEMP%\\x y\"");

  // No custom folder: the parameters take its place.
  driver::TypeText(w, eexecutablefile, "C:\\Src\\a\"b\".exe");
  driver::TypeText(w, ecustomdir, "");
  driver::TypeText(w, ecmdparameters, " say \"hi there\" ");
  const std::string expected = head + "C:\\Src\\a\\\"b\\\".exe \"say \\\"hi there\\\"\"";
  HWND generator = OpenFromLink(w, lcmdlinegen, "Tfcmdlinegen");
  ASSERT_TRUE(generator);
  Shot(generator, "generator-quotes");
  EXPECT_EQ(TextOf(generator, Tfcmdlinegen::mcmdline), expected);

  SetClipboardText("stale");
  driver::PressButtonId(generator, Tfcmdlinegen::bcopy);
  // Read once the click is handled: reading while it copies could hold the clipboard open
  // just when the window opens it, and the copy would fail.
  EXPECT_TRUE(driver::WaitForSettled(generator));
  EXPECT_EQ(ClipboardText(), expected);
  EXPECT_TRUE(IsWindow(generator)) << "copying leaves the window open";
  EXPECT_TRUE(CloseWithButton(generator, Tfcmdlinegen::bclose));
}

TEST_F(GeneratorWindow, ProgramPathWithASpaceIsQuoted) {
  std::string dir = MakeScratchDir("gen-program-space") + "Orvex Copy\\";
  CreateDirectoryA(dir.c_str(), nullptr);
  ASSERT_TRUE(CopyFileA((BinDir() + "orvex.exe").c_str(), (dir + "orvex.exe").c_str(), FALSE));
  ChildProcess copy(Quoted(dir + "orvex.exe"));
  ASSERT_TRUE(copy.Started());
  HWND main = driver::WaitForWindow("Tforvex", "", 30000, copy.Id());
  ASSERT_TRUE(main);
  driver::WaitForSettled(main);
  driver::TypeText(main, esource, "C:\\Src");
  driver::TypeText(main, etarget, "C:\\Out.exe");
  EXPECT_EQ(GeneratedLine(main, "generator-program-space"),
            "\"" + dir + "orvex.exe\" -me -ft -e -op C:\\Src C:\\Out.exe");
  copy.Kill();
}

// Each state of the main window, set up by clicks and typing in a fresh window.
struct WindowState {
  const char* name;
  std::function<void(HWND w, const std::string& dir)> apply;
};

// The generated line, given back to orvex.exe with -h -o, builds an SFX file with the
// options record of the window's own build.
TEST_F(GeneratorWindow, GeneratedLinesRebuildTheSameOptions) {
  std::string dir = MakeScratchDir("gen-round-trip");
  std::string source = dir + "My Src\\";
  CreateDirectoryA(source.c_str(), nullptr);
  CreateDirectoryA((source + "bin").c_str(), nullptr);
  WriteFileBytes(source + "readme.txt", "read me");
  WriteFileBytes(source + "bin\\run me.bat", "@echo off\r\n");

  const WindowState states[] = {
      {"extract-only",
       [](HWND w, const std::string& d) {
         driver::TypeText(w, esource, d + "My Src\\");
         driver::TypeText(w, etarget, d + "out one.exe");
         Click(w, cbopenfolder);
         Click(w, rbdesktop);
         Click(w, cbsilent);
         Click(w, rbomoverwrite);
         Click(w, cbstrongcompression);
       }},
      {"launch-custom-folder",
       [](HWND w, const std::string& d) {
         driver::TypeText(w, esource, "  " + d + "My Src\\");
         driver::TypeText(w, etarget, d + "out two.exe");
         Click(w, cbopenfolder);  // unchecked, so the disabled box adds nothing either way
         Click(w, rbexecutefile);
         driver::TypeText(w, eexecutablefile, d + "My Src\\bin\\run me.bat");
         driver::TypeText(w, ecmdparameters, "/quiet \"a b\" C:\\dir\\");
         Click(w, rbwdcurrent);
         Click(w, rbuacadministrator);
         Click(w, rbdmonreboot);
         Click(w, rbcustom);
         driver::TypeText(w, ecustomdir, "%TEMP%\\My App\\");
         Click(w, cboneinstance);
         Click(w, cbselfdelete);
         Click(w, rbomskip);
       }},
      {"launch-current-folder",
       [](HWND w, const std::string& d) {
         driver::TypeText(w, esource, d + "My Src");
         driver::TypeText(w, etarget, d + "out3.exe");
         Click(w, cbopenfolder);
         Click(w, rbexecutefile);
         driver::TypeText(w, eexecutablefile, d + "My Src\\bin\\run me.bat");
         driver::TypeText(w, ecmdparameters, "-x");
         Click(w, rbcurrent);
         Click(w, rbwdsource);
         Click(w, rbdmdonotdelete);
         Click(w, rbuachighest);
       }},
  };

  for (const WindowState& state : states) {
    SCOPED_TRACE(state.name);
    DeleteSettings();
    std::string line, target;
    {
      OrvexWindow orvex("");
      ASSERT_TRUE(orvex.main);
      state.apply(orvex.main, dir);
      target = TextOf(orvex.main, etarget);
      line = GeneratedLine(orvex.main, std::string("generator-") + state.name);
      driver::PressButtonId(orvex.main, bmake);
      HWND box = WaitForBox(orvex.Id(), "Information", 60000);
      ASSERT_TRUE(box) << "the window's own build";
      AnswerBox(box, "OK", "");
      ASSERT_TRUE(orvex.Ends());
    }
    std::string windowBuilt = OptionsRecordWithoutId(target);
    ASSERT_FALSE(windowBuilt.empty()) << target;
    std::string windowFile = SfxFileWithoutId(target);

    ChildProcess hidden(line + " -h -o");
    ASSERT_TRUE(hidden.Started()) << line;
    HWND box = WaitForBox(hidden.Id(), "Information", 60000);
    if (!box) hidden.Kill();  // it stopped at another box
    ASSERT_TRUE(box) << "no success box for " << line;
    AnswerBox(box, "OK", "");
    ASSERT_TRUE(hidden.Wait(30000));
    EXPECT_EQ(hidden.ExitCode(), 0u) << line;
    EXPECT_EQ(OptionsRecordWithoutId(target), windowBuilt) << line;
    EXPECT_TRUE(SfxFileWithoutId(target) == windowFile) << "the same head and entries: " << line;
  }
}

}  // namespace
