#include "CompressChunk.h"

#include <stdlib.h>

#include "BuildErrors.h"

namespace {

voidpf ZeroedAlloc(voidpf, uInt items, uInt size) { return calloc(items, size); }
void HeapFree(voidpf, voidpf block) { free(block); }

void Check(int result) {
  if (result < 0) throw EBuildError("Error");
}

}  // namespace

ChunkCompressor::~ChunkCompressor() {
  if (open_) deflateEnd(&stream_);
}

uint32_t ChunkCompressor::Compress(const void* input, uint32_t length, const Sink& write) {
  if (!open_) {
    stream_ = z_stream{};
    stream_.zalloc = ZeroedAlloc;
    stream_.zfree = HeapFree;
    Check(deflateInit(&stream_, Z_BEST_COMPRESSION));
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
