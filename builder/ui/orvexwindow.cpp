// The window run of the builder. The main window replaces this placeholder.
#include "orvex.h"
#include "ovdialogs.h"

int RunWindowApplication() {
  ShowInfo("Orvex\r\n\r\nThis build has no main window yet: use -h for a build from the command line.");
  return ExitBuilt;
}
