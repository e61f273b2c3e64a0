#include <windows.h>

#include "orvex.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (!StartUp()) return ExitUnexpectedError;
  gCommandLine = EvaluateCommandLine(ProcessCommandLine());
  if (gCommandLine.HideMainWindow) return RunHiddenBuild();
  return RunWindowApplication();
}
