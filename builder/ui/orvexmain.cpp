#include <windows.h>

#include "orvex.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return RunOrvex(); }
