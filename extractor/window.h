// The extractor's progress window. Nothing of it exists in silent mode.
#pragma once

#include <windows.h>

// Registers "ovsfxwindowclass" and creates the window and its two fonts (not in silent mode).
void CreateExtractorWindow();
// Dispatches every waiting message of the thread; never blocks.
void PumpMessages();
// Redraws the bar area at once.
void RepaintProgress();
int PaintExtractorWindow();
// Destroys the window and deletes its fonts; safe to call again.
void DestroyExtractorWindow();
// The window, the owner of the browse dialog; null when none exists.
HWND ExtractorWindowHandle();
