// The build engine with several compressing threads, on real files: the same SFX file
// whatever the number of threads, a cancel that stops every thread, and failures of
// reading reported as the one-thread build reports them. Runs under ThreadSanitizer too
// (see README).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "BuildErrors.h"
#include "BuildJob.h"
#include "BuildSfx.h"
#include "scratch.h"
#include "archiverun.h"
#include "sfxinspect.h"
#include "sfxwriter.h"
#include "sparse.h"
#include "u_shared.h"
#include "u_strong.h"

#include <LzmaDec.h>
#include <zlib.h>

namespace fs = std::filesystem;

namespace {

using sfxtest::ReadFile;
using sfxtest::WriteFile;

// Counts and answers the progress calls; `onCall` sees each one's number.
class Observer : public BuildProgress {
 public:
  std::function<bool(int call, const std::string& what)> onCall = [](int, const std::string&) { return false; };
  bool cancelled = false;
  int callsAfterCancel = 0;  // after the build learnt of it

  void SetSource(const std::string& text) override { Call("source " + text); }
  void SetTarget(const std::string&) override { Call("target"); }
  void SetFileBar(int) override { Call("file"); }
  void SetTotalBar(int) override { Call("total"); }
  void SetSizeText(const std::string&) override { Call("size"); }
  void ProcessMessages() override {}
  bool Cancelled() override {
    learnt_ = learnt_ || cancelled;
    return cancelled;
  }

 private:
  void Call(const std::string& what) {
    if (learnt_) ++callsAfterCancel;
    if (onCall(++calls_, what)) cancelled = true;
  }
  int calls_ = 0;
  bool learnt_ = false;
};

uint64_t Next(uint64_t& state) {
  state ^= state << 13;
  state ^= state >> 7;
  state ^= state << 17;
  return state;
}

// Bytes deflate cannot shrink.
std::string Noise(size_t size, uint64_t seed) {
  std::string out(size, '\0');
  for (char& c : out) c = static_cast<char>(Next(seed) >> 32);
  return out;
}

// Bytes that deflate neither trivially nor not at all: words drawn from a pool.
std::string Text(size_t size, uint64_t seed) {
  seed = seed * 0x9E3779B97F4A7C15ull + 1;
  std::vector<std::string> pool(3000);
  for (std::string& word : pool) {
    word = Noise(2 + Next(seed) % 8, Next(seed));
    for (char& c : word) c = static_cast<char>('a' + static_cast<unsigned char>(c) % 26);
  }
  std::string out;
  out.reserve(size + 16);
  while (out.size() < size) out += pool[Next(seed) % pool.size()] + (Next(seed) % 12 ? " " : ".\r\n");
  out.resize(size);
  return out;
}

int ThreadsOfThisProcess() {
  return static_cast<int>(std::distance(fs::directory_iterator("/proc/self/task"), fs::directory_iterator()));
}

// The threads of this process once they number `expected` or two seconds have passed: a
// joined thread leaves /proc a moment after the join returns.
int ThreadsSettlingTo(int expected) {
  int threads = ThreadsOfThisProcess();
  for (int wait = 0; threads != expected && wait < 200; ++wait) {
    usleep(10000);
    threads = ThreadsOfThisProcess();
  }
  return threads;
}

class ParallelBuild : public testing::Test {
 protected:
  void SetUp() override {
    environment_.Heads.Head = ByteSpan{head_.data(), head_.size()};
    environment_.Heads.UacManifest = ByteSpan{sfxtest::SyntheticUac, sizeof sfxtest::SyntheticUac - 1};
    environment_.Heads.SelfDelete = ByteSpan{helper_.data(), helper_.size()};
    environment_.StrongBlockSize = 1 << 20;  // blocks enough for every thread
  }

  // Builds `source` into `target` with `threads` threads; the failure's text, or empty.
  std::string Build(const fs::path& source, const fs::path& target, unsigned threads, BuildProgress* progress,
                    BuildResult* result = nullptr, bool reproducible = true) {
    BuildInputs in;
    in.Source = source.string();
    in.Target = target.string();
    in.Reproducible = reproducible;
    in.SelfDeleteMode = 1;
    in.Threads = threads;
    in.StrongCompression = strong_;
    in.CustomFolderUtf8 = customFolder_;
    in.CmdParametersUtf8 = parameters_;
    in.CodePage = 1252;
    NormalizeInputs(in);
    BuildEnvironment environment = environment_;
    environment.Progress = progress;
    try {
      BuildResult r = BuildSfx(in, environment);
      if (result) *result = r;
    } catch (const EBuildError& error) {
      return error.what();
    }
    return std::string();
  }

  sfxtest::ScratchFolder scratch_{"parallel"};
  fs::path dir_ = scratch_.Path();
  std::string head_ = sfxtest::SyntheticHead();
  std::string helper_ = Text(3000, 7);
  BuildEnvironment environment_;
  uint8_t strong_ = 0;
  std::string customFolder_, parameters_;  // in UTF-8
};

TEST_F(ParallelBuild, EveryThreadCountWritesTheSameBytes) {
  fs::path src = dir_ / "src";
  for (int i = 0; i < 150; ++i)
    WriteFile(src / ("d" + std::to_string(i % 7)) / ("f" + std::to_string(i) + ".txt"), Text(i * 37 % 5000, i));
  WriteFile(src / "a-one-chunk.bin", Text(ChunkSize, 1));
  WriteFile(src / "b-chunks-and-a-byte.bin", Text(2 * ChunkSize + 1, 2));
  WriteFile(src / "c-noise.bin", Noise(ChunkSize / 3, 3));
  WriteFile(src / "empty.txt", "");
  fs::create_directories(src / "empty" / "nested");
  fs::create_directories(src / "z-empty");
  WriteFile(src / "d-copy.bin", Text(ChunkSize, 1));
  for (uint8_t strong : {0, 1}) {
  strong_ = strong;
  // LZMA is slow: the strong layout's 1 MiB blocks are crossed often enough without it.
  if (strong) fs::remove(src / "b-chunks-and-a-byte.bin");
  std::string single;
  for (unsigned threads : {1u, 2u, 7u}) {
    fs::path target = dir_ / ("out" + std::to_string(threads) + ".exe");
    Observer observer;
    ASSERT_EQ(Build(src, target, threads, &observer), "") << threads;
    std::string built = ReadFile(target);
    if (threads == 1) {
      single = built;
      ASSERT_GT(single.size(), ChunkSize / 3);
    } else {
      // Compared whole: a moved chunk, a reordered entry or another instance id all show.
      ASSERT_EQ(built.size(), single.size()) << threads;
      EXPECT_TRUE(built == single) << threads << " threads write other bytes, strong " << int(strong);
    }
  }
  }
}

TEST_F(ParallelBuild, CancelStopsEveryThreadAndRemovesTheTarget) {
  fs::path src = dir_ / "src";
  for (int i = 0; i < 6; ++i) WriteFile(src / ("big" + std::to_string(i)), Text(ChunkSize, i));
  fs::path target = dir_ / "out.exe";
  int threadsBefore = ThreadsOfThisProcess();
  for (int cancelAt : {1, 9, 12}) {
    Observer observer;
    observer.onCall = [&](int call, const std::string&) { return call >= cancelAt; };
    BuildResult result;
    ASSERT_EQ(Build(src, target, 3, &observer, &result), "") << cancelAt;
    EXPECT_TRUE(result.Cancelled) << cancelAt;
    EXPECT_FALSE(fs::exists(target)) << cancelAt;
    EXPECT_EQ(observer.callsAfterCancel, 0) << cancelAt << ": nothing is reported after Cancel";
    EXPECT_EQ(ThreadsSettlingTo(threadsBefore), threadsBefore) << cancelAt << ": a thread outlived the build";
  }
}

// Two builds at once in one process share no state: reproducible ones write what one
// build alone writes, and two others started together draw two instance ids.
TEST_F(ParallelBuild, TwoBuildsAtOnceShareNothing) {
  fs::path src = dir_ / "src";
  for (int i = 0; i < 4; ++i) WriteFile(src / ("f" + std::to_string(i)), Text(ChunkSize / 3 + i * 1000, i));
  ASSERT_EQ(Build(src, dir_ / "alone.exe", 1, nullptr), "");
  for (bool reproducible : {true, false}) {
    std::string failed[2];
    std::thread other([&] { failed[1] = Build(src, dir_ / "1.exe", 1, nullptr, nullptr, reproducible); });
    failed[0] = Build(src, dir_ / "0.exe", 1, nullptr, nullptr, reproducible);
    other.join();
    ASSERT_EQ(failed[0] + failed[1], "");
    std::string built[2] = {ReadFile(dir_ / "0.exe"), ReadFile(dir_ / "1.exe")};
    size_t id = FindArchiveOffset(built[0].data(), built[0].size()) + offsetof(SfxOptions, InstanceId);
    if (reproducible)
      EXPECT_TRUE(built[0] == ReadFile(dir_ / "alone.exe") && built[1] == built[0]) << "a build took another's bytes";
    else
      EXPECT_NE(built[0].substr(id, 10), built[1].substr(id, 10));
  }
}

// A file that changes between the walk and its reading fails the build with the
// one-thread build's message, for the first such file in archive order. The first file
// is larger than the read-ahead allows, so no thread can have read past it when the
// observer changes the later ones.
TEST_F(ParallelBuild, AFileThatChangedFailsAsInTheOneThreadBuild) {
  fs::path src = dir_ / "src";
  WriteFile(src / "a-large.bin", Noise(ChunkSize * (ReadAheadBudget(2) / ChunkSize + 1), 11));
  const struct {
    const char* name;
    std::function<void(const fs::path&)> change;
  } cases[] = {
      {"shrunk", [](const fs::path& file) { fs::resize_file(file, 10); }},
      {"removed", [](const fs::path& file) { fs::remove(file); }},
      // Fails as a removed file does, and never waits for a writer.
      {"fifo", [](const fs::path& file) { fs::remove(file), mkfifo(file.c_str(), 0644); }},
  };
  // A build that blocks ends the test program instead of hanging it.
  alarm(300);
  int threadsBefore = ThreadsOfThisProcess();
  for (const auto& c : cases) {
    std::string messages[2];
    for (unsigned threads : {1u, 2u}) {
      for (const char* name : {"b-changes.txt", "c-changes.txt"}) fs::remove(src / name);
      WriteFile(src / "b-changes.txt", Text(ChunkSize + 5, 1));
      WriteFile(src / "c-changes.txt", Text(100, 2));
      Observer observer;
      observer.onCall = [&](int, const std::string& what) {
        if (what == "source " + (src / "a-large.bin").string()) {
          c.change(src / "b-changes.txt");
          c.change(src / "c-changes.txt");
        }
        return false;
      };
      fs::path target = dir_ / "out.exe";
      messages[threads - 1] = Build(src, target, threads, &observer);
      EXPECT_FALSE(fs::exists(target)) << c.name << threads;
    }
    EXPECT_NE(messages[0].find((src / "b-changes.txt").string()), std::string::npos) << c.name << messages[0];
    EXPECT_EQ(messages[1], messages[0]) << c.name;
    EXPECT_TRUE(std::string(c.name) != "fifo" || messages[0].rfind("File not found\r\n\r\n", 0) == 0) << messages[0];
  }
  alarm(0);
  EXPECT_EQ(ThreadsSettlingTo(threadsBefore), threadsBefore);
}

// The strong layout's directory and blocks: the texts in UTF-8 first, their record copies
// only where code page 1252 holds them; identical files are copies of the first, a file of
// the same size with other bytes is not, and the blocks hold every other file's content
// once, in directory order, noise as it is.
TEST_F(ParallelBuild, TheStrongLayoutStoresIdenticalFilesOnce) {
  const struct {
    const char* name;
    std::string content;
    int copyOf;  // 1 + the directory index of the original, 0 for none
  } files[] = {
      {"a.txt", Text(3000, 1), 0},                                    // index 1, after the helper
      {"b.txt", Text(3000, 2), 0},                                    // the same size, other bytes
      {"c.bin", Noise(1500000, 3), 0},                                // across a block boundary
      {"d/a-again.txt", Text(3000, 1), 2},                            // index 5, after folder d
      {"d/c-again.bin", Noise(1500000, 3), 4},
      {"e.bin", Noise(1499999, 3) + "x", 0},                          // differs in its last byte
      {"f.txt", "", 0},                                               // empty: nothing to share
      {"g.txt", "", 0},
      {"h.txt", Text(300000, 4), 0},                                  // coded again after noise kept
  };
  fs::path src = dir_ / "src";
  std::string expected = helper_;
  for (const auto& f : files) {
    WriteFile(src / f.name, f.content);
    if (!f.copyOf) expected += f.content;
  }
  strong_ = 1;
  customFolder_ = "C:\\\u03A9\\";
  parameters_ = "-q \u00E9";
  fs::path target = dir_ / "strong.exe";
  ASSERT_EQ(Build(src, target, 2, nullptr), "");
  std::string built = ReadFile(target);
  size_t at = FindArchiveOffset(built.data(), built.size());
  ASSERT_GT(built.size(), at + sizeof(SfxOptions) + sizeof(StrongHeader));
  EXPECT_EQ(built[at + offsetof(SfxOptions, Compressed)], CompressedStrong);
  EXPECT_EQ(built[at + offsetof(SfxOptions, CustomFolder)], '\0');
  EXPECT_STREQ(built.data() + at + offsetof(SfxOptions, CmdParameters), "-q \xE9");
  at += sizeof(SfxOptions);
  StrongHeader header;
  memcpy(&header, built.data() + at, sizeof header);
  at += sizeof header;
  EXPECT_EQ(std::string(header.Magic, 4), std::string(StrongMagic, 4));
  EXPECT_EQ(header.Version, StrongVersion);
  EXPECT_TRUE(header.Flags & StrongFlagTexts);
  EXPECT_EQ(uint32_t{header.BlockSize}, 1u << 20);
  ASSERT_EQ(uint64_t{header.ContentSize}, expected.size());
  // Every stream is raw LZMA of a known length.
  auto decode = [&](uint32_t packed, size_t raw) {
    std::string out(raw, '\0');
    SizeT outLength = raw, inLength = packed;
    ELzmaStatus status;
    ISzAlloc alloc = {[](void*, size_t n) { return malloc(n); }, [](void*, void* p) { free(p); }};
    EXPECT_LE(at + packed, built.size());
    int result = LzmaDecode(reinterpret_cast<Byte*>(&out[0]), &outLength,
                            reinterpret_cast<const Byte*>(built.data() + at), &inLength, header.LzmaProperties,
                            LZMA_PROPS_SIZE, LZMA_FINISH_END, &status, &alloc);
    EXPECT_TRUE(result == SZ_OK && outLength == raw && inLength == packed) << result << " " << outLength;
    at += packed;
    return out;
  };
  std::string directory = decode(header.DirectoryPacked, header.DirectorySize);
  EXPECT_EQ(crc32(0, reinterpret_cast<const Bytef*>(directory.data()), directory.size()), uint32_t{header.DirectoryCrc});
  size_t d = 0;
  for (const std::string& text : {customFolder_, parameters_}) {
    size_t length = static_cast<uint8_t>(directory[d]) | static_cast<uint8_t>(directory[d + 1]) << 8;
    EXPECT_EQ(directory.substr(d + 2, length), text);
    d += 2 + length;
  }
  std::map<std::string, StrongEntry> entries;
  while (d + sizeof(StrongEntry) <= directory.size()) {
    StrongEntry entry;
    memcpy(&entry, directory.data() + d, sizeof entry);
    entries[directory.substr(d + sizeof entry, entry.NameLength)] = entry;
    d += sizeof entry + entry.NameLength;
  }
  EXPECT_EQ(entries.size(), uint32_t{header.EntryCount});
  ASSERT_EQ(entries.size(), 1 + 1 + std::size(files));  // the helper, the folder d
  for (const auto& f : files) {
    std::string name = f.name;
    std::replace(name.begin(), name.end(), '/', '\\');
    const StrongEntry& entry = entries[name];
    EXPECT_EQ(uint32_t{entry.CopyOf}, uint32_t(f.copyOf)) << name;
    EXPECT_EQ(uint64_t{entry.Size}, f.content.size()) << name;
    EXPECT_EQ(uint32_t{entry.Crc}, crc32(0, reinterpret_cast<const Bytef*>(f.content.data()), f.content.size())) << name;
  }
  // Every frame is chunks that add up to its block; the noise is kept as it is.
  auto le32 = [&](size_t where) {
    uint32_t value;
    memcpy(&value, built.data() + where, 4);
    return value;
  };
  int kept = 0, coded = 0;
  for (uint64_t offset = 0; offset < header.ContentSize;) {
    ASSERT_LE(at + 4, built.size());
    const size_t end = at + 4 + le32(at);
    const uint64_t block = std::min<uint64_t>(header.BlockSize, header.ContentSize - offset);
    at += 4;
    for (uint64_t done = 0; done < block;) {
      ASSERT_LE(at + 8, end);
      uint32_t raw = le32(at), stored = le32(at + 4);
      at += 8;
      ASSERT_TRUE(raw > 0 && stored <= raw && at + stored <= end) << raw << " " << stored;
      if (stored == raw) {
        EXPECT_EQ(built.compare(at, raw, expected, offset + done, raw), 0) << offset + done;
      }
      ++(stored == raw ? kept : coded);
      at += stored;
      done += raw;
    }
    EXPECT_EQ(at, end);
    offset += block;
  }
  EXPECT_EQ(at, built.size()) << "nothing follows the last block";
  EXPECT_TRUE(kept > 0 && coded > 0) << kept << " kept, " << coded << " coded";
  // And the reader makes every file of them.
  sfxtest::RunResult run = sfxtest::RunArchive(built);
  EXPECT_EQ(run.code, 0u);
  for (const auto& f : files) {
    std::string name = f.name;
    std::replace(name.begin(), name.end(), '/', '\\');
    auto restored = std::find_if(run.entries.begin(), run.entries.end(), [&](auto& e) { return e.name == name; });
    EXPECT_TRUE(restored != run.entries.end() && restored->content == f.content) << name;
  }
}

// A file past 4 GiB, sparse with marks around 2 GiB, 4 GiB and its end, through the
// strong layout: its 64-bit size in the directory and the listing, and every byte, read
// as it passes from the built file and compared with the source, never held whole.
TEST_F(ParallelBuild, AFilePast4GiBGoesThroughTheStrongLayout) {
  const uint64_t size = (uint64_t{1} << 32) + (1 << 16) + 3;
  const std::vector<uint64_t> marks = {0, (uint64_t{1} << 31) - 4, (uint64_t{1} << 32) - 4, size - 8};
  struct statvfs disk;
  ASSERT_EQ(statvfs(dir_.c_str(), &disk), 0);
  ASSERT_GE(uint64_t{disk.f_bavail} * disk.f_frsize, uint64_t{64} << 20)
      << "64 MiB free needed in " << dir_ << " (the source is sparse, the SFX file a few MiB)";
  fs::path big = dir_ / "src" / "big.bin", target = dir_ / "big.exe";
  fs::create_directories(big.parent_path());
  ASSERT_TRUE(sfxtest::MakeSparseFile(big.string(), size, marks));
  std::unique_ptr<FILE, int (*)(FILE*)> source(fopen(big.c_str(), "rb"), fclose);
  ASSERT_TRUE(source);
  strong_ = 1;
  environment_.StrongBlockSize = StrongBlockSizeDefault;
  ASSERT_EQ(Build(dir_ / "src", target, 2, nullptr), "");

  struct Pass {
    FILE* source;
    const std::vector<uint64_t>& marks;
    bool big = false;
    uint64_t done = 0, differing = 0;
    uint32_t crc = 0;
    int markBytes = 0;
    ArchiveEntry entry{};
  } pass{source.get(), marks};
  RestoreSink sink{};
  sink.BeginEntry = [](void* context, const ArchiveEntry& entry, const char* name) {
    Pass& p = *static_cast<Pass*>(context);
    p.big = std::string(name) == "big.bin";
    if (p.big) p.entry = entry;
    return true;
  };
  sink.Write = [](void* context, const void* data, uint32_t length) {
    Pass& p = *static_cast<Pass*>(context);
    if (!p.big) return;
    std::string expected;
    const char* bytes = static_cast<const char*>(data);
    if (!sfxtest::ReadAt(p.source, p.done, expected, length) || memcmp(expected.data(), bytes, length) != 0)
      ++p.differing;
    for (size_t m = 0; m < p.marks.size(); ++m)
      for (uint64_t at = std::max(p.marks[m], p.done); at < std::min(p.marks[m] + 8, p.done + length); ++at)
        p.markBytes += bytes[at - p.done] == sfxtest::SparseMark(m)[at - p.marks[m]];
    p.crc = static_cast<uint32_t>(crc32(p.crc, reinterpret_cast<const Bytef*>(data), length));
    p.done += length;
  };
  sink.Step = [](void*, uint32_t) {};
  sink.EndEntry = [](void*, const ArchiveEntry&) {};
  sink.context = &pass;
  struct Built {
    int fd;
    static bool Read(void* context, uint64_t position, void* buffer, uint32_t length) {
      return pread(static_cast<Built*>(context)->fd, buffer, length, static_cast<off_t>(position)) == ssize_t(length);
    }
  } built{open(target.c_str(), O_RDONLY)};
  ASSERT_GE(built.fd, 0);
  ArchiveFile file{Built::Read, &built, static_cast<uint64_t>(fs::file_size(target))};
  EXPECT_LT(file.size, uint64_t{16} << 20) << "zeros take little room";
  uint64_t offset = 0;
  SfxOptions options;
  int64_t total = 0;
  ASSERT_EQ(LocateArchive(file, offset), ArchiveOk);
  ASSERT_TRUE(Built::Read(&built, offset, &options, sizeof options));
  ASSERT_EQ(ScanEntries(file, offset, options, total, nullptr), ArchiveOk);
  EXPECT_EQ(uint64_t(total), size + helper_.size());
  EXPECT_EQ(RestoreEntries(file, offset, options, sink), ArchiveOk);
  close(built.fd);
  EXPECT_EQ(uint64_t{pass.entry.Size}, size);
  EXPECT_EQ(pass.done, size);
  EXPECT_EQ(pass.differing, 0u) << "writes that differ from the source";
  EXPECT_EQ(pass.markBytes, 32) << "mark bytes where they were written";
  EXPECT_EQ(pass.crc, uint32_t{pass.entry.Crc});

  NameConverter names;
  ASSERT_TRUE(names.Open(1252));
  std::ostringstream out, err;
  EXPECT_EQ(ListSfx(target.string(), names, true, {out, err}), 0) << err.str();
  EXPECT_NE(out.str().find("\"size\": " + std::to_string(size)), std::string::npos) << out.str();
}

}  // namespace
