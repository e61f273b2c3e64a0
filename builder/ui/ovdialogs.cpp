#include "ovdialogs.h"

#include <windows.h>

#include <shlobj.h>

#include <vector>

#include "ovfile.h"
#include "ovforms.h"
#include "ovhandles.h"
#include "ovutils.h"

std::string AppId;

namespace {

bool gMessagesToConsole = false;

bool IsHandle(HANDLE handle) { return handle && handle != INVALID_HANDLE_VALUE; }

void WriteStandard(DWORD which, const std::string& text) {
  HANDLE handle = GetStdHandle(which);
  DWORD written = 0;
  if (IsHandle(handle)) WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

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

// The visible topmost windows of the thread.
BOOL CALLBACK CollectTopmostWindow(HWND window, LPARAM context) {
  if (IsWindowVisible(window) && (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST))
    reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
  return TRUE;
}

// The application-modal box: every other window of the application is disabled while it
// is open, no topmost window of ours can hide it, and afterwards the active window and
// the keyboard focus come back.
int ShowModalBox(const std::string& text, const char* caption, UINT style) {
  if (gMessagesToConsole) {
    bool question = (style & MB_TYPEMASK) == MB_YESNO;
    WriteStandardError(text + (question ? " No" : "") + "\r\n");
    return question ? IDNO : IDOK;
  }
  HWND active = GetActiveWindow();
  HWND focus = GetFocus();
  std::vector<HWND> topmost;
  EnumThreadWindows(GetCurrentThreadId(), CollectTopmostWindow, reinterpret_cast<LPARAM>(&topmost));
  for (HWND w : topmost)
    SetWindowPos(w, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  int result;
  {
    DisabledTaskWindows disabled(nullptr);
    // Owned by the active window, so the system places it on that window's monitor; before
    // any window exists the box is task-modal.
    HWND owner = active && IsWindow(active) ? active : nullptr;
    result = MessageBoxA(owner, text.c_str(), caption, style | (owner ? MB_APPLMODAL : MB_TASKMODAL));
  }
  for (HWND w : topmost)
    if (IsWindow(w)) SetWindowPos(w, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  if (active && IsWindow(active)) SetActiveWindow(active);
  if (focus && IsWindow(focus)) SetFocus(focus);
  return result;
}

}  // namespace

const char* DialogTextOf(DialogText entry) { return DialogTexts[entry]; }

void SendMessagesToConsole() {
  gMessagesToConsole = true;
  // A window program started from a command prompt gets no standard handles at all; in a
  // pipe it has them and must keep them. It is attached to the prompt's console all the
  // same: only there do Ctrl-C and the console's close reach it and stop a hidden build.
  HANDLE outputHandle = GetStdHandle(STD_OUTPUT_HANDLE), errorHandle = GetStdHandle(STD_ERROR_HANDLE);
  bool output = IsHandle(outputHandle), error = IsHandle(errorHandle);
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
  if (output) SetStdHandle(STD_OUTPUT_HANDLE, outputHandle);
  if (error) SetStdHandle(STD_ERROR_HANDLE, errorHandle);
  if (output && error) return;
  HANDLE console = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  if (!IsHandle(console)) return;
  if (!output) SetStdHandle(STD_OUTPUT_HANDLE, console);
  if (!error) SetStdHandle(STD_ERROR_HANDLE, console);
}

bool MessagesGoToConsole() { return gMessagesToConsole; }

void WriteStandardOutput(const std::string& text) { WriteStandard(STD_OUTPUT_HANDLE, text); }

void WriteStandardError(const std::string& text) { WriteStandard(STD_ERROR_HANDLE, text); }

void ShowError(const std::string& text) { ShowModalBox(text, DialogTextOf(dtError), MB_OK | MB_ICONERROR); }

void ShowInfo(const std::string& text) {
  ShowModalBox(text, DialogTextOf(dtInformation), MB_OK | MB_ICONINFORMATION);
}

void ShowWarning(const std::string& text) { ShowModalBox(text, DialogTextOf(dtWarning), MB_OK | MB_ICONWARNING); }

void ShowApplicationError(const std::string& text, bool hiddenBuild) {
  if (hiddenBuild) {
    ShowModalBox(text, "Application Error", MB_OK | MB_ICONERROR);
    return;
  }
  // Messages put what they name (a path, a value) on lines after the sentence, where a
  // full stop would read as part of the path.
  std::string sentence = text;
  if (sentence.find('\n') == std::string::npos && (sentence.empty() || sentence.back() != '.')) sentence += '.';
  ShowModalBox(sentence, "Orvex", MB_OK | MB_ICONERROR);
}

void ShowApplicationError(const std::exception& error) { ShowApplicationError(std::string(error.what())); }

bool AskYesNo(const std::string& text, bool yesIsDefault) {
  UINT style = MB_YESNO | MB_ICONQUESTION | (yesIsDefault ? MB_DEFBUTTON1 : MB_DEFBUTTON2);
  return ShowModalBox(text, DialogTextOf(dtConfirmation), style) == IDYES;
}

namespace {

enum AboutControl { aimage = 300, atitle, aversion, afreeware, arights, awebcaption, aweb, aemailcaption, aemail };

class Tfabout : public Form {
 public:
  bool Create(HWND owner);

 protected:
  void Command(int id, int code, HWND control) override;

 private:
  void webclick() { OpenDocument(Text(aweb)); }
  void emailclick() { OpenDocument(std::string("mailto:") + Text(aemail)); }
};

// The year of the program file's last change; the current year when it cannot be read.
int ProgramYear() {
  WIN32_FILE_ATTRIBUTE_DATA data;
  FILETIME local;
  SYSTEMTIME time;
  if (GetFileAttributesExA(ProgramFileName().c_str(), GetFileExInfoStandard, &data) &&
      FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) && FileTimeToSystemTime(&local, &time))
    return time.wYear;
  GetLocalTime(&time);
  return time.wYear;
}

bool Tfabout::Create(HWND owner) {
  std::string version = GetFileVersionText(ProgramFileName());
  std::string versionLine = version.empty() ? std::string() : std::string(DialogTextOf(dtVersion)) + " " + version;
  std::string rights = std::string(DialogTextOf(dtRights)) + " " + std::to_string(ProgramYear());
  std::string web = AppId.empty() ? std::string(MakerWebAddress) : std::string(MakerWebAddress) + "/" + AppId;
  std::string webCaption = std::string(DialogTextOf(dtWeb)) + ":";
  std::string mailCaption = std::string(DialogTextOf(dtEmail)) + ":";
  // Single lines that never wrap: a text wider than its place is cut at the border.
  constexpr DWORD line = SS_LEFTNOWORDWRAP | SS_NOPREFIX;
  const ControlDef controls[] = {
      {aimage, "Static", "", 16, 16, 32, 32, SS_ICON},
      {atitle, "Static", "Orvex", 64, 16, 196, 26, line},
      {aversion, "Static", versionLine.c_str(), 64, 45, 200, 18, line},
      {afreeware, "Static", DialogTextOf(dtFreeware), 64, 72, 200, 15, line},
      {arights, "Static", rights.c_str(), 64, 96, 200, 15, line},
      {awebcaption, "Static", webCaption.c_str(), 64, 116, 40, 15, line},
      {aweb, "Static", web.c_str(), 104, 116, 160, 15, line | SS_NOTIFY, true},
      {aemailcaption, "Static", mailCaption.c_str(), 64, 136, 40, 15, line},
      {aemail, "Static", MakerMailAddress, 104, 136, 160, 15, line | SS_NOTIFY, true},
      {IDOK, "Button", DialogTextOf(dtOk), 96, 168, 72, 25, csDefaultButton},
  };
  if (!CreateForm("tfabout", DialogTextOf(dtAbout), 264, 208, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
                  owner) ||
      !CreateControls(controls, sizeof controls / sizeof controls[0]))
    return false;
  SendMessageA(Item(aimage), STM_SETICON, reinterpret_cast<WPARAM>(ApplicationIcon()), 0);
  SetControlFont(atitle, AddFont("Tahoma", 14, true));
  SetControlFont(aversion, AddFont("Tahoma", 10, true));
  return true;
}

void Tfabout::Command(int id, int code, HWND) {
  if (code != BN_CLICKED) return;
  // OK is both the default and the cancel button: Enter, Escape and a click close with OK.
  if (id == IDOK || id == IDCANCEL) SetModalResult(IDOK);
  if (id == aweb) webclick();
  if (id == aemail) emailclick();
}

// Selects the start folder, given as an item list, once the dialog is ready.
int CALLBACK SelectStartFolder(HWND dialog, UINT message, LPARAM, LPARAM folder) {
  if (message == BFFM_INITIALIZED) SendMessageA(dialog, BFFM_SETSELECTIONA, FALSE, folder);
  return 0;
}

// The item list of a path parsed by the desktop folder; empty when it cannot be parsed.
ShellMemory ParsePath(const std::string& path) {
  LPITEMIDLIST list = nullptr;
  ComPointer<IShellFolder> desktop;
  std::wstring wide(path.size() + 1, L'\0');
  if (SHGetDesktopFolder(desktop.Out()) == S_OK && desktop &&
      MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], static_cast<int>(wide.size())) > 0)
    desktop->ParseDisplayName(nullptr, nullptr, &wide[0], nullptr, &list, nullptr);
  return ShellMemory(list);
}

}  // namespace

std::string ProgramFileName() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, length < MAX_PATH ? length : 0);
}

void ShowAbout() {
  Tfabout about;
  if (about.Create(GetActiveWindow())) about.ShowModal();
}

bool BrowseForFolder(const std::string& title, const std::string& root, std::string& folder) {
  if (!IsFolder(folder)) folder.clear();
  ComApartment com;
  ShellMemory rootList = root.empty() ? ShellMemory() : ParsePath(root);
  ShellMemory startList = folder.empty() ? ShellMemory() : ParsePath(folder);
  char displayName[MAX_PATH] = {};
  BROWSEINFOA info{};
  info.hwndOwner = GetActiveWindow();
  info.pidlRoot = static_cast<LPCITEMIDLIST>(rootList.Get());
  info.pszDisplayName = displayName;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  if (startList) {
    info.lpfn = SelectStartFolder;
    info.lParam = reinterpret_cast<LPARAM>(startList.Get());
  }
  ShellMemory chosen;
  {
    DisabledTaskWindows disabled(nullptr);
    // No system box for an empty removable drive while the user browses.
    UINT errorMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    chosen.Reset(SHBrowseForFolderA(&info));
    SetErrorMode(errorMode);
  }
  char path[MAX_PATH];
  if (!chosen || !SHGetPathFromIDListA(static_cast<LPCITEMIDLIST>(chosen.Get()), path)) return false;
  folder = path;
  return true;
}
