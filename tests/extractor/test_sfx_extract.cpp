// SFX files made by the real builder, run under Wine: where they extract to, how they
// meet existing files, and the damaged files they refuse.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <map>
#include <memory>

#include "driver.h"
#include "sfxrun.h"

using namespace testing_support;
using namespace sfxtest;

namespace {

// c.bin takes one byte more than a chunk.
std::string Counting(size_t size) {
  std::string text;
  for (size_t i = 0; text.size() < size; ++i) text += std::to_string(i) + (i % 16 ? " " : "\r\n");
  text.resize(size);
  return text;
}

const std::string kBig = Counting(ChunkSize + 1);
const std::vector<std::pair<std::string, std::string>> kTree = {
    {"a.txt", "alpha"}, {"sub\\", ""}, {"sub\\b.txt", "bravo bravo"}, {"sub\\deeper\\", ""}, {"sub\\deeper\\c.bin", kBig}};

void ExpectTree(const std::string& folder) {
  EXPECT_EQ(ReadFileBytes(folder + "a.txt"), "alpha") << folder;
  EXPECT_EQ(ReadFileBytes(folder + "sub\\b.txt"), "bravo bravo") << folder;
  EXPECT_TRUE(ReadFileBytes(folder + "sub\\deeper\\c.bin") == kBig) << folder;
}

TEST(FolderChoices, TemporaryFolderTwiceMeetsItsOwnFiles) {
  std::string scratch = MakeScratchDir("sfx-temp");
  std::string source = MakeSource(scratch, kTree);
  std::string sfx = BuildSfx(scratch + "temp.exe", "-me -ft -s -os", source);
  ASSERT_FALSE(sfx.empty());
  std::string folder = TempExtractionFolder(sfx);
  ASSERT_EQ(std::string(ReadOptions(sfx).InstanceId).size(), 10u);
  RemoveTree(folder);
  EXPECT_EQ(RunSfxLimited(sfx), 0u);
  ExpectTree(folder);
  // The second run meets the files of the first: skip keeps a changed file as it is.
  WriteFileBytes(folder + "a.txt", "changed");
  EXPECT_EQ(RunSfxLimited(sfx), 0u);
  EXPECT_EQ(ReadFileBytes(folder + "a.txt"), "changed");
  EXPECT_EQ(ReadFileBytes(folder + "sub\\b.txt"), "bravo bravo");
  RemoveTree(folder);
}

TEST(FolderChoices, DesktopDocumentsAndCurrent) {
  std::string scratch = MakeScratchDir("sfx-places");
  std::string source = MakeSource(scratch, {{"orvex-place-test\\", ""}, {"orvex-place-test\\p.txt", "place"}});
  const struct {
    const char* switch_;
    std::string folder;
  } places[] = {{"-fd", SpecialFolder(CSIDL_DESKTOPDIRECTORY)},
                {"-fp", SpecialFolder(CSIDL_PERSONAL)},
                {"-fc", scratch + "current\\"}};
  CreateDirectoryA((scratch + "current").c_str(), nullptr);
  for (const auto& place : places) {
    std::string sfx = BuildSfx(scratch + "place.exe", std::string("-me -s -oo ") + place.switch_, source);
    ASSERT_FALSE(sfx.empty()) << place.switch_;
    std::string target = place.folder + "orvex-place-test\\";
    RemoveTree(target);
    EXPECT_EQ(RunSfx(sfx, "", scratch + "current"), 0u) << place.switch_;
    EXPECT_EQ(ReadFileBytes(target + "p.txt"), "place") << place.switch_ << " " << place.folder;
    RemoveTree(target);
  }
}

TEST(FolderChoices, CustomFoldersExpandedUndefinedAndRelative) {
  std::string scratch = MakeScratchDir("sfx-custom");
  std::string source = MakeSource(scratch, kTree);
  std::string current = scratch + "cwd\\";
  CreateDirectoryA(current.c_str(), nullptr);
  char profile[MAX_PATH];
  ASSERT_GT(GetEnvironmentVariableA("USERPROFILE", profile, MAX_PATH), 0u);
  const struct {
    const char* custom;
    std::string expected;
  } cases[] = {
      {"%USERPROFILE%\\orvex-custom\\", std::string(profile) + "\\orvex-custom\\"},
      {"%ORVEX_NEVER_DEFINED%\\x\\", current + "%ORVEX_NEVER_DEFINED%\\x\\"},
      {"rel\\sub\\", current + "rel\\sub\\"},
  };
  for (const auto& c : cases) {
    std::string sfx = BuildSfx(scratch + "custom.exe", "-me -fm -s -oo", source, "", c.custom);
    ASSERT_FALSE(sfx.empty()) << c.custom;
    EXPECT_EQ(std::string(ReadOptions(sfx).CustomFolder), c.custom);
    RemoveTree(c.expected);
    EXPECT_EQ(RunSfx(sfx, "", current), 0u) << c.custom;
    ExpectTree(c.expected);
    RemoveTree(c.expected);
  }
}

TEST(FolderChoices, ValuesAboveFiveMeanTheTemporaryFolder) {
  std::string scratch = MakeScratchDir("sfx-choice6");
  SfxOptions options = DefaultOptions("00C0FFEE06");
  options.ExtractionFolder = 6;
  options.SilentMode = 1;
  std::string sfx = WriteSfx(scratch + "six.exe", options, {File("six.txt", "six")});
  std::string folder = TempFolder() + "~sfx00C0FFEE06\\";
  RemoveTree(folder);
  EXPECT_EQ(RunSfx(sfx), 0u);
  EXPECT_EQ(ReadFileBytes(folder + "six.txt"), "six");
  RemoveTree(folder);
}

// The browse dialog's OK button is the default one; its edit box takes a path.
HWND FindBrowseDialog(DWORD processId) { return driver::WaitForWindow("#32770", "", 20000, processId); }

TEST(FolderChoices, BrowseCancelledEndsQuietlyAndConfirmedExtracts) {
  std::string scratch = MakeScratchDir("sfx-browse");
  std::string source = MakeSource(scratch, {{"orvex-browse\\", ""}, {"orvex-browse\\inside.txt", "chosen"}});
  std::string sfx = BuildSfx(scratch + "browse.exe", "-me -fs -s -oo -d", source);
  ASSERT_FALSE(sfx.empty());
  {
    ChildProcess child(Quoted(sfx), scratch);
    HWND dialog = FindBrowseDialog(child.Id());
    ASSERT_NE(dialog, nullptr);
    driver::WaitForSettled(dialog);
    driver::SaveScreenshot(dialog, ScreenshotDir() + "sfx-browse.png");
    EXPECT_NE(driver::WindowText(dialog).size() + driver::Controls(dialog).size(), 0u);
    bool titled = false;
    for (const auto& control : driver::Controls(dialog))
      if (control.text == "Extract to") titled = true;
    EXPECT_TRUE(titled) << "the dialog shows the extractor's title text";
    driver::PressButton(dialog, "Cancel");
    ASSERT_TRUE(child.Wait(20000));
    EXPECT_EQ(child.ExitCode(), 0u);
  }
  EXPECT_TRUE(FileExists(sfx)) << "a self-destructing SFX file stays after a cancelled browse";
  EXPECT_FALSE(FolderExists(scratch + "orvex-browse"));

  // Confirmed: the tree's root, the desktop, is chosen.
  std::string desktop = SpecialFolder(CSIDL_DESKTOPDIRECTORY);
  RemoveTree(desktop + "orvex-browse\\");
  std::string copy = scratch + "browse2.exe";
  CopyFileA(sfx.c_str(), copy.c_str(), FALSE);
  ChildProcess child(Quoted(copy), scratch);
  HWND dialog = FindBrowseDialog(child.Id());
  ASSERT_NE(dialog, nullptr);
  driver::WaitForSettled(dialog);
  HWND tree = nullptr;
  for (const auto& control : driver::Controls(dialog))
    if (control.className == "SysTreeView32") tree = control.window;
  ASSERT_NE(tree, nullptr) << "the dialog shows the folder tree";
  LRESULT root = SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
  SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, root);
  driver::WaitForSettled(dialog);
  driver::PressButton(dialog, "OK");
  ASSERT_TRUE(child.Wait(20000));
  EXPECT_EQ(child.ExitCode(), 0u);
  EXPECT_EQ(ReadFileBytes(desktop + "orvex-browse\\inside.txt"), "chosen");
  EXPECT_TRUE(driver::WaitUntil([&] { return !FileExists(copy); }, 10000))
      << "a self-destructing SFX file goes after a successful run";
  RemoveTree(desktop + "orvex-browse\\");
}

TEST(Overwrite, PromptYesAndNoWithTheirText) {
  std::string scratch = MakeScratchDir("sfx-prompt");
  std::string source = MakeSource(scratch, {{"keep.txt", "new keep"}, {"take.txt", "new take"}, {"ro.txt", "new ro"}});
  SetFileAttributesA((source + "ro.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  SetDosTime(source + "take.txt", 0x5A8C6C00);
  SetDosTime(source + "keep.txt", 0x5A8C6C20);
  std::string out = scratch + "out\\";
  std::string sfx = BuildSfx(scratch + "prompt.exe", "-me -fm -s -op", source, "", out);
  ASSERT_FALSE(sfx.empty());
  CreateDirectoryA(out.c_str(), nullptr);
  for (const char* name : {"keep.txt", "take.txt", "ro.txt"}) WriteFileBytes(out + name, std::string("old ") + name);
  SetFileAttributesA((out + "ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA((out + "keep.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  uint32_t keptTime = DosTime(out + "keep.txt");
  DWORD keptAttributes = Attributes(out + "keep.txt");

  // Entries come in the order the file system lists them: answer by the path shown.
  ChildProcess child(Quoted(sfx), scratch);
  std::vector<std::string> asked;
  for (int i = 0; i < 3; ++i) {
    HWND box = driver::WaitForWindow("#32770", "", 20000, child.Id());
    ASSERT_NE(box, nullptr) << "prompt " << i;
    driver::WaitForSettled(box);
    auto info = driver::ReadMessageBox(box);
    std::string name = info.text.find("keep.txt") != std::string::npos   ? "keep.txt"
                       : info.text.find("take.txt") != std::string::npos ? "take.txt"
                                                                          : "ro.txt";
    asked.push_back(name);
    EXPECT_EQ(info.text, SystemText(ERROR_FILE_EXISTS) + "\r\n" + out + name + "\r\n\r\nOverwrite file?");
    EXPECT_EQ(info.buttons, (std::vector<std::string>{"Yes", "No"}));
    EXPECT_EQ(info.defaultButton, "No");
    EXPECT_EQ(info.icon, driver::BoxIcon::Question);
    driver::SaveScreenshot(box, ScreenshotDir() + "sfx-overwrite-" + name + ".png");
    driver::PressButton(box, name == "keep.txt" ? "No" : "Yes");
    driver::WaitForWindowGone(box, 5000);
  }
  ASSERT_TRUE(child.Wait(20000));
  EXPECT_EQ(child.ExitCode(), 0u);
  EXPECT_EQ(asked.size(), 3u);
  EXPECT_EQ(ReadFileBytes(out + "keep.txt"), "old keep.txt");
  EXPECT_EQ(DosTime(out + "keep.txt"), keptTime) << "a kept file keeps its time";
  EXPECT_EQ(Attributes(out + "keep.txt"), keptAttributes) << "and its attributes";
  EXPECT_EQ(ReadFileBytes(out + "take.txt"), "new take");
  EXPECT_EQ(DosTime(out + "take.txt"), 0x5A8C6C00u);
  EXPECT_EQ(ReadFileBytes(out + "ro.txt"), "new ro") << "a read-only file is rewritten after Yes";
  EXPECT_EQ(Attributes(out + "ro.txt"), DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
}

TEST(Overwrite, AllAndSkipAllAskNothing) {
  std::string scratch = MakeScratchDir("sfx-overwrite-modes");
  std::string source = MakeSource(scratch, {{"f.txt", "new"}, {"g.txt", "fresh"}});
  SetDosTime(source + "f.txt", 0x5A8C6C00);
  for (const char* mode : {"-oo", "-os"}) {
    std::string out = scratch + (mode + 1) + "\\";
    std::string sfx = BuildSfx(scratch + "modes.exe", std::string("-me -fm -s ") + mode, source, "", out);
    ASSERT_FALSE(sfx.empty());
    CreateDirectoryA(out.c_str(), nullptr);
    WriteFileBytes(out + "f.txt", "old");
    SetFileAttributesA((out + "f.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    DWORD before = Attributes(out + "f.txt");
    EXPECT_EQ(RunSfx(sfx), 0u) << mode;
    bool all = std::string(mode) == "-oo";
    EXPECT_EQ(ReadFileBytes(out + "f.txt"), all ? "new" : "old") << mode;
    if (all) {
      EXPECT_EQ(DosTime(out + "f.txt"), 0x5A8C6C00u);
    }
    EXPECT_EQ(Attributes(out + "f.txt"), all ? DWORD(FILE_ATTRIBUTE_ARCHIVE) : before) << mode;
    EXPECT_EQ(ReadFileBytes(out + "g.txt"), "fresh") << mode;
  }
}

struct BoxSearch {
  std::vector<DWORD> processes;
  std::vector<HWND> boxes;
};

BOOL CALLBACK CollectBox(HWND window, LPARAM context) {
  BoxSearch* search = reinterpret_cast<BoxSearch*>(context);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (IsWindowVisible(window) && driver::ClassNameOf(window) == "#32770" &&
      std::find(search->processes.begin(), search->processes.end(), process) != search->processes.end())
    search->boxes.push_back(window);
  return TRUE;
}

// Runs a batch of SFX files at once and gives their exit codes; error boxes (shown when
// the file ends before its options say "silent") are counted and answered with OK.
std::vector<DWORD> RunAll(const std::vector<std::string>& files, const std::string& folder, int& boxes) {
  std::vector<DWORD> codes;
  const size_t batch = 16;
  for (size_t start = 0; start < files.size(); start += batch) {
    std::vector<std::unique_ptr<ChildProcess>> children;
    for (size_t i = start; i < files.size() && i < start + batch; ++i) {
      children.push_back(std::make_unique<ChildProcess>(Quoted(files[i]), folder));
      // Wine now and then fails to start one of many programs at once: once more, alone.
      if (!children.back()->Started()) {
        std::printf("%s did not start (%lu); started again\n", files[i].c_str(), GetLastError());
        Sleep(500);
        children.back() = std::make_unique<ChildProcess>(Quoted(files[i]), folder);
      }
    }
    std::map<HWND, DWORD> pressed;
    driver::WaitUntil([&] {
      BoxSearch search;
      for (auto& child : children)
        if (!child->Wait(0)) search.processes.push_back(child->Id());
      if (search.processes.empty()) return true;
      EnumWindows(CollectBox, reinterpret_cast<LPARAM>(&search));
      for (HWND box : search.boxes) {
        // A box pressed before it is ready stays: press again after a while.
        auto seen = pressed.find(box);
        if (seen != pressed.end() && GetTickCount() - seen->second < 500) continue;
        if (seen == pressed.end()) ++boxes;
        pressed[box] = GetTickCount();
        driver::PressButton(box, "OK");
      }
      return false;
    }, 30000);
    for (auto& child : children) {
      if (!child->Wait(0)) child->Kill();
      codes.push_back(child->ExitCode());
    }
  }
  return codes;
}

bool FolderIsEmptyOrMissing(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return true;
  bool empty = true;
  do {
    std::string name = found.cFileName;
    if (name != "." && name != "..") empty = false;
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return empty;
}

TEST(DamagedFiles, TruncationSweepNeverWritesOrLaunches) {
  std::string scratch = MakeScratchDir("sfx-truncated");
  // A small launch target keeps the sweep short; it would leave launched.txt if started.
  std::string source = MakeSource(scratch, {{"run.cmd", "echo launched> launched.txt\r\n"},
                                            {"d\\", ""}, {"d\\x.txt", "x"}, {"big.bin", std::string(30000, 'b')}});
  std::string out = scratch + "out\\";
  std::string sfx = BuildSfx(scratch + "whole.exe", "-mf -fm -s -oo -dn -wc", source, source + "run.cmd", out);
  ASSERT_FALSE(sfx.empty());
  std::string report = scratch + "launched.txt";
  size_t offset = 0;
  ReadOptions(sfx, &offset);
  std::string whole = ReadFileBytes(sfx);
  ASSERT_GT(offset, 0u);
  // The record, every byte of the first entries (the probe, then the folder), then every 4 KiB.
  size_t firstEntries = offset + 410 + 17 + 7 + 8 + 30;
  std::vector<size_t> cuts;
  for (size_t cut = offset; cut < whole.size(); cut += (cut < firstEntries ? 1 : 4096)) cuts.push_back(cut);
  cuts.push_back(whole.size() - 17 - 2);
  cuts.push_back(whole.size() - 1);
  std::vector<std::string> files;
  for (size_t cut : cuts) {
    std::string name = scratch + "cut" + std::to_string(cut) + ".exe";
    WriteFileBytes(name, whole.substr(0, cut));
    files.push_back(name);
  }
  DWORD start = GetTickCount();
  int boxes = 0;
  std::vector<DWORD> codes = RunAll(files, scratch, boxes);
  std::printf("%zu truncated SFX files ran in %lu ms, %d error boxes answered\n", files.size(),
              GetTickCount() - start, boxes);
  for (size_t i = 0; i < cuts.size(); ++i) {
    size_t cut = cuts[i];
    DWORD expected = cut <= offset + 410 ? ERROR_HANDLE_EOF : codes[i];
    EXPECT_TRUE(codes[i] == ERROR_HANDLE_EOF || codes[i] == ERROR_INVALID_DATA) << "cut " << cut << ": " << codes[i];
    EXPECT_EQ(codes[i], expected) << "cut " << cut;
  }
  EXPECT_TRUE(FolderIsEmptyOrMissing(out)) << "nothing is written from a truncated file";
  EXPECT_FALSE(FileExists(report)) << "nothing is launched";
  // Cut inside a header: 38; inside content: 13.
  for (size_t i = 0; i < cuts.size(); ++i) {
    if (cuts[i] == offset + 410 + 5) {
      EXPECT_EQ(codes[i], DWORD(ERROR_HANDLE_EOF)) << "inside the first header";
    }
    if (cuts[i] == whole.size() - 19) {
      EXPECT_EQ(codes[i], DWORD(ERROR_INVALID_DATA)) << "inside the last checksum";
    }
    if (cuts[i] == whole.size() - 1) {
      EXPECT_EQ(codes[i], DWORD(ERROR_HANDLE_EOF)) << "inside the terminator";
    }
  }
  EXPECT_EQ(boxes, 411) << "the cuts up to the end of the record show their error";

  // The strong layout, cut at every byte after the record and the first byte behind it
  // (without which the record is not read: a box, as above): header, directory, frames of
  // chunks. Each ends with 38 or 13, silently, and nothing is written or launched.
  std::string strong = BuildSfx(scratch + "strong.exe", "-mf -fm -s -oo -dn -wc -zs", source, source + "run.cmd", out);
  ASSERT_FALSE(strong.empty());
  ReadOptions(strong, &offset);
  whole = ReadFileBytes(strong);
  files.clear();
  for (size_t cut = offset + 411; cut < whole.size(); ++cut) {
    files.push_back(scratch + "strong" + std::to_string(cut) + ".exe");
    WriteFileBytes(files.back(), whole.substr(0, cut));
  }
  boxes = 0;
  codes = RunAll(files, scratch, boxes);
  for (size_t i = 0; i < files.size(); ++i)
    EXPECT_TRUE(codes[i] == ERROR_HANDLE_EOF || codes[i] == ERROR_INVALID_DATA) << files[i] << ": " << codes[i];
  EXPECT_EQ(boxes, 0);
  EXPECT_TRUE(FolderIsEmptyOrMissing(out)) << "nothing is written from a truncated strong file";
  EXPECT_FALSE(FileExists(report)) << "nothing is launched";
}

TEST(DamagedFiles, CodesForEachKindOfDamage) {
  std::string scratch = MakeScratchDir("sfx-damaged");
  std::string out = scratch + "out\\";
  // Well-formed archives without content bytes: an empty folder and an empty file, or
  // nothing at all.
  std::string empty = MakeSource(scratch, {{"e\\", ""}, {"e\\zero.txt", ""}});
  std::string emptySfx = BuildSfx(scratch + "empty.exe", "-me -fm -s", empty, "", out);
  ASSERT_FALSE(emptySfx.empty());
  EXPECT_EQ(RunSfx(emptySfx), 0u);
  EXPECT_TRUE(FileExists(out + "e\\zero.txt"));
  SfxOptions nothing = DefaultOptions();
  nothing.SilentMode = 1;
  EXPECT_EQ(RunSfx(WriteSfx(scratch + "nothing.exe", nothing, {})), 0u);
  RemoveTree(TempExtractionFolder(scratch + "nothing.exe"));
  RemoveTree(out);

  std::string text;
  for (int i = 0; i < 4000; ++i) text += "line " + std::to_string(i) + "\n";
  std::string source = MakeSource(scratch, {{"a.txt", text}});
  std::string sfx = BuildSfx(scratch + "good.exe", "-me -fm -s -oo", source, "", out);
  ASSERT_FALSE(sfx.empty());
  size_t offset = 0;
  ReadOptions(sfx, &offset);
  std::string good = ReadFileBytes(sfx);
  size_t frame = offset + 410 + 17 + 5;

  std::string flipped = good;
  flipped[frame + 8 + 200] ^= 0x5A;
  WriteFileBytes(scratch + "flipped.exe", flipped);
  DWORD code = RunSfx(scratch + "flipped.exe");
  EXPECT_TRUE(code == ERROR_BAD_ARGUMENTS || code == ERROR_CRC) << code;

  std::string huge = good;
  uint32_t tooLong = ChunkBufferSize + 1;
  memcpy(&huge[frame + 4], &tooLong, 4);
  WriteFileBytes(scratch + "huge.exe", huge);
  RemoveTree(out);
  EXPECT_EQ(RunSfx(scratch + "huge.exe"), DWORD(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_TRUE(FolderIsEmptyOrMissing(out));

  // Unsafe names, and a file without its folder entry, are refused before anything is written.
  SfxOptions options = DefaultOptions();
  options.ExtractionFolder = 5;
  strcpy(options.CustomFolder, out.c_str());
  options.SilentMode = 1;
  options.OverwriteMode = 1;
  for (const char* name :
       {"..\\escaped.txt", "sub\\..\\..\\escaped.txt", "C:\\escaped.txt", "x:stream", "NUL", "what?.txt", "a|b",
        "sub\\f.txt", "x.", "x "}) {
    std::string evil = WriteSfx(scratch + "evil.exe", options, {File("fine.txt", "fine"), File(name, "evil")});
    EXPECT_EQ(RunSfx(evil), DWORD(ERROR_INVALID_DATA)) << name;
    EXPECT_TRUE(FolderIsEmptyOrMissing(out)) << name;
    EXPECT_FALSE(FileExists(scratch + "escaped.txt")) << name;
  }
}

std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

// While the question about sub\\keep.txt waits, sub is swapped for a link: by a Windows
// program, which the held folder refuses, or from the host, which nothing can refuse. After
// Yes nothing goes through the link. (Wine renames and deletes an open file by the path it
// was opened at: in the folder the host moved the part can do neither, and the run fails.)
TEST(Overwrite, AFolderSwappedWhileTheQuestionWaitsIsNeverWrittenThrough) {
  std::string scratch = MakeScratchDir("sfx-swapped");
  std::string elsewhere = scratch + "elsewhere\\";
  CreateDirectoryA(elsewhere.c_str(), nullptr);
  for (bool fromHost : {false, true}) {
    std::string out = scratch + (fromHost ? "host\\" : "windows\\");
    CreateDirectoryA(out.c_str(), nullptr);
    CreateDirectoryA((out + "sub").c_str(), nullptr);
    WriteFileBytes(out + "sub\\keep.txt", "old");
    SfxOptions options = DefaultOptions();
    options.ExtractionFolder = 5;
    strcpy(options.CustomFolder, out.c_str());
    options.SilentMode = 1;
    std::string sfx = WriteSfx(scratch + "swapped.exe", options,
                               {sfxtest::Folder("sub"), File("sub\\keep.txt", "new"), File("sub\\evil.txt", "evil")});
    ChildProcess child(Quoted(sfx));
    HWND box = driver::WaitForWindow("#32770", "", 20000, child.Id());
    ASSERT_NE(box, nullptr) << fromHost;
    bool moved = fromHost ? MoveOnHost(out + "sub", out + "moved")
                          : MoveFileA((out + "sub").c_str(), (out + "moved").c_str()) != 0;
    EXPECT_EQ(moved, fromHost) << "the folder is held while the question waits";
    ASSERT_TRUE(!moved || MakeHostLink(out + "sub", elsewhere)) << fromHost;
    driver::PressButton(box, "Yes");
    ASSERT_TRUE(child.Wait(20000)) << fromHost;
    EXPECT_TRUE(Listing(elsewhere).empty()) << fromHost << ": written through the link";
    if (fromHost) {
      std::printf("the folder moved from the host: the run ended with %lu\n", child.ExitCode());
      EXPECT_NE(ReadFileBytes(out + "moved\\keep.txt"), "") << "the user's file is never lost";
    } else {
      EXPECT_EQ(child.ExitCode(), 0u);
      EXPECT_EQ(ReadFileBytes(out + "sub\\keep.txt"), "new");
      EXPECT_EQ(ReadFileBytes(out + "sub\\evil.txt"), "evil");
    }
  }
}

// Runs the SFX file, paused once `first`, the file of its first and large entry, appears,
// and plants a host link at `link` meanwhile. 0xFFFFFFFF when the pause came too late.
DWORD RunPlanting(const std::string& sfx, const std::string& first, const std::string& link, const std::string& target) {
  typedef LONG(NTAPI * ProcessFunction)(HANDLE);
  auto call = [](const char* name) {
    return reinterpret_cast<ProcessFunction>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), name)));
  };
  ProcessFunction suspend = call("NtSuspendProcess"), resume = call("NtResumeProcess");
  ChildProcess child(Quoted(sfx));
  HANDLE process = OpenProcess(PROCESS_SUSPEND_RESUME, FALSE, child.Id());
  bool planted = driver::WaitUntil([&] { return FileExists(first); }, 20000) && suspend(process) >= 0 &&
                 Attributes(link) == INVALID_FILE_ATTRIBUTES && MakeHostLink(link, target);
  resume(process);
  CloseHandle(process);
  if (!child.Wait(60000)) child.Kill();
  return planted ? child.ExitCode() : 0xFFFFFFFF;
}

// A user's folder holds a.txt; each archive fails on one entry. Whatever the failure, the
// user's file keeps its content, no file is left cut short or under a temporary name,
// files verified before the failure stay, and nothing goes through a link, whether it was
// there before the run or planted while the run writes a large first entry.
TEST(DamagedFiles, AFailedEntryLeavesTheUsersFilesAsTheyWere) {
  std::string scratch = MakeScratchDir("sfx-failed-entry");
  std::string elsewhere = scratch + "elsewhere\\";
  CreateDirectoryA(elsewhere.c_str(), nullptr);
  WriteFileBytes(elsewhere + "ro.txt", "outside");
  SetFileAttributesA((elsewhere + "ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  std::string noise;
  for (int i = 0; i < 20000; ++i) noise += std::to_string(i * 7919 % 10007) + ",";
  const std::string big(6 * ChunkSize, 'b');
  auto flipChecksum = [](std::string& bytes) { bytes[bytes.size() - 17 - 1] ^= 1; };
  auto flipContent = [](std::string& bytes) { bytes[bytes.size() - 17 - 4 - 3000] ^= 0x5A; };
  const std::string toFolder = elsewhere, toFile = elsewhere + "ro.txt";
  const struct {
    const char* what;
    std::vector<Entry> entries;
    void (*damage)(std::string&);
    DWORD code;
    std::vector<std::string> left;
    const std::string* link = nullptr;  // what out\link leads to
    bool fresh = false;                 // the run creates the folder: no user's file in it
    bool planted = false;               // the link is made while big.bin is written
  } cases[] = {
      {"a bad checksum", {File("done.txt", "done"), File("a.txt", "replaced")}, flipChecksum, ERROR_CRC,
       {"a.txt", "done.txt"}},
      {"a damaged chunk", {File("done.txt", "done"), File("a.txt", noise)}, flipContent, ERROR_BAD_ARGUMENTS,
       {"a.txt", "done.txt"}},
      {"a new file's damaged chunk", {File("new.txt", noise)}, flipContent, ERROR_BAD_ARGUMENTS, {"a.txt"}},
      {"a damaged chunk in a new folder", {File("done.txt", "done"), File("new.txt", noise)}, flipContent,
       ERROR_BAD_ARGUMENTS, {"done.txt"}, nullptr, true},
      {"a folder where a file is", {sfxtest::Folder("a.txt")}, nullptr, ERROR_ALREADY_EXISTS, {"a.txt"}},
      {"a folder where an earlier entry put a file", {File("x", "1"), sfxtest::Folder("x"), File("x\\y", "2")}, nullptr,
       ERROR_ALREADY_EXISTS, {"a.txt", "x"}},
      {"a folder entry on a link", {sfxtest::Folder("link"), File("link\\f.txt", "f")}, nullptr, ERROR_CANT_ACCESS_FILE,
       {"a.txt", "link"}, &toFolder},
      {"a file below a link", {File("link\\f.txt", "f")}, nullptr, ERROR_INVALID_DATA, {"a.txt", "link"},
       &toFolder},
      {"a folder below a link", {sfxtest::Folder("link\\made")}, nullptr, ERROR_INVALID_DATA, {"a.txt", "link"},
       &toFolder},
      {"a file whose name is a link to a read-only file", {File("link", "new")}, nullptr, ERROR_CANT_ACCESS_FILE,
       {"a.txt", "link"}, &toFile},
      {"a link planted in a new folder", {File("big.bin", big), sfxtest::Folder("link"), File("link\\f.txt", "f")},
       nullptr, ERROR_CANT_ACCESS_FILE, {"big.bin", "link"}, &toFolder, true, true},
      {"a link planted at a new file's name", {File("big.bin", big), File("link", "new")}, nullptr,
       ERROR_CANT_ACCESS_FILE, {"big.bin", "link"}, &toFile, true, true},
  };
  int number = 0;
  for (const auto& c : cases) {
    std::string out = scratch + "out" + std::to_string(++number) + "\\";
    if (!c.fresh) {
      CreateDirectoryA(out.c_str(), nullptr);
      WriteFileBytes(out + "a.txt", "good");
    }
    if (c.link && !c.planted) {
      ASSERT_TRUE(MakeHostLink(out + "link", *c.link)) << c.what;
    }
    SfxOptions options = DefaultOptions();
    options.ExtractionFolder = 5;
    strcpy(options.CustomFolder, out.c_str());
    options.SilentMode = 1;
    options.OverwriteMode = 1;
    std::string bytes = MakeArchive(options, c.entries);
    if (c.damage) c.damage(bytes);
    std::string sfx = scratch + "failed" + std::to_string(number) + ".exe";
    WriteFileBytes(sfx, ReadFileBytes(BinDir() + "sfxhead.exe") + bytes);
    DWORD code = c.planted ? RunPlanting(sfx, out + "big.bin", out + "link", *c.link) : RunSfx(sfx);
    EXPECT_TRUE(code == c.code || (c.damage == flipContent && code == ERROR_CRC)) << c.what << ": " << code;
    if (!c.fresh) {
      EXPECT_EQ(ReadFileBytes(out + "a.txt"), "good") << c.what;
    }
    EXPECT_EQ(Listing(out), c.left) << c.what;
    if (std::find(c.left.begin(), c.left.end(), "done.txt") != c.left.end()) {
      EXPECT_EQ(ReadFileBytes(out + "done.txt"), "done") << c.what;
    }
    EXPECT_EQ(Listing(elsewhere), std::vector<std::string>{"ro.txt"}) << c.what << ": written through the link";
    EXPECT_EQ(ReadFileBytes(elsewhere + "ro.txt"), "outside") << c.what;
    EXPECT_TRUE(Attributes(elsewhere + "ro.txt") & FILE_ATTRIBUTE_READONLY) << c.what << ": changed through the link";
  }
}

// The strong layout through the real head: a copy comes out whole although its original
// is kept in skip mode, a UTF-8 name under its ANSI name, and a damaged block never
// replaces the user's file.
TEST(DamagedFiles, StrongLayoutCopiesAndDamage) {
  std::string scratch = MakeScratchDir("sfx-strong"), out = scratch + "out\\", sfx = scratch + "strong.exe";
  CreateDirectoryA(out.c_str(), nullptr);
  WriteFileBytes(out + "a.txt", "mine");
  SfxOptions options = DefaultOptions();
  options.ExtractionFolder = 5;
  strcpy(options.CustomFolder, out.c_str());
  options.SilentMode = 1;
  Entry copy = File("sub\\copy.txt", kBig);
  copy.copyOf = 1;
  for (uint8_t mode : {2, 1}) {
    options.OverwriteMode = mode;
    std::string bytes =
        MakeStrongArchive(options, {File("a.txt", kBig), sfxtest::Folder("sub"), copy, File("sub\\caf\xC3\xA9", "b")});
    if (mode == 1) bytes[bytes.size() - 3] ^= 0x55;  // in the last block, a.txt's end
    WriteFileBytes(sfx, ReadFileBytes(BinDir() + "sfxhead.exe") + bytes);
    DWORD code = RunSfx(sfx);
    EXPECT_EQ(ReadFileBytes(out + "a.txt"), "mine") << int(mode);
    if (mode == 2) {
      EXPECT_EQ(code, 0u);
      EXPECT_TRUE(ReadFileBytes(out + "sub\\copy.txt") == kBig);
      EXPECT_EQ(ReadFileBytes(out + "sub\\caf\xE9"), "b") << "in code page " << GetACP();
    } else {
      EXPECT_TRUE(code == ERROR_BAD_ARGUMENTS || code == ERROR_CRC) << code;
    }
  }
}

std::wstring Wide(const std::string& utf8) {
  std::wstring wide(utf8.size(), L'\0');
  wide.resize(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], wide.size()));
  return wide;
}

// Names in any script, a folder 302 characters deep and a name of 255 UTF-16 units come
// out byte for byte under exactly their names, in a custom folder outside the code page;
// the launch target so named starts, with parameters outside the code page too.
TEST(FolderChoices, UnicodeNamesOfAnyLength) {
  std::string scratch = MakeScratchDir("sfx-unicode"), sfx = scratch + "unicode.exe", report = scratch + "report.txt";
  const std::string folder = scratch + "\xD0\x9F\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0 \xE6\x97\xA5\xE6\x9C\xAC\\";
  const std::string parameters = "/n \xF0\x9F\x98\x80 \"\xD0\x96\"";
  SfxOptions options = DefaultOptions();
  options.ExtractionMode = 1;
  options.ExtractionFolder = 5;
  options.DeleteMode = 2;
  options.SilentMode = 1;
  ProbeEnvironment reportEnv("ORVEX_PROBE_REPORT", report), wide("ORVEX_PROBE_WIDE", "1"), exitCode("ORVEX_PROBE_EXIT", "7");
  const std::vector<Entry> entries = UnicodeTree(ReadFileBytes(BinDir() + "sfxprobe.exe"));
  WriteFileBytes(sfx, ReadFileBytes(BinDir() + "sfxhead.exe") + MakeStrongArchive(options, entries, folder, parameters));
  EXPECT_EQ(RunSfx(sfx), 7u);
  for (const Entry& e : entries) {
    std::wstring path = L"\\\\?\\" + Wide(folder + e.name);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(path.c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE) << e.name;
    FindClose(search);
    EXPECT_TRUE(found.cFileName == path.substr(path.rfind(L'\\') + 1)) << e.name;
    if (e.attributes & AttributeDirectory) continue;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    std::string content(e.content.size() + 1, '\0');
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(file, &content[0], static_cast<DWORD>(content.size()), &got, nullptr) && CloseHandle(file) &&
                content.substr(0, got) == e.content) << e.name;
  }
  EXPECT_NE(ReadFileBytes(report).find("\\\xE2\x96\xB6 \xE8\xB5\xB7\xE5\x8B\x95 \xF0\x9F\x9A\x80.exe\" " + parameters), std::string::npos)
      << ReadFileBytes(report);
}

// The fixture maps R: to a 1 MiB file system; 2 MiB of content cannot fit, whether the
// folder is on R: or below a folder of C: that leads to that file system; the message
// names the volume.
TEST(DamagedFiles, NotEnoughFreeSpace) {
  ASSERT_NE(GetDriveTypeA("R:\\"), UINT(DRIVE_NO_ROOT_DIR)) << "the small drive R: is missing";
  std::string scratch = MakeScratchDir("sfx-diskfull");
  std::string noise(2 * 1024 * 1024, '\0');
  uint32_t seed = 7;
  for (char& c : noise) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
  std::string source = MakeSource(scratch, {{"noise.bin", noise}});
  ASSERT_TRUE(MakeHostLink(scratch + "mounted", "R:\\"));
  const struct { std::string volume, folder; } cases[] = {{"R:\\", "R:\\out\\"}, {scratch + "mounted\\", scratch + "mounted\\out\\"}};
  char separator[8] = ".";
  GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, sizeof separator);
  std::string s(1, separator[0]);
  for (const auto& c : cases) {
    std::string sfx = BuildSfx(scratch + "full.exe", "-me -fm -oo", source, "", c.folder);
    ASSERT_FALSE(sfx.empty());
    RemoveTree(c.folder);
    BoxRun run = RunSfxAnswering(sfx, "OK", "sfx-disk-full");
    EXPECT_EQ(run.exitCode, DWORD(ERROR_DISK_FULL)) << c.folder;
    EXPECT_EQ(run.text, c.volume + "   [1" + s + "00 MB < 2" + s + "00 MB]\r\n\r\n" + SystemText(ERROR_DISK_FULL));
    EXPECT_FALSE(FolderExists(c.folder)) << "nothing is created before the check";
  }
}

TEST(DamagedFiles, ErrorMessagesNameTheSubject) {
  std::string scratch = MakeScratchDir("sfx-messages");
  std::string bare = scratch + "bare head.exe";
  CopyFileA((BinDir() + "sfxhead.exe").c_str(), bare.c_str(), FALSE);
  BoxRun run = RunSfxAnswering(bare, "OK", "sfx-error-38");
  ASSERT_TRUE(run.boxSeen);
  EXPECT_EQ(run.exitCode, DWORD(ERROR_HANDLE_EOF));
  EXPECT_EQ(run.text, bare + "\r\n\r\n" + SystemText(ERROR_HANDLE_EOF));
  EXPECT_EQ(run.buttons, std::vector<std::string>{"OK"});
}

}  // namespace
