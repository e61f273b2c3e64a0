// A file of 2.5 GiB through the strong layout and the 64-bit head: built by orvex.exe from
// a sparse source, extracted, and compared with the source piece by piece, neither file
// ever read whole. It takes 2.5 GiB of disk for the extracted file, and fails saying so
// where there is less.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "sfxrun.h"

using namespace testing_support;

namespace {

const DWORD kMinutes = 60000;

struct File {
  HANDLE handle;
  explicit File(const std::string& path, DWORD access, DWORD disposition)
      : handle(CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition, 0, nullptr)) {}
  ~File() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
  bool At(uint64_t position) {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(position);
    return SetFilePointerEx(handle, to, nullptr, FILE_BEGIN) != 0;
  }
  // `length` bytes at `position`; false when fewer are there.
  bool Read(uint64_t position, std::string& bytes, size_t length) {
    bytes.resize(length);
    DWORD done = 0;
    return At(position) && ReadFile(handle, &bytes[0], static_cast<DWORD>(length), &done, nullptr) && done == length;
  }
};

TEST(LargeFiles, AStrongLayoutFileOf2_5GiBComesOutWhole) {
  const uint64_t size = (uint64_t{5} << 29) + 7;
  const uint64_t marks[] = {0, (uint64_t{1} << 31) - 4, size - 8};
  const std::string scratch = MakeScratchDir("sfx-large"), source = scratch + "src\\", out = scratch + "out\\",
                    sfx = scratch + "large.exe";
  ULARGE_INTEGER free;
  ASSERT_TRUE(GetDiskFreeSpaceExA(scratch.c_str(), &free, nullptr, nullptr));
  ASSERT_GE(free.QuadPart, size + (uint64_t{256} << 20))
      << "the extracted file needs " << size << " bytes free on the disk of " << scratch;
  CreateDirectoryA(source.c_str(), nullptr);
  {
    File big(source + "big.bin", GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(big.handle, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(big.At(size) && SetEndOfFile(big.handle));  // sparse: the host's ftruncate
    for (size_t m = 0; m < std::size(marks); ++m) {
      std::string text = "<mark " + std::to_string(m) + ">";
      DWORD done = 0;
      ASSERT_TRUE(big.At(marks[m]) && WriteFile(big.handle, text.data(), 8, &done, nullptr) && done == 8);
    }
  }

  DWORD start = GetTickCount();
  std::string build = "\"" + BinDir() + "orvex.exe\" -h -c -o -me -fm -s -oo -zs \"" + scratch + "src\" \"" + sfx +
                      "\" \"" + out + "\\\"";
  ASSERT_EQ(RunToEnd(build, 30 * kMinutes), 0u) << build;
  DWORD built = GetTickCount() - start;
  start = GetTickCount();
  ASSERT_EQ(RunToEnd("\"" + sfx + "\"", 30 * kMinutes), 0u);
  DWORD extracted = GetTickCount() - start;

  File restored(out + "big.bin", GENERIC_READ, OPEN_EXISTING), original(source + "big.bin", GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(restored.handle, INVALID_HANDLE_VALUE);
  LARGE_INTEGER length;
  ASSERT_TRUE(GetFileSizeEx(restored.handle, &length));
  ASSERT_EQ(uint64_t(length.QuadPart), size);
  std::string want, got;
  for (size_t m = 0; m < std::size(marks); ++m) {
    ASSERT_TRUE(restored.Read(marks[m], got, 8));
    EXPECT_EQ(got, "<mark " + std::to_string(m) + ">") << marks[m];
  }
  uint64_t differing = 0;
  for (uint64_t at = 0; at < size; at += 1 << 20) {
    size_t piece = static_cast<size_t>(std::min<uint64_t>(1 << 20, size - at));
    ASSERT_TRUE(restored.Read(at, got, piece) && original.Read(at, want, piece)) << at;
    differing += got != want;
  }
  EXPECT_EQ(differing, 0u) << "MiB that differ from the source";
  WIN32_FILE_ATTRIBUTE_DATA about;
  GetFileAttributesExA(sfx.c_str(), GetFileExInfoStandard, &about);
  std::printf("%llu bytes: built in %lu ms into an SFX file of %lu bytes, extracted in %lu ms\n",
              static_cast<unsigned long long>(size), built, about.nFileSizeLow, extracted);
  RemoveTree(scratch);
}

}  // namespace
