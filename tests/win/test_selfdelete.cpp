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

// A name beyond the code page in a folder past MAX_PATH: the helper reads its wide command
// line and reaches the file in the long form.
TEST(SelfDelete, DeletesAnyNameAtAnyDepth) {
  auto wide = [](const std::string& text) {
    std::wstring out(text.size(), L'\0');
    out.resize(MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), &out[0], int(out.size())));
    return out;
  };
  std::wstring path = wide(MakeScratchDir("selfdelete-wide"));
  for (int i = 0; i < 3; ++i) {
    path += std::wstring(100, L'd') + L"\\";
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + path).c_str(), nullptr));
  }
  path += L"\u03a9\u65e5\u672c.exe";
  HANDLE file = CreateFileW((L"\\\\?\\" + path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  std::wstring command = L"\"" + wide(BinDir()) + L"selfdelete.exe\" \"" + path + L"\"";
  STARTUPINFOW startup{sizeof startup};
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(GetFileAttributesW((L"\\\\?\\" + path).c_str()), INVALID_FILE_ATTRIBUTES);
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
