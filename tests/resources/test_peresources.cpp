// The tests' PE resource reader against a fixture program made by the cross compiler, and
// against damaged copies of it: it must read the tree exactly and refuse, never crash on,
// what is broken.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "peresources.h"

namespace {

std::string ReadFixture() {
  std::ifstream in(FIXTURE_FULL, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::vector<std::string> Languages(const std::vector<PeResource>& list) {
  std::vector<std::string> languages;
  for (const PeResource& r : list) languages.push_back(std::to_string(r.language));
  return languages;
}

TEST(ReadPeResources, FixtureTreeInOrder) {
  std::string image = ReadFixture();
  ASSERT_FALSE(image.empty());
  std::vector<PeResource> all;
  std::string why;
  ASSERT_TRUE(ReadPeResources(image, all, &why)) << why;

  std::vector<PeResource> groups = FindResources(all, ResourceId(14));
  ASSERT_EQ(groups.size(), 3u);
  // Named entries sort by name; languages ascend within a name.
  EXPECT_EQ(groups[0].name, "APPICON");
  EXPECT_EQ(groups[1].name, "APPICON");
  EXPECT_EQ(groups[2].name, "ZZICON");
  EXPECT_EQ(Languages(groups), (std::vector<std::string>{"1031", "1033", "1033"}));

  // red.ico has two images, green.ico and yellow.ico one each, numbered in script order.
  std::vector<unsigned> ids, all_ids;
  for (const PeResource& group : groups) {
    ASSERT_TRUE(IconGroupIds(group.data, ids));
    all_ids.insert(all_ids.end(), ids.begin(), ids.end());
  }
  EXPECT_EQ(all_ids, (std::vector<unsigned>{1, 2, 3, 4}));
  std::vector<PeResource> images = FindResources(all, ResourceId(3));
  ASSERT_EQ(images.size(), 4u);
  for (unsigned id = 1; id <= 4; ++id) {
    EXPECT_EQ(images[id - 1].name, ResourceId(id));
    // An icon image is a bitmap header (40) or a PNG signature.
    EXPECT_TRUE(images[id - 1].data.compare(0, 4, std::string("\x28\0\0\0", 4)) == 0 ||
                images[id - 1].data.compare(1, 3, "PNG") == 0);
  }

  std::vector<PeResource> versions = FindResources(all, ResourceId(16), ResourceId(1));
  ASSERT_EQ(versions.size(), 2u);
  EXPECT_EQ(Languages(versions), (std::vector<std::string>{"1031", "1033"}));
  // VS_VERSIONINFO: its length leads, and the key is UTF-16 "VS_VERSION_INFO" at offset 6.
  for (const PeResource& v : versions) {
    ASSERT_GE(v.data.size(), 38u);
    EXPECT_EQ(static_cast<unsigned char>(v.data[0]) | static_cast<unsigned char>(v.data[1]) << 8, v.data.size());
    EXPECT_EQ(v.data[6], 'V');
    EXPECT_EQ(v.data[8], 'S');
  }
  EXPECT_NE(versions[0].data, versions[1].data);
  EXPECT_EQ(FindResources(all, ResourceId(16)).size(), 3u) << "a second name";

  // The copy rule of the end-to-end checks: the first group in both its languages, with
  // the images it names put into the group's language.
  ResourceMap expectedGroups, expectedImages;
  ASSERT_TRUE(ExpectedIconCopy(all, "MAINICON", expectedGroups, expectedImages));
  EXPECT_EQ(expectedGroups.size(), 2u);
  EXPECT_EQ(expectedGroups.count("#14/MAINICON/0407"), 1u);
  EXPECT_EQ(expectedGroups.count("#14/MAINICON/0409"), 1u);
  std::vector<std::string> imageKeys;
  for (const auto& entry : expectedImages) imageKeys.push_back(entry.first);
  EXPECT_EQ(imageKeys, (std::vector<std::string>{"#3/#1/0407", "#3/#2/0407", "#3/#3/0409"}));
}

TEST(ReadPeResources, NotAnImage) {
  std::vector<PeResource> all;
  std::string why;
  EXPECT_FALSE(ReadPeResources("", all, &why));
  EXPECT_EQ(why, "no MZ header");
  std::string image = ReadFixture();
  image[0] = 'X';
  EXPECT_FALSE(ReadPeResources(image, all, &why));
  image = ReadFixture();
  image[static_cast<unsigned char>(image[0x3C]) | static_cast<unsigned char>(image[0x3D]) << 8] = 'X';
  EXPECT_FALSE(ReadPeResources(image, all, &why));
  EXPECT_EQ(why, "no PE signature");
  EXPECT_TRUE(all.empty());
}

// Every cut and many single damaged bytes: the reader either reads a tree or refuses.
// The sanitizers catch a read outside the image.
TEST(ReadPeResources, TruncatedAndDamagedImages) {
  const std::string image = ReadFixture();
  std::vector<PeResource> all;
  int refused = 0;
  for (size_t length = 0; length < image.size(); length += 1 + length / 64)
    refused += !ReadPeResources(image.substr(0, length), all);
  EXPECT_GT(refused, 0);

  for (size_t at = 0; at < image.size(); at += 7) {
    std::string damaged = image;
    damaged[at] = static_cast<char>(damaged[at] ^ 0xA5);
    ReadPeResources(damaged, all);
  }
}

}  // namespace
