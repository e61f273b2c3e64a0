// The real orvex.exe in its window runs: layout and caption, the enabling rules, the
// command-line window build, the about box and the folder browser.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <stdexcept>

#include "f_orvex.h"
#include "orvex.h"
#include "ovdialogs.h"
#include "ovutils.h"
#include "uitest.h"

using namespace testing_support;
using namespace uitest;

namespace {

class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override { DeleteSettings(); }
};

struct ControlState {
  int id;
  bool checked;
  bool enabled;
};

void ExpectStates(HWND main, std::initializer_list<ControlState> states, const char* when) {
  for (const ControlState& s : states) {
    EXPECT_EQ(IsChecked(main, s.id), s.checked) << "control " << s.id << " " << when;
    EXPECT_EQ(IsEnabled(main, s.id), s.enabled) << "control " << s.id << " " << when;
  }
}

TEST_F(MainWindow, FirstStartShowsInitialStatesUnderTheVersionCaption) {
  OrvexWindow orvex("");
  ASSERT_TRUE(orvex.main);
  Shot(orvex.main, "main-initial");

  std::string version = GetFileVersionText(BinDir() + "orvex.exe");
  ASSERT_FALSE(version.empty()) << "the builder carries version information";
  EXPECT_EQ(driver::WindowText(orvex.main), "Orvex " + ShortVersionText(version));
  RECT client;
  GetClientRect(orvex.main, &client);
  EXPECT_EQ(client.right, ForvexClientWidth);
  EXPECT_EQ(client.bottom, ForvexClientHeight);
  LONG style = GetWindowLongA(orvex.main, GWL_STYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);

  EXPECT_EQ(FocusOf(orvex.main), driver::ControlById(orvex.main, bmake));
  for (int edit : {esource, etarget, eexecutablefile, ecmdparameters, ecustomdir}) EXPECT_EQ(TextOf(orvex.main, edit), "");
  ExpectStates(orvex.main,
               {{rbopenfolder, true, true},      {cbopenfolder, true, true},       {rbexecutefile, false, true},
                {rbwdextraction, true, false},   {rbdmimmediately, true, false},   {rbdmonreboot, false, false},
                {rbtemp, true, true},            {rbcustom, false, true},          {cboneinstance, false, true},
                {cbsilent, false, true},         {cbselfdelete, false, true},      {rbuacnone, true, false},
                {rbomprompt, true, true}},
               "at first start");
  for (int id : {eexecutablefile, bexecutablefile, ecmdparameters, lworkingdir, ldeletemode, luacautoelevation,
                 ecustomdir, lcustom, benvvars})
    EXPECT_FALSE(IsEnabled(orvex.main, id)) << id;

  // The links are drawn in blue: some pixel of the web link has the link colour.
  RECT link, top;
  GetWindowRect(driver::ControlById(orvex.main, lweb), &link);
  GetWindowRect(orvex.main, &top);
  bool blue = false;
  for (int y = link.top; y < link.bottom && !blue; ++y)
    for (int x = link.left; x < link.right && !blue; ++x)
      blue = driver::PixelAt(orvex.main, x - top.left, y - top.top) == LinkColor;
  EXPECT_TRUE(blue);

  // Themed controls come from the builder's own manifest.
  HMODULE file = LoadLibraryExA((BinDir() + "orvex.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_TRUE(file);
  HRSRC manifest = FindResourceA(file, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  ASSERT_TRUE(manifest);
  std::string xml(static_cast<const char*>(LockResource(LoadResource(file, manifest))), SizeofResource(file, manifest));
  EXPECT_NE(xml.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  FreeLibrary(file);

  bool exists = false;
  EXPECT_TRUE(QuerySettings(&exists).empty());
  EXPECT_TRUE(exists) << "the first start creates the key, empty";
}

TEST_F(MainWindow, EnablingRulesFollowModeFolderAndElevation) {
  OrvexWindow orvex("");
  ASSERT_TRUE(orvex.main);
  HWND w = orvex.main;

  Click(w, rbexecutefile);
  ExpectStates(w,
               {{cbopenfolder, true, false},
                {rbwdextraction, true, true},
                {rbdmimmediately, true, true},
                {rbdmonreboot, false, false},
                {rbdmdonotdelete, false, true},
                {rbuacnone, true, true}},
               "in launch mode");
  for (int id : {lexecutablefile, eexecutablefile, bexecutablefile, lcmdparameters, ecmdparameters})
    EXPECT_TRUE(IsEnabled(w, id)) << id;
  Shot(w, "main-launch-mode");

  // Delete-on-reboot needs administrator elevation.
  Click(w, rbuacadministrator);
  EXPECT_TRUE(IsEnabled(w, rbdmonreboot));
  Click(w, rbdmonreboot);
  EXPECT_TRUE(IsChecked(w, rbdmonreboot));

  // Leaving launch mode keeps the choice, disabled.
  Click(w, rbopenfolder);
  ExpectStates(w, {{rbdmonreboot, true, false}, {rbdmimmediately, false, false}, {cbopenfolder, true, true}},
               "after leaving launch mode");

  // Back in launch mode, None moves the choice to immediate deletion.
  Click(w, rbexecutefile);
  ExpectStates(w, {{rbdmonreboot, true, true}}, "back in launch mode");
  Click(w, rbuacnone);
  ExpectStates(w, {{rbdmonreboot, false, false}, {rbdmimmediately, true, true}}, "after None");
  Click(w, rbuachighest);
  ExpectStates(w, {{rbdmonreboot, false, false}, {rbdmimmediately, true, true}}, "with highest permission");

  // The one-instance box re-applies the mode rule and changes nothing else.
  Click(w, cboneinstance);
  EXPECT_TRUE(IsChecked(w, cboneinstance));
  ExpectStates(w, {{rbexecutefile, true, true}, {cbopenfolder, true, false}, {rbdmonreboot, false, false}},
               "after the one-instance box");
  EXPECT_TRUE(IsEnabled(w, eexecutablefile));

  // A click on the custom folder enables its edit and moves the focus there.
  Click(w, rbcustom);
  EXPECT_TRUE(IsEnabled(w, ecustomdir));
  EXPECT_TRUE(IsEnabled(w, benvvars));
  EXPECT_TRUE(IsEnabled(w, lcustom));
  EXPECT_EQ(FocusOf(w), driver::ControlById(w, ecustomdir));
  driver::TypeText(w, ecustomdir, "%APPDATA%\\Orvex Test\\");
  Shot(w, "main-custom-folder");
  Click(w, rbdesktop);
  EXPECT_FALSE(IsEnabled(w, ecustomdir));
  EXPECT_FALSE(IsEnabled(w, benvvars));
  EXPECT_EQ(TextOf(w, ecustomdir), "%APPDATA%\\Orvex Test\\") << "a disabled edit keeps its text";

  // The typing limits of the two short fields.
  Click(w, rbcustom);
  driver::TypeText(w, ecmdparameters, std::string(140, 'p'));
  EXPECT_EQ(TextOf(w, ecmdparameters).size(), 127u);
  driver::TypeText(w, ecustomdir, std::string(270, 'c'));
  EXPECT_EQ(TextOf(w, ecustomdir).size() + 1, MaxCustomFolderLength) << "with the backslash the check adds";
}

TEST_F(MainWindow, StoredCustomFolderIsNotFocused) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Halvorn\\Orvex", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  DWORD five = 5;
  RegSetValueExA(key, "ExtractionFolder", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&five), sizeof five);
  RegCloseKey(key);
  OrvexWindow orvex("");
  ASSERT_TRUE(orvex.main);
  EXPECT_TRUE(IsChecked(orvex.main, rbcustom));
  EXPECT_TRUE(IsEnabled(orvex.main, ecustomdir));
  EXPECT_EQ(FocusOf(orvex.main), driver::ControlById(orvex.main, bmake));
}

// A window build from the command line presses Make by itself; an existing target stops
// it at the overwrite question, which shows the window as the command line filled it.
TEST_F(MainWindow, CommandLineWindowBuildAppliesTheElevationRule) {
  std::string dir = MakeScratchDir("ui-cmdline-rule");
  CreateDirectoryA((dir + "src").c_str(), nullptr);
  WriteFileBytes(dir + "src\\run.exe", "not really a program");
  WriteFileBytes(dir + "out.exe", "an older SFX file");

  {
    OrvexWindow orvex("-mf -dr -i " + Quoted(dir + "src") + " " + Quoted(dir + "out.exe") + " " +
                      Quoted(dir + "src\\run.exe") + " \" -x 1\"");
    ASSERT_TRUE(orvex.main);
    HWND question = WaitForBox(orvex.Id(), "Confirmation");
    ASSERT_TRUE(question) << "the build started by itself and asks about the existing target";
    ExpectStates(orvex.main,
                 {{rbexecutefile, true, true},
                  {rbdmimmediately, true, true},
                  {rbdmonreboot, false, false},
                  {cboneinstance, true, true},
                  {rbtemp, true, true}},
                 "with -mf -dr without -ua");
    EXPECT_EQ(TextOf(orvex.main, esource), dir + "src");
    EXPECT_EQ(TextOf(orvex.main, eexecutablefile), dir + "src\\run.exe");
    EXPECT_EQ(TextOf(orvex.main, ecmdparameters), " -x 1");
    AnswerBox(question, "No", "");
    EXPECT_TRUE(driver::WaitForSettled(orvex.main)) << "a No leaves the window open";
    EXPECT_EQ(ReadFileBytes(dir + "out.exe"), "an older SFX file");
  }
  {
    OrvexWindow orvex("-dr " + Quoted(dir + "src") + " " + Quoted(dir + "out.exe"));
    ASSERT_TRUE(orvex.main);
    HWND question = WaitForBox(orvex.Id(), "Confirmation");
    ASSERT_TRUE(question);
    ExpectStates(orvex.main, {{rbopenfolder, true, true}, {rbdmonreboot, true, false}}, "with -dr alone");
    AnswerBox(question, "No", "");
  }
}

TEST_F(MainWindow, CommandLineWindowBuildEndsAfterSuccess) {
  std::string dir = MakeScratchDir("ui-cmdline-build");
  CreateDirectoryA((dir + "src").c_str(), nullptr);
  WriteFileBytes(dir + "src\\a.txt", "a file");
  OrvexWindow orvex("-fm -s " + Quoted(dir + "src") + " " + Quoted(dir + "out.exe") + " %TEMP%\\x", "", false);
  HWND box = WaitForBox(orvex.Id(), "Information");
  ASSERT_TRUE(box);
  EXPECT_EQ(AnswerBox(box, "OK", "").text, "The SFX file has been successfully created");
  ASSERT_TRUE(orvex.Ends());
  EXPECT_EQ(orvex.process->ExitCode(), 0u);
  SfxOptions options;
  ASSERT_TRUE(sfxtest::ReadOptionsRecord(ReadFileBytes(dir + "out.exe"), options));
  EXPECT_EQ(options.ExtractionFolder, 5);
  EXPECT_STREQ(options.CustomFolder, "%TEMP%\\x\\");
  EXPECT_EQ(options.SilentMode, 1);
}

TEST_F(MainWindow, AboutBoxFromF1AndFromItsLink) {
  OrvexWindow orvex("");
  ASSERT_TRUE(orvex.main);
  driver::PressKey(orvex.main, VK_F1);
  HWND about = driver::WaitForWindow("tfabout", "About...", 10000, orvex.Id());
  ASSERT_TRUE(about);
  driver::WaitForSettled(about);
  Shot(about, "about");
  RECT client;
  GetClientRect(about, &client);
  EXPECT_EQ(client.right, 264);
  EXPECT_EQ(client.bottom, 208);
  EXPECT_FALSE(IsWindowEnabled(orvex.main)) << "the about box is modal";

  std::string texts;
  for (const driver::Control& c : driver::Controls(about)) texts += c.text + "|";
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExA((BinDir() + "orvex.exe").c_str(), GetFileExInfoStandard, &data));
  FILETIME local;
  SYSTEMTIME changed;
  FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
  FileTimeToSystemTime(&local, &changed);
  // The texts the box takes from the program file and from start-up.
  for (std::string expected : {"Version " + GetFileVersionText(BinDir() + "orvex.exe"),
                               std::string(DialogTextOf(dtRights)) + " " + std::to_string(changed.wYear),
                               std::string(MakerWebAddress) + "/orvex-app"})
    EXPECT_NE(texts.find("|" + expected + "|"), std::string::npos) << expected << " in " << texts;

  driver::PressKey(about, VK_ESCAPE);
  EXPECT_TRUE(driver::WaitForWindowGone(about, 5000)) << "OK is also the cancel button";
  driver::WaitForSettled(orvex.main);
  EXPECT_TRUE(IsWindowEnabled(orvex.main));

  driver::PressButtonId(orvex.main, labout);
  about = driver::WaitForWindow("tfabout", "About...", 10000, orvex.Id());
  ASSERT_TRUE(about);
  driver::PressKey(about, VK_RETURN);
  EXPECT_TRUE(driver::WaitForWindowGone(about, 5000)) << "OK is the default button";
}

TEST_F(MainWindow, SourceBrowserStartsAtAnExistingFolderOnly) {
  std::string dir = MakeScratchDir("ui-browse");
  // A folder that nothing changes during the run: the dialog finds its start folder by
  // comparing item lists, which carry the times of the folders on the way.
  char windows[MAX_PATH];
  std::string start(windows, GetWindowsDirectoryA(windows, MAX_PATH));
  OrvexWindow orvex("");
  ASSERT_TRUE(orvex.main);

  // Confirming at once gives the folder the dialog started in.
  driver::TypeText(orvex.main, esource, start);
  driver::PressButtonId(orvex.main, bsource);
  HWND dialog = WaitForBox(orvex.Id(), "");
  ASSERT_TRUE(dialog);
  // The dialog selects the start folder in its tree after it shows.
  HWND tree = nullptr;
  for (const driver::Control& c : driver::Controls(dialog))
    if (c.className == "SysTreeView32") tree = c.window;
  ASSERT_TRUE(tree);
  EXPECT_TRUE(driver::WaitUntil([tree] {
    LRESULT selected = SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
    return selected && selected != SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
  }, 10000)) << "the start folder lies below the tree's root";
  driver::WaitForSettled(dialog);
  Shot(dialog, "browse-for-folder");
  EXPECT_FALSE(IsWindowEnabled(orvex.main));
  driver::PressButton(dialog, "OK");
  ASSERT_TRUE(driver::WaitForWindowGone(dialog, 5000));
  driver::WaitForSettled(orvex.main);
  EXPECT_EQ(TextOf(orvex.main, esource), start);
  EXPECT_TRUE(IsWindowEnabled(orvex.main));

  // A text that names no folder is not preselected; Cancel leaves the text alone.
  driver::TypeText(orvex.main, esource, dir + "missing");
  driver::PressButtonId(orvex.main, bsource);
  dialog = WaitForBox(orvex.Id(), "");
  ASSERT_TRUE(dialog);
  driver::PressButton(dialog, "Cancel");
  ASSERT_TRUE(driver::WaitForWindowGone(dialog, 5000));
  driver::WaitForSettled(orvex.main);
  EXPECT_EQ(TextOf(orvex.main, esource), dir + "missing");
}

}  // namespace

namespace {

// Confirms a file dialog of the program as it opened: its file name and folder come from
// the window's texts.
void ConfirmFileDialog(DWORD processId, const std::string& caption, const std::string& shot) {
  HWND dialog = WaitForBox(processId, caption);
  ASSERT_TRUE(dialog) << caption;
  HWND owner = GetWindow(dialog, GW_OWNER);
  Shot(dialog, shot);
  driver::PressKey(dialog, VK_RETURN);  // in the file name, as a user would
  ASSERT_TRUE(driver::WaitForWindowGone(dialog, 5000));
  if (owner) driver::WaitForSettled(owner);
}

TEST_F(MainWindow, FileDialogsStartFromTheTexts) {
  std::string dir = MakeScratchDir("ui-file-dialogs");
  CreateDirectoryA((dir + "out").c_str(), nullptr);
  CreateDirectoryA((dir + "src").c_str(), nullptr);
  WriteFileBytes(dir + "src\\run.bat", "@echo off\r\n");
  OrvexWindow orvex("");
  ASSERT_TRUE(orvex.main);

  driver::TypeText(orvex.main, etarget, dir + "out\\new");
  driver::PressButtonId(orvex.main, btarget);
  ConfirmFileDialog(orvex.Id(), "Save As", "dialog-target");
  EXPECT_EQ(TextOf(orvex.main, etarget), dir + "out\\new.exe") << "the save dialog adds the default extension";

  Click(orvex.main, rbexecutefile);
  driver::TypeText(orvex.main, esource, dir + "src");
  driver::TypeText(orvex.main, eexecutablefile, "run.bat");
  driver::PressButtonId(orvex.main, bexecutablefile);
  ConfirmFileDialog(orvex.Id(), "Open", "dialog-executable");
  EXPECT_EQ(TextOf(orvex.main, eexecutablefile), dir + "src\\run.bat") << "the open dialog starts in the source folder";
}

// The window layer in this process: the system refuses a window, or a handler throws.
// Neither can be brought about from outside the real program.
std::string gRefusedClass;

LRESULT CALLBACK RefuseCreation(int code, WPARAM wParam, LPARAM lParam) {
  char name[64] = "";
  if (code == HCBT_CREATEWND && GetClassNameA(reinterpret_cast<HWND>(wParam), name, sizeof name) &&
      lstrcmpiA(name, gRefusedClass.c_str()) == 0)
    return 1;
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST(WindowLayer, AMainWindowThatCannotBeMadeEndsWithTheErrorStatus) {
  for (const char* refused : {"Tforvex", "Edit"}) {
    gRefusedClass = refused;
    HHOOK hook = SetWindowsHookExA(WH_CBT, RefuseCreation, nullptr, GetCurrentThreadId());
    ASSERT_TRUE(hook);
    EXPECT_EQ(RunWindowApplication(), 1) << refused;
    UnhookWindowsHookEx(hook);
    MSG left;
    while (PeekMessageA(&left, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
}

class ThrowingForm : public Form {
 public:
  bool Create() { return CreateForm("ThrowingForm", "Throwing", 200, 100, WS_OVERLAPPED | WS_CAPTION, nullptr); }

 protected:
  bool Message(UINT message, WPARAM, LPARAM, LRESULT&) override {
    if (message == WM_APP) throw std::runtime_error("A handler failed");
    if (message == WM_APP + 1) throw 42;
    return false;
  }
};

DWORD WINAPI AnswerApplicationError(void* box) {
  HWND shown = WaitForBox(GetCurrentProcessId(), "Orvex", 10000);
  if (shown) *static_cast<driver::MessageBoxInfo*>(box) = AnswerBox(shown, "OK", "");
  return 0;
}

TEST(WindowLayer, AnErrorEscapingAnyHandlerIsShownAsTheApplicationError) {
  ThrowingForm form;
  ASSERT_TRUE(form.Create());
  const struct {
    UINT message;
    const char* text;
  } cases[] = {{WM_APP, "A handler failed."}, {WM_APP + 1, "An unexpected error has occurred."}};
  for (const auto& c : cases) {
    driver::MessageBoxInfo box;
    HANDLE answer = CreateThread(nullptr, 0, AnswerApplicationError, &box, 0, nullptr);
    ASSERT_TRUE(answer);
    SendMessageA(form.Handle(), c.message, 0, 0);
    WaitForSingleObject(answer, INFINITE);
    CloseHandle(answer);
    EXPECT_EQ(box.text, c.text);
    EXPECT_EQ(box.icon, driver::BoxIcon::Error);
    EXPECT_TRUE(IsWindow(form.Handle())) << "the form goes on";
  }
}

}  // namespace
