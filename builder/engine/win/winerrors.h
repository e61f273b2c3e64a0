// The texts of Windows error codes, as the builder's errors carry them.
#pragma once

#include <windows.h>

#include <string>

#include "BuildErrors.h"

// "File not found", "Invalid filename", "Too many open files", "File access denied",
// "Read beyond end of file", "Disk full", or "I/O error %d" for any other code.
std::string FileErrorText(DWORD code);
[[noreturn]] void RaiseFileError(DWORD code);
// The system's own message for an error code, without its line break.
std::string SystemErrorText(DWORD code);
