#include "scratch.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace sfxtest {

ScratchFolder::ScratchFolder(const std::string& tag) {
  std::string pattern = "/tmp/orvex-" + tag + "-XXXXXX";
  if (!mkdtemp(&pattern[0])) abort();
  path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  for (const auto& item : fs::recursive_directory_iterator(path_, ignored))
    fs::permissions(item.path(), fs::perms::owner_all, fs::perm_options::add | fs::perm_options::nofollow, ignored);
  fs::remove_all(path_, ignored);
}

std::string WriteFile(const std::string& path, const std::string& bytes) {
  fs::path parent = fs::path(path).parent_path();
  if (!parent.empty()) fs::create_directories(parent);
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace sfxtest
