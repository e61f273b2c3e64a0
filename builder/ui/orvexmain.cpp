#include <windows.h>

#include "orvex.h"
#include "ovdialogs.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (!StartUp()) return ExitUnexpectedError;
  gCommandLine = EvaluateCommandLine(ReadProcessCommandLine());
  if (!gCommandLine.Refusal.empty()) {
    ShowError(gCommandLine.Refusal);
    return ExitInputsRefused;
  }
  if (gCommandLine.HideMainWindow) return RunHiddenBuild();
  return RunWindowApplication();
}
