// Runs the resource editor over untrusted bytes the way a build meets them: as an image
// to edit and as the icon and version source of a head. Shared by the host tests, the
// regression corpus and the fuzz target.
#pragma once

#include <stdint.h>

#include <string>

// The promise the editor broke, or empty: it never throws, and an image it writes must
// load again with exactly the resources it was given. Reads and writes outside the bytes are left to
// the sanitizers.
std::string RunResourceEditor(const std::string& bytes, const std::string& head);

// Resource trees that cost far more to hold than the file they come in, each in a minimal
// PE32 image of its own:
//   SharedName:       one type and one name, both the same text of 65,535 characters,
//                     with `entries` languages sharing one data entry;
//   OverlappingNames: `entries` names of more than 32,768 characters each, their texts
//                     overlapping in one run of the file;
//   SharedData:       `entries` languages (under as many names as it takes) sharing one
//                     empty data entry.
enum class HostileTree { SharedName, OverlappingNames, SharedData };
std::string HostileResourceImage(HostileTree shape, uint32_t entries);
