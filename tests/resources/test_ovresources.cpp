// The head resource routines on copies of the built extractor, with fixture programs of
// these tests and with real programs of the Wine prefix as sources. Every result is read
// back twice: by Windows (the file loaded as a data file) and by the tests' own PE reader.
#include <gtest/gtest.h>

#include "OVResources.h"
#include "resourcecheck.h"
#include "testsupport.h"

using namespace testing_support;

namespace {

ByteSpan View(const std::string& text) { return ByteSpan{text.data(), text.size()}; }

class HeadResources : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = MakeScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    head_ = folder_ + "head.exe";
    ASSERT_TRUE(CopyFileA((BinDir() + "sfxhead.exe").c_str(), head_.c_str(), FALSE));
    carried_ = Resources(head_);
  }
  void TearDown() override { RemoveTree(folder_); }

  std::string Fixture(const char* name) { return BinDir() + name + ".exe"; }

  std::string folder_, head_;
  ResourceMap carried_;
};

TEST_F(HeadResources, CarriedHeadHasOnlyMainicon) {
  EXPECT_EQ(FirstGroupName(head_), "MAINICON");
  EXPECT_EQ(OfType(carried_, kGroup).size(), 1u) << "one icon group, in one language";
  EXPECT_FALSE(OfType(carried_, kIcon).empty());
  EXPECT_TRUE(OfType(carried_, kVersion).empty());
  EXPECT_TRUE(OfType(carried_, kManifest).empty());
}

TEST_F(HeadResources, IconsOfTheFirstGroupInEveryLanguage) {
  ASSERT_EQ(FirstGroupName(Fixture("res_fixture_full")), "APPICON");
  ASSERT_TRUE(ReplaceIcons(Fixture("res_fixture_full"), head_));
  ResourceMap after = Resources(head_);
  ExpectIconsCopied(Fixture("res_fixture_full"), after, "MAINICON");
  EXPECT_EQ(OfType(after, kGroup).count(Key(kGroup, "MAINICON", 0x0407)), 1u);
  EXPECT_EQ(OfType(after, kGroup).count(Key(kGroup, "MAINICON", 0x0409)), 1u);
  EXPECT_TRUE(Without(after, {kIcon, kGroup}) == Without(carried_, {kIcon, kGroup})) << "other resources kept";
  ExpectImageEndsTheFile(head_);

  // A second copy replaces the whole group again, under the same name.
  ASSERT_TRUE(ReplaceIcons(Fixture("res_fixture_icons"), head_));
  ExpectIconsCopied(Fixture("res_fixture_icons"), Resources(head_), "MAINICON");
  ExpectImageEndsTheFile(head_);
}

TEST_F(HeadResources, HeadWithoutIconTakesTheSourceGroupName) {
  // A target without any icon group: the bare fixture.
  std::string bare = folder_ + "bare.exe";
  ASSERT_TRUE(CopyFileA(Fixture("res_fixture_bare").c_str(), bare.c_str(), FALSE));
  ASSERT_TRUE(ReplaceIcons(Fixture("res_fixture_full"), bare));
  ExpectIconsCopied(Fixture("res_fixture_full"), Resources(bare), "APPICON");
}

TEST_F(HeadResources, IconFailuresLeaveTheHeadByteIdentical) {
  const std::string before = ReadFileBytes(head_);
  auto unchanged = [&] { return ReadFileBytes(head_) == before; };

  EXPECT_FALSE(ReplaceIcons(Fixture("res_fixture_bare"), head_)) << "a source without icons";
  EXPECT_TRUE(unchanged());
  EXPECT_FALSE(ReplaceIcons(folder_ + "missing.exe", head_));
  EXPECT_TRUE(unchanged());
  // When the broken group's missing image is met, the pending update already holds the
  // head without its old group and one new image.
  EXPECT_FALSE(ReplaceIcons(Fixture("res_fixture_broken"), head_));
  EXPECT_TRUE(unchanged());

  std::string locked = folder_ + "locked.exe";
  ASSERT_TRUE(CopyFileA(Fixture("res_fixture_full").c_str(), locked.c_str(), FALSE));
  HANDLE hold = CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(hold, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(ReplaceIcons(locked, head_)) << "an unreadable source";
  EXPECT_FALSE(ReplaceVersionInfo(locked, head_));
  CloseHandle(hold);
  EXPECT_TRUE(unchanged());

  HANDLE busy = CreateFileA(head_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(busy, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(ReplaceIcons(Fixture("res_fixture_full"), head_)) << "a head held open by another program";
  EXPECT_FALSE(ReplaceVersionInfo(Fixture("res_fixture_full"), head_));
  EXPECT_FALSE(WriteElevationManifest(head_, 1, View(kCarriedManifest)));
  CloseHandle(busy);
  EXPECT_TRUE(unchanged());

  EXPECT_FALSE(ReplaceIcons(Fixture("res_fixture_full"), folder_ + "no-head.exe"));
  EXPECT_FALSE(WriteElevationManifest(folder_ + "no-head.exe", 1, View(kCarriedManifest)));
  EXPECT_FALSE(FileExists(folder_ + "no-head.exe"));
}

TEST_F(HeadResources, VersionInformationOfEveryNameAndLanguage) {
  ResourceMap source = Resources(Fixture("res_fixture_full"));
  ASSERT_EQ(OfType(source, kVersion).size(), 3u) << "two names, the first in two languages";
  EXPECT_EQ(GetVersionLanguage(head_), 0);
  ASSERT_TRUE(ReplaceVersionInfo(Fixture("res_fixture_full"), head_));
  ResourceMap after = Resources(head_);
  EXPECT_TRUE(OfType(after, kVersion) == OfType(source, kVersion));
  EXPECT_TRUE(Without(after, {kVersion}) == carried_);
  EXPECT_EQ(GetVersionLanguage(head_), 0x0407);
  ExpectImageEndsTheFile(head_);

  // Replacing again drops every earlier name and language.
  ASSERT_TRUE(ReplaceVersionInfo(SystemProgram("regedit.exe"), head_));
  EXPECT_TRUE(OfType(Resources(head_), kVersion) == OfType(Resources(SystemProgram("regedit.exe")), kVersion));
  EXPECT_EQ(GetVersionLanguage(head_), GetVersionLanguage(SystemProgram("regedit.exe")));
}

TEST_F(HeadResources, SourceWithoutVersionInformationChangesNothing) {
  const std::string before = ReadFileBytes(head_);
  EXPECT_FALSE(ReplaceVersionInfo(Fixture("res_fixture_bare"), head_));
  EXPECT_FALSE(ReplaceVersionInfo(folder_ + "missing.exe", head_));
  EXPECT_TRUE(ReadFileBytes(head_) == before);
  EXPECT_EQ(GetVersionLanguage(Fixture("res_fixture_bare")), 0);
  EXPECT_EQ(GetVersionLanguage(folder_ + "missing.exe"), 0);
}

TEST_F(HeadResources, ManifestTextsAndLanguages) {
  ASSERT_EQ(kCarriedManifest.size(), 420u);
  ASSERT_EQ(kHighestManifest.size(), 416u);
  EXPECT_EQ(ElevationManifestText(1, View(kCarriedManifest)), kHighestManifest);
  EXPECT_EQ(ElevationManifestText(2, View(kCarriedManifest)), kCarriedManifest);
  EXPECT_EQ(ElevationManifestText(0, View(kCarriedManifest)), "");
  EXPECT_EQ(ElevationManifestText(3, View(kCarriedManifest)), "");
  EXPECT_EQ(ElevationManifestText(1, View(kHighestManifest)), "") << "nothing to lower: refuse, never ask for more";

  const std::string before = ReadFileBytes(head_);
  EXPECT_TRUE(WriteElevationManifest(head_, 0, View(kCarriedManifest)));
  EXPECT_TRUE(ReadFileBytes(head_) == before) << "elevation 0 writes no manifest";

  // Without version information the manifest has language 0.
  ASSERT_TRUE(WriteElevationManifest(head_, 2, View(kCarriedManifest)));
  ResourceMap after = Resources(head_);
  EXPECT_TRUE(OfType(after, kManifest) == ResourceMap({{Key(kManifest, "#1", 0), kCarriedManifest}}));
  ExpectImageEndsTheFile(head_);

  // After the version copy it takes the copied language.
  std::string other = folder_ + "other.exe";
  ASSERT_TRUE(CopyFileA((BinDir() + "sfxhead.exe").c_str(), other.c_str(), FALSE));
  ASSERT_TRUE(ReplaceVersionInfo(Fixture("res_fixture_full"), other));
  ASSERT_TRUE(WriteElevationManifest(other, 1, View(kCarriedManifest)));
  EXPECT_TRUE(OfType(Resources(other), kManifest) ==
              ResourceMap({{Key(kManifest, "#1", 0x0407), kHighestManifest}}));
  ExpectImageEndsTheFile(other);
}

TEST_F(HeadResources, PrepareHeadFromSourcesWithAndWithoutVersion) {
  // The icons fixture carries icons but no version information; Wine's programs carry both.
  const std::string iconsOnly = Fixture("res_fixture_icons");
  for (const std::string& source : {iconsOnly, SystemProgram("regedit.exe"), SystemProgram("taskmgr.exe")}) {
    SCOPED_TRACE(source);
    ResourceMap from = Resources(source);
    ASSERT_FALSE(OfType(from, kGroup).empty());
    EXPECT_EQ(OfType(from, kVersion).empty(), source == iconsOnly);
    std::string head = folder_ + source.substr(source.find_last_of('\\') + 1);
    ASSERT_TRUE(CopyFileA((BinDir() + "sfxhead.exe").c_str(), head.c_str(), FALSE));

    ASSERT_TRUE(PrepareHead(head, source, 1, View(kCarriedManifest)));
    ResourceMap after = Resources(head);
    ExpectIconsCopied(source, after, "MAINICON");
    EXPECT_TRUE(OfType(after, kVersion) == OfType(from, kVersion));
    uint16_t language = GetVersionLanguage(source);
    EXPECT_TRUE(OfType(after, kManifest) == ResourceMap({{Key(kManifest, "#1", language), kHighestManifest}}));
    ExpectImageEndsTheFile(head);
  }
}

TEST_F(HeadResources, PrepareHeadWithoutSource) {
  ASSERT_TRUE(PrepareHead(head_, "", 2, View(kCarriedManifest)));
  ResourceMap after = Resources(head_);
  EXPECT_TRUE(Without(after, {kManifest}) == carried_) << "the head keeps its own icon";
  EXPECT_TRUE(OfType(after, kManifest) == ResourceMap({{Key(kManifest, "#1", 0), kCarriedManifest}}));

  // An asked-for manifest that cannot be written is the one failure reported.
  ByteSpan broken = View(kHighestManifest);
  EXPECT_FALSE(PrepareHead(head_, Fixture("res_fixture_full"), 1, broken));
  EXPECT_TRUE(PrepareHead(head_, Fixture("res_fixture_bare"), 0, broken)) << "icon and version failures stay silent";
}

TEST(ResourceSourceFile, XcmvThenLaunchTargetThenNone) {
  EXPECT_EQ(ResourceSourceFile(true, true, "x.exe", 1, "run.exe"), "x.exe");
  EXPECT_EQ(ResourceSourceFile(true, true, "x.exe", 0, ""), "x.exe");
  EXPECT_EQ(ResourceSourceFile(true, false, "x.exe", 1, "run.exe"), "run.exe");
  EXPECT_EQ(ResourceSourceFile(false, true, "x.exe", 1, "run.exe"), "run.exe") << "xcmv counts in command-line mode only";
  EXPECT_EQ(ResourceSourceFile(false, true, "x.exe", 0, "run.exe"), "");
  EXPECT_EQ(ResourceSourceFile(true, false, "", 0, "run.exe"), "");
}

}  // namespace
