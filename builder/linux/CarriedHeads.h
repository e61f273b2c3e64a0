// The Windows programs the Linux orvex carries inside its own file (CarriedHeads.cpp is
// generated at build time from build/win32/bin and build/win64/bin), so that it needs no
// other file at run time.
#pragma once

#include <stddef.h>

#include "BuildSfx.h"

extern const unsigned char SfxHead32[], SelfDelete32[], SfxHead64[], SelfDelete64[], UacManifest[];
extern const size_t SfxHead32_size, SelfDelete32_size, SfxHead64_size, SelfDelete64_size, UacManifest_size;

// The 32-bit extractor and helper, or with x64 the x86-64 ones; the elevation manifest.
inline SfxHeads CarriedHeads(bool x64) {
  if (x64)
    return SfxHeads{{SfxHead64, SfxHead64_size}, {SelfDelete64, SelfDelete64_size}, {UacManifest, UacManifest_size}};
  return SfxHeads{{SfxHead32, SfxHead32_size}, {SelfDelete32, SelfDelete32_size}, {UacManifest, UacManifest_size}};
}
