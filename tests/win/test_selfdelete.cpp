#include <gtest/gtest.h>

#include <thread>

#include "testsupport.h"

using namespace testing_support;

namespace {

std::string Helper() { return Quoted(BinDir() + "selfdelete.exe"); }

TEST(SelfDelete, DeletesAReadOnlyFileAtOnce) {
  std::string folder = MakeScratchDir("selfdelete-readonly");
  std::string file = folder + "with blanks.exe";
  WriteFileBytes(file, "MZ");
  SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(RunToEnd(Helper() + " " + Quoted(file), 10000), 0u);
  EXPECT_FALSE(FileExists(file));
}

TEST(SelfDelete, WaitsUntilTheFileIsReleased) {
  std::string folder = MakeScratchDir("selfdelete-held");
  std::string file = folder + "sfx.exe";
  WriteFileBytes(file, "MZ");
  // Held the way a running program holds its file: no sharing of deletion.
  HANDLE held = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ChildProcess helper(Helper() + " " + Quoted(file));
  ASSERT_TRUE(helper.Started());
  DWORD start = GetTickCount();
  Sleep(1000);
  EXPECT_TRUE(FileExists(file)) << "deleted while still held";
  CloseHandle(held);
  ASSERT_TRUE(helper.Wait(10000));
  DWORD elapsed = GetTickCount() - start;
  EXPECT_EQ(helper.ExitCode(), 0u);
  EXPECT_FALSE(FileExists(file));
  EXPECT_LT(elapsed, 5000u) << "gone soon after the release";
  std::printf("helper ended %lu ms after its start (file released after 1000 ms)\n", elapsed);
}

TEST(SelfDelete, LeavesFoldersAndMissingPathsAlone) {
  std::string folder = MakeScratchDir("selfdelete-folder");
  CreateDirectoryA((folder + "sub").c_str(), nullptr);
  EXPECT_EQ(RunToEnd(Helper() + " " + Quoted(folder + "sub"), 10000), 0u);
  EXPECT_TRUE(FolderExists(folder + "sub"));
  EXPECT_EQ(RunToEnd(Helper() + " " + Quoted(folder + "missing.exe"), 10000), 0u);
}

TEST(SelfDelete, EndsAtOnceWithoutArguments) {
  DWORD start = GetTickCount();
  EXPECT_EQ(RunToEnd(Helper(), 10000), 0u);
  EXPECT_EQ(RunToEnd(Helper() + " \"\"", 10000), 0u);
  EXPECT_LT(GetTickCount() - start, 8000u);
}

TEST(SelfDelete, GivesUpOnAFileThatStaysLocked) {
  std::string folder = MakeScratchDir("selfdelete-locked");
  std::string file = folder + "sfx.exe";
  WriteFileBytes(file, "MZ");
  HANDLE held = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  DWORD start = GetTickCount();
  DWORD code = RunToEnd(Helper() + " " + Quoted(file), 120000);
  DWORD elapsed = GetTickCount() - start;
  CloseHandle(held);
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(FileExists(file));
  // 1000 attempts with 20 ms pauses: about 20 seconds of patience.
  EXPECT_GE(elapsed, 19000u);
  std::printf("helper gave up after %lu ms\n", elapsed);
}

}  // namespace
