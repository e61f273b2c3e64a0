// The gate before a build, the boxes of the real orvex.exe and its exit statuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "buildertest.h"
#include "testsupport.h"

using namespace testing_support;

namespace {

constexpr DWORD ExitBuilt = 0, ExitUnexpectedError = 1, ExitInputsRefused = 2;

void ExpectBox(const OrvexRun& run, size_t index, const std::string& caption, const std::string& text,
               driver::BoxIcon icon) {
  ASSERT_GT(run.boxes.size(), index);
  EXPECT_EQ(run.boxes[index].caption, caption);
  EXPECT_EQ(run.boxes[index].text, text);
  EXPECT_EQ(run.boxes[index].icon, icon);
}

// `length` letters with a space every ten, so that a box can break the text into lines.
std::string Spaced(size_t length, char letter) {
  std::string text(length, letter);
  for (size_t i = 4; i + 1 < length; i += 10) text[i] = ' ';
  return text;
}

struct Scratch {
  std::string dir, src, target;
  explicit Scratch(const std::string& name) : dir(MakeScratchDir(name)), src(dir + "src\\"), target(dir + "out.exe") {
    CreateDirectoryA(src.c_str(), nullptr);
    WriteFileBytes(src + "setup.exe", "setup");
  }
  std::string Args() const { return Arg(src) + " " + Arg(target); }
};

TEST(InputChecks, RefusedInputsNameTheirPathAndExitWithTheRefusalStatus) {
  Scratch s("ic-refused");
  CreateDirectoryA((s.dir + "src2").c_str(), nullptr);
  WriteFileBytes(s.dir + "src2\\setup.exe", "sibling");
  // Found in the source by their text, but packed by no walk.
  ASSERT_TRUE(MakeHostLink(s.src + "loop", "."));
  ASSERT_TRUE(MakeHostLink(s.src + "out", "../src2"));
  std::string parameters(128, 'p'), customFolder = Spaced(260, 'c');
  const std::string notPacked = "\r\n\r\nis not among the files packed from the source folder\r\n" + s.src;
  const std::string epochText =
      "SOURCE_DATE_EPOCH must be a decimal count of seconds since 1970 that falls within the dates an SFX file can "
      "store (1980 to 2107)\r\n\r\nSOURCE_DATE_EPOCH=";
  const struct {
    std::string arguments;
    std::string text;
    std::string folder;
    const char* epoch = nullptr;  // SOURCE_DATE_EPOCH, when set
  } cases[] = {
      // Relative, with "." and ".." parts: reported normalised, with a trailing backslash.
      {"-h missing\\.\\x\\.. " + Arg(s.target), "The source folder does not exist\r\n\r\n" + s.dir + "missing\\",
       s.dir},
      {"-h -mf " + s.Args() + " " + Arg(s.src + "none.exe"),
       "The executable file does not exist\r\n\r\n" + s.src + "none.exe", ""},
      {"-h -mf " + Arg(s.dir + "src") + " " + Arg(s.target) + " " + Arg(s.dir + "src2\\setup.exe"),
       "The executable file\r\n" + s.dir + "src2\\setup.exe\r\n\r\nis not in the source folder\r\n" + s.src, ""},
      {"-h -mf " + s.Args() + " " + Arg(s.src + "loop\\setup.exe"),
       "The executable file\r\n" + s.src + "loop\\setup.exe" + notPacked, ""},
      {"-h -mf " + s.Args() + " " + Arg(s.src + "out\\setup.exe"),
       "The executable file\r\n" + s.src + "out\\setup.exe" + notPacked, ""},
      // Longer than the options record can carry: the custom folder gains its backslash.
      {"-h -mf " + s.Args() + " " + Arg(s.src + "setup.exe") + " " + parameters,
       "The command line parameters are longer than 127 characters\r\n\r\n" + parameters, ""},
      {"-h -fm " + s.Args() + " " + Arg(customFolder),
       "The custom folder is longer than 260 characters\r\n\r\n" + customFolder + "\\", ""},
      // Nothing on a building line is dropped without a word, and the message says how to
      // pass a slash to the launched program. The window from the command line alike.
      {"-h -mf " + s.Args() + " " + Arg(s.src + "setup.exe") + " /quiet",
       "Unknown switch: /quiet\r\n\r\nA parameter for the executable file that begins with - or / is written with "
       "one blank before it inside the quotes: \" /quiet\"",
       ""},
      {"-fc -Frobnicate " + s.Args(),
       "Unknown switch: -Frobnicate\r\n\r\nA parameter for the executable file that begins with - or / is written "
       "with one blank before it inside the quotes: \" -Frobnicate\"",
       ""},
      {"-h " + s.Args() + " " + Arg(s.src + "setup.exe"),
       "No switch takes this parameter:\r\n" + s.src + "setup.exe\r\n\r\nAn executable file and its parameters are "
       "taken only with -mf, a custom folder only with -fm",
       ""},
      // The target is never packed, so it cannot be the launch target either.
      {"-h -o -mf " + Arg(s.src) + " " + Arg(s.src + "setup.exe") + " " + Arg(s.src + "setup.exe"),
       "The executable file\r\n" + s.src + "setup.exe" + notPacked, ""},
      // Before 1980, after 2107, or no count of seconds at all.
      {"-h -o " + s.Args(), epochText, "", ""},
      {"-h -o " + s.Args(), epochText + "-1", "", "-1"},
      {"-h -o " + s.Args(), epochText + "1e9", "", "1e9"},
      {"-h -o " + s.Args(), epochText + "86400", "", "86400"},
      {"-h -o " + s.Args(), epochText + "4354819200", "", "4354819200"},
  };
  int n = 0;
  for (const auto& c : cases) {
    ++n;
    // With -q a hidden build writes the box's text to standard error instead; a window
    // keeps its box.
    SetEnvironmentVariableA("SOURCE_DATE_EPOCH", c.epoch);
    for (const std::string quiet : {"", "-q "}) {
      OrvexRun run = RunOrvex(quiet + c.arguments, "ic-refused-" + std::to_string(n) + quiet, {}, c.folder);
      SCOPED_TRACE(quiet + c.arguments);
      EXPECT_EQ(run.exitCode, ExitInputsRefused);
      if (quiet.empty() || c.arguments.rfind("-h ", 0) != 0) {
        ASSERT_EQ(run.boxes.size(), 1u);
        ExpectBox(run, 0, "Error", c.text, driver::BoxIcon::Error);
        EXPECT_EQ(run.errors, "");
      } else {
        EXPECT_TRUE(run.boxes.empty());
        EXPECT_EQ(run.errors, c.text + "\r\n");
      }
      EXPECT_EQ(run.output, "");
      EXPECT_FALSE(FileExists(s.target));
    }
  }
  SetEnvironmentVariableA("SOURCE_DATE_EPOCH", nullptr);
}

TEST(InputChecks, TooFewPositionalsEndSilently) {
  Scratch s("ic-few");
  OrvexRun run = RunOrvex("-h -mf " + s.Args(), "ic-few");
  EXPECT_EQ(run.exitCode, ExitInputsRefused);
  EXPECT_TRUE(run.boxes.empty());
  EXPECT_FALSE(FileExists(s.target));
}

TEST(InputChecks, OverwriteQuestionAndSuccessBox) {
  Scratch s("ic-overwrite");
  WriteFileBytes(s.target, "older file");
  OrvexRun no = RunOrvex("-h " + s.Args(), "ic-overwrite-no", {"No"});
  EXPECT_EQ(no.exitCode, ExitInputsRefused);
  ASSERT_EQ(no.boxes.size(), 1u);
  ExpectBox(no, 0, "Confirmation", "Target file already exists\r\nOverwrite?", driver::BoxIcon::Question);
  EXPECT_EQ(no.boxes[0].defaultButton, "No");
  EXPECT_EQ(ReadFileBytes(s.target), "older file");
  // Nobody answers an unattended build: No, on standard error.
  OrvexRun unattended = RunOrvex("-h -q " + s.Args(), "ic-overwrite-q");
  EXPECT_EQ(unattended.exitCode, ExitInputsRefused);
  EXPECT_TRUE(unattended.boxes.empty());
  EXPECT_EQ(unattended.errors, "Target file already exists\r\nOverwrite? No\r\n");
  EXPECT_EQ(ReadFileBytes(s.target), "older file");

  OrvexRun yes = RunOrvex("-h " + s.Args(), "ic-overwrite-yes", {"Yes", "OK"});
  EXPECT_EQ(yes.exitCode, ExitBuilt);
  ASSERT_EQ(yes.boxes.size(), 2u);
  ExpectBox(yes, 1, "Information", "The SFX file has been successfully created", driver::BoxIcon::Information);
  ReadSfxFile(s.target);

  // -o replaces without asking; -c drops the success box.
  OrvexRun quiet = RunOrvex("-h -o -c " + s.Args(), "ic-overwrite-quiet");
  EXPECT_EQ(quiet.exitCode, ExitBuilt);
  EXPECT_TRUE(quiet.boxes.empty());
  OrvexRun told = RunOrvex("-h -o " + s.Args(), "ic-overwrite-told");
  EXPECT_EQ(told.exitCode, ExitBuilt);
  ASSERT_EQ(told.boxes.size(), 1u);
  EXPECT_EQ(told.boxes[0].caption, "Information");

  // Unattended, the success box becomes the target and its size on standard output.
  for (const std::string c : {"", "-c "}) {
    OrvexRun unattendedBuild = RunOrvex("-h -q -o " + c + s.Args(), "ic-overwrite-q");
    EXPECT_EQ(unattendedBuild.exitCode, ExitBuilt);
    EXPECT_TRUE(unattendedBuild.boxes.empty());
    EXPECT_EQ(unattendedBuild.errors, "");
    size_t size = ReadFileBytes(s.target).size();
    EXPECT_EQ(unattendedBuild.output, c.empty() ? s.target + " " + std::to_string(size) + " bytes\r\n" : "");
  }
}

// A copy of orvex.exe whose resource `name` cannot be found: the last letter of its name
// in the resource directory (UTF-16, found nowhere else in the file) is changed.
std::string CopyWithout(const std::string& dir, const std::string& name) {
  std::string bytes = ReadFileBytes(OrvexPath());
  std::string wide;
  for (char c : name) wide += std::string{c, '\0'};
  size_t at = bytes.find(wide);
  EXPECT_NE(at, std::string::npos) << name;
  EXPECT_EQ(bytes.find(wide, at + 1), std::string::npos) << name;
  if (at != std::string::npos) bytes[at + wide.size() - 2] = 'Q';
  std::string copy = dir + "orvex-" + name + ".exe";
  WriteFileBytes(copy, bytes);
  return copy;
}

TEST(InputChecks, AMissingResourceIsAnInternalError) {
  Scratch s("ic-corrupted");
  for (const char* resource : {"SFXHEAD", "SELFDELETE", "UAC", "CMDLINE"}) {
    std::string copy = CopyWithout(s.dir, resource);
    OrvexRun run = RunOrvex("-h -c " + s.Args(), std::string("ic-corrupted-") + resource, {}, "", copy);
    EXPECT_EQ(run.exitCode, ExitUnexpectedError) << resource;
    ASSERT_EQ(run.boxes.size(), 1u);
    ExpectBox(run, 0, "Error", "Internal error\r\nThe program is corrupted", driver::BoxIcon::Error);
    EXPECT_FALSE(FileExists(s.target));
    run = RunOrvex("-h -q -c " + s.Args(), std::string("ic-corrupted-q-") + resource, {}, "", copy);
    EXPECT_EQ(run.exitCode, ExitUnexpectedError) << resource;
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(run.errors, "Internal error\r\nThe program is corrupted\r\n");
    EXPECT_FALSE(FileExists(s.target));
  }
}

TEST(MendedFaults, FilesTheFormatCannotCarryAreRefusedBeforeTheTargetExists) {
  Scratch s("mf-refused");
  // 2 GiB exactly, sparse: nothing of it is ever written to disk.
  std::string big = s.src + "big.bin";
  HANDLE file = CreateFileA(big.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  LARGE_INTEGER size;
  size.QuadPart = 0x80000000LL;
  ASSERT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN));
  ASSERT_TRUE(SetEndOfFile(file));
  CloseHandle(file);
  OrvexRun run = RunOrvex("-h -c " + s.Args(), "mf-refused-big");
  EXPECT_EQ(run.exitCode, ExitInputsRefused);
  ExpectBox(run, 0, "Error", "This file is 2 GiB or larger, too large for an SFX file\r\n\r\n" + big,
            driver::BoxIcon::Error);
  EXPECT_FALSE(FileExists(s.target));
  DeleteFileA(big.c_str());

  // A fullwidth backslash must not turn into a real one, nor anything else into '?'. A
  // device name is refused before it is opened (AUX would be the serial port); names
  // Windows merges are named both.
  std::wstring wideSrc = L"\\\\?\\" + std::wstring(s.src.begin(), s.src.end());
  const std::string unfit = "The name of this file cannot be represented in the system's code page\r\n\r\n" + s.src;
  const struct {
    std::vector<std::wstring> made;
    std::string text;
  } names[] = {{{L"a\xFF3C" L"b.txt"}, unfit + "a?b.txt"},
               {{L"\x4E2D.txt"}, unfit + "?.txt"},
               {{L"aux.c"}, "Windows opens a device for this name\r\n\r\n" + s.src + "aux.c"},
               {{L"README", L"readme"},
                "Windows does not tell these names apart\r\n\r\n" + s.src + "README\r\n" + s.src + "readme"}};
  for (const auto& [made, text] : names) {
    for (const std::wstring& name : made) ASSERT_TRUE(MakeHostFile(s.src, name));
    WriteFileBytes(s.target, "kept as it was");
    run = RunOrvex("-h -c -o " + s.Args(), "mf-refused-name");
    EXPECT_EQ(run.exitCode, ExitInputsRefused);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, text);
    EXPECT_EQ(ReadFileBytes(s.target), "kept as it was");
    for (const std::wstring& name : made) DeleteFileW((wideSrc + name).c_str());
  }

  // Entry names up to 259 characters, as the extractor takes them; the paths are longer
  // than MAX_PATH, which only the wide calls reach.
  std::string longName = Spaced(200, 'a') + "\\" + Spaced(58, 'b');
  std::wstring folder = wideSrc + std::wstring(longName.begin(), longName.end());
  ASSERT_TRUE(CreateDirectoryW(folder.substr(0, wideSrc.size() + 200).c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  run = RunOrvex("-h -c -o " + s.Args(), "mf-refused-long");
  EXPECT_EQ(run.exitCode, ExitBuilt);
  size_t longest = 0;
  for (const ReadEntry& e : ReadSfxFile(s.target).entries) longest = std::max(longest, e.name.size());
  EXPECT_EQ(longest, 259u);
  file = CreateFileW((folder + L"\\c").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  WriteFileBytes(s.target, "kept as it was");
  run = RunOrvex("-h -c -o " + s.Args(), "mf-refused-long");
  EXPECT_EQ(run.exitCode, ExitInputsRefused);
  ExpectBox(run, 0, "Error",
            "This name is longer than 259 characters, more than an SFX file can carry\r\n\r\n" + s.src +
                longName + "\\c",
            driver::BoxIcon::Error);
  EXPECT_EQ(ReadFileBytes(s.target), "kept as it was");
  DeleteFileW((folder + L"\\c").c_str());
  RemoveDirectoryW(folder.c_str());
  RemoveDirectoryW(folder.substr(0, wideSrc.size() + 200).c_str());
}

TEST(MendedFaults, FolderLinksAreNotFollowedAndNamedWhenTheBuildEnds) {
  Scratch s("mf-links");
  CreateDirectoryA((s.dir + "outside").c_str(), nullptr);
  WriteFileBytes(s.dir + "outside\\far.txt", "out of the source");
  CreateDirectoryA((s.src + "sub").c_str(), nullptr);
  WriteFileBytes(s.src + "sub\\a.txt", "the file a link points to");
  ASSERT_TRUE(MakeHostLink(s.src + "loop", "."));
  ASSERT_TRUE(MakeHostLink(s.src + "sub\\out", "../../outside"));
  ASSERT_TRUE(MakeHostLink(s.src + "sub\\link.txt", "a.txt"));
  const std::string skipped = "These folder links were not followed:\r\n" + s.src + "loop\r\n" + s.src + "sub\\out";

  OrvexRun run = RunOrvex("-h -o " + s.Args(), "mf-links");
  EXPECT_EQ(run.exitCode, ExitBuilt);
  ASSERT_EQ(run.boxes.size(), 1u);
  ExpectBox(run, 0, "Information", "The SFX file has been successfully created\r\n\r\n" + skipped,
            driver::BoxIcon::Information);
  std::map<std::string, std::string> packed;
  for (const ReadEntry& e : ReadSfxFile(s.target).entries) packed[e.name] = e.content;
  const std::map<std::string, std::string> expected = {{"setup.exe", "setup"},
                                                       {"sub", ""},
                                                       {"sub\\a.txt", "the file a link points to"},
                                                       {"sub\\link.txt", "the file a link points to"}};
  EXPECT_EQ(packed, expected);

  // Without the final box the list still reaches standard error.
  std::string output;
  EXPECT_EQ(RunCapture(Quoted(OrvexPath()) + " -h -o -c " + s.Args(), output), ExitBuilt);
  EXPECT_EQ(output, skipped + "\r\n");
}

TEST(MendedFaults, AFailedBuildLeavesNoTargetBehind) {
  Scratch s("mf-failed");
  WriteFileBytes(s.src + "locked.txt", "nobody may read this now");
  WriteFileBytes(s.target, "an older SFX file");
  HANDLE locked = CreateFileA((s.src + "locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(locked, INVALID_HANDLE_VALUE);
  OrvexRun run = RunOrvex("-h -c -o " + s.Args(), "mf-failed-source");
  CloseHandle(locked);
  EXPECT_EQ(run.exitCode, ExitUnexpectedError);
  ExpectBox(run, 0, "Application Error", "I/O error 32\r\n\r\n" + s.src + "locked.txt", driver::BoxIcon::Error);
  EXPECT_FALSE(FileExists(s.target)) << "truncated, then removed";

  // A target that cannot even be opened is not ours to delete.
  WriteFileBytes(s.target, "in use elsewhere");
  locked = CreateFileA(s.target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(locked, INVALID_HANDLE_VALUE);
  run = RunOrvex("-h -c -o " + s.Args(), "mf-failed-target");
  CloseHandle(locked);
  EXPECT_EQ(run.exitCode, ExitUnexpectedError);
  ExpectBox(run, 0, "Application Error", "I/O error 32\r\n\r\n" + s.target, driver::BoxIcon::Error);
  EXPECT_EQ(ReadFileBytes(s.target), "in use elsewhere");
  locked = CreateFileA(s.target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  run = RunOrvex("-h -q -c -o " + s.Args(), "mf-failed-target-q");
  CloseHandle(locked);
  EXPECT_EQ(run.exitCode, ExitUnexpectedError);
  EXPECT_TRUE(run.boxes.empty());
  EXPECT_EQ(run.errors, "I/O error 32\r\n\r\n" + s.target + "\r\n");
  EXPECT_EQ(ReadFileBytes(s.target), "in use elsewhere");
}

}  // namespace
