// The environment-variables window and the command-line help window of the real orvex.exe.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include "f_cmdline.h"
#include "f_envvars.h"
#include "f_orvex.h"
#include "uitest.h"
#include "windowtest.h"

using namespace testing_support;
using namespace uitest;
using namespace windowtest;

namespace {

class EnvironmentWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteSettings();
    // The builder inherits these from the test.
    ASSERT_TRUE(SetEnvironmentVariableA("ORVEX_EQUALS", "a=b=c"));
    ASSERT_TRUE(SetEnvironmentVariableW(L"ORVEX_CAFE", L"caf\u00e9"));
    ASSERT_TRUE(SetEnvironmentVariableA("=Q:", "Q:\\hidden"));
  }
  void TearDown() override {
    SetEnvironmentVariableA("ORVEX_EQUALS", nullptr);
    SetEnvironmentVariableA("ORVEX_CAFE", nullptr);
    SetEnvironmentVariableA("=Q:", nullptr);
  }
};

void SelectInCustomFolder(HWND main, int start, int end) {
  SendMessageA(driver::ControlById(main, ecustomdir), EM_SETSEL, start, end);
}

// The custom folder chosen, holding `text` with the characters from `start` to `end` selected.
void PrepareCustomFolder(HWND main, const std::string& text, int start, int end) {
  Click(main, rbcustom);
  driver::TypeText(main, ecustomdir, text);
  SelectInCustomFolder(main, start, end);
}

TEST_F(EnvironmentWindow, GridListsTheEnvironmentAndEnterInsertsAtTheCaret) {
  OrvexWindow orvex("");
  ASSERT_TRUE(orvex.main);
  HWND w = orvex.main;
  PrepareCustomFolder(w, "C:\\base\\", 3, 3);

  HWND window = OpenFromButton(w, benvvars, "Tfenvvars");
  ASSERT_TRUE(window);
  Shot(window, "envvars");
  ExpectModalWindow(window, w, driver::WindowText(w) + " - Environment variables on this computer",
                    FenvvarsClientWidth, FenvvarsClientHeight);
  EXPECT_EQ(TextOf(window, Tfenvvars::ltip),
            "Tip: Use double click or press Enter to copy the variable name into the custom folder edit line");

  RECT tip, top;
  GetWindowRect(driver::ControlById(window, Tfenvvars::ltip), &tip);
  GetWindowRect(window, &top);
  bool lit = false;
  for (int y = tip.top; y < tip.bottom && !lit; ++y)
    for (int x = tip.left; x < tip.right && !lit; ++x)
      lit = driver::PixelAt(window, x - top.left, y - top.top) == GetSysColor(COLOR_HOTLIGHT);
  EXPECT_TRUE(lit) << "the tip is drawn in the hot-light colour " << std::hex << GetSysColor(COLOR_HOTLIGHT);

  HWND list = driver::ControlById(window, Tfenvvars::vleenvvars);
  EXPECT_EQ(SendMessageA(list, LVM_GETCOLUMNWIDTH, 0, 0), EnvvarsNameColumnWidth);
  EXPECT_EQ(SendMessageA(list, LVM_GETCOLUMNWIDTH, 1, 0), EnvvarsValueColumnWidth);
  EXPECT_TRUE(SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_FULLROWSELECT);
  EXPECT_EQ(FocusOf(window), list);

  RemoteListView grid(list);
  ASSERT_GT(grid.RowCount(), 3);
  int equals = grid.FindRow("%ORVEX_EQUALS%");
  ASSERT_GE(equals, 0);
  EXPECT_EQ(grid.Cell(equals, 1), "a=b=c") << "the value keeps every later '='";
  int cafe = grid.FindRow("%ORVEX_CAFE%");
  ASSERT_GE(cafe, 0);
  EXPECT_EQ(grid.Cell(cafe, 1), "caf\xE9") << "the value in the ANSI code page";
  bool hidden = false;
  for (int row = 0; row < grid.RowCount(); ++row)
    hidden = hidden || (grid.Cell(row, 0) == "%%" && grid.Cell(row, 1) == "Q:=Q:\\hidden");
  EXPECT_TRUE(hidden) << "a per-drive entry becomes a row named %%";
  int path = grid.FindRow("%PATH%");
  ASSERT_GE(path, 0);
  char value[4096] = {};
  GetEnvironmentVariableA("PATH", value, sizeof value);
  EXPECT_EQ(grid.Cell(path, 1), value);

  ASSERT_TRUE(grid.Select(equals));
  driver::WaitForSettled(window);
  Shot(window, "envvars-selected");
  EXPECT_TRUE(CloseWithKey(window, VK_RETURN)) << "Enter in the grid closes the window";
  EXPECT_EQ(TextOf(w, ecustomdir), "C:\\%ORVEX_EQUALS%base\\");
  EXPECT_EQ(FocusOf(w), driver::ControlById(w, ecustomdir));
}

TEST_F(EnvironmentWindow, DoubleClickReplacesTheSelectionAndCancelInsertsNothing) {
  OrvexWindow orvex("");
  ASSERT_TRUE(orvex.main);
  HWND w = orvex.main;
  PrepareCustomFolder(w, "C:\\base\\app", 3, 7);  // "base" selected

  HWND window = OpenFromButton(w, benvvars, "Tfenvvars");
  ASSERT_TRUE(window);
  HWND list = driver::ControlById(window, Tfenvvars::vleenvvars);
  RemoteListView grid(list);

  // A double click on the column titles picks nothing and keeps the window open.
  HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
  ASSERT_TRUE(header);
  DoubleClick(header, POINT{60, 8});
  EXPECT_TRUE(driver::WaitForSettled(window)) << "the titles are not a data row";
  // Nor does one below the last row.
  RECT area;
  GetClientRect(list, &area);
  RECT last = grid.RowRect(grid.RowCount() - 1);
  if (last.bottom + 4 < area.bottom) {
    DoubleClick(list, POINT{40, area.bottom - 4});
    EXPECT_TRUE(driver::WaitForSettled(window)) << "no row under the mouse";
  }

  int cafe = grid.FindRow("%ORVEX_CAFE%");
  ASSERT_GE(cafe, 0);
  ASSERT_TRUE(grid.Select(cafe));
  driver::WaitForSettled(window);
  RECT row = grid.RowRect(cafe);
  ASSERT_GT(row.bottom, row.top);
  DoubleClick(list, POINT{EnvvarsNameColumnWidth + 40, (row.top + row.bottom) / 2});  // on the value cell
  ASSERT_TRUE(driver::WaitForWindowGone(window, 5000)) << "a double click on a data row closes the window";
  driver::WaitForSettled(w);
  EXPECT_EQ(TextOf(w, ecustomdir), "C:\\%ORVEX_CAFE%\\app");
  EXPECT_EQ(FocusOf(w), driver::ControlById(w, ecustomdir));

  // Escape and Close insert nothing, but the custom folder still gets the focus.
  for (bool escape : {true, false}) {
    SelectInCustomFolder(w, 0, 2);
    window = OpenFromButton(w, benvvars, "Tfenvvars");
    ASSERT_TRUE(window);
    if (escape)
      EXPECT_TRUE(CloseWithKey(window, VK_ESCAPE));
    else
      EXPECT_TRUE(CloseWithButton(window, Tfenvvars::bclose));
    EXPECT_EQ(TextOf(w, ecustomdir), "C:\\%ORVEX_CAFE%\\app");
    EXPECT_EQ(FocusOf(w), driver::ControlById(w, ecustomdir)) << (escape ? "after Escape" : "after Close");
    EXPECT_TRUE(IsWindowEnabled(w));
  }
}

// The usage text as the program file carries it.
std::string UsageResource(const std::string& program) {
  HMODULE module = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return std::string();
  std::string text;
  HRSRC found = FindResourceA(module, "CMDLINE", "TXT");
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  if (bytes) text.assign(bytes, SizeofResource(module, found));
  FreeLibrary(module);
  return text;
}

TEST(HelpWindow, ShowsTheUsageTextInColumns) {
  std::string usage = UsageResource(BinDir() + "orvex.exe");
  ASSERT_FALSE(usage.empty());
  size_t lines = 0;
  for (size_t at = usage.find("\r\n"); at != std::string::npos; at = usage.find("\r\n", at + 2)) ++lines;
  EXPECT_EQ(lines, 67u);
  ASSERT_EQ(usage.substr(usage.size() - 2), "\r\n") << "every line ends with a line break";

  OrvexWindow orvex("");
  ASSERT_TRUE(orvex.main);
  HWND window = OpenFromLink(orvex.main, lcmdline, "Tfcmdline");
  ASSERT_TRUE(window);
  Shot(window, "cmdline-help");
  ExpectModalWindow(window, orvex.main, "Command line support", FcmdlineClientWidth, FcmdlineClientHeight);
  EXPECT_EQ(FocusOf(window), driver::ControlById(window, Tfcmdline::bclose));

  HWND text = driver::ControlById(window, Tfcmdline::mcmdline);
  EXPECT_EQ(driver::WindowText(text), usage) << "byte for byte";
  EXPECT_TRUE(GetWindowLongA(text, GWL_STYLE) & ES_READONLY);

  // Line 14 starts with six spaces, so its text starts under the seventh character of
  // line 13 ("Note: Do ..."), and both lines step by the same cell width: a fixed pitch.
  size_t note = usage.find("\r\nNote: Do not forget") + 2;
  size_t escaping = usage.find("\r\n      If there are quotes") + 2;
  ASSERT_EQ(usage.find("\r\n", note) + 2, escaping) << "lines 13 and 14 follow each other";
  auto at = [&](size_t index) {
    LRESULT position = SendMessageA(text, EM_POSFROMCHAR, index, 0);
    return POINT{static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
  };
  EXPECT_GT(at(escaping).y, at(note).y);
  EXPECT_EQ(at(escaping + 6).x, at(note + 6).x) << "line 14 lines up under line 13";
  int cell = at(note + 1).x - at(note).x;
  EXPECT_GT(cell, 0);
  EXPECT_EQ(at(note + 40).x - at(note).x, 40 * cell) << "every character of line 13 takes one cell";
  EXPECT_EQ(at(escaping + 6).x - at(escaping).x, 6 * cell) << "as every space of line 14";

  EXPECT_TRUE(CloseWithKey(window, VK_ESCAPE));
  EXPECT_TRUE(IsWindowEnabled(orvex.main));

  window = OpenFromLink(orvex.main, lcmdline, "Tfcmdline");
  ASSERT_TRUE(window);
  EXPECT_TRUE(CloseWithKey(window, VK_RETURN)) << "Close is the default button";
}

}  // namespace
