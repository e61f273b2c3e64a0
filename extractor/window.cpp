#include "window.h"

// The window arrives later: until then an SFX file extracts without one.
void CreateExtractorWindow() {}

void PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

void RepaintProgress() {}
int PaintExtractorWindow() { return 0; }
void DestroyExtractorWindow() {}
HWND ExtractorWindowHandle() { return nullptr; }
