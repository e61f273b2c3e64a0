// The errors a build raises. Their texts are the system's standard ones ("File not
// found", "Disk full", ...) or a message that names the offending file; the caller shows
// them in a message box.
#pragma once

#include <stdexcept>
#include <string>

class EBuildError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The inputs cannot be built as they are (a file too large for the format, a name the
// code page cannot carry, an SFX file larger than the extractor can read).
class EInputRefused : public EBuildError {
 public:
  using EBuildError::EBuildError;
};
