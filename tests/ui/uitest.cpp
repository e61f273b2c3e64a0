#include "uitest.h"

#include <sstream>

using namespace testing_support;

namespace uitest {

OrvexWindow::OrvexWindow(const std::string& arguments, const std::string& folder, bool waitForMain) {
  process = std::make_unique<ChildProcess>(Quoted(BinDir() + "orvex.exe") + " " + arguments, folder);
  if (waitForMain && process->Started()) {
    main = driver::WaitForWindow("Tforvex", "", 30000, process->Id());
    // The first showing posts the auto-start message; let it and the painting pass.
    if (main) driver::WaitForSettled(main);
  }
}

OrvexWindow::~OrvexWindow() {
  if (!process->Wait(0)) process->Kill();
}

HWND WaitForBox(DWORD processId, const std::string& caption, DWORD timeoutMs) {
  HWND box = driver::WaitForWindow("#32770", caption, timeoutMs, processId);
  if (box) driver::WaitForSettled(box);  // painted before it is read or photographed
  return box;
}

driver::MessageBoxInfo AnswerBox(HWND box, const std::string& button, const std::string& shot) {
  driver::MessageBoxInfo info = driver::ReadMessageBox(box);
  if (!shot.empty()) Shot(box, shot);
  driver::PressButton(box, button);
  driver::WaitForWindowGone(box, 10000);
  return info;
}

void Click(HWND top, int id) {
  HWND control = driver::ControlById(top, id);
  DWORD_PTR ignored;
  SendMessageTimeoutA(control, BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &ignored);
}

bool IsChecked(HWND top, int id) {
  return SendMessageA(driver::ControlById(top, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool IsEnabled(HWND top, int id) { return IsWindowEnabled(driver::ControlById(top, id)) != FALSE; }

std::string TextOf(HWND top, int id) { return driver::WindowText(driver::ControlById(top, id)); }

HWND FocusOf(HWND top) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(GetWindowThreadProcessId(top, nullptr), &info);
  return info.hwndFocus;
}

void Shot(HWND window, const std::string& name) { driver::SaveScreenshot(window, ScreenshotDir() + name + ".png"); }

std::map<std::string, std::string> QuerySettings(bool* exists) {
  std::string output;
  DWORD code = RunCapture("reg.exe query HKCU\\Software\\Halvorn\\Orvex", output);
  if (exists) *exists = code == 0;
  std::map<std::string, std::string> values;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // "    Name    REG_TYPE    value"
    if (line.compare(0, 4, "    ") != 0) continue;
    size_t nameEnd = line.find("    ", 4);
    if (nameEnd == std::string::npos) continue;
    size_t typeEnd = line.find("    ", nameEnd + 4);
    std::string type = line.substr(nameEnd + 4, typeEnd == std::string::npos ? std::string::npos : typeEnd - nameEnd - 4);
    std::string value = typeEnd == std::string::npos ? std::string() : line.substr(typeEnd + 4);
    values[line.substr(4, nameEnd - 4)] = type + " " + value;
  }
  return values;
}

void DeleteSettings() { RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Halvorn\\Orvex"); }

}  // namespace uitest
