// The test driver: finds the windows of programs under test, reads their texts, presses
// their buttons, types into their controls and saves screenshots. Used in-process by the
// Windows tests and, through ovdriver.exe, from the command line.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace driver {

struct Control {
  HWND window;
  int id;
  std::string className;
  std::string text;
};

enum class BoxIcon { None, Error, Information, Warning, Question };

struct MessageBoxInfo {
  std::string caption;
  std::string text;
  std::vector<std::string> buttons;  // captions without their '&'
  BoxIcon icon = BoxIcon::None;
  std::string defaultButton;
};

// Waits for a visible top-level window whose class and caption match (an empty filter
// matches anything; `processId` 0 matches any process). Null after `timeoutMs`.
HWND WaitForWindow(const std::string& className, const std::string& caption, DWORD timeoutMs,
                   DWORD processId = 0);
// Waits until the window is gone; false after `timeoutMs`.
bool WaitForWindowGone(HWND window, DWORD timeoutMs);
// Waits until the window's thread has handled what was sent or posted to it before the
// call and nothing of the window or its controls is left to paint, so the screen shows it
// as it is; false when the window is gone, hangs, or `timeoutMs` passes.
bool WaitForSettled(HWND window, DWORD timeoutMs = 5000);
// Polls `condition` until it holds; false after `timeoutMs`.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);

// Gives up on a window that does not answer within a few seconds: a hung program under
// test must fail its test, not hang it.
std::string WindowText(HWND window);
std::string ClassNameOf(HWND window);
std::vector<Control> Controls(HWND top);
HWND ControlById(HWND top, int id);
// The control whose caption, without '&', equals `caption`.
HWND ControlByCaption(HWND top, const std::string& caption);

MessageBoxInfo ReadMessageBox(HWND box);

// Presses the button as a click would, without waiting for what the click starts.
bool PressButton(HWND top, const std::string& caption);
bool PressButtonId(HWND top, int id);
// Sends a key press to the window's focused control (or the window itself).
bool PressKey(HWND top, UINT virtualKey);
// Replaces the text of an edit control by typing it character by character.
bool TypeText(HWND top, int id, const std::string& text);

// Saves what the screen shows of the window as a PNG file.
bool SaveScreenshot(HWND window, const std::string& pngPath);
// The colour of one pixel of the screen, relative to the window's top-left corner.
COLORREF PixelAt(HWND window, int x, int y);

}  // namespace driver
