#include "CompressChunk.h"

#include <stdlib.h>

#include "BuildErrors.h"

namespace {

voidpf ZeroedAlloc(voidpf, uInt items, uInt size) { return calloc(items, size); }
void HeapFree(voidpf, voidpf block) { free(block); }

void Check(int result) {
  if (result < 0) throw EBuildError("Error");
}

// Runs deflate with finish into `block` from offset 0, growing it by 256 bytes whenever
// deflate asks for more room, and gives the number of bytes produced.
uint32_t Deflate(z_stream& stream, const void* input, uint32_t length, std::vector<uint8_t>& block) {
  uint32_t capacity = InitialCompressedCapacity(length);
  if (block.size() < capacity) block.resize(capacity);
  stream.next_in = static_cast<Bytef*>(const_cast<void*>(input));
  stream.avail_in = length;
  stream.next_out = block.data();
  stream.avail_out = capacity;
  int result = deflate(&stream, Z_FINISH);
  Check(result);
  while (result != Z_STREAM_END) {
    uInt produced = static_cast<uInt>(stream.total_out);
    if (block.size() < produced + 256u) block.resize(produced + 256u);
    stream.next_out = block.data() + produced;
    stream.avail_out = 256;
    result = deflate(&stream, Z_FINISH);
    Check(result);
  }
  return static_cast<uint32_t>(stream.total_out);
}

void InitStream(z_stream& stream) {
  stream = z_stream{};
  stream.zalloc = ZeroedAlloc;
  stream.zfree = HeapFree;
  Check(deflateInit(&stream, Z_BEST_COMPRESSION));
}

}  // namespace

uint32_t InitialCompressedCapacity(uint32_t length) {
  uint64_t c = static_cast<uint64_t>(length) + length / 10 + 12;
  return static_cast<uint32_t>((c + 255) / 256 * 256);
}

std::vector<uint8_t> CompressChunk(const void* input, uint32_t length) {
  z_stream stream;
  InitStream(stream);
  std::vector<uint8_t> block;
  uint32_t produced;
  try {
    produced = Deflate(stream, input, length, block);
  } catch (...) {
    deflateEnd(&stream);
    throw;
  }
  Check(deflateEnd(&stream));
  block.resize(produced);
  return block;
}

ChunkCompressor::~ChunkCompressor() {
  if (open_) deflateEnd(&stream_);
}

uint32_t ChunkCompressor::Compress(const void* input, uint32_t length, const Sink& write) {
  if (!open_) {
    InitStream(stream_);
    open_ = true;
  } else {
    Check(deflateReset(&stream_));
  }
  if (piece_.empty()) piece_.resize(PieceSize);
  stream_.next_in = static_cast<Bytef*>(const_cast<void*>(input));
  stream_.avail_in = length;
  int result;
  do {
    stream_.next_out = piece_.data();
    stream_.avail_out = PieceSize;
    result = deflate(&stream_, Z_FINISH);
    Check(result);
    uint32_t produced = PieceSize - stream_.avail_out;
    if (produced > 0) write(piece_.data(), produced);
  } while (result != Z_STREAM_END);
  return static_cast<uint32_t>(stream_.total_out);
}
