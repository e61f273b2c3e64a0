#include <gtest/gtest.h>

#include <cstring>

#include "ovfile.h"
#include "ovutils.h"

#include <tlhelp32.h>
#include "testsupport.h"

using namespace testing_support;

namespace {

TEST(LoadResourceData, PresentMissingAndEmpty) {
  ResourceData view;
  ASSERT_TRUE(LoadResourceData("TESTDATA", "PRESENT", view));
  ASSERT_NE(view.data, nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(view.data), 14), "resource bytes");

  EXPECT_FALSE(LoadResourceData("TESTDATA", "MISSING", view));
  EXPECT_EQ(view.data, nullptr);
  EXPECT_EQ(view.size, 0u);
  EXPECT_FALSE(LoadResourceData("NOTYPE", "PRESENT", view));
  EXPECT_FALSE(LoadResourceData("TESTDATA", "EMPTY", view)) << "an empty resource counts as missing";
}

TEST(GetFileVersionText, WithAndWithoutVersionInformation) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  DWORD flags = 0xFFFF;
  EXPECT_EQ(GetFileVersionText(self, &flags), "7.0.11.520");
  EXPECT_EQ(flags, 0x22u);

  flags = 0xFFFF;
  EXPECT_EQ(GetFileVersionText(BinDir() + "selfdelete.exe", &flags), "");
  EXPECT_EQ(flags, 0u);
  EXPECT_EQ(GetFileVersionText(BinDir() + "no-such-file.exe", &flags), "");
}

TEST(ShortVersionText, CutsAtTheSecondDot) {
  EXPECT_EQ(ShortVersionText("7.0.11.520"), "7.0");
  EXPECT_EQ(ShortVersionText("1.2.3.4"), "1.2");
  EXPECT_EQ(ShortVersionText("7"), "7");
  EXPECT_EQ(ShortVersionText("7.1"), "7.1");
  EXPECT_EQ(ShortVersionText(""), "");
}

TEST(IncludeTrailingSeparator, AddsOnlyWhenMissing) {
  EXPECT_EQ(IncludeTrailingSeparator(""), "");
  EXPECT_EQ(IncludeTrailingSeparator("C:\\Src\\"), "C:\\Src\\");
  EXPECT_EQ(IncludeTrailingSeparator("C:\\Src"), "C:\\Src\\");
  EXPECT_EQ(IncludeTrailingSeparator("C:"), "C:\\");
}

TEST(ForceDeleteFile, DeletesReadOnlyFilesAndIgnoresMissingOnes) {
  std::string folder = MakeScratchDir("forcedelete");
  std::string file = folder + "locked.txt";
  WriteFileBytes(file, "x");
  SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  ForceDeleteFile(file);
  EXPECT_FALSE(FileExists(file));
  ForceDeleteFile(file);  // already gone: nothing to report
  ForceDeleteFile(folder);
  EXPECT_TRUE(FolderExists(folder)) << "a folder is not a file";
  RemoveTree(folder);
}

// The number of processes that this test program started.
int ChildProcessCount() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
    count += entry.th32ParentProcessID == GetCurrentProcessId();
  CloseHandle(snapshot);
  return count;
}

TEST(OpenDocument, BlankTextDoesNothing) {
  int before = ChildProcessCount();
  EXPECT_FALSE(OpenDocument(""));
  EXPECT_FALSE(OpenDocument("    "));
  Sleep(500);
  EXPECT_EQ(ChildProcessCount(), before) << "nothing was started";
}

TEST(OpenDocument, MissingDocumentGivesFalse) {
  std::string folder = MakeScratchDir("opendocument");
  EXPECT_FALSE(OpenDocument(folder + "missing-document.none"));
}

}  // namespace
