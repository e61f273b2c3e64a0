// Resource updates of an SFX head: the icon and version information of the launch target
// and the elevation manifest, edited in memory with the resource editor. None of the
// routines throws.
#pragma once

#include <stdint.h>

#include <string>

#include "BuildSfx.h"

// The file whose icon and version information the head takes over: with xcmv in
// command-line mode the positional parameter after the required ones, else the launch
// target in launch mode, else none (empty).
std::string ResourceSourceFile(bool commandLineMode, bool xcmvPresent, const std::string& xcmvFile,
                               uint8_t extractionMode, const std::string& executableFile);

// The whole head preparation in memory: icon and version information from the file
// `source` (when not empty; failures leave the head's own, and Orvex's version
// information where it gave none) and then the manifest of the elevation choice. False
// when the manifest could not be written; `head` is then unchanged.
bool PrepareHeadBytes(std::string& head, const std::string& source, uint8_t elevation, const ByteSpan& uac);
