#include <gtest/gtest.h>

#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "BuildErrors.h"
#include "CompressChunk.h"

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

TEST(CompressChunk, CapacityStartsAtATenthMoreRoundedTo256) {
  EXPECT_EQ(InitialCompressedCapacity(0), 256u);
  EXPECT_EQ(InitialCompressedCapacity(222), 256u) << "222 + 22 + 12 is already a multiple";
  EXPECT_EQ(InitialCompressedCapacity(223), 512u);
  EXPECT_EQ(InitialCompressedCapacity(9437184), 10381056u) << "10,380,914 rounded up";
}

// One stream per chunk, and a stream kept open, reset and handed on in pieces gives the
// very same bytes.
TEST(CompressChunk, ResetStreamsMatchFreshOnesByteForByte) {
  std::mt19937 random(7);
  std::vector<std::vector<uint8_t>> chunks;
  for (uint32_t size : {1u, 255u, 256u, 70000u, 300000u}) {
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
    std::vector<uint8_t> fresh = CompressChunk(chunk.data(), static_cast<uint32_t>(chunk.size()));
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
    ASSERT_EQ(streamed, fresh) << chunk.size();
    EXPECT_EQ(fresh, Reference(chunk)) << "level 9, default window and memory level";
    EXPECT_EQ(Inflate(fresh.data(), length, static_cast<uint32_t>(chunk.size())), chunk);
    EXPECT_EQ(fresh[0], 0x78) << "zlib header";
  }
}

TEST(CompressChunk, IncompressibleDataGrowsButStaysInOneBlock) {
  std::mt19937 random(11);
  std::vector<uint8_t> noise(1 << 20);
  for (auto& b : noise) b = static_cast<uint8_t>(random());
  std::vector<uint8_t> packed = CompressChunk(noise.data(), static_cast<uint32_t>(noise.size()));
  EXPECT_GT(packed.size(), noise.size());
  EXPECT_LE(packed.size(), InitialCompressedCapacity(static_cast<uint32_t>(noise.size())));
  EXPECT_EQ(Inflate(packed.data(), static_cast<uint32_t>(packed.size()), 1 << 20), noise);
}

}  // namespace
