// Runs the resource editor over untrusted bytes the way a build meets them: as an image
// to edit and as the icon and version source of a head. Shared by the host tests, the
// regression corpus and the fuzz target.
#pragma once

#include <string>

// The promise the editor broke, or empty: an image it writes must load again with
// exactly the resources it was given. Reads and writes outside the bytes are left to
// the sanitizers.
std::string RunResourceEditor(const std::string& bytes, const std::string& head);
