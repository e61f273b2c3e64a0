// The small window layer the builder's forms share: a form owns one top-level window and
// its child controls, creates them from a table at fixed pixel positions, dispatches
// commands to handler methods, sees keys before its controls and can run a modal loop.
#pragma once

#include <windows.h>

#include <exception>
#include <string>
#include <vector>

#include "ovhandles.h"

// Window styles of the control kinds; WS_CHILD and WS_VISIBLE are always added.
constexpr DWORD csLabel = SS_LEFT | SS_NOPREFIX;
constexpr DWORD csLink = SS_LEFT | SS_NOPREFIX | SS_NOTIFY;
constexpr DWORD csEdit = ES_AUTOHSCROLL | WS_TABSTOP | WS_BORDER;
constexpr DWORD csButton = BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD csDefaultButton = BS_DEFPUSHBUTTON | WS_TABSTOP;
constexpr DWORD csCheckBox = BS_AUTOCHECKBOX | BS_MULTILINE | WS_TABSTOP;
// The first radio button of a group carries WS_GROUP; the group runs to the next control
// that carries it, so every table puts a grouped control after each radio group.
constexpr DWORD csFirstRadio = BS_AUTORADIOBUTTON | BS_MULTILINE | WS_TABSTOP | WS_GROUP;
constexpr DWORD csRadio = BS_AUTORADIOBUTTON | BS_MULTILINE;
constexpr DWORD csGroupBox = BS_GROUPBOX | WS_GROUP;

// One row of a form's control table; `link` draws a label blue and underlined, with the
// hand cursor over it.
struct ControlDef {
  int id;
  const char* className;
  const char* caption;
  int x, y, width, height;
  DWORD style;
  bool link = false;
};

class Form {
 public:
  Form() = default;
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  HWND Handle() const { return window_; }
  HWND Item(int id) const { return GetDlgItem(window_, id); }

  std::string Text(int id) const;
  void SetText(int id, const std::string& text);
  bool Checked(int id) const;
  void SetChecked(int id, bool checked);
  bool Enabled(int id) const;
  void Enable(int id, bool enabled);
  std::string Caption() const;

  // Shows the window, runs a message loop until a handler sets the modal result, hides the
  // window and gives the result. Every other window of the application is disabled
  // meanwhile, as with a message box.
  int ShowModal();
  void SetModalResult(int result) { modalResult_ = result; }

  // Processes one retrieved message the way the forms' loops do: the form sees keys first,
  // then the dialog keys (Tab, Enter for the default button) are handled.
  static void ProcessMessage(MSG& message);
  // Lets every pending message through; a quit request is put back for the outer loop.
  static void ProcessPendingMessages();
  // Runs the application's message loop until the quit request; gives its exit code.
  static int RunMessageLoop();

 protected:
  // Registers the class when needed and creates the window with the given client size,
  // centred over `owner` or, without one, on the screen.
  bool CreateForm(const char* className, const std::string& caption, int clientWidth, int clientHeight,
                  DWORD style, HWND owner, HICON icon = nullptr);
  bool CreateControls(const ControlDef* controls, size_t count);
  // The form's own font (0) and extra fonts made by AddFont, which the form owns.
  HFONT FontOf(int index) const;
  int AddFont(const char* face, int pointSize, bool bold, bool underline = false);
  void SetControlFont(int id, int fontIndex);

  // Handlers. `Command` gets every WM_COMMAND from a control or from the dialog keys.
  virtual void Command(int /*id*/, int /*code*/, HWND /*control*/) {}
  // A key pressed anywhere in the form; true consumes it.
  virtual bool FormKeyDown(UINT /*key*/) { return false; }
  virtual void FormShow() {}
  // WM_CLOSE from the system menu or Alt+F4; the default closes a modal form with Cancel.
  virtual void FormClose();
  // Any other message; give true and the result when handled.
  virtual bool Message(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

  int defaultButton_ = 0;
  bool modal_ = false;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
  bool IsLink(HWND control) const;
  void Centre(HWND owner);

  HWND window_ = nullptr;
  int modalResult_ = 0;
  bool shown_ = false;
  GdiObject fonts_[6];
  int fontCount_ = 0;
  GdiObject linkFont_;
  std::vector<HWND> links_;
};

// Disables every visible, enabled window of the thread except one for its lifetime, as a
// modal window or dialog must; they are enabled again when it goes.
class DisabledTaskWindows {
 public:
  explicit DisabledTaskWindows(HWND except);
  ~DisabledTaskWindows();
  DisabledTaskWindows(const DisabledTaskWindows&) = delete;
  DisabledTaskWindows& operator=(const DisabledTaskWindows&) = delete;

 private:
  static BOOL CALLBACK Disable(HWND window, LPARAM context);
  HWND except_;
  std::vector<HWND> disabled_;
};

// A length of the 96-DPI layout in the display's pixels: the tables give the sizes at 96
// DPI, and the program declares itself DPI-aware, so Windows does not stretch its windows.
int Scaled(int pixels);

// The first icon group of the program's own file; null when it has none.
HICON ApplicationIcon();

// The private message the main window and the progress window post to themselves when
// shown; both parameters carry the same number.
constexpr UINT AutoStartMessage = 0xD00;

// The colour of a link's text.
constexpr COLORREF LinkColor = RGB(0, 0, 255);
