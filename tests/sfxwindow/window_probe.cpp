// Hosts the extractor's window the way the extractor does, frozen at a chosen fraction:
//   sfxwindow_probe TOTAL DONE EVENT [silent]
// It chooses the language, creates the window, shows it at 0 % for half a second, moves
// to DONE of TOTAL with RepaintProgress, signals the named event, then keeps pumping until
// it is ended. In silent mode it ends at once with 0 when no window class was registered
// and no window exists, else 1.
#include <windows.h>

#include <cstdlib>

#include "sfxstate.h"
#include "u_translations.h"
#include "window.h"

SfxOptions gOptions;
int64_t gTotalSize;
int64_t gDoneBytes;

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  gOptions.SilentMode = argc > 4;
  ChooseLanguage();
  CreateExtractorWindow();
  gTotalSize = std::atoll(argv[1]);
  // Shown at 0 % first, taking messages as the extractor's scan does.
  for (DWORD start = GetTickCount(); GetTickCount() - start < 500; Sleep(10)) PumpMessages();
  gDoneBytes = std::atoll(argv[2]);
  RepaintProgress();
  if (gOptions.SilentMode) {
    PumpMessages();
    WNDCLASSEXA info = {};
    info.cbSize = sizeof info;
    bool registered = GetClassInfoExA(GetModuleHandleA(nullptr), "ovsfxwindowclass", &info);
    return registered || ExtractorWindowHandle() ? 1 : 0;
  }
  HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[3]);
  if (ready) SetEvent(ready);
  for (;;) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT);
    PumpMessages();
  }
}
