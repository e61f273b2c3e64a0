#include <windows.h>

#include "orvex.h"
#include "ovdialogs.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  gCommandLine = EvaluateCommandLine(ReadProcessCommandLine());
  // Known before the resources are loaded, so that not even a corrupted program waits
  // for a click.
  if (gCommandLine.HideMainWindow && gCommandLine.Quiet) SendMessagesToConsole();
  if (!StartUp()) return ExitUnexpectedError;
  if (!gCommandLine.Refusal.empty()) {
    ShowError(gCommandLine.Refusal);
    return ExitInputsRefused;
  }
  if (gCommandLine.HideMainWindow) return RunHiddenBuild();
  return RunWindowApplication();
}
