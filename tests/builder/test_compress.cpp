#include <gtest/gtest.h>

#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "CompressChunk.h"
#include "u_shared.h"

namespace {

std::vector<uint8_t> Inflate(const uint8_t* data, uint32_t length, uint32_t expected) {
  std::vector<uint8_t> out(expected + 1);
  uLongf outLength = static_cast<uLongf>(out.size());
  EXPECT_EQ(uncompress(out.data(), &outLength, data, length), Z_OK);
  out.resize(outLength);
  return out;
}

std::vector<uint8_t> Reference(const std::vector<uint8_t>& input) {
  uLongf length = compressBound(static_cast<uLong>(input.size()));
  std::vector<uint8_t> out(length);
  EXPECT_EQ(compress2(out.data(), &length, input.data(), static_cast<uLong>(input.size()), 9), Z_OK);
  out.resize(length);
  return out;
}

// One deflate state, reset between chunks and handing the stream on in pieces, writes for
// every chunk the stream zlib writes at level 9 in one call; a whole chunk deflate cannot
// shrink still fits the extractor's chunk buffer.
TEST(CompressChunk, EachChunkIsTheStreamZlibWritesAtLevel9) {
  std::mt19937 random(7);
  ChunkCompressor kept;
  for (uint32_t size : {1u, 255u, 256u, 70000u, 300000u, ChunkSize}) {
    for (bool noise : {true, false}) {
      std::vector<uint8_t> chunk(size);
      for (uint32_t i = 0; i < size; ++i)
        chunk[i] = noise ? static_cast<uint8_t>(random()) : static_cast<uint8_t>("the quick brown fox "[i % 20]);
      std::vector<uint8_t> streamed;
      uint32_t length = kept.Compress(chunk.data(), size, [&](const uint8_t* data, uint32_t n) {
        EXPECT_LE(n, ChunkCompressor::PieceSize);
        streamed.insert(streamed.end(), data, data + n);
      });
      EXPECT_EQ(length, streamed.size());
      ASSERT_EQ(streamed, Reference(chunk)) << size << (noise ? " noise" : " text");
      EXPECT_EQ(Inflate(streamed.data(), length, size), chunk);
      EXPECT_LE(length, ChunkBufferSize);
    }
  }
}

}  // namespace
