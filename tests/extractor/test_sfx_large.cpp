// A file of 2.5 GiB through the strong layout and the 64-bit head: built by orvex.exe from
// a sparse source, extracted, and compared with the source piece by piece, neither file
// ever read whole. It takes 2.5 GiB of disk for the extracted file, and fails saying so
// where there is less.
#include <gtest/gtest.h>

#include <windows.h>

#include <io.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "sfxrun.h"
#include "sparse.h"

using namespace testing_support;

namespace {

const DWORD kMinutes = 60000;

TEST(LargeFiles, AStrongLayoutFileOf2_5GiBComesOutWhole) {
  const uint64_t size = (uint64_t{5} << 29) + 7;
  const std::vector<uint64_t> marks = {0, (uint64_t{1} << 31) - 4, size - 8};
  const std::string scratch = MakeScratchDir("sfx-large"), source = scratch + "src\\", out = scratch + "out\\",
                    sfx = scratch + "large.exe";
  ULARGE_INTEGER free;
  ASSERT_TRUE(GetDiskFreeSpaceExA(scratch.c_str(), &free, nullptr, nullptr));
  ASSERT_GE(free.QuadPart, size + (uint64_t{256} << 20))
      << "the extracted file needs " << size << " bytes free on the disk of " << scratch;
  CreateDirectoryA(source.c_str(), nullptr);
  ASSERT_TRUE(sfxtest::MakeSparseFile(source + "big.bin", size, marks));

  DWORD start = GetTickCount();
  std::string build = "\"" + BinDir() + "orvex.exe\" -h -c -o -me -fm -s -oo -zs \"" + scratch + "src\" \"" + sfx +
                      "\" \"" + out + "\\\"";
  ASSERT_EQ(RunToEnd(build, 30 * kMinutes), 0u) << build;
  DWORD built = GetTickCount() - start;
  start = GetTickCount();
  ASSERT_EQ(RunToEnd("\"" + sfx + "\"", 30 * kMinutes), 0u);
  DWORD extracted = GetTickCount() - start;

  std::unique_ptr<FILE, int (*)(FILE*)> restored(fopen((out + "big.bin").c_str(), "rb"), fclose),
      original(fopen((source + "big.bin").c_str(), "rb"), fclose);
  ASSERT_TRUE(restored && original);
  ASSERT_EQ(_filelengthi64(_fileno(restored.get())), static_cast<__int64>(size));
  std::string want, got;
  for (size_t m = 0; m < marks.size(); ++m) {
    ASSERT_TRUE(sfxtest::ReadAt(restored.get(), marks[m], got, 8));
    EXPECT_EQ(got, sfxtest::SparseMark(m)) << marks[m];
  }
  uint64_t differing = 0;
  for (uint64_t at = 0; at < size; at += 1 << 20) {
    size_t piece = static_cast<size_t>(std::min<uint64_t>(1 << 20, size - at));
    ASSERT_TRUE(sfxtest::ReadAt(restored.get(), at, got, piece) && sfxtest::ReadAt(original.get(), at, want, piece))
        << at;
    differing += got != want;
  }
  EXPECT_EQ(differing, 0u) << "MiB that differ from the source";
  restored.reset();
  original.reset();
  WIN32_FILE_ATTRIBUTE_DATA about;
  GetFileAttributesExA(sfx.c_str(), GetFileExInfoStandard, &about);
  std::printf("%llu bytes: built in %lu ms into an SFX file of %lu bytes, extracted in %lu ms\n",
              static_cast<unsigned long long>(size), built, about.nFileSizeLow, extracted);
  RemoveTree(scratch);
}

}  // namespace
