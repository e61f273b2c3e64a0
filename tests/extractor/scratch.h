// Temporary folders and whole files for the host tests.
#pragma once

#include <string>

namespace sfxtest {

// A fresh folder below /tmp, removed with everything in it (read-only items too) when the
// object goes.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& tag);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Writes the bytes as the whole file, creating the folders above it; gives its path.
std::string WriteFile(const std::string& path, const std::string& bytes);

// The whole file; empty when it cannot be read.
std::string ReadFile(const std::string& path);

}  // namespace sfxtest
