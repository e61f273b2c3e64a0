// libFuzzer target: arbitrary bytes appended to an extractor head, read as the extractor
// reads its own file. The head is the built sfxhead.exe named by ORVEX_FUZZ_HEAD, or a
// minimal synthetic one.
#include <algorithm>
#include <cstdlib>
#include <cstring>
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
  // 'S', then the entry count, the block size and the directory's length (two bytes
  // each), the raw directory and the raw content of a strong archive, which the writer
  // compresses and checksums: so mutations reach the directory's rules. 'C' is the same
  // with frames of chunks, each block's first half coded and the rest as it is, at a split
  // the content's first byte moves.
  uint16_t fields[3];
  if (size > 7 && (data[0] == 'S' || data[0] == 'C')) {
    const bool chunked = data[0] == 'C';
    std::memcpy(fields, data + 1, sizeof fields);
    std::string rest(reinterpret_cast<const char*>(data) + 7, size - 7), frames;
    std::string directory = rest.substr(0, fields[2]), content = rest.substr(directory.size());
    size_t blockSize = std::max<size_t>({fields[1], content.size() / 8, 1});
    for (size_t at = 0; at < content.size(); at += blockSize) {
      std::string block = content.substr(at, blockSize);
      frames += chunked ? sfxtest::ChunkedFrame(block, block.size() * static_cast<uint8_t>(content[0]) / 255)
                        : sfxtest::Frame(block);
    }
    sfxtest::RunArchive(gHead + sfxtest::StrongArchive(sfxtest::DefaultOptions(), directory, fields[0], content.size(),
                                                       static_cast<uint32_t>(blockSize), frames,
                                                       chunked ? StrongFlagChunks : 0));
    return 0;
  }
  std::string file = gHead;
  file.append(reinterpret_cast<const char*>(data), size);
  sfxtest::RunArchive(file);
  return 0;
}
