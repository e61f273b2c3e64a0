// A minimal head until the extractor arrives: it carries no archive reader yet and ends
// with ERROR_HANDLE_EOF, as a head without an archive does.
#include <windows.h>

#include "tinyrt.h"

extern "C" __attribute__((force_align_arg_pointer)) void ProgramEntry() {
  RestrictDllSearch();
  ExitProcess(ERROR_HANDLE_EOF);
}
