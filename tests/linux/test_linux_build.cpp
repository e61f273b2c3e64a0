// The Linux orvex building SFX files, run as a user runs it: refused inputs and failures
// with their messages, exit statuses and what is left of the target; built files read
// back with the extractor's own reader.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <ostream>
#include <sstream>
#include <utility>

#include "CmdLineHelper.h"
#include "OptionTable.h"
#include "archiverun.h"
#include "scratch.h"

extern char** environ;

namespace {

class Scratch {
 public:
  Scratch() { mkdir((folder_ / "src").c_str(), 0777); }
  // $D the scratch folder, $S the source folder, $T the target, in any text.
  std::string operator()(std::string text) const {
    for (auto [key, value] : {std::pair<std::string, std::string>{"$S", folder_ / "src"}, {"$T", folder_ / "out.exe"},
                              {"$D", folder_.Path()}})
      for (size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, 2, value);
    return text;
  }

 private:
  sfxtest::ScratchFolder folder_{"build"};
};

using sfxtest::WriteFile;

// The file's bytes; "<none>" when it does not exist, "<folder>" for a folder.
std::string Read(const std::string& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return "<none>";
  if (S_ISDIR(status.st_mode)) return "<folder>";
  return sfxtest::ReadFile(path);
}

struct Outcome {
  int status = -1;
  std::string out, err;
};

// Runs orvex with standard output and error in files; `env` (NAME=VALUE) is added to the
// environment, from which SOURCE_DATE_EPOCH is taken away. `stop` is sent once the target
// holds more than a head. A run that hangs (60 s) or grows past 512 MiB is killed.
Outcome RunOrvex(const Scratch& s, const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                 int stop = 0) {
  std::vector<std::string> argStore{ORVEX_LINUX_PROGRAM}, envStore = env;
  for (const std::string& arg : args) argStore.push_back(s(arg));
  for (char** e = environ; *e; ++e)
    if (strncmp(*e, "SOURCE_DATE_EPOCH=", 18) != 0) envStore.push_back(*e);
  std::vector<char*> argv, envp;
  for (std::string& arg : argStore) argv.push_back(&arg[0]);
  for (std::string& e : envStore) envp.push_back(&e[0]);
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  std::string out = s("$D/stdout"), err = s("$D/stderr");
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t child;
  Outcome run;
  if (posix_spawn(&child, argv[0], &files, nullptr, argv.data(), envp.data()) == 0) {
    int status = 0;
    struct stat target;
    for (int tick = 0; waitpid(child, &status, WNOHANG) == 0; ++tick, usleep(10000)) {
      long pages = 0;
      std::ifstream("/proc/" + std::to_string(child) + "/statm") >> pages >> pages;
      if (tick > 6000 || pages * sysconf(_SC_PAGESIZE) > (512 << 20)) kill(child, SIGKILL);
      if (stop && stat(s("$T").c_str(), &target) == 0 && target.st_size > 1 << 20) kill(child, std::exchange(stop, 0));
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&files);
  run.out = Read(out);
  run.err = Read(err);
  unlink(out.c_str());
  unlink(err.c_str());
  return run;
}

TEST(LinuxBuild, RefusedInputsAndFailuresSayWhatAndLeaveNoTargetBegun) {
  const std::string epochText =
      "SOURCE_DATE_EPOCH must be a decimal count of seconds since 1970 that falls within the dates an SFX file "
      "can store (1980 to 2107)\n\nSOURCE_DATE_EPOCH=soon\n";
  const std::string unknownText =
      "Unknown switch: -zz\n\nA parameter for the executable file that begins with - or / is written with one "
      "blank before it inside the quotes: \" -zz\"\n";
  struct Case {
    const char* what;
    std::function<void(const Scratch&)> make;
    std::vector<std::string> args;
    int status;
    std::string err;
    std::string checked;  // a path, then the bytes it must hold afterwards
    std::string after;  // "<own icon>": as the build without -xcmv writes it
    std::vector<std::string> env = {};
    int stop = 0;  // the signal sent once the build is writing
  };
  const std::string aborted = "Orvex has been aborted\nTarget SFX file has been deleted\n";
  auto busy = [](const Scratch& s) { system(("head -c 60000000 /dev/urandom > " + s("$S/noise")).c_str()); };
  const Case cases[] = {
      {"missing source", nullptr, {"$D/none", "$T"}, 2, "The source folder does not exist\n\n$D/none/\n", "$T", "<none>"},
      {"source is a file", [](const Scratch& s) { WriteFile(s("$D/file"), "x"); }, {"$D/file", "$T"}, 2,
       "The source folder does not exist\n\n$D/file/\n", "$T", "<none>"},
      {"too few parameters", nullptr, {"-o", "$S"}, 2, "orvex: a build needs a source folder and a target file (orvex --help)\n", "$T", "<none>"},
      {"unknown switch", nullptr, {"-o", "-zz", "$S", "$T"}, 2, unknownText, "$T", "<none>"},
      {"stray parameter", nullptr, {"$S", "$T", "$S/a.txt"}, 2,
       "No switch takes this parameter:\n$S/a.txt\n\nAn executable file and its parameters are taken only with -mf, "
       "a custom folder only with -fm\n", "$T", "<none>"},
      {"code page unknown here", nullptr, {"-cp7777", "$S", "$T"}, 2,
       "This system cannot convert names to code page 7777\n", "$T", "<none>"},
      {"no code page", nullptr, {"-CP0", "$S", "$T"}, 2,
       "The switch -CP0 takes the code page of the names in the SFX file, 1 to 65535, as in -cp1251; without it the "
       "code page is 1252\n", "$T", "<none>"},
      {"name outside the code page", [](const Scratch& s) { WriteFile(s("$S/日本.txt"), "x"); }, {"$S", "$T"}, 2,
       "The name of this file cannot be represented in the system's code page\n\n$S/日本.txt\n", "$T", "<none>"},
      {"custom folder outside the code page", nullptr, {"-fm", "$S", "$T", "C:\\Ω"}, 2,
       "The custom folder cannot be represented in code page 1252\n\nC:\\Ω\n", "$T", "<none>"},
      {"parameters outside the code page", nullptr, {"-mf", "-cp1251", "$S", "$T", "$S/a.txt", "\u00e9"}, 2,
       "The command line parameters cannot be represented in code page 1251\n\n\u00e9\n", "$T", "<none>"},
      // The strong layout takes every Unicode name and text, nothing else: a stray byte, an
      // overlong form and an encoded surrogate, escaped; the default layout as ever.
      {"name not UTF-8", [](const Scratch& s) { WriteFile(s("$S/a\xFF\xC0\xAF\xED\xA0\x80.txt"), "x"); },
       {"-zs", "$S", "$T"}, 2,
       "The name of this file is not valid Unicode text\n\n$S/a\\xFF\\xC0\\xAF\\xED\\xA0\\x80.txt\n", "$T", "<none>"},
      {"name not UTF-8, default layout", [](const Scratch& s) { WriteFile(s("$S/a\xFF.txt"), "x"); }, {"$S", "$T"}, 2,
       "The name of this file cannot be represented in the system's code page\n\n$S/a\xFF.txt\n", "$T", "<none>"},
      {"parameters not UTF-8", nullptr, {"-zs", "-mf", "$S", "$T", "$S/a.txt", "\xC1\xBF"}, 2,
       "The command line parameters are not UTF-8 text\n\n\\xC1\\xBF\n", "$T", "<none>"},
      // What the extractor would refuse as damage: a tab or line break inside either text.
      {"parameters with a tab", nullptr, {"-zs", "-mf", "$S", "$T", "$S/a.txt", " a\tb"}, 2,
       "The command line parameters are not one line of text free of tabs and other control characters\n\na\tb\n",
       "$T", "<none>"},
      {"custom folder with a line break", nullptr, {"-zs", "-fm", "$S", "$T", "C:\\a\nb"}, 2,
       "The custom folder is not one line of text free of tabs and other control characters\n\nC:\\a\nb\\\n", "$T",
       "<none>"},
      {"custom folder too long", nullptr, {"-zs", "-fm", "$S", "$T", std::string(4096, 'f')}, 2,
       "The custom folder is longer than 4096 bytes in UTF-8\n\n" + std::string(4096, 'f') + "\\\n", "$T", "<none>"},
      {"sigma and SIGMA", [](const Scratch& s) { WriteFile(s("$S/\u03C3"), "1"), WriteFile(s("$S/\u03A3"), "2"); },
       {"-zs", "$S", "$T"}, 2, "Windows does not tell these names apart\n\n$S/\u03A3\n$S/\u03C3\n", "$T", "<none>"},
      {"fifo", [](const Scratch& s) { mkfifo(s("$S/pipe").c_str(), 0644); }, {"$S", "$T"}, 2,
       "This is neither a file nor a folder (a device, a pipe or a socket)\n\n$S/pipe\n", "$T", "<none>"},
      // Refused before anything is opened: the target stays as it was.
      {"device name", [](const Scratch& s) { WriteFile(s("$S/aux.c"), "x"), WriteFile(s("$T"), "old"); },
       {"-o", "$S", "$T"}, 2, "Windows opens a device for this name\n\n$S/aux.c\n", "$T", "old"},
      {"names Windows merges", [](const Scratch& s) { WriteFile(s("$S/README"), "1"), WriteFile(s("$S/readme"), "2"); },
       {"$S", "$T"}, 2, "Windows does not tell these names apart\n\n$S/README\n$S/readme\n", "$T", "<none>"},
      {"file of 2 GiB", [](const Scratch& s) { WriteFile(s("$S/big"), ""), truncate(s("$S/big").c_str(), 1LL << 31); },
       {"$S", "$T"}, 2, "This file is 2 GiB or larger, too large for an SFX file\n\n$S/big\n", "$T", "<none>"},
      {"existing target without -o", [](const Scratch& s) { WriteFile(s("$T"), "old"); }, {"$S", "$T"}, 2,
       "Target file already exists\n\n$T\n\n-o overwrites it\n", "$T", "old"},
      {"target is a folder", [](const Scratch& s) { mkdir(s("$T").c_str(), 0777); }, {"-o", "$S", "$T"}, 2,
       "The target is not a file\n\n$T\n", "$T", "<folder>"},
      {"SOURCE_DATE_EPOCH unusable", nullptr, {"$S", "$T"}, 2, epochText, "$T", "<none>", {"SOURCE_DATE_EPOCH=soon"}},
      // orvex.exe gives 1 for a target it cannot open, and leaves whatever is there.
      {"target folder is a file", [](const Scratch& s) { WriteFile(s("$D/blocker"), "mine"); },
       {"$S", "$D/blocker/out.exe"}, 1, "Invalid filename\n\n$D/blocker/out.exe\n", "$D/blocker", "mine"},
      // A link to a file of the kernel's that reads short of its reported size: a read
      // failure after the target was truncated, which removes it.
      {"read failure mid-build",
       [](const Scratch& s) {
         WriteFile(s("$T"), "old");
         ASSERT_EQ(symlink("/sys/devices/system/cpu/online", s("$S/online").c_str()), 0);
       },
       {"-o", "$S", "$T"}, 1, "Read beyond end of file\n\n$S/online\n", "$T", "<none>"},
      // The icon source is read no further than its resources, and only from a file.
      {"-xcmv /dev/zero", nullptr, {"-r", "-c", "-xcmv", "$S", "$T", "/dev/zero"}, 0, "", "$T", "<own icon>"},
      {"-xcmv fifo", [](const Scratch& s) { mkfifo(s("$D/pipe").c_str(), 0644); },
       {"-r", "-c", "-xcmv", "$S", "$T", "$D/pipe"}, 0, "", "$T", "<own icon>"},
      {"SIGINT", busy, {"-o", "$S", "$T"}, 128 + SIGINT, aborted, "$T", "<none>", {}, SIGINT},
      {"SIGTERM", busy, {"-o", "$S", "$T"}, 128 + SIGTERM, aborted, "$T", "<none>", {}, SIGTERM},
      {"SIGHUP", busy, {"-o", "$S", "$T"}, 128 + SIGHUP, aborted, "$T", "<none>", {}, SIGHUP},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scratch s;
    WriteFile(s("$S/a.txt"), "a");
    if (c.make) c.make(s);
    Outcome run = RunOrvex(s, c.args, c.env, c.stop);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.err, s(c.err));
    EXPECT_EQ(run.out, "");
    std::string after = Read(s(c.checked)), expected = c.after;
    if (expected == "<own icon>" && RunOrvex(s, {"-r", "-c", "$S", "$D/own.exe"}).status == 0)
      expected = Read(s("$D/own.exe"));
    EXPECT_TRUE(after == expected) << c.checked << ": " << (after.size() < 100 ? after : "other bytes");
  }
}

// The inspections' own switches, read by the builder's evaluator: what each line does,
// and the messages of a line that no inspection takes.
TEST(LinuxInspect, SwitchesAndRefusals) {
  Scratch s;
  WriteFile(s("$S/a.txt"), "a");
  ASSERT_EQ(RunOrvex(s, {"-c", "$S", "$T"}).status, 0);
  const std::string usage = RunOrvex(s, {"--help"}).out;
  EXPECT_NE(usage.find("\n      -jN      Compress with N threads (1 to 64);"), std::string::npos) << usage;
  const std::string unknown = "orvex: unknown switch ";
  const struct {
    std::vector<std::string> args;
    int status;
    std::string out, err;  // the start of the output, the whole error
  } cases[] = {
      {{"-l"}, 2, "", usage},
      {{"-x", "$T"}, 2, "", usage},
      {{"-l", "-zz", "$T", "--help"}, 0, usage, ""},
      {{"-l", "-zz", "$T"}, 2, "", unknown + "-zz\n\n" + usage},
      {{"-t", "-mf", "$T"}, 2, "", unknown + "-mf\n\n" + usage},
      {{"-l", "-cpx", "$T"}, 2, "", unknown + "-cpx\n\n" + usage},
      {{"-l", "-cp7777", "$T"}, 2, "", "orvex: this system cannot convert names from code page 7777\n"},
      {{"-l", "-cp0", "$T"}, 2, "",
       "The switch -cp0 takes the code page of the names in the SFX file, 1 to 65535, as in -cp1251; without it "
       "the code page is 1252\n"},
      {{"-l", "-"}, 2, "", "-: No such file or directory\n"},
      {{"--json", "-L", "$T"}, 0, "{\"file\": \"$T\", \"status\": 0, \"options\": {\"extractionFolder\": \"temporary\"", ""},
      {{"-T", "-CP1252", "$T"}, 0, "$T: 1 entries, all whole\n", ""},
      {{"-x", "-o", "$T", "$D/x"}, 0, "", ""},
  };
  for (const auto& c : cases) {
    std::string line;
    for (const std::string& arg : c.args) line += arg + " ";
    SCOPED_TRACE(line);
    Outcome run = RunOrvex(s, c.args);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out.substr(0, s(c.out).size()), s(c.out));
    EXPECT_EQ(run.err, s(c.err));
  }
}

// The words of a text, each with one blank before and after.
std::string Flat(const std::string& text) {
  std::istringstream words(text);
  std::string flat;
  for (std::string word; words >> word;) flat += " " + word;
  return flat + " ";
}

// Every switch of the tables the Linux orvex reads, with the tables' words, in its help
// and in its manual page as man shows it (in ASCII, on lines too long to break a word).
TEST(LinuxHelp, EverySwitchIsInTheHelpAndTheManualPage) {
  std::vector<std::pair<std::string, std::string>> switches;
  for (const CodedOption& option : CodedOptions)
    for (size_t code = 0; code < option.codes.size(); ++code)
      if (option.codes[code].name) switches.push_back({option.codes[code].name, option.SwitchWords(code)});
  for (const FrontEndSwitches* frontEnd : {&LinuxBuildSwitches, &InspectionSwitches}) {
    for (const FlagSwitch& flag : frontEnd->flags) switches.push_back({flag.name, flag.meaning});
    for (const NumberSwitch& number : frontEnd->numbers)
      switches.push_back({std::string(number.name) + number.placeholder, number.meaning});
  }
  std::string page;
  FILE* man = popen("LC_ALL=C MANWIDTH=5000 man -l " ORVEX_MAN_PAGE, "r");
  ASSERT_TRUE(man);
  for (int c; (c = fgetc(man)) != EOF;) page += static_cast<char>(c);
  EXPECT_EQ(pclose(man), 0);
  Scratch s;
  for (const auto& [document, text] : {std::pair{"--help", RunOrvex(s, {"--help"}).out}, {"the manual page", page}})
    for (const auto& [name, words] : switches)
      EXPECT_NE(Flat(text).find(Flat("-" + name + " " + words)), std::string::npos) << document << ": -" << name;
}

uint16_t Machine(const std::string& pe) {
  if (pe.size() < 0x40) return 0;
  uint32_t header;
  memcpy(&header, pe.data() + 0x3C, 4);
  uint16_t machine = 0;
  if (header + 6 <= pe.size() && pe.compare(header, 4, std::string("PE\0\0", 4)) == 0)
    memcpy(&machine, pe.data() + header + 4, 2);
  return machine;
}

struct Entry {
  std::string name;
  uint8_t kind;
  uint32_t attributes;
  std::string content;
  bool operator==(const Entry& o) const {
    return name == o.name && kind == o.kind && attributes == o.attributes && content == o.content;
  }
};

std::ostream& operator<<(std::ostream& os, const Entry& e) {
  return os << e.name << " kind " << int(e.kind) << " attributes " << e.attributes << " " << e.content.size()
            << " bytes";
}

TEST(LinuxBuild, BuiltFilesReadBackWithTheirOptionsNamesAndAttributes) {
  Scratch s;
  mkdir(s("$S/sub").c_str(), 0777);
  mkdir(s("$S/empty").c_str(), 0777);
  WriteFile(s("$S/a.txt"), std::string(ChunkSize + 1, 'a'));
  WriteFile(s("$S/\u0434.txt"), "de");
  WriteFile(s("$S/zero"), "");
  WriteFile(s("$S/ro.txt"), "read only");
  chmod(s("$S/ro.txt").c_str(), 0444);
  WriteFile(s("$S/.hidden"), "h");
  WriteFile(s("$S/run.exe"), "not a program");
  WriteFile(s("$S/out.exe"), "an earlier build");

  // The target inside the source, as the Windows builder allows: it never packs itself.
  std::vector<std::string> launch = {"-h", "-q", "-mf", "-fm", "-dn", "-s", "-r", "-cp1251", "-o", "$S",
                                           "$S/out.exe", "$S/run.exe", "C:\\\u0434\u0434", " -q \u0434"};
  Outcome first = RunOrvex(s, launch);
  std::string built = Read(s("$S/out.exe"));
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.err, "");
  EXPECT_EQ(first.out, s("$S/out.exe ") + std::to_string(built.size()) + " bytes\n");
  EXPECT_EQ(Machine(built), 0x14c) << "a 32-bit head unless -x64";
  sfxtest::RunResult read = sfxtest::RunArchive(built);
  EXPECT_EQ(read.code, 0u);
  EXPECT_EQ(read.options.ExtractionMode, 1);
  EXPECT_EQ(read.options.ExtractionFolder, 5);
  EXPECT_EQ(read.options.DeleteMode, 2);
  EXPECT_EQ(read.options.SilentMode, 1);
  EXPECT_STREQ(read.options.CustomFolder, "C:\\\xE4\xE4\\");
  EXPECT_STREQ(read.options.CmdParameters, "-q \xE4");
  std::vector<Entry> entries;
  for (const auto& e : read.entries) entries.push_back({e.name, e.header.Kind, e.header.Attributes, e.content});
  const std::vector<Entry> expected = {
      {".hidden", EntryKindOrdinary, 0x22, "h"},
      {"a.txt", EntryKindOrdinary, 0x20, std::string(ChunkSize + 1, 'a')},
      {"empty", EntryKindOrdinary, 0x10, ""},
      {"ro.txt", EntryKindOrdinary, 0x21, "read only"},
      {"run.exe", EntryKindLaunchTarget, 0x20, "not a program"},
      {"sub", EntryKindOrdinary, 0x10, ""},
      {"zero", EntryKindOrdinary, 0x20, ""},
      {"\xE4.txt", EntryKindOrdinary, 0x20, "de"},
  };
  EXPECT_EQ(entries, expected);

  // -r: the same tree gives the same bytes, also with the target named through a link.
  launch[10] = "$D/via/out.exe";
  ASSERT_EQ(symlink(s("$S").c_str(), s("$D/via").c_str()), 0);
  EXPECT_EQ(RunOrvex(s, launch).status, 0);
  EXPECT_EQ(Read(s("$S/out.exe")), built);

  // -x64 writes the x86-64 head; -c prints no final line; 1252 is the default code page.
  unlink(s("$S/\u0434.txt").c_str());
  WriteFile(s("$S/sub/\u00e9\u20ac.txt"), "e");
  Outcome wide = RunOrvex(s, {"-x64", "-c", "-o", "$S", "$T"});
  EXPECT_EQ(wide.status, 0) << wide.err;
  EXPECT_EQ(wide.out, "");
  std::string wideBuilt = Read(s("$T"));
  EXPECT_EQ(Machine(wideBuilt), 0x8664);
  read = sfxtest::RunArchive(wideBuilt);
  EXPECT_EQ(read.code, 0u);
  ASSERT_EQ(read.entries.size(), 9u) << "the earlier build inside the source is packed now";
  EXPECT_EQ(read.entries[7].name, "sub\\\xE9\x80.txt");
}

// On a terminal, one line redrawn in place and erased before the final line. A file that
// takes longer to pack than the interval between two redraws shows its progress.
TEST(LinuxBuild, ProgressLineOnATerminalOnly) {
  Scratch s;
  std::string program = ORVEX_LINUX_PROGRAM, source = s("$S"), target = s("$T");
  ASSERT_EQ(system(("head -c 25000000 /dev/urandom > " + source + "/random.bin").c_str()), 0);
  int master;
  pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(child, 0);
  if (child == 0) {
    // One thread: each chunk takes longer than a redraw interval, so the counts show.
    execl(program.c_str(), program.c_str(), "-j1", source.c_str(), target.c_str(), nullptr);
    _exit(127);
  }
  std::string screen;
  char buffer[4096];
  for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) screen.append(buffer, static_cast<size_t>(n));
  int status = 0;
  waitpid(child, &status, 0);
  close(master);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(screen.rfind("\rInitialization...\x1b[K", 0), 0u) << screen;
  size_t drawn = screen.find("%)  " + source + "/random.bin\x1b[K");
  size_t erased = screen.find("\r\x1b[K", drawn);
  EXPECT_NE(drawn, std::string::npos) << screen;
  ASSERT_NE(erased, std::string::npos) << screen;
  EXPECT_EQ(screen.substr(erased + 4), target + " " + std::to_string(Read(target).size()) + " bytes\r\n");
}

}  // namespace
