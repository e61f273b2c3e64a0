// The portable build engine natively, on real temporary trees: what it writes is compared
// byte for byte with the tests' own archive writer, and what it refuses leaves no target.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BuildErrors.h"
#include "BuildSfx.h"
#include "archiverun.h"
#include "scratch.h"
#include "sfxwriter.h"

namespace {

using sfxtest::Entry;

constexpr time_t Written = 1700000000;  // 2023-11-14 22:13:20 UTC
constexpr uint32_t WrittenDos = (43u << 25 | 11u << 21 | 14u << 16) | (22u << 11 | 13u << 5 | 10u);

class Engine : public testing::Test {
 public:
  void SetUp() override {
    // Local time is UTC, so every stored time is known.
    setenv("TZ", "UTC", 1);
    tzset();
    // A fresh folder each time: a table of cases sets up again for every case.
    scratch_ = std::make_unique<sfxtest::ScratchFolder>("engine");
    root_ = scratch_->Path() + "/";
    source_ = root_ + "src/";
    mkdir(source_.c_str(), 0755);
    made_.clear();
    head_ = sfxtest::SyntheticHead();
    environment_ = BuildEnvironment();
    environment_.Heads = SfxHeads{{head_.data(), head_.size()},
                                   {helper_.data(), helper_.size()},
                                   {sfxtest::SyntheticUac, sizeof sfxtest::SyntheticUac - 1}};
  }

  // A file (or, with a trailing '/', a folder) below the source, written at `Written`.
  void Make(const std::string& name, const std::string& content = std::string()) {
    std::string path = source_ + name;
    if (name.back() == '/') {
      mkdir(path.c_str(), 0755);
    } else {
      sfxtest::WriteFile(path, content);
    }
    made_.push_back(path);
    Settle();
  }
  // Every item made so far written at `Written` again: adding to a folder changes its time.
  void Settle() {
    struct timespec times[2] = {{Written, 0}, {Written, 0}};
    for (const std::string& path : made_) utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
  }

  BuildInputs Inputs() const {
    BuildInputs in;
    in.Source = source_;
    in.Target = root_ + "out.exe";
    NormalizeInputs(in);
    return in;
  }

  std::string Target() const { return sfxtest::ReadFile(root_ + "out.exe"); }

  std::unique_ptr<sfxtest::ScratchFolder> scratch_;
  std::string root_, source_, head_;
  std::vector<std::string> made_;
  std::string helper_ = "MZ the helper";
  BuildEnvironment environment_;
};

Entry At(Entry entry, uint32_t attributes) {
  entry.attributes = attributes;
  entry.time = WrittenDos;
  return entry;
}

TEST_F(Engine, WritesTheTreeAsTheArchiveWriterOfTheTestsDoes) {
  std::string chunk(ChunkSize, 'c'), more = chunk + "+";
  for (const char* folder : {"b/", "b/empty/", "a/", "Z/"}) Make(folder);
  Make("b/zero.bin");
  Make("b/chunk.bin", chunk);
  Make("b/more.bin", more);
  Make("a/readonly.txt", "keep");
  chmod((source_ + "a/readonly.txt").c_str(), 0444);
  Make(".hidden", "dot");
  Make("caf\xC3\xA9.txt", "1252");  // UTF-8 on disk, 0xE9 in the archive
  Make("a/setup.exe", "MZ run me");
  Make("Y.txt", "y");
  // A link to a file packs the file; a link to a folder is named and skipped.
  ASSERT_EQ(symlink("../Y.txt", (source_ + "a/link.txt").c_str()), 0);
  ASSERT_EQ(symlink("../b", (source_ + "a/loop").c_str()), 0);
  Settle();

  BuildInputs in = Inputs();
  in.ExtractionMode = 1;
  in.ExecutableFile = source_ + "a/setup.exe";
  in.CmdParameters = "/quiet";
  // Every option the record keeps, each with a value of its own.
  in.ExtractionFolder = 5;
  in.CustomFolder = "%TEMP%\\unpacked\\";
  in.OpenFolder = in.OneInstance = in.SilentMode = in.SelfDeleteMode = 1;
  in.DeleteMode = 1;
  in.WorkingDirectory = 2;
  in.OverwriteMode = 2;
  BuildResult result = BuildSfx(in, environment_);

  SfxOptions options = sfxtest::DefaultOptions("");
  options.ExtractionMode = 1;
  options.ExtractionFolder = 5;
  std::strcpy(options.CmdParameters, "/quiet");
  std::strcpy(options.CustomFolder, "%TEMP%\\unpacked\\");
  options.OpenFolder = options.OneInstance = options.SilentMode = options.SelfDeleteMode = 1;
  options.DeleteMode = 1;
  options.WorkingDirectory = 2;
  options.OverwriteMode = 2;
  std::string sfx = Target();
  // The head as prepared: its manifest and version information added.
  size_t start = FindArchiveOffset(sfx.data(), sfx.size());
  ASSERT_GT(sfx.size(), start + sizeof options);
  std::memcpy(options.InstanceId, sfx.data() + start + offsetof(SfxOptions, InstanceId), 10);
  Entry helper = sfxtest::File(SelfDeleteEntryName, helper_, EntryKindSelfDelete);
  helper.attributes = 0;
  helper.time = 0;
  // Each folder in NTFS's order: letters without regard to case, '.' before them.
  std::vector<Entry> expected = {
      helper,
      At(sfxtest::File(".hidden", "dot"), 0x22),
      At(sfxtest::Folder("a"), 0x10),
      At(sfxtest::File("a\\link.txt", "y"), 0x20),
      At(sfxtest::File("a\\readonly.txt", "keep"), 0x21),
      At(sfxtest::File("a\\setup.exe", "MZ run me", EntryKindLaunchTarget), 0x20),
      At(sfxtest::Folder("b"), 0x10),
      At(sfxtest::File("b\\chunk.bin", chunk), 0x20),
      At(sfxtest::Folder("b\\empty"), 0x10),
      At(sfxtest::File("b\\more.bin", more), 0x20),
      At(sfxtest::File("b\\zero.bin", ""), 0x20),
      At(sfxtest::File("caf\xE9.txt", "1252"), 0x20),
      At(sfxtest::File("Y.txt", "y"), 0x20),
      At(sfxtest::Folder("Z"), 0x10),
  };
  EXPECT_TRUE(sfx.substr(start) == sfxtest::MakeArchive(options, expected)) << "the archive differs";
  EXPECT_EQ(result.Written, sfx.size());
  EXPECT_FALSE(result.Cancelled);
  EXPECT_EQ(result.SkippedLinks, std::vector<std::string>{source_ + "a/loop"});
  sfxtest::RunResult read = sfxtest::RunArchive(sfx);
  EXPECT_EQ(read.code, 0u);
  EXPECT_EQ(read.entries.size(), expected.size());
}

// Upper-cased as NTFS does: the case pairs of every script, and no more (not final sigma,
// not the micro sign). Spellings that differ only in composition are two names.
TEST_F(Engine, EachFolderInTheOrderNtfsListsIt) {
  std::vector<std::string> expected{"e\u0301", "STRASSE", "stra\u00DFe", "\u00B5",  "\u00E9", "\u01C6",
                                    "\u03AC",  "\u03B2",  "\u03C4",      "\u03C2", "\u0561", "\u0532"};
  for (const std::string& name : expected) Make(name, name);
  BuildInputs in = Inputs();
  in.CodePage = 65001;
  BuildSfx(in, environment_);
  std::vector<std::string> names;
  for (const sfxtest::Restored& entry : sfxtest::RunArchive(Target()).entries) names.push_back(entry.name);
  EXPECT_EQ(names, expected);
}

TEST_F(Engine, RefusesWhatNoSfxFileCanCarryAndLeavesNoTarget) {
  struct Case {
    const char* what;
    std::function<void(Engine&, BuildInputs&)> setUp;
    const char* message;  // the start of it; the offending path follows
    bool refusal;         // EInputRefused rather than another EBuildError
  };
  const Case cases[] = {
      {"a name outside code page 1252", [](Engine& t, BuildInputs&) { t.Make("\xE6\x97\xA5.txt", "x"); },
       "The name of this file cannot be represented", true},
      {"a colon", [](Engine& t, BuildInputs&) { t.Make("a:b", "x"); }, "This name cannot be used on Windows", true},
      {"a trailing dot", [](Engine& t, BuildInputs&) { t.Make("sub./"); }, "This name cannot be used on Windows",
       true},
      {"a control character", [](Engine& t, BuildInputs&) { t.Make("tab\there", "x"); },
       "This name cannot be used on Windows", true},
      {"a name too long",
       [](Engine& t, BuildInputs&) {
         t.Make(std::string(200, 'n') + "/");
         t.Make(std::string(200, 'n') + "/" + std::string(100, 'm'), "x");
       },
       "This name is longer than", true},
      {"a fifo", [](Engine& t, BuildInputs&) { mkfifo((t.source_ + "pipe").c_str(), 0644); },
       "This is neither a file nor a folder", true},
      {"a file of 2 GiB",
       [](Engine& t, BuildInputs&) {
         t.Make("huge.bin");
         ASSERT_EQ(truncate((t.source_ + "huge.bin").c_str(), 0x80000000LL), 0);
       },
       "This file is 2 GiB or larger", true},
      {"a dangling link", [](Engine& t, BuildInputs&) { symlink("nowhere", (t.source_ + "gone").c_str()); },
       "No such file or directory", false},
      {"an SFX file beyond the limit",
       [](Engine& t, BuildInputs&) {
         std::string noise(5000, '\0');
         for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>(i * 2654435761u >> 13);
         t.Make("a.bin", noise);
         t.environment_.SizeLimit = t.head_.size() + 1000;
       },
       "The SFX file would grow beyond", true},
  };
  std::vector<Case> all(std::begin(cases), std::end(cases));
  for (const char* name :
       {"CON", "nul.txt", "aux.c", "Com1.txt", "lpt9 .log", "conin$", "CONOUT$.tar.gz", "com\xC2\xB9", "PRN./",
        "\uFF23\uFF2F\uFF2E", "\uFF4C\uFF50\uFF54\uFF13.log"})
    all.push_back({name,
                   [name](Engine& t, BuildInputs& in) {
                     t.Make(name, "x");
                     in.StrongCompression = true;  // UTF-8 names: the full-width ones too
                   },
                   "Windows opens a device for this name", true});
  for (auto p : {std::pair{"README", "readme"}, {"\u03AC.txt", "\u0386.TXT"}, {"\u0561", "\u0531"},
                 {"\u01C4", "\u01C5"}, {"\u03C3", "\u03A3"}, {"\u03C2", "\u03C3"}, {"\uFF41", "\uFF21"}})
    all.push_back({p.first, [p](Engine& t, BuildInputs&) { t.Make(p.first, "1"), t.Make(p.second, "2"); },
                   "Windows does not tell these names apart", true});
  for (const Case& c : all) {
    SCOPED_TRACE(c.what);
    SetUp();
    sfxtest::WriteFile(root_ + "out.exe", "an older SFX file");
    BuildInputs in = Inputs();
    c.setUp(*this, in);
    bool created = std::string(c.what) == "an SFX file beyond the limit";
    try {
      BuildSfx(in, environment_);
      ADD_FAILURE() << "built";
    } catch (const EInputRefused& error) {
      EXPECT_TRUE(c.refusal);
      EXPECT_EQ(std::string(error.what()).rfind(c.message, 0), 0u) << error.what();
    } catch (const EBuildError& error) {
      EXPECT_FALSE(c.refusal);
      EXPECT_EQ(std::string(error.what()).rfind(c.message, 0), 0u) << error.what();
    }
    // Refused while walking: the old file stays; refused while writing: nothing stays.
    EXPECT_EQ(access((root_ + "out.exe").c_str(), F_OK) == 0, !created);
    if (!created) {
      EXPECT_EQ(Target(), "an older SFX file");
    }
  }
}

TEST_F(Engine, InputChecksNameWhatIsWrong) {
  Make("run.exe", "MZ");
  Make("outside/");
  ASSERT_EQ(symlink("../outside", (source_ + "via").c_str()), 0);
  Make("outside/far.exe", "MZ");
  const struct {
    std::string source, executable, parameters, expected;
  } cases[] = {
      {"missing/", "", "", "The source folder does not exist"},
      {"src/", "src/none.exe", "", "The executable file does not exist"},
      {"src/", "outside/far.exe", "", "The executable file\r\n"},
      {"src/", "src/via/far.exe", "", "The executable file\r\n"},
      {"src/", "src/run.exe", std::string(128, 'p'), "The command line parameters are longer than 127"},
      {"src/", "src/run.exe", std::string(127, 'p'), ""},
  };
  rename((source_ + "outside").c_str(), (root_ + "outside").c_str());
  for (const auto& c : cases) {
    BuildInputs in = Inputs();
    in.Source = root_ + c.source;
    in.ExtractionMode = c.executable.empty() ? 0 : 1;
    in.ExecutableFile = c.executable.empty() ? "" : root_ + c.executable;
    in.CmdParameters = c.parameters;
    NormalizeInputs(in);
    std::string refusal = InputsRefusal(in);
    // What only the walk can tell, the build refuses before the target exists.
    try {
      if (refusal.empty()) BuildSfx(in, environment_);
    } catch (const EInputRefused& error) {
      refusal = error.what();
    }
    EXPECT_EQ(access((root_ + "out.exe").c_str(), F_OK) == 0, c.expected.empty()) << c.executable;
    EXPECT_EQ(refusal.substr(0, c.expected.size()), c.expected) << c.source << " " << c.executable;
    EXPECT_EQ(refusal.empty(), c.expected.empty()) << refusal;
  }
}

}  // namespace
