#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "u_shared.h"

namespace {

TEST(ByteSum, WrapsAndAddsAcrossBlocks) {
  EXPECT_EQ(ByteSum("abc", 3), 294u);
  EXPECT_EQ(ByteSum("", 0), 0u);
  std::vector<uint8_t> ones(0x01010102, 0xFF);  // 255 * 16843010 overflows 32 bits
  EXPECT_EQ(ByteSum(ones.data(), ones.size()), static_cast<uint32_t>(255ull * ones.size()));
  // The checksum of an entry does not depend on how its content is cut into chunks.
  const char text[] = "docs\\readme.txt";
  EXPECT_EQ(ByteSum(text + 5, 10, ByteSum(text, 5)), ByteSum(text, 15));
}

// A minimal PE image: MZ header, PE signature, file header, an optional header of the
// given size and the given sections as (raw size, raw pointer) pairs.
std::vector<uint8_t> MakeImage(const std::vector<std::pair<uint32_t, uint32_t>>& sections,
                               uint16_t optionalSize = 0xE0, uint32_t peOffset = 0x80) {
  std::vector<uint8_t> image(peOffset + 24 + optionalSize + 40 * sections.size() + 16, 0);
  auto put16 = [&](size_t at, uint16_t v) { std::memcpy(&image[at], &v, 2); };
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&image[at], &v, 4); };
  image[0] = 'M';
  image[1] = 'Z';
  put32(0x3C, peOffset);
  image[peOffset] = 'P';
  image[peOffset + 1] = 'E';
  put16(peOffset + 6, static_cast<uint16_t>(sections.size()));
  put16(peOffset + 20, optionalSize);
  size_t at = peOffset + 24 + optionalSize;
  for (auto [rawSize, rawPointer] : sections) {
    put32(at + 16, rawSize);
    put32(at + 20, rawPointer);
    at += 40;
  }
  return image;
}

TEST(ArchiveOffset, LargestEndOfSectionsWithRawData) {
  EXPECT_EQ(FindArchiveOffset(MakeImage({{0x200, 0x400}, {0x600, 0x600}, {0x200, 0xC00}}).data(), 0x1A0), 0u)
      << "a header cut short reads as no archive";
  auto image = MakeImage({{0x200, 0x400}, {0x600, 0x600}, {0x200, 0xA00}});
  EXPECT_EQ(FindArchiveOffset(image.data(), image.size()), 0xC00u);
  // The largest end counts, not the last section; sections without raw data do not.
  image = MakeImage({{0x1000, 0x2000}, {0x200, 0x400}, {0, 0x9000}});
  EXPECT_EQ(FindArchiveOffset(image.data(), image.size()), 0x3000u);
  image = MakeImage({{0x200, 0x400}}, 0xF0, 0x100);
  EXPECT_EQ(FindArchiveOffset(image.data(), image.size()), 0x600u);
}

TEST(ArchiveOffset, DamagedHeadersGiveZero) {
  auto good = MakeImage({{0x200, 0x400}});
  ASSERT_EQ(FindArchiveOffset(good.data(), good.size()), 0x600u);

  auto noMz = good;
  noMz[0] = 'X';
  EXPECT_EQ(FindArchiveOffset(noMz.data(), noMz.size()), 0u);
  auto noPe = good;
  noPe[0x81] = 'X';
  EXPECT_EQ(FindArchiveOffset(noPe.data(), noPe.size()), 0u);
  auto peOutside = good;
  uint32_t far = 0xFFFFFFF0;
  std::memcpy(&peOutside[0x3C], &far, 4);
  EXPECT_EQ(FindArchiveOffset(peOutside.data(), peOutside.size()), 0u);
  auto noRawData = MakeImage({{0, 0x400}, {0, 0x800}});
  EXPECT_EQ(FindArchiveOffset(noRawData.data(), noRawData.size()), 0u);
  auto noSections = MakeImage({});
  EXPECT_EQ(FindArchiveOffset(noSections.data(), noSections.size()), 0u);
  auto wraps = MakeImage({{0x80000000, 0x80000000}});
  EXPECT_EQ(FindArchiveOffset(wraps.data(), wraps.size()), 0u) << "an end beyond 2 GiB is no archive";
  EXPECT_EQ(FindArchiveOffset(good.data(), 1), 0u);
  EXPECT_EQ(FindArchiveOffset(good.data(), 0), 0u);
}

}  // namespace
