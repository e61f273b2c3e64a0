#include "ovdialogs.h"

#include <windows.h>

#include <vector>

std::string AppId;

namespace {

const char* const DialogTexts[] = {
    "",
    "Error",
    "Information",
    "Warning",
    "Confirmation",
    "About...",
    "Version",
    "This program is released as freeware",
    "Copyright (c) Halvorn",
    "Web",
    "E-mail",
    "OK",
};

struct ThreadWindows {
  std::vector<HWND> disabled;
  std::vector<HWND> topmost;
};

BOOL CALLBACK CollectThreadWindow(HWND window, LPARAM context) {
  ThreadWindows* windows = reinterpret_cast<ThreadWindows*>(context);
  if (!IsWindowVisible(window)) return TRUE;
  if (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) windows->topmost.push_back(window);
  if (IsWindowEnabled(window)) windows->disabled.push_back(window);
  return TRUE;
}

// The application-modal box: every other window of the application is disabled while it
// is open, no topmost window of ours can hide it, and afterwards the active window and
// the keyboard focus come back.
int ShowModalBox(const std::string& text, DialogText caption, UINT style) {
  HWND active = GetActiveWindow();
  HWND focus = GetFocus();
  ThreadWindows windows;
  EnumThreadWindows(GetCurrentThreadId(), CollectThreadWindow, reinterpret_cast<LPARAM>(&windows));
  for (HWND w : windows.topmost)
    SetWindowPos(w, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  for (HWND w : windows.disabled) EnableWindow(w, FALSE);

  // Owned by the active window, so the system places it on that window's monitor; before
  // any window exists the box is task-modal.
  HWND owner = active && IsWindow(active) ? active : nullptr;
  int result = MessageBoxA(owner, text.c_str(), DialogTextOf(caption),
                           style | (owner ? MB_APPLMODAL : MB_TASKMODAL));

  for (HWND w : windows.disabled)
    if (IsWindow(w)) EnableWindow(w, TRUE);
  for (HWND w : windows.topmost)
    if (IsWindow(w)) SetWindowPos(w, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  if (active && IsWindow(active)) SetActiveWindow(active);
  if (focus && IsWindow(focus)) SetFocus(focus);
  return result;
}

}  // namespace

const char* DialogTextOf(DialogText entry) { return DialogTexts[entry]; }

void ShowError(const std::string& text) { ShowModalBox(text, dtError, MB_OK | MB_ICONERROR); }

void ShowInfo(const std::string& text) { ShowModalBox(text, dtInformation, MB_OK | MB_ICONINFORMATION); }

void ShowWarning(const std::string& text) { ShowModalBox(text, dtWarning, MB_OK | MB_ICONWARNING); }

bool AskYesNo(const std::string& text, bool yesIsDefault) {
  UINT style = MB_YESNO | MB_ICONQUESTION | (yesIsDefault ? MB_DEFBUTTON1 : MB_DEFBUTTON2);
  return ShowModalBox(text, dtConfirmation, style) == IDYES;
}
