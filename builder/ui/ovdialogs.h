// The builder's message boxes (the only way it speaks to the user) and its dialog texts.
#pragma once

#include <exception>
#include <string>

// The application id that completes the web link of the about box.
extern std::string AppId;

constexpr const char* MakerWebAddress = "http://halvorn.example";
constexpr const char* MakerMailAddress = "orvex@halvorn.example";

enum DialogText {
  dtError = 1,
  dtInformation,
  dtWarning,
  dtConfirmation,
  dtAbout,
  dtVersion,
  dtFreeware,
  dtRights,
  dtWeb,
  dtEmail,
  dtOk,
};

// The dialog text of an entry of the table above.
const char* DialogTextOf(DialogText entry);

// For builds nobody watches: from now on every box is written to standard error instead,
// and every question is answered No. A process without standard handles (started from a
// command prompt) writes to its parent's console.
void SendMessagesToConsole();
bool MessagesGoToConsole();
// Write nothing when the process has no such handle.
void WriteStandardOutput(const std::string& text);
void WriteStandardError(const std::string& text);

void ShowError(const std::string& text);
void ShowInfo(const std::string& text);
void ShowWarning(const std::string& text);
// True when the user chose Yes. No is the default button unless `yesIsDefault`.
bool AskYesNo(const std::string& text, bool yesIsDefault = false);
// An error that stopped a build or escaped a handler: under the application title, a
// one-line text as a sentence ending with a full stop, a longer one (ending with the path
// or value it names) as it is; in a hidden build, before any window exists, its text as it
// is under "Application Error".
void ShowApplicationError(const std::string& text, bool hiddenBuild = false);
void ShowApplicationError(const std::exception& error);

// The full path of the running program file.
std::string ProgramFileName();

// The about box: shown modally over the active window, destroyed when closed.
void ShowAbout();

// The system's browse-for-folder dialog, owned by the active window. True with the chosen
// path in `folder` when the user confirms; otherwise false with `folder` unchanged, except
// that a text naming no existing folder is cleared before the dialog opens. An empty
// `root` makes the whole name space the root.
bool BrowseForFolder(const std::string& title, const std::string& root, std::string& folder);
