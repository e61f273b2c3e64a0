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

// A stream kept open, reset and handed on in pieces gives for every chunk the bytes zlib
// gives in one call, within the extractor's chunk buffer even when nothing shrinks.
TEST(CompressChunk, ResetStreamsMatchZlibsOwnByteForByte) {
  std::mt19937 random(7);
  std::vector<std::vector<uint8_t>> chunks;
  for (uint32_t size : {1u, 255u, 256u, 70000u, 300000u, ChunkSize}) {
    std::vector<uint8_t> noise(size), text(size);
    for (uint32_t i = 0; i < size; ++i) {
      noise[i] = static_cast<uint8_t>(random());
      text[i] = static_cast<uint8_t>("the quick brown fox "[i % 20]);
    }
    chunks.push_back(noise);
    chunks.push_back(text);
  }
  ChunkCompressor kept;
  for (const auto& chunk : chunks) {
    std::vector<uint8_t> streamed;
    size_t pieces = 0;
    uint32_t length = kept.Compress(chunk.data(), static_cast<uint32_t>(chunk.size()),
                                    [&](const uint8_t* data, uint32_t n) {
                                      EXPECT_LE(n, ChunkCompressor::PieceSize);
                                      streamed.insert(streamed.end(), data, data + n);
                                      ++pieces;
                                    });
    EXPECT_EQ(length, streamed.size());
    EXPECT_EQ(pieces, (streamed.size() + ChunkCompressor::PieceSize - 1) / ChunkCompressor::PieceSize);
    ASSERT_EQ(streamed, Reference(chunk)) << chunk.size() << ": level 9, default window and memory level";
    EXPECT_EQ(Inflate(streamed.data(), length, static_cast<uint32_t>(chunk.size())), chunk);
    EXPECT_LE(length, ChunkBufferSize);
  }
}

}  // namespace
