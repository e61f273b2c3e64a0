// The extractor's process-wide state, owned by the main sequence and torn down only by
// FinishSfx.
#pragma once

#include <stdint.h>

#include "u_shared.h"

extern SfxOptions gOptions;
extern int64_t gTotalSize;   // sum of the Size fields of all entries
extern int64_t gDoneBytes;   // content bytes restored so far
