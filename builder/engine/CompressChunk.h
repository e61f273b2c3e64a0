// Compression of one chunk into one complete zlib stream (deflate level 9, window bits 15,
// memory level 8, default strategy, RFC 1950 header and Adler-32 trailer).
#pragma once

#include <stdint.h>

#include <vector>

#include <zlib.h>

// A fresh stream per call: deflateInit, deflate with finish, deflateEnd. Raises
// EBuildError("Error") when zlib fails.
std::vector<uint8_t> CompressChunk(const void* input, uint32_t length);

// The same streams, byte for byte, from one deflate state kept open and reset between
// chunks, and one output block reused: a build compresses thousands of chunks.
class ChunkCompressor {
 public:
  ChunkCompressor() = default;
  ~ChunkCompressor();
  ChunkCompressor(const ChunkCompressor&) = delete;
  ChunkCompressor& operator=(const ChunkCompressor&) = delete;

  // The compressed bytes stay valid until the next call.
  const uint8_t* Compress(const void* input, uint32_t length, uint32_t& compressedLength);

 private:
  z_stream stream_{};
  bool open_ = false;
  std::vector<uint8_t> block_;
};

// The first capacity of the output block: length + length/10 + 12, rounded up to 256.
uint32_t InitialCompressedCapacity(uint32_t length);
