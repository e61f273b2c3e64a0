// The builder's message boxes (the only way it speaks to the user) and its dialog texts.
#pragma once

#include <string>

// The application id that completes the web link of the about box.
extern std::string AppId;

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

void ShowError(const std::string& text);
void ShowInfo(const std::string& text);
void ShowWarning(const std::string& text);
// True when the user chose Yes. No is the default button unless `yesIsDefault`.
bool AskYesNo(const std::string& text, bool yesIsDefault = false);
