// The build job in-process: every progress report recorded without a window, the size
// limit of the extractor, a head that cannot take the manifest, and folder listings that
// fail.
#include <gtest/gtest.h>

#include <array>

#include "BuildErrors.h"
#include "BuildSfx.h"
#include "SourceWalkHooks.h"
#include "sfxcheck.h"
#include "testsupport.h"

using namespace testing_support;

namespace {

class Recorder : public BuildProgress {
 public:
  std::vector<std::string> calls;
  void SetSource(const std::string& text) override { calls.push_back("source " + text); }
  void SetTarget(const std::string& text) override { calls.push_back("target " + text); }
  void SetFileBar(int position) override { calls.push_back("file " + std::to_string(position)); }
  void SetTotalBar(int position) override { calls.push_back("total " + std::to_string(position)); }
  void SetSizeText(const std::string& text) override { calls.push_back("size " + text); }
  void ProcessMessages() override { calls.push_back("messages"); }
};

// The builder's resources, taken from the built orvex.exe as a data file.
class BuildJob : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    module_ = LoadLibraryExA(OrvexPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module_);
    heads_ = SfxHeads{Load("EXE", "SFXHEAD"), Load("EXE", "SELFDELETE"), Load("XML", "UAC")};
  }
  static ByteSpan Load(const char* type, const char* name) {
    HRSRC info = FindResourceA(module_, name, type);
    EXPECT_TRUE(info) << name;
    return ByteSpan{LockResource(LoadResource(module_, info)), SizeofResource(module_, info)};
  }
  void SetUp() override { environment_.Heads = heads_; }
  // True when the build ran to its end.
  bool BuildSfx(BuildInputs in) {
    NormalizeInputs(in);
    return !::BuildSfx(in, environment_).Cancelled;
  }
  static std::string OrvexPath() { return BinDir() + "orvex.exe"; }
  static HMODULE module_;
  static SfxHeads heads_;
  BuildEnvironment environment_;
};
HMODULE BuildJob::module_ = nullptr;
SfxHeads BuildJob::heads_;

BuildInputs Inputs(const std::string& source, const std::string& target) {
  BuildInputs in;
  in.Source = source;
  in.Target = target;
  return in;
}

// The bars stay one chunk behind: each chunk of a file is in the target before the bars
// show the content ahead of it, the total never shows more, and both show all of it (1000)
// once the file is closed.
TEST_F(BuildJob, TheBarsFollowTheChunksInTheTarget) {
  std::string dir = MakeScratchDir("bj-progress"), target = dir + "out.exe";
  CreateDirectoryA((dir + "src").c_str(), nullptr);
  const int64_t size = 2 * ChunkSize + 1;
  WriteFileBytes(dir + "src\\big.bin", std::string(size, 'b'));
  struct Bars : Recorder {
    std::string target;
    int file = 0;
    std::vector<std::array<int64_t, 3>> seen;  // file bar, total bar, size of the target
    void SetFileBar(int position) override { file = position; }
    void SetTotalBar(int position) override {
      seen.push_back({file, position, static_cast<int64_t>(ReadFileBytes(target).size())});
    }
  };
  for (unsigned threads : {1u, 2u}) {
    Bars bars;
    bars.target = target;
    environment_.Progress = &bars;
    BuildInputs in = Inputs(dir + "src", target);
    in.Threads = threads;
    ASSERT_TRUE(BuildSfx(in));
    std::string built = ReadFileBytes(target);
    SfxArchive archive;
    ASSERT_EQ(ReadSfx(built, archive), "");
    std::vector<sfxtest::Chunk> chunks = archive.entries.at(0).chunks;
    ASSERT_EQ(bars.seen.size(), chunks.size() + 2) << "at the start, after each chunk, at the end of the file";
    uint64_t end = built.size() - sizeof(EntryHeader) - 4;  // of the last chunk: the checksum follows
    for (size_t k = chunks.size() + 1; k > 0; --k) {
      auto [file, total, written] = bars.seen[k];
      int64_t shown = k > chunks.size() ? size : static_cast<int64_t>(k - 1) * ChunkSize;
      EXPECT_GE(written, static_cast<int64_t>(end)) << threads << " threads: report " << k << " before its chunk";
      EXPECT_NEAR(file, 1000.0 * shown / size, 0.5) << threads << " threads, report " << k;
      EXPECT_TRUE(total * size <= 1000 * shown && 1000 * shown < (total + 1) * size) << total << " at " << k;
      if (k <= chunks.size()) end -= 8 + chunks[k - 1].compressedLength;
    }
  }
}

TEST_F(BuildJob, AnOldTargetInsideTheSourceCountsButIsNotWritten) {
  std::string dir = MakeScratchDir("bj-inside");
  std::string src = dir + "src\\";
  CreateDirectoryA(src.c_str(), nullptr);
  WriteFileBytes(src + "a.txt", std::string(3000, 'a'));
  WriteFileBytes(src + "out.exe", std::string(1000, 'o'));
  Recorder recorder;
  environment_.Progress = &recorder;
  ASSERT_TRUE(BuildSfx(Inputs(src, src + "out.exe")));
  EXPECT_EQ(recorder.calls.end()[-3], "total 750") << "the skipped target still counts in the total";
}

TEST_F(BuildJob, AnSfxFileNeverReachesTheExtractorsLimit) {
  std::string dir = MakeScratchDir("bj-limit");
  std::string src = dir + "src\\";
  CreateDirectoryA(src.c_str(), nullptr);
  WriteFileBytes(src + "a.txt", std::string(100000, 'a'));
  ASSERT_TRUE(BuildSfx(Inputs(src, dir + "out.exe")));
  uint64_t size = ReadFileBytes(dir + "out.exe").size();

  environment_.SizeLimit = size;
  EXPECT_TRUE(BuildSfx(Inputs(src, dir + "exact.exe"))) << "a file exactly at the limit is fine";
  EXPECT_EQ(ReadFileBytes(dir + "exact.exe").size(), size);

  environment_.SizeLimit = size - 1;
  EXPECT_THROW(BuildSfx(Inputs(src, dir + "over.exe")), EInputRefused);
  EXPECT_FALSE(FileExists(dir + "over.exe"));
  environment_.SizeLimit = heads_.Head.size - 1;
  EXPECT_THROW(BuildSfx(Inputs(src, dir + "over.exe")), EInputRefused);
  EXPECT_FALSE(FileExists(dir + "over.exe"));
}

TEST_F(BuildJob, AManifestThatCannotBeWrittenFailsTheBuild) {
  std::string dir = MakeScratchDir("bj-manifest");
  std::string src = dir + "src\\";
  CreateDirectoryA(src.c_str(), nullptr);
  // A head that is no executable takes no resource update at all, and every head carries
  // a manifest, whatever the elevation.
  static const char notAnExecutable[] = "MZ but nothing more of an executable";
  environment_.Heads.Head = ByteSpan{notAnExecutable, sizeof notAnExecutable};
  BuildInputs in = Inputs(src, dir + "out.exe");
  for (uint8_t elevation : {2, 0}) {
    in.UACAutoElevation = elevation;
    try {
      BuildSfx(in);
      ADD_FAILURE() << "built without the manifest, elevation " << int{elevation};
    } catch (const EBuildError& error) {
      EXPECT_EQ(std::string(error.what()),
                "The elevation manifest could not be written into the SFX file\r\n\r\n" + dir + "out.exe");
    }
    EXPECT_FALSE(FileExists(dir + "out.exe"));
  }
}

// Listings of folders named "locked" that fail: at once, or after their first item.
HANDLE gLockedSearch = nullptr;
bool gFailAtOnce = false;

HANDLE WINAPI FirstFailing(LPCWSTR pattern, LPWIN32_FIND_DATAW found) {
  bool locked = std::wstring(pattern).find(L"\\locked\\") != std::wstring::npos;
  if (locked && gFailAtOnce) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE search = FindFirstFileW(pattern, found);
  if (locked) gLockedSearch = search;
  return search;
}

BOOL WINAPI NextFailing(HANDLE search, LPWIN32_FIND_DATAW found) {
  if (search != gLockedSearch) return FindNextFileW(search, found);
  SetLastError(ERROR_NETNAME_DELETED);
  return FALSE;
}

TEST_F(BuildJob, AFolderThatCannotBeListedStopsTheBuild) {
  std::string dir = MakeScratchDir("bj-listing");
  std::string src = dir + "src\\";
  CreateDirectoryA(src.c_str(), nullptr);
  CreateDirectoryA((src + "locked").c_str(), nullptr);
  WriteFileBytes(src + "locked\\inside.txt", "never seen");
  WriteFileBytes(dir + "out.exe", "an older SFX file");
  const FolderListing failing = {FirstFailing, NextFailing};
  environment_.Listing = &failing;
  for (bool atOnce : {true, false}) {
    gFailAtOnce = atOnce;
    try {
      BuildSfx(Inputs(src, dir + "out.exe"));
      ADD_FAILURE() << "built without the folder's files";
    } catch (const EInputRefused&) {
      ADD_FAILURE() << "the inputs are fine; the listing failed";
    } catch (const EBuildError& error) {
      EXPECT_EQ(std::string(error.what()), std::string("This folder could not be listed (") +
                                               (atOnce ? "File access denied" : "I/O error 64") + ")\r\n\r\n" +
                                               src + "locked\\");
    }
    EXPECT_EQ(ReadFileBytes(dir + "out.exe"), "an older SFX file") << "the walk comes before the target is touched";
  }
}

// A listing that gives "lone.txt" a lone surrogate, which no file system of the host makes.
void WithLoneSurrogate(LPWIN32_FIND_DATAW found) {
  if (std::wstring(found->cFileName) == L"lone.txt") wcscpy(found->cFileName, L"lone\xD800.txt");
}
HANDLE WINAPI FirstLone(LPCWSTR pattern, LPWIN32_FIND_DATAW found) {
  HANDLE search = FindFirstFileW(pattern, found);
  if (search != INVALID_HANDLE_VALUE) WithLoneSurrogate(found);
  return search;
}
BOOL WINAPI NextLone(HANDLE search, LPWIN32_FIND_DATAW found) {
  BOOL more = FindNextFileW(search, found);
  if (more) WithLoneSurrogate(found);
  return more;
}

TEST_F(BuildJob, ALoneSurrogateIsShownInTheRefusal) {
  std::string dir = MakeScratchDir("bj-surrogate"), src = dir + "src\\";
  CreateDirectoryA(src.c_str(), nullptr);
  WriteFileBytes(src + "lone.txt", "x");
  const FolderListing lone = {FirstLone, NextLone};
  environment_.Listing = &lone;
  for (uint8_t strong : {0, 1}) {
    BuildInputs in = Inputs(src, dir + "out.exe");
    in.StrongCompression = strong;
    try {
      BuildSfx(in);
      ADD_FAILURE() << "built";
    } catch (const EInputRefused& error) {
      EXPECT_EQ(std::string(error.what()),
                strong ? "The name of this file is not valid Unicode text\r\n\r\n" + src + "lone\\uD800.txt"
                       : "The name of this file cannot be represented in the system's code page\r\n\r\n" + src +
                             "lone?.txt");
    }
  }
}

TEST_F(BuildJob, FileErrorsCarryTheStandardTexts) {
  std::string dir = MakeScratchDir("bj-errors");
  std::string src = dir + "src\\";
  CreateDirectoryA(src.c_str(), nullptr);
  try {
    BuildSfx(Inputs(src, ""));
    ADD_FAILURE();
  } catch (const EBuildError& error) {
    EXPECT_EQ(std::string(error.what()), "Unable to create directory");
  }
  CreateDirectoryA((dir + "folder.exe").c_str(), nullptr);
  try {
    BuildSfx(Inputs(src, dir + "folder.exe"));
    ADD_FAILURE();
  } catch (const EBuildError& error) {
    EXPECT_EQ(std::string(error.what()), "File access denied\r\n\r\n" + dir + "folder.exe");
  }
  EXPECT_TRUE(FolderExists(dir + "folder.exe"));
}

}  // namespace
