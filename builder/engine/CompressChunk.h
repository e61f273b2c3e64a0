// Compression of one chunk into one complete zlib stream (deflate level 9, window bits 15,
// memory level 8, default strategy, RFC 1950 header and Adler-32 trailer).
#pragma once

#include <stdint.h>

#include <functional>
#include <vector>

#include <zlib.h>

// One stream per chunk from one deflate state kept open and reset between chunks (a build
// compresses thousands of them), handed on in pieces of at most PieceSize bytes, so no
// block of a whole chunk's size is ever held. Raises EBuildError("Error") when zlib fails.
class ChunkCompressor {
 public:
  static constexpr uint32_t PieceSize = 256 * 1024;
  using Sink = std::function<void(const uint8_t* data, uint32_t length)>;

  ChunkCompressor() = default;
  ~ChunkCompressor();
  ChunkCompressor(const ChunkCompressor&) = delete;
  ChunkCompressor& operator=(const ChunkCompressor&) = delete;

  // Gives every compressed byte to `write`, in order, and the total length.
  uint32_t Compress(const void* input, uint32_t length, const Sink& write);

 private:
  z_stream stream_{};
  bool open_ = false;
  std::vector<uint8_t> piece_;
};
