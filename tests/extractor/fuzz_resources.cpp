// libFuzzer target: arbitrary bytes read and rewritten by the PE resource editor, and
// taken as the icon and version source of the extractor head named by ORVEX_FUZZ_HEAD.
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "editorrun.h"

namespace {
std::string gHead;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (const char* path = std::getenv("ORVEX_FUZZ_HEAD")) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    gHead = bytes.str();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string fault = RunResourceEditor(std::string(reinterpret_cast<const char*>(data), size), gHead);
  if (!fault.empty()) {
    std::fprintf(stderr, "%s\n", fault.c_str());
    std::abort();
  }
  return 0;
}
