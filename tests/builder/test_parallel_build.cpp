// The build engine with several compressing threads, on real files: the same SFX file
// whatever the number of threads, a cancel that stops every thread, and failures of
// reading reported as the one-thread build reports them. Runs under ThreadSanitizer too
// (see README).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "BuildErrors.h"
#include "BuildJob.h"
#include "BuildSfx.h"
#include "scratch.h"
#include "u_shared.h"

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
    environment_.Heads.SelfDelete = ByteSpan{helper_.data(), helper_.size()};
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
  std::string head_ = "MZ a head that is no image";
  std::string helper_ = Text(3000, 7);
  BuildEnvironment environment_;
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
      EXPECT_TRUE(built == single) << threads << " threads write other bytes";
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
    size_t id = head_.size() + offsetof(SfxOptions, InstanceId);  // the record follows the head as it is
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

}  // namespace
