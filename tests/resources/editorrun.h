// Runs the resource editor over untrusted bytes the way a build meets them: as an image
// to edit and as the icon and version source of a head. Shared by the host tests, the
// regression corpus and the fuzz target.
#pragma once

#include <string>

// The promise the editor broke, or empty: it never throws, and an image it writes must
// load again with exactly the resources it was given. Reads and writes outside the bytes are left to
// the sanitizers.
std::string RunResourceEditor(const std::string& bytes, const std::string& head);

// Trees that cost far more to hold than the file they come in, in a minimal PE32 image:
// one type and one name, the same text of 65,535 characters, with `entries` languages
// sharing one data entry; or `entries` names of 32,768 characters and more that overlap.
enum class HostileTree { SharedName, OverlappingNames };
std::string HostileResourceImage(HostileTree shape, unsigned entries);
