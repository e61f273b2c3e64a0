// Helpers of the window tests: the real orvex.exe started as a child, its windows worked
// through the test driver, its settings read back with reg.exe.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>

#include "archiverun.h"
#include "driver.h"
#include "testsupport.h"
#include "u_shared.h"

namespace uitest {

// One orvex.exe run and its main window (null when none showed).
struct OrvexWindow {
  std::unique_ptr<testing_support::ChildProcess> process;
  HWND main = nullptr;

  explicit OrvexWindow(const std::string& arguments, const std::string& folder = std::string(),
                       bool waitForMain = true);
  ~OrvexWindow();  // kills the program if it is still running
  DWORD Id() const { return process->Id(); }
  // Waits for the program to end; false after `timeoutMs`.
  bool Ends(DWORD timeoutMs = 30000) { return process->Wait(timeoutMs); }
};

// A visible box or dialog of the process with this caption; null after `timeoutMs`.
HWND WaitForBox(DWORD processId, const std::string& caption, DWORD timeoutMs = 30000);
// Reads the box, saves its screenshot and presses `button`.
driver::MessageBoxInfo AnswerBox(HWND box, const std::string& button, const std::string& shot);

// Clicks a button, check box or radio button of another process as the mouse would, and
// returns after the click was handled.
void Click(HWND top, int id);
bool IsChecked(HWND top, int id);
bool IsEnabled(HWND top, int id);
std::string TextOf(HWND top, int id);
HWND FocusOf(HWND top);

void Shot(HWND window, const std::string& name);

// The values under HKEY_CURRENT_USER\Software\Halvorn\Orvex as reg.exe lists them, name
// to "TYPE value"; `exists` is false when reg.exe cannot find the key.
std::map<std::string, std::string> QuerySettings(bool* exists = nullptr);
void DeleteSettings();

}  // namespace uitest
