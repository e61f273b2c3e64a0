// Resource updates of a written SFX head: the icon and version information of the launch
// target and the elevation manifest. Each routine edits the file in memory with the
// resource editor and writes it once, only on full success; otherwise the target stays
// byte-identical. None of them throws.
#pragma once

#include <stdint.h>

#include <string>

#include "ovutils.h"

bool ReplaceIcons(const std::string& source, const std::string& target);
bool ReplaceVersionInfo(const std::string& source, const std::string& target);
bool UpdateSingleResource(const std::string& target, const char* type, const char* name, uint32_t size,
                          const void* data);
// The language of the file's first version translation; 0 when there is none.
uint16_t GetVersionLanguage(const std::string& file);

// The manifest text for an elevation choice, made from the carried manifest `uac`: 1 asks
// for the highest available rights, 2 keeps the carried text (administrator rights). Empty
// for 0, for an unknown choice, and when the carried text lacks the level to replace.
std::string ElevationManifestText(uint8_t elevation, const ResourceData& uac);

// Writes the manifest of the elevation choice into the target (type 24, name 1), in the
// language of the target's version information. True when nothing was asked (0) or the
// manifest was written; false leaves the target unchanged.
bool WriteElevationManifest(const std::string& target, uint8_t elevation, const ResourceData& uac);

// The file whose icon and version information the head takes over: with xcmv in
// command-line mode the positional parameter after the required ones, else the launch
// target in launch mode, else none (empty).
std::string ResourceSourceFile(bool commandLineMode, bool xcmvPresent, const std::string& xcmvFile,
                               uint8_t extractionMode, const std::string& executableFile);

// True on the Windows NT family, the only systems where head resources are updated.
bool IsNtFamily();

// The whole head preparation of a written target, in memory and written once: icon and
// version information from `source` (when not empty; failures leave the head's own) and
// then the manifest. Gives false only when an asked-for manifest could not be written.
bool PrepareHead(const std::string& target, const std::string& source, uint8_t elevation,
                 const ResourceData& uac);
