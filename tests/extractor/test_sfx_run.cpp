// SFX files that launch a program under Wine: parameters, working directories, exit
// codes, clean-up in its three modes, self-destruction and the one-instance check.
#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include "driver.h"
#include "sfxrun.h"

using namespace testing_support;
using namespace sfxtest;

namespace {

std::string Probe() { return ReadFileBytes(BinDir() + "sfxprobe.exe"); }

struct Report {
  std::string commandLine;
  std::string directory;
  std::vector<std::string> arguments;
};

Report ReadReport(const std::string& path) {
  Report report;
  std::vector<std::string> lines = Lines(ReadFileBytes(path));
  if (lines.size() >= 2) {
    report.commandLine = lines[0];
    report.directory = lines[1];
    for (size_t i = 2; i < lines.size(); ++i) report.arguments.push_back(lines[i].substr(1, lines[i].size() - 2));
  }
  return report;
}

using Args = std::vector<std::string>;

// The rights of a file or folder as SDDL text (the test process keeps what it reads).
std::string Security(const std::string& path) {
  PSECURITY_DESCRIPTOR security = nullptr;
  char* text = nullptr;
  GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, 0, 0, 0, 0, &security);
  ConvertSecurityDescriptorToStringSecurityDescriptorA(security, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, 0);
  return text ? text : "?";
}

TEST(Launch, StoredAndForwardedParameters) {
  std::string scratch = MakeScratchDir("sfx-params");
  std::string source = MakeSource(scratch, {{"bin\\", ""}, {"bin\\probe.exe", Probe()}});
  std::string out = scratch + "out\\";
  std::string report = scratch + "report.txt";
  ProbeEnvironment probe("ORVEX_PROBE_REPORT", report);

  std::string stored = BuildSfx(scratch + "stored.exe", "-mf -fm -s -oo -dn", source, source + "bin\\probe.exe", out,
                                "p1 %TEMP%");
  ASSERT_FALSE(stored.empty());
  EXPECT_EQ(RunSfx(stored), 0u);
  Report r = ReadReport(report);
  EXPECT_EQ(r.arguments, (Args{"p1", "%TEMP%"})) << "passed on literally, not expanded";
  EXPECT_NE(r.commandLine.find(" p1 %TEMP%"), std::string::npos) << r.commandLine;

  std::string plain = BuildSfx(scratch + "plain.exe", "-mf -fm -s -oo -dn", source, source + "bin\\probe.exe", out);
  ASSERT_FALSE(plain.empty());
  const struct {
    const char* arguments;
    Args expected;
    const char* rawEnd;
  } cases[] = {
      {"", {}, nullptr},
      {" x \"two words\"", {"x", "two words"}, "  \"x\" \"two words\""},
      {" \"\"", {}, nullptr},
      {" C:\\dir\\ \"with blank\\\\\"", {"C:\\dir\\", "with blank\\\\"}, nullptr},
  };
  for (const auto& c : cases) {
    DeleteFileA(report.c_str());
    EXPECT_EQ(RunSfx(plain, c.arguments), 0u) << c.arguments;
    r = ReadReport(report);
    EXPECT_EQ(r.arguments, c.expected) << "[" << c.arguments << "] gave " << r.commandLine;
    if (c.rawEnd) {
      std::string end = c.rawEnd;
      EXPECT_EQ(r.commandLine.substr(r.commandLine.size() - std::min(end.size(), r.commandLine.size())), end);
    }
  }
  // Extract-only runs forward nothing and launch nothing.
  std::string extractOnly = BuildSfx(scratch + "only.exe", "-me -fm -s -oo", source, "", out);
  DeleteFileA(report.c_str());
  EXPECT_EQ(RunSfx(extractOnly, " x"), 0u);
  EXPECT_FALSE(FileExists(report));
}

std::string WithoutBackslash(std::string path) {
  if (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

TEST(Launch, WorkingDirectoriesAndExitCode) {
  std::string scratch = MakeScratchDir("sfx-workdir");
  std::string source = MakeSource(scratch, {{"bin\\", ""}, {"bin\\probe.exe", Probe()}, {"bin\\data.txt", "d"}});
  std::string out = scratch + "out\\";
  std::string current = scratch + "current\\";
  CreateDirectoryA(current.c_str(), nullptr);
  std::string report = scratch + "report.txt";
  ProbeEnvironment probe("ORVEX_PROBE_REPORT", report);
  const struct {
    const char* switch_;
    std::string expected;
  } cases[] = {{"-we", out}, {"-ws", scratch}, {"-wc", current}};
  for (const auto& c : cases) {
    std::string sfx = BuildSfx(scratch + "wd.exe", std::string("-mf -fm -s -oo -dn ") + c.switch_, source,
                               source + "bin\\probe.exe", out);
    ASSERT_FALSE(sfx.empty());
    DeleteFileA(report.c_str());
    EXPECT_EQ(RunSfx(sfx, "", current), 0u);
    EXPECT_EQ(WithoutBackslash(ReadReport(report).directory), WithoutBackslash(c.expected)) << c.switch_;
  }
  RemoveTree(out);  // created by this run only, so the clean-up may take it
  // The probe starts a child that holds a file for 2 s, and ends: clean-up waits for the child.
  ProbeEnvironment exitCode("ORVEX_PROBE_EXIT", "3"), child("ORVEX_PROBE_CHILD", "bin\\data.txt");
  for (std::string mode : {"-di", "-dn"}) {
    DeleteFileA(report.c_str());
    ChildProcess run(Quoted(BuildSfx(scratch + "3.exe", "-mf -fm -s -oo " + mode, source, source + "bin\\probe.exe", out)));
    ASSERT_TRUE(driver::WaitUntil([&] { return FileExists(report); }, 15000));
    EXPECT_EQ(run.Wait(1000), mode == "-dn") << mode << ": only clean-up waits for the child";
    EXPECT_TRUE(FileExists(out + "bin\\data.txt") && run.Wait(30000)) << mode;
    EXPECT_EQ(run.ExitCode(), 3u) << mode << ": the launched program's exit code is handed over";
    EXPECT_EQ(FolderExists(out), mode == "-dn") << mode << ": cleaned up after the child";
  }
}

// What the run wrote is held from its verification until the probe has started, while the
// question about z.txt waits too. A launch target held for writing ends the run with 32.
TEST(Launch, WhatTheRunWroteIsHeldUntilTheProgramStarted) {
  std::string scratch = MakeScratchDir("sfx-held");
  std::string source = MakeSource(scratch, {{"a.txt", "a"}, {"probe.exe", Probe()}, {"z.txt", "z"}});
  std::string out = scratch + "out\\", report = scratch + "report.txt", hold = scratch + "release.txt";
  ProbeEnvironment reportEnv("ORVEX_PROBE_REPORT", report), holdEnv("ORVEX_PROBE_HOLD", hold);
  CreateDirectoryA(out.c_str(), nullptr);
  WriteFileBytes(out + "z.txt", "old");
  auto writing = [&](const char* name) { return CreateFileA((out + name).c_str(), GENERIC_WRITE, 7, 0, OPEN_EXISTING, 0, 0); };
  std::string asking = BuildSfx(scratch + "held.exe", "-mf -fm -s -op -dn", source, source + "probe.exe", out);
  ChildProcess run(Quoted(asking));
  HWND box = driver::WaitForWindow("#32770", "", 20000, run.Id());
  EXPECT_TRUE(writing("a.txt") == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION);
  driver::PressButton(box, "Yes");
  ASSERT_TRUE(driver::WaitUntil([&] { return FileExists(report); }, 15000));
  EXPECT_NE(writing("a.txt"), INVALID_HANDLE_VALUE) << "released once the program started";
  WriteFileBytes(hold, "go");
  EXPECT_TRUE(run.Wait(30000) && run.ExitCode() == 0);
  DeleteFileA(report.c_str());
  HANDLE writer = writing("probe.exe");
  EXPECT_EQ(RunSfx(BuildSfx(scratch + "skip.exe", "-mf -fm -s -os -dn", source, source + "probe.exe", out)), 32u);
  EXPECT_EQ(RunSfxAnswering(asking, "No", "sfx-held-kept", "", 3).exitCode, 32u) << "nor one the user kept";
  EXPECT_FALSE(FileExists(report)) << "nothing launched";
  CloseHandle(writer);
}

TEST(Launch, NoTargetAndAFailingLaunch) {
  std::string scratch = MakeScratchDir("sfx-nolaunch");
  std::string out = scratch + "out\\";
  SfxOptions options = DefaultOptions();
  options.ExtractionMode = 1;
  options.ExtractionFolder = 5;
  strcpy(options.CustomFolder, out.c_str());
  options.SilentMode = 1;
  std::string sfx = WriteSfx(scratch + "notarget.exe", options, {File("a.txt", "a")});
  EXPECT_EQ(RunSfx(sfx), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(FileExists(out + "a.txt")) << "cleaned up after the error";

  std::string source = MakeSource(scratch, {{"bad.exe", "this is no program"}, {"data.txt", "d"}});
  std::string bad = BuildSfx(scratch + "bad.exe", "-mf -fm -s -oo -d", source, source + "bad.exe", out);
  ASSERT_FALSE(bad.empty());
  DWORD code = RunSfx(bad);
  EXPECT_NE(code, 0u);
  EXPECT_NE(code, DWORD(ERROR_INVALID_PARAMETER));
  std::printf("a launch of a damaged program ends with %lu: %s\n", code, SystemText(code).c_str());
  EXPECT_FALSE(FileExists(out + "data.txt"));
  Sleep(1500);
  EXPECT_TRUE(FileExists(bad)) << "a self-destructing SFX file stays after an error";
}

// The folder existed before the run, as a folder or as a link the user chose to one: what
// the run wrote is cleaned up there, what was there stays.
TEST(CleanUp, ImmediateRemovesOnlyWhatTheRunMade) {
  std::string scratch = MakeScratchDir("sfx-cleanup");
  std::string source = MakeSource(scratch, {{"bin\\", ""}, {"bin\\probe.exe", Probe()}, {"sub\\", ""},
                                            {"sub\\deep\\", ""}, {"sub\\deep\\s.txt", "s"}, {"kept.txt", "new"},
                                            {"r.txt", "r"}});
  ProbeEnvironment make("ORVEX_PROBE_MAKE", "1");
  for (bool link : {false, true}) {
    std::string chosen = scratch + (link ? "users\\" : "out\\");  // never removed
    std::string out = link ? scratch + "link\\" : chosen;
    CreateDirectoryA(chosen.c_str(), nullptr);
    WriteFileBytes(chosen + "kept.txt", "old");
    ASSERT_TRUE(!link || MakeHostLink(out, chosen));
    std::string sfx = BuildSfx(scratch + "clean.exe", "-mf -fm -s -os -di", source, source + "bin\\probe.exe", out);
    ASSERT_FALSE(sfx.empty());
    EXPECT_EQ(RunSfx(sfx), 0u) << link;
    EXPECT_FALSE(FileExists(chosen + "r.txt")) << link;
    EXPECT_FALSE(FileExists(chosen + "bin\\probe.exe")) << link;
    EXPECT_FALSE(FileExists(chosen + "sub\\deep\\s.txt")) << link;
    EXPECT_FALSE(FolderExists(chosen + "sub")) << link << ": created folders go, deepest first";
    EXPECT_FALSE(FolderExists(chosen + "bin\\made\\empty")) << link << ": an empty folder the program left goes too";
    EXPECT_TRUE(FileExists(chosen + "bin\\made\\full\\left.txt")) << link << ": a folder with a file stays";
    EXPECT_TRUE(FolderExists(chosen + "bin")) << link;
    EXPECT_TRUE(FolderExists(out)) << link << ": the folder that existed stays";
    EXPECT_EQ(ReadFileBytes(chosen + "kept.txt"), "old") << link << ": a file kept by skip is never deleted";
  }
}

TEST(CleanUp, NeverAndExtractOnlyAndAfterAnErrorMidway) {
  std::string scratch = MakeScratchDir("sfx-cleanup-modes");
  std::string source = MakeSource(scratch, {{"probe.exe", Probe()}, {"f.txt", "f"}});
  std::string out = scratch + "out\\";
  std::string never = BuildSfx(scratch + "never.exe", "-mf -fm -s -oo -dn", source, source + "probe.exe", out);
  EXPECT_EQ(RunSfx(never), 0u);
  EXPECT_TRUE(FileExists(out + "f.txt")) << "-dn";
  RemoveTree(out);
  std::string only = BuildSfx(scratch + "only.exe", "-me -fm -s -oo -di", source, "", out);
  EXPECT_EQ(RunSfx(only), 0u);
  EXPECT_TRUE(FileExists(out + "f.txt")) << "extract only deletes nothing";
  RemoveTree(out);

  // The second file's checksum is damaged: the first was written and must go again.
  SfxOptions options = DefaultOptions();
  options.ExtractionMode = 1;
  options.ExtractionFolder = 5;
  strcpy(options.CustomFolder, out.c_str());
  options.SilentMode = 1;
  std::string bytes = MakeArchive(options, {File("first.txt", "first"), File("second.txt", "second", 1)});
  bytes[bytes.size() - 17 - 1] ^= 1;
  std::string broken = scratch + "broken.exe";
  WriteFileBytes(broken, ReadFileBytes(BinDir() + "sfxhead.exe") + bytes);
  EXPECT_EQ(RunSfx(broken), DWORD(ERROR_CRC));
  EXPECT_FALSE(FileExists(out + "first.txt"));
  EXPECT_FALSE(FileExists(out + "second.txt"));
  EXPECT_FALSE(FolderExists(out));
}

TEST(CleanUp, AtRestart) {
  std::string scratch = MakeScratchDir("sfx-cleanup-restart");
  std::string source = MakeSource(scratch, {{"probe.exe", Probe()}, {"d\\", ""}, {"d\\f.txt", "f"}});
  std::string out = scratch + "out\\";
  std::string sfx = BuildSfx(scratch + "restart.exe", "-mf -fm -s -oo -dr", source, source + "probe.exe", out);
  ASSERT_FALSE(sfx.empty());
  SetFileAttributesA((source + "d\\f.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(RunSfx(sfx), 0u);
  EXPECT_TRUE(FileExists(out + "d\\f.txt")) << "only scheduled";
  EXPECT_TRUE(FileExists(out + "probe.exe"));
  EXPECT_EQ(RunToEnd("wineboot.exe -r", 120000), 0u);
  EXPECT_FALSE(FileExists(out + "d\\f.txt"));
  EXPECT_FALSE(FileExists(out + "probe.exe"));
  EXPECT_FALSE(FolderExists(out + "d"));
  EXPECT_FALSE(FolderExists(out));
}

// The launched program waits while the test replaces what the run made by a link to the
// user's read-only file or to the folder that holds it: the folder sub, or the file
// sub\\f.txt. Nothing of the user's is changed or deleted through it.
TEST(CleanUp, NeverThroughALinkInTheRunsPlace) {
  std::string scratch = MakeScratchDir("sfx-cleanup-link");
  std::string source = MakeSource(scratch, {{"probe.exe", Probe()}, {"sub\\", ""}, {"sub\\f.txt", "the run's"}});
  std::string users = scratch + "users\\";
  CreateDirectoryA(users.c_str(), nullptr);
  WriteFileBytes(users + "f.txt", "the user's");
  SetFileAttributesA((users + "f.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  std::string report = scratch + "report.txt", hold = scratch + "release.txt";
  ProbeEnvironment reportEnv("ORVEX_PROBE_REPORT", report);
  ProbeEnvironment holdEnv("ORVEX_PROBE_HOLD", hold);
  for (bool file : {false, true}) {
    std::string out = scratch + (file ? "file\\" : "folder\\");
    std::string sfx = BuildSfx(scratch + "link.exe", "-mf -fm -s -oo -di", source, source + "probe.exe", out);
    ASSERT_FALSE(sfx.empty());
    DeleteFileA(report.c_str());
    DeleteFileA(hold.c_str());
    ChildProcess run(Quoted(sfx), scratch);
    ASSERT_TRUE(driver::WaitUntil([&] { return FileExists(report); }, 15000)) << "the program was launched";
    if (!file) RemoveTree(out + "sub");
    ASSERT_TRUE(MakeHostLink(out + (file ? "sub\\f.txt" : "sub"), users + (file ? "f.txt" : "")));
    WriteFileBytes(hold, "go");
    ASSERT_TRUE(run.Wait(30000));
    EXPECT_EQ(run.ExitCode(), 0u) << file;
    EXPECT_EQ(ReadFileBytes(users + "f.txt"), "the user's") << file;
    EXPECT_TRUE(Attributes(users + "f.txt") & FILE_ATTRIBUTE_READONLY) << file;
    EXPECT_FALSE(FileExists(out + "probe.exe")) << file << ": what still is the run's is cleaned up";
  }
}

bool GoneWithin(const std::string& path, DWORD ms) {
  return driver::WaitUntil([&] { return !FileExists(path); }, ms);
}

// Once the helper that ran from it has ended, its file can be replaced or deleted.
bool Released(const std::string& path) {
  return driver::WaitUntil([&] {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    CloseHandle(file);
    return true;
  }, 10000);
}

TEST(SelfDestruct, GoneAfterSuccessAndTheHelperIsAlwaysFresh) {
  std::string scratch = MakeScratchDir("sfx-selfdestruct");
  std::string source = MakeSource(scratch, {{"probe.exe", Probe()}, {"f.txt", "f"}});
  std::string out = scratch + "out\\";
  std::string sfx = BuildSfx(scratch + "gone.exe", "-mf -fm -s -oo -d", source, source + "probe.exe", out);
  ASSERT_FALSE(sfx.empty());
  EXPECT_EQ(RunSfx(sfx), 0u);
  EXPECT_TRUE(GoneWithin(sfx, 10000));
  std::string helper = TempFolder() + "xsfxdel~.exe";
  EXPECT_EQ(ReadFileBytes(helper), ReadFileBytes(BinDir() + "selfdelete.exe"));

  // A foreign file in the helper's place is replaced without a question, even when the
  // SFX file asks about every existing file.
  ASSERT_TRUE(Released(helper));
  WriteFileBytes(helper, "foreign");
  std::string asking = BuildSfx(scratch + "asking.exe", "-me -fm -s -op -d", source, "", scratch + "out2\\");
  ASSERT_FALSE(asking.empty());
  EXPECT_EQ(RunToEnd(Quoted(asking), 20000), 0u) << "no prompt appeared";
  EXPECT_TRUE(GoneWithin(asking, 10000));
  EXPECT_EQ(ReadFileBytes(helper), ReadFileBytes(BinDir() + "selfdelete.exe"));

  // A helper entry in a file that does not ask for self-destruction is neither written nor started.
  ASSERT_TRUE(Released(helper));
  DeleteFileA(helper.c_str());
  SfxOptions options = DefaultOptions("00C0FFEE09");
  options.SilentMode = 1;
  std::string stray = WriteSfx(scratch + "stray.exe", options,
                               {File("xsfxdel~.exe", ReadFileBytes(BinDir() + "selfdelete.exe"), EntryKindSelfDelete),
                                File("a.txt", "a")});
  EXPECT_EQ(RunSfx(stray), 0u);
  Sleep(1500);
  EXPECT_TRUE(FileExists(stray));
  EXPECT_FALSE(FileExists(helper));
  RemoveTree(TempExtractionFolder(stray));
}

// In skip mode the temporary folder of an SFX file is predictable: a program planted there
// under the launch target's name must never be the one started. An SFX file that asks for
// elevation, or runs elevated (under Wine every program does; "" is -un with a limited
// token), does not even use a folder that existed before it ran: it makes its own, only
// Administrators and SYSTEM write there. Wine keeps no security descriptor or label, only
// the Unix rights it makes of one: others lose every right.
TEST(Planted, ALaunchTargetTheArchiveDidNotShipIsNeverStarted) {
  std::string scratch = MakeScratchDir("sfx-planted");
  std::string source = MakeSource(scratch, {{"probe.exe", Probe()}});
  std::string report = scratch + "report.txt";
  ProbeEnvironment reportEnv("ORVEX_PROBE_REPORT", report);
  const std::string planted = Probe() + "planted";
  for (const char* elevation : {"", "-un", "-ua", "-uh"}) {
    auto run = [&](const std::string& sfx) { return *elevation ? RunSfx(sfx) : RunSfxLimited(sfx); };
    std::string sfx = BuildSfx(scratch + "planted.exe", std::string("-mf -ft -s -os -dn ") + elevation, source,
                               source + "probe.exe");
    ASSERT_FALSE(sfx.empty());
    std::string folder = TempExtractionFolder(sfx);
    std::string own = !*elevation ? folder : WithoutBackslash(folder) + "1\\";
    RemoveTree(folder);
    CreateDirectoryA(folder.c_str(), nullptr);
    WriteFileBytes(folder + "probe.exe", planted);
    DeleteFileA(report.c_str());
    EXPECT_EQ(run(sfx), 0u) << elevation;
    EXPECT_EQ(WithoutBackslash(ReadReport(report).directory), WithoutBackslash(own)) << elevation;
    EXPECT_EQ(ReadFileBytes(own + "probe.exe"), Probe()) << elevation;
    if (own != folder) {
      EXPECT_EQ(ReadFileBytes(folder + "probe.exe"), planted) << elevation << ": the prepared folder is left alone";
      EXPECT_EQ(Security(own).find("WD)"), std::string::npos) << elevation << Security(own);
    } else {
      // The archive's own program, met again, is kept as it is.
      SetDosTime(folder + "probe.exe", 0x4A210000);
      EXPECT_EQ(run(sfx), 0u);
      EXPECT_EQ(DosTime(folder + "probe.exe"), 0x4A210000u);
      RemoveTree(folder);
      EXPECT_EQ(run(sfx), 0u);
      EXPECT_EQ(Security(folder), Security(scratch)) << "an unelevated run makes it with the usual rights";
    }
    RemoveTree(folder);
    RemoveTree(own);
  }
}

TEST(OneInstance, AnEmptyOrUnusableIdentifierIsRefused) {
  std::string scratch = MakeScratchDir("sfx-instance-id");
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, "00EE00EE10");  // the name is taken by another kind of object
  ASSERT_NE(event, nullptr);
  const struct {
    const char* id;
    DWORD code;
  } cases[] = {{"", ERROR_INVALID_DATA}, {"00EE00EE10", ERROR_INVALID_HANDLE}};
  for (const auto& c : cases) {
    SfxOptions options = DefaultOptions(c.id);
    options.SilentMode = 1;
    options.OneInstance = 1;
    std::string sfx = WriteSfx(scratch + "id.exe", options, {File("a.txt", "a")});
    EXPECT_EQ(RunSfx(sfx), c.code) << "[" << c.id << "]";
    EXPECT_FALSE(FileExists(TempExtractionFolder(sfx) + "a.txt")) << "[" << c.id << "]";
  }
  CloseHandle(event);
}

TEST(OneInstance, SecondStartRefusedWhileTheFirstWaits) {
  std::string scratch = MakeScratchDir("sfx-instance");
  std::string source = MakeSource(scratch, {{"probe.exe", Probe()}});
  std::string report = scratch + "report.txt";
  std::string hold = scratch + "release.txt";
  ProbeEnvironment reportEnv("ORVEX_PROBE_REPORT", report);
  ProbeEnvironment holdEnv("ORVEX_PROBE_HOLD", hold);
  for (const char* silent : {"-s", ""}) {
    DeleteFileA(report.c_str());
    DeleteFileA(hold.c_str());
    std::string sfx = BuildSfx(scratch + "first.exe", std::string("-mf -ft -oo -i ") + silent, source,
                               source + "probe.exe");
    ASSERT_FALSE(sfx.empty());
    std::string copy = scratch + "another name.exe";
    CopyFileA(sfx.c_str(), copy.c_str(), FALSE);
    ChildProcess first(Quoted(sfx), scratch);
    ASSERT_TRUE(driver::WaitUntil([&] { return FileExists(report); }, 15000)) << "the first run launched its program";
    if (*silent) {
      EXPECT_EQ(RunSfx(sfx), DWORD(ERROR_SINGLE_INSTANCE_APP));
      EXPECT_EQ(RunSfx(copy), DWORD(ERROR_SINGLE_INSTANCE_APP)) << "a copy under another name";
      std::string other = BuildSfx(scratch + "other.exe", "-me -ft -s -oo -i", source);
      EXPECT_EQ(RunSfx(other), 0u) << "a different build runs";
      RemoveTree(TempExtractionFolder(other));
    } else {
      BoxRun run = RunSfxAnswering(copy, "OK", "sfx-single-instance");
      EXPECT_EQ(run.exitCode, DWORD(ERROR_SINGLE_INSTANCE_APP));
      EXPECT_EQ(run.text, copy + "\r\n\r\n" + SystemText(ERROR_SINGLE_INSTANCE_APP));
    }
    EXPECT_FALSE(first.Wait(0)) << "the first run is unaffected";
    WriteFileBytes(hold, "go");
    ASSERT_TRUE(first.Wait(30000));
    EXPECT_EQ(first.ExitCode(), 0u);
  }
}

}  // namespace
