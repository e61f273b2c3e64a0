// Resource updates of an SFX head: the icon and version information of the launch target
// and the elevation manifest, edited in memory with the resource editor. The routines on
// files write each file once, only on full success; otherwise it stays byte-identical.
// None of them throws.
#pragma once

#include <stdint.h>

#include <string>

#include "BuildSfx.h"

bool ReplaceIcons(const std::string& source, const std::string& target);
bool ReplaceVersionInfo(const std::string& source, const std::string& target);
// The language of the file's first version translation; 0 when there is none.
uint16_t GetVersionLanguage(const std::string& file);

// The manifest text for an elevation choice, made from the carried manifest `uac`: 1 asks
// for the highest available rights, 2 keeps the carried text (administrator rights). Empty
// for 0, for an unknown choice, and when the carried text lacks the level to replace.
std::string ElevationManifestText(uint8_t elevation, const ByteSpan& uac);

// Writes the manifest of the elevation choice into the target (type 24, name 1), in the
// language of the target's version information. True when nothing was asked (0) or the
// manifest was written; false leaves the target unchanged.
bool WriteElevationManifest(const std::string& target, uint8_t elevation, const ByteSpan& uac);

// The file whose icon and version information the head takes over: with xcmv in
// command-line mode the positional parameter after the required ones, else the launch
// target in launch mode, else none (empty).
std::string ResourceSourceFile(bool commandLineMode, bool xcmvPresent, const std::string& xcmvFile,
                               uint8_t extractionMode, const std::string& executableFile);

// The whole head preparation in memory: icon and version information from the file
// `source` (when not empty; failures leave the head's own) and then the manifest. False
// only when an asked-for manifest could not be written; `head` is then unchanged.
bool PrepareHeadBytes(std::string& head, const std::string& source, uint8_t elevation, const ByteSpan& uac);

// The same preparation of a written head file, written once.
bool PrepareHead(const std::string& target, const std::string& source, uint8_t elevation, const ByteSpan& uac);
