// Helpers of the generator, environment and help window tests: opening them from the real
// main window, and reading the environment grid of the other process.
#pragma once

#include <windows.h>

#include <string>

namespace windowtest {

// Clicks a link label of the main window as the mouse would and waits for the window of
// `className` it opens; null after the timeout.
HWND OpenFromLink(HWND main, int linkId, const char* className);
// Presses a button of the main window and waits for the window of `className` it opens.
HWND OpenFromButton(HWND main, int buttonId, const char* className);

// Checks what every one of these windows shares: its caption, its client size, and the
// main window disabled while it is open.
void ExpectModalWindow(HWND window, HWND main, const std::string& caption, int clientWidth, int clientHeight);

// Closes a window with a key or a button press and waits until it is gone; false when it
// stays.
bool CloseWithKey(HWND window, UINT key);
bool CloseWithButton(HWND window, int buttonId);

// The text on the clipboard, empty when none is there.
std::string ClipboardText();

// The options record of an SFX file with its random instance id blanked, so two builds of
// the same inputs compare equal; empty when the file carries no archive.
std::string OptionsRecordWithoutId(const std::string& sfxPath);
// The whole SFX file with the instance id of its options record and the checksum, which
// covers it, blanked.
std::string SfxFileWithoutId(const std::string& sfxPath);

// A list view of another process, read and worked through memory lent in that process,
// since its item messages carry pointers.
class RemoteListView {
 public:
  explicit RemoteListView(HWND list);
  ~RemoteListView();
  RemoteListView(const RemoteListView&) = delete;
  RemoteListView& operator=(const RemoteListView&) = delete;

  int RowCount() const;
  std::string Cell(int row, int column) const;
  // The first row whose name cell is `name`; -1 when none.
  int FindRow(const std::string& name) const;
  // Makes the row the selected and focused one.
  bool Select(int row) const;
  int SelectedRow() const;
  // The row's rectangle in the list's client area.
  RECT RowRect(int row) const;

 private:
  HWND list_;
  HANDLE process_ = nullptr;
  char* memory_ = nullptr;  // in the other process
};

// Posts a double click at a point of the control's client area.
void DoubleClick(HWND control, POINT point);

}  // namespace windowtest
