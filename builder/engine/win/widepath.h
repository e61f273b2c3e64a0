// Paths as the wide calls of Windows take them.
#pragma once

#include <string>

// `path` for CreateFileW and FindFirstFileW: a full path of MAX_PATH characters or more in
// its \\?\ form (\\?\UNC\ for a share), which those calls take up to 32,767 characters;
// a shorter one as it is, so that the system reads it as it always has.
std::wstring SystemWidePath(const std::u16string& path);
