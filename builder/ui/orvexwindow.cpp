// The window run of the builder.
#include "f_orvex.h"
#include "orvex.h"

int RunWindowApplication() { return RunMainWindow(); }
