// Reading back the resources of a written file, twice: through Windows (the file loaded
// as a data file) and through the builder's resource editor, which must agree.
#pragma once

#include <windows.h>

#include <map>
#include <set>
#include <string>

#include "resourcemap.h"

extern const std::string kIcon, kGroup, kVersion, kManifest;
// The manifest as the builder carries it, as elevation 1 writes it and as elevation 0 does.
extern const std::string kCarriedManifest, kHighestManifest, kInvokerManifest;

// Windows' view; the test fails when the resource editor reads something else.
ResourceMap Resources(const std::string& file);

// Checks that `target` carries the first icon group of `sourceFile` in each of its
// languages under `groupName`, with the source's images, and no other icon group or image.
void ExpectIconsCopied(const std::string& sourceFile, const ResourceMap& target, const std::string& groupName);

std::string ManifestText(const char* level);

// A program of the Wine prefix: the system folder first, then the Windows folder.
std::string SystemProgram(const char* name);
