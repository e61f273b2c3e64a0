// libFuzzer target: arbitrary bytes appended to an extractor head, read as the extractor
// reads its own file. The head is the built sfxhead.exe named by ORVEX_FUZZ_HEAD, or a
// minimal synthetic one.
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "archiverun.h"
#include "sfxwriter.h"

namespace {
std::string gHead;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* path = std::getenv("ORVEX_FUZZ_HEAD");
  if (path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    gHead = bytes.str();
  }
  if (gHead.empty()) gHead = sfxtest::SyntheticHead();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string file = gHead;
  file.append(reinterpret_cast<const char*>(data), size);
  sfxtest::RunArchive(file);
  return 0;
}
