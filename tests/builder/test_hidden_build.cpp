// Hidden builds of the real orvex.exe, each SFX file taken apart by the tests' reader.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <random>

#include "buildertest.h"
#include "testsupport.h"

using namespace testing_support;

namespace {

std::string Noise(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (auto& b : bytes) b = static_cast<char>(random());
  return bytes;
}

std::string Text(size_t size) {
  std::string bytes;
  while (bytes.size() < size) bytes += "line " + std::to_string(bytes.size()) + " of a compressible text\r\n";
  bytes.resize(size);
  return bytes;
}

// A hidden build without boxes that must succeed.
SfxArchive Build(const std::string& arguments, const std::string& target, const std::string& shot) {
  OrvexRun run = RunOrvex("-h -c -o " + arguments, shot);
  EXPECT_EQ(run.exitCode, 0u) << arguments;
  EXPECT_TRUE(run.boxes.empty()) << (run.boxes.empty() ? "" : run.boxes[0].text);
  return ReadSfxFile(target);
}

// SOURCE_DATE_EPOCH for the builds started while it lives; they inherit it.
struct SourceDateEpoch {
  explicit SourceDateEpoch(const char* value) { SetEnvironmentVariableA("SOURCE_DATE_EPOCH", value); }
  ~SourceDateEpoch() { SetEnvironmentVariableA("SOURCE_DATE_EPOCH", nullptr); }
};

FILETIME UnixTime(int64_t seconds) {
  uint64_t ticks = static_cast<uint64_t>(seconds + 11644473600LL) * 10000000ULL;
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

void SetWriteTime(const std::string& path, const FILETIME& time) {
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  SetFileTime(file, nullptr, nullptr, &time);
  CloseHandle(file);
}

void ExpectInstanceId(const SfxOptions& options) {
  std::string id(options.InstanceId, 10);
  EXPECT_EQ(options.InstanceId[10], '\0');
  EXPECT_EQ(id.substr(0, 2), "00") << id;
  for (char c : id) EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'F')) << id;
}

TEST(HiddenBuild, EmptyFolderGivesHeadRecordAndTerminator) {
  std::string dir = MakeScratchDir("hb-empty");
  CreateDirectoryA((dir + "src").c_str(), nullptr);
  SfxArchive archive = Build(Arg(dir + "src") + " " + Arg(dir + "out.exe"), dir + "out.exe", "hb-empty");
  EXPECT_TRUE(archive.entries.empty());
  // The prepared head (its manifest and version information), the record, the terminator.
  EXPECT_EQ(ReadFileBytes(dir + "out.exe").size(), archive.archiveOffset + 410 + 17);
  const SfxOptions& o = archive.options;
  EXPECT_EQ(o.ExtractionMode + o.ExtractionFolder + o.OpenFolder + o.OneInstance + o.SilentMode + o.SelfDeleteMode +
                o.DeleteMode + o.WorkingDirectory + o.OverwriteMode,
            0);
  EXPECT_EQ(o.Compressed, 1);
  EXPECT_EQ(std::string(o.CmdParameters, sizeof o.CmdParameters), std::string(sizeof o.CmdParameters, '\0'));
  EXPECT_EQ(std::string(o.CustomFolder, sizeof o.CustomFolder), std::string(sizeof o.CustomFolder, '\0'));
  ExpectInstanceId(o);
}

TEST(HiddenBuild, FoldersHiddenSystemReadOnlyAndEmptyFiles) {
  std::string dir = MakeScratchDir("hb-tree");
  std::string src = dir + "src\\";
  for (const char* folder : {"src", "src\\empty", "src\\a", "src\\a\\b", "src\\a\\b\\c", "src\\docs"})
    CreateDirectoryA((dir + folder).c_str(), nullptr);
  WriteFileBytes(src + "docs\\readme.txt", Text(5000));
  WriteFileBytes(src + "a\\b\\zero.bin", "");
  WriteFileBytes(src + "hidden.txt", "hidden");
  WriteFileBytes(src + "system.dat", "system");
  WriteFileBytes(src + "readonly.txt", "read-only");
  WriteFileBytes(src + "a\\all.txt", "every bit");
  SetFileAttributesA((src + "hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesA((src + "system.dat").c_str(), FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
  SetFileAttributesA((src + "readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA((src + "a\\all.txt").c_str(),
                     FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
  SetFileAttributesA((src + "empty").c_str(), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN);

  SfxArchive archive = Build(Arg(src) + " " + Arg(dir + "out.exe"), dir + "out.exe", "hb-tree");
  std::vector<SourceItem> walk = WalkSource(src);
  ExpectEntriesMatch(archive.entries, walk);
  for (const ReadEntry& e : archive.entries) {
    if (e.header.Attributes & FILE_ATTRIBUTE_DIRECTORY) {
      EXPECT_EQ(e.header.Size, 0);
      EXPECT_TRUE(e.chunks.empty());
    }
  }
  // Every folder comes before what it holds.
  for (size_t i = 0; i < archive.entries.size(); ++i) {
    const std::string& name = archive.entries[i].name;
    size_t slash = name.rfind('\\');
    if (slash == std::string::npos) continue;
    bool parentBefore = false;
    for (size_t j = 0; j < i; ++j) parentBefore |= archive.entries[j].name == name.substr(0, slash);
    EXPECT_TRUE(parentBefore) << name;
  }
  SetFileAttributesA((src + "a\\all.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
  SetFileAttributesA((src + "readonly.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(HiddenBuild, OnlyEmptySubfolders) {
  std::string dir = MakeScratchDir("hb-folders");
  for (const char* folder : {"src", "src\\one", "src\\one\\two", "src\\three"})
    CreateDirectoryA((dir + folder).c_str(), nullptr);
  SfxArchive archive = Build(Arg(dir + "src") + " " + Arg(dir + "out.exe"), dir + "out.exe", "hb-folders");
  ExpectEntriesMatch(archive.entries, WalkSource(dir + "src\\"));
  EXPECT_EQ(archive.entries.size(), 3u);
}

TEST(HiddenBuild, ChunkBoundariesAndIncompressibleData) {
  std::string dir = MakeScratchDir("hb-chunks");
  std::string src = dir + "src\\";
  CreateDirectoryA(src.c_str(), nullptr);
  WriteFileBytes(src + "exact.bin", Text(ChunkSize));
  WriteFileBytes(src + "plus-one.bin", Text(ChunkSize + 1));
  WriteFileBytes(src + "one.bin", "x");
  WriteFileBytes(src + "noise.bin", Noise(300000, 3));
  SfxArchive archive = Build(Arg(src) + " " + Arg(dir + "out.exe"), dir + "out.exe", "hb-chunks");
  ExpectEntriesMatch(archive.entries, WalkSource(src));
  for (const ReadEntry& e : archive.entries) {
    SCOPED_TRACE(e.name);
    if (e.name == "exact.bin") {
      ASSERT_EQ(e.chunks.size(), 1u);
      EXPECT_EQ(e.chunks[0].rawLength, ChunkSize);
    } else if (e.name == "plus-one.bin") {
      ASSERT_EQ(e.chunks.size(), 2u);
      EXPECT_EQ(e.chunks[0].rawLength, ChunkSize);
      EXPECT_EQ(e.chunks[1].rawLength, 1u);
    } else if (e.name == "noise.bin") {
      ASSERT_EQ(e.chunks.size(), 1u);
      EXPECT_GT(e.chunks[0].compressedLength, e.chunks[0].rawLength) << "stored compressed all the same";
    }
  }
}

TEST(HiddenBuild, TargetInsideTheSourceIsNeverPacked) {
  std::string dir = MakeScratchDir("hb-inside");
  std::string src = dir + "src\\";
  CreateDirectoryA(src.c_str(), nullptr);
  WriteFileBytes(src + "data.txt", Text(1000));
  // Absent at first: not collected. Present from that build the second time: collected
  // by the walk but skipped when writing, also under another letter case.
  SfxArchive first = Build(Arg(src) + " " + Arg(src + "out.exe"), src + "out.exe", "hb-inside-1");
  ASSERT_EQ(first.entries.size(), 1u);
  EXPECT_EQ(first.entries[0].name, "data.txt");
  SfxArchive second = Build(Arg(src) + " " + Arg(src + "OUT.EXE"), src + "out.exe", "hb-inside-2");
  ASSERT_EQ(second.entries.size(), 1u);
  EXPECT_EQ(second.entries[0].name, "data.txt");
  ASSERT_TRUE(MakeHostLink(dir + "via", src));
  EXPECT_EQ(Build(Arg(src) + " " + Arg(dir + "via\\out.exe"), src + "out.exe", "hb-inside-3").entries.size(), 1u);
}

// A fifo, which only the host can make (and delete), fails the build as a file that vanished.
TEST(HiddenBuild, AFifoInTheSourceFailsAsAFileThatVanished) {
  std::string dir = MakeScratchDir("hb-fifo"), src = dir + "src\\";
  CreateDirectoryA(src.c_str(), nullptr);
  ASSERT_TRUE(RunOnHost({"/bin/sh", "-c", "rm -f \"$0\" && mkfifo \"$0\"", HostPath(src + "pipe")}));
  OrvexRun run = RunOrvex("-h -q -c -o " + Arg(src) + " " + Arg(dir + "out.exe"), "hb-fifo");
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_EQ(run.errors, "File not found\r\n\r\n" + src + "pipe\r\n");
  EXPECT_FALSE(FileExists(dir + "out.exe"));
}

// Of an icon source only the headers and the resource section are read: one of 2 GiB gives
// the head what its first megabytes give, also on the 32-bit builder.
TEST(HiddenBuild, AnIconSourceOf2GiBCostsWhatItsResourcesCost) {
  std::string dir = MakeScratchDir("hb-large-icon"), src = dir + "src\\";
  CreateDirectoryA(src.c_str(), nullptr);
  for (const char* name : {"small.exe", "large.exe"}) CopyFileA(OrvexPath().c_str(), (dir + name).c_str(), FALSE);
  ASSERT_TRUE(RunOnHost({"/usr/bin/truncate", "-s", "2G", HostPath(dir + "large.exe")}));
  for (std::string name : {"small", "large"})
    Build("-r -uh -xcmv " + Arg(src) + " " + Arg(dir + name + ".sfx") + " " + Arg(dir + name + ".exe"),
          dir + name + ".sfx", "hb-large-icon");
  EXPECT_TRUE(ReadFileBytes(dir + "small.sfx") == ReadFileBytes(dir + "large.sfx"));
}

BOOL WINAPI KeepRunning(DWORD) { return TRUE; }

// Ctrl-C in the console stops a hidden build, which removes its target. Wine delivers it to
// every process of the console; it cannot close a console without a window.
TEST(HiddenBuild, CtrlCInTheConsoleRemovesTheTarget) {
  std::string dir = MakeScratchDir("hb-ctrl-c"), src = dir + "src\\";
  CreateDirectoryA(src.c_str(), nullptr);
  for (int i = 0; i < 6; ++i) WriteFileBytes(src + "noise" + std::to_string(i), Noise(ChunkSize, i));
  FreeConsole();
  AllocConsole();
  SetConsoleCtrlHandler(KeepRunning, TRUE);
  ChildProcess run(Quoted(OrvexPath()) + " -h -q -c -o " + Arg(src) + " " + Arg(dir + "out.exe"), "", true);
  for (WIN32_FILE_ATTRIBUTE_DATA t{}; !run.Wait(20) && (t.nFileSizeLow < (1 << 20));)
    GetFileAttributesExA((dir + "out.exe").c_str(), GetFileExInfoStandard, &t);
  ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) && run.Wait(60000));
  EXPECT_EQ(run.ExitCode(), STATUS_CONTROL_C_EXIT);
  EXPECT_EQ(run.Errors(), "Orvex has been aborted\r\nTarget SFX file has been deleted\r\n");
  EXPECT_FALSE(FileExists(dir + "out.exe"));
}

TEST(HiddenBuild, LaunchModeMarksTheExecutableInASubfolder) {
  std::string dir = MakeScratchDir("hb-launch");
  std::string src = dir + "src\\";
  CreateDirectoryA(src.c_str(), nullptr);
  CreateDirectoryA((src + "Program Binaries").c_str(), nullptr);
  WriteFileBytes(src + "Program Binaries\\run.exe", "MZ not really");
  WriteFileBytes(src + "run.exe", "same name, other folder");
  WriteFileBytes(src + "Program Binaries\\lib.dll", "library");
  // The same file by its short 8.3 spelling in upper case.
  char spelling[MAX_PATH];
  ASSERT_GT(GetShortPathNameA((src + "Program Binaries\\run.exe").c_str(), spelling, MAX_PATH), 0u);
  CharUpperA(spelling);
  ASSERT_NE(std::string(spelling).find('~'), std::string::npos) << spelling;
  std::string params(127, 'p');
  params.replace(0, 7, "/quiet ");
  SfxArchive archive = Build("-mf " + Arg(src) + " " + Arg(dir + "out.exe") + " " + Arg(spelling) + " " +
                                 Arg(" " + params),
                             dir + "out.exe", "hb-launch");
  ExpectEntriesMatch(archive.entries, WalkSource(src), "Program Binaries\\run.exe");
  EXPECT_EQ(archive.options.ExtractionMode, 1);
  std::string stored(archive.options.CmdParameters);
  EXPECT_EQ(stored, params) << "trimmed, and whole at the record's 127 characters";
}

TEST(HiddenBuild, SelfDestructingModeCarriesTheHelperFirst) {
  std::string dir = MakeScratchDir("hb-selfdelete");
  std::string src = dir + "src\\";
  CreateDirectoryA(src.c_str(), nullptr);
  WriteFileBytes(src + "a.txt", "a");
  SfxArchive archive = Build("-d " + Arg(src) + " " + Arg(dir + "out.exe"), dir + "out.exe", "hb-selfdelete");
  ASSERT_EQ(archive.entries.size(), 2u);
  const ReadEntry& helper = archive.entries[0];
  EXPECT_EQ(helper.header.Kind, 2);
  EXPECT_EQ(helper.name, "xsfxdel~.exe");
  EXPECT_EQ(helper.header.Time, 0u);
  EXPECT_EQ(helper.header.Attributes, 0u);
  EXPECT_EQ(helper.chunks.size(), 1u);
  EXPECT_TRUE(helper.content == ReadFileBytes(BinDir() + "selfdelete.exe"));
  EXPECT_EQ(archive.options.SelfDeleteMode, 1);
  EXPECT_EQ(archive.entries[1].name, "a.txt");
}

TEST(HiddenBuild, SwitchesReachTheOptionsRecord) {
  std::string dir = MakeScratchDir("hb-options");
  std::string src = dir + "src\\";
  CreateDirectoryA(src.c_str(), nullptr);
  WriteFileBytes(src + "setup.exe", "x");
  // 259 characters and the added backslash fill the record's 260.
  std::string custom = "%APPDATA%\\Maker App\\" + std::string(239, 'x');
  SfxArchive archive = Build("-mf -fm -e -i -s -dr -wc -os -uh " + Arg(src) + " " + Arg(dir + "out.exe") + " " +
                                 Arg(src + "setup.exe") + " \" " + custom + " \" \"\\\"prm 1\\\" x\"",
                             dir + "out.exe", "hb-options");
  const SfxOptions& o = archive.options;
  EXPECT_EQ(o.ExtractionMode, 1);
  EXPECT_EQ(o.ExtractionFolder, 5);
  EXPECT_EQ(std::string(o.CustomFolder), custom + "\\");
  EXPECT_EQ(std::string(o.CmdParameters), "\"prm 1\" x");
  EXPECT_EQ(o.OpenFolder, 1);
  EXPECT_EQ(o.Compressed, 1);
  EXPECT_EQ(o.OneInstance, 1);
  EXPECT_EQ(o.SilentMode, 1);
  EXPECT_EQ(o.SelfDeleteMode, 0);
  EXPECT_EQ(o.DeleteMode, 1) << "delete on reboot is stored even without -ua";
  EXPECT_EQ(o.WorkingDirectory, 2);
  EXPECT_EQ(o.OverwriteMode, 2);
  ExpectInstanceId(o);
  // The manifest went into the head, and the archive still starts where the head ends.
  std::string sfx = ReadFileBytes(dir + "out.exe");
  EXPECT_NE(sfx.find("highestAvailable"), std::string::npos);
  ASSERT_EQ(archive.entries.size(), 1u);
  EXPECT_EQ(archive.entries[0].header.Kind, 1);
}

TEST(HiddenBuild, TwoBuildsDifferOnlyInTheInstanceId) {
  std::string dir = MakeScratchDir("hb-twice");
  std::string src = dir + "src\\";
  CreateDirectoryA(src.c_str(), nullptr);
  WriteFileBytes(src + "a.txt", Text(20000));
  SfxArchive one = Build(Arg(src) + " " + Arg(dir + "one.exe"), dir + "one.exe", "hb-twice-1");
  SfxArchive two = Build(Arg(src) + " " + Arg(dir + "two.exe"), dir + "two.exe", "hb-twice-2");
  std::string a = ReadFileBytes(dir + "one.exe"), b = ReadFileBytes(dir + "two.exe");
  ASSERT_EQ(a.size(), b.size());
  size_t id = one.archiveOffset + offsetof(SfxOptions, InstanceId);
  EXPECT_NE(a.substr(id, 10), b.substr(id, 10));
  for (size_t i = 0; i < 10; ++i) a[id + i] = b[id + i];
  // The checksum of the whole file covers the id as well.
  uint32_t pe = 0;
  memcpy(&pe, a.data() + 0x3C, 4);
  for (size_t i = pe + 88; i < pe + 92; ++i) a[i] = b[i];
  EXPECT_TRUE(a == b);
}

// Chunks and blocks compressed on any thread land in archive order: one thread and two
// write the same file, in either layout.
TEST(HiddenBuild, OneThreadAndTwoWriteTheSameFile) {
  std::string dir = MakeScratchDir("hb-threads");
  std::string src = dir + "src\\";
  CreateDirectoryA(src.c_str(), nullptr);
  CreateDirectoryA((src + "empty").c_str(), nullptr);
  WriteFileBytes(src + "big.bin", Text(2 * ChunkSize + 1));
  WriteFileBytes(src + "noise.bin", Noise(ChunkSize / 4, 3));
  for (int i = 0; i < 40; ++i) WriteFileBytes(src + "small" + std::to_string(i) + ".txt", Text(i * 97));
  for (std::string layout : {"-zd", "-zs"}) {
    for (const char* threads : {"1", "2"}) {
      std::string target = dir + layout + threads + ".exe";
      EXPECT_EQ(Build("-r " + layout + " -j" + threads + " " + Arg(src) + " " + Arg(target), target, "hb-threads")
                    .entries.size(),
                43u) << layout << threads;
    }
    EXPECT_TRUE(ReadFileBytes(dir + layout + "1.exe") == ReadFileBytes(dir + layout + "2.exe")) << layout;
  }
}

// The same tree gives the same file, head included, whatever the folders' listing order
// and the times after SOURCE_DATE_EPOCH; the id follows every byte of the content.
TEST(HiddenBuild, ReproducibleBuildsAreIdenticalAndTheIdFollowsTheContent) {
  std::string dir = MakeScratchDir("hb-reproducible");
  std::string src = dir + "src\\";
  CreateDirectoryA(src.c_str(), nullptr);
  CreateDirectoryA((src + "sub").c_str(), nullptr);
  // Icon, version information and a manifest all go into the head.
  ASSERT_TRUE(CopyFileA(OrvexPath().c_str(), (src + "setup.exe").c_str(), FALSE));
  // Each folder in NTFS's order, letter case ignored, whatever order the file system lists.
  for (const char* name : {"zeta.txt", "beta.txt", "old.txt", "Zulu.txt", "sub\\b.bin", "sub\\A.txt"})
    WriteFileBytes(src + name, name + Noise(3000, 7));
  const int64_t epoch = 1700000000;
  const FILETIME early = UnixTime(978307200);  // 2001, before the epoch: kept
  SetWriteTime(src + "old.txt", early);
  auto build = [&](const std::string& switches, const std::string& name) {
    SfxArchive archive = Build(switches + " -mf -uh " + Arg(src) + " " + Arg(dir + name) + " " +
                                   Arg(src + "setup.exe"),
                               dir + name, "hb-reproducible");
    ExpectInstanceId(archive.options);
    return archive;
  };
  auto id = [](const SfxArchive& archive) { return std::string(archive.options.InstanceId, 10); };
  const std::vector<std::string> sorted = {"beta.txt",   "old.txt",    "setup.exe", "sub",
                                           "sub\\A.txt", "sub\\b.bin", "zeta.txt",  "Zulu.txt"};

  SourceDateEpoch variable("1700000000");
  SfxArchive one = build("", "one.exe");
  std::vector<std::string> names;
  for (const ReadEntry& e : one.entries) {
    names.push_back(e.name);
    EXPECT_EQ(e.header.Time, DosTimeOf(e.name == "old.txt" ? early : UnixTime(epoch))) << e.name;
  }
  EXPECT_EQ(names, sorted);
  SetWriteTime(src + "zeta.txt", UnixTime(epoch + 86400 * 400));
  build("", "two.exe");
  EXPECT_TRUE(ReadFileBytes(dir + "one.exe") == ReadFileBytes(dir + "two.exe"));

  // One byte of one file, its size and clamped time unchanged: another id.
  std::string content = ReadFileBytes(src + "sub\\b.bin");
  content[2000] ^= 1;
  WriteFileBytes(src + "sub\\b.bin", content);
  SfxArchive changed = build("-r", "changed.exe");
  EXPECT_NE(id(changed), id(one));

  // -r alone keeps the times as they are.
  SetEnvironmentVariableA("SOURCE_DATE_EPOCH", nullptr);
  SfxArchive three = build("-r", "three.exe"), four = build("-r", "four.exe");
  EXPECT_EQ(id(three), id(four));
  EXPECT_TRUE(ReadFileBytes(dir + "three.exe") == ReadFileBytes(dir + "four.exe"));
  EXPECT_EQ(three.entries.end()[-2].header.Time, DosTimeOf(UnixTime(epoch + 86400 * 400))) << "zeta.txt";
}

}  // namespace
