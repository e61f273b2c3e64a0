// The window and the texts inside real SFX runs: files written here with the built
// extractor as head, frozen at a chosen fraction by the overwrite prompt of a file that
// already exists, or stopped at the browse dialog.
#include <gtest/gtest.h>

#include <cstring>

#include "driver.h"
#include "sfxwindow_support.h"
#include "testsupport.h"
#include "u_shared.h"

using namespace testing_support;
using namespace sfxwindow;

namespace {

struct Entry {
  std::string name;
  std::string content;
};

void Put(std::string& out, const void* data, size_t length) {
  out.append(static_cast<const char*>(data), length);
}

// An SFX file with stored (uncompressed) entries that extracts into `folder`, or asks
// for the folder when `folder` is empty.
std::string WriteSfx(const std::string& path, const std::string& folder, bool silent, const std::vector<Entry>& entries) {
  std::string sfx = ReadFileBytes(BinDir() + "sfxhead.exe");
  uint32_t end = FindArchiveOffset(sfx.data(), sfx.size());
  EXPECT_GT(end, 0u);
  sfx.resize(end);
  SfxOptions options;
  std::memset(&options, 0, sizeof options);
  options.ExtractionFolder = folder.empty() ? 4 : 5;
  std::strncpy(options.CustomFolder, folder.c_str(), sizeof options.CustomFolder - 1);
  std::memcpy(options.InstanceId, "0012AB34CD", 10);
  options.SilentMode = silent;
  options.DeleteMode = 2;
  Put(sfx, &options, sizeof options);
  for (const Entry& e : entries) {
    EntryHeader header{};
    header.NameLength = static_cast<int32_t>(e.name.size());
    header.Size = static_cast<int32_t>(e.content.size());
    header.Time = 0x5A210000;  // 2025-01-01 00:00
    header.Attributes = 0x20;
    Put(sfx, &header, sizeof header);
    sfx += e.name + e.content;
    uint32_t sum = ByteSum(e.content.data(), e.content.size(), ByteSum(e.name.data(), e.name.size()));
    Put(sfx, &sum, sizeof sum);
  }
  sfx.append(sizeof(EntryHeader), '\0');
  WriteFileBytes(path, sfx);
  return path;
}

// An SFX run that stops at the overwrite prompt of `b.txt` after `doneBytes` of
// `doneBytes + restBytes` content bytes.
struct FrozenRun {
  std::string folder;
  std::unique_ptr<ChildProcess> process;
  HWND prompt = nullptr;

  FrozenRun(const std::string& name, int doneBytes, int restBytes, bool silent) {
    folder = MakeScratchDir("sfxwindow-" + name);
    WriteFileBytes(folder + "b.txt", "already here");
    std::string sfx = WriteSfx(folder + "..\\sfxwindow-" + name + ".exe", folder, silent,
                               {{"a.bin", std::string(doneBytes, 'a')}, {"b.txt", std::string(restBytes, 'b')}});
    process.reset(new ChildProcess(Quoted(sfx)));
    if (process->Started()) prompt = driver::WaitForWindow("#32770", "", 20000, process->Id());
  }
  ~FrozenRun() {
    process->Kill();
    process->Wait(5000);
  }
};

TEST(SfxRun, OverwritePromptFreezesTheWindowAtItsFraction) {
  struct Case {
    const char* name;
    int done, rest;
    int filledRight;
    const char* percent;
  } const cases[] = {
      {"run-0.4", 4, 996, 17, "0 %"},
      {"run-50", 500, 500, 160, "50 %"},
      {"run-99.6", 996, 4, 302, "100 %"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FrozenRun run(c.name, c.done, c.rest, false);
    ASSERT_TRUE(run.prompt) << "no overwrite prompt";
    HWND window = driver::WaitForWindow("ovsfxwindowclass", "", 5000, run.process->Id());
    ASSERT_TRUE(window);
    // The prompt stays on top in the middle of the screen: move it off the window.
    SetWindowPos(run.prompt, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    Sleep(500);
    SaveShot(window, c.name);
    Capture shot(window);
    EXPECT_TRUE(ShowsText(shot, 16, 12, Expected().title));
    EXPECT_EQ(FilledRight(shot), c.filledRight);
    int first, last, width = LargeTextWidth(c.percent);
    PercentInk(shot, c.filledRight, first, last);
    EXPECT_GE(first, 16 + (288 - width) / 2) << c.percent;
    EXPECT_LT(last, 16 + (288 - width) / 2 + width) << c.percent;
    EXPECT_GE(last - first + 1, width - 4) << c.percent;
  }
}

TEST(SfxRun, OverwritePromptAsksInTheSystemLanguage) {
  FrozenRun run("prompt", 10, 10, false);
  ASSERT_TRUE(run.prompt);
  driver::MessageBoxInfo box = driver::ReadMessageBox(run.prompt);
  SaveShot(run.prompt, "overwrite-prompt");
  const std::string& question = Expected().overwrite;
  ASSERT_GE(box.text.size(), question.size());
  EXPECT_EQ(box.text.substr(box.text.size() - question.size()), question) << box.text;
  EXPECT_NE(box.text.find(run.folder + "b.txt"), std::string::npos) << box.text;
  // Declined: the file that was there stays as it was.
  EXPECT_TRUE(driver::PressButtonId(run.prompt, IDNO));
  ASSERT_TRUE(run.process->Wait(20000));
  EXPECT_EQ(ReadFileBytes(run.folder + "b.txt"), "already here");
  EXPECT_EQ(ReadFileBytes(run.folder + "a.bin"), std::string(10, 'a'));
}

TEST(SfxRun, SilentRunShowsThePromptButNoWindow) {
  FrozenRun run("silent", 500, 500, true);
  ASSERT_TRUE(run.prompt) << "the overwrite prompt also appears in silent mode";
  EXPECT_EQ(FindWindowA("ovsfxwindowclass", nullptr), nullptr);
  EXPECT_EQ(driver::WaitForWindow("ovsfxwindowclass", "", 1000, run.process->Id()), nullptr);
  EXPECT_TRUE(driver::PressButtonId(run.prompt, IDYES));
  ASSERT_TRUE(run.process->Wait(20000));
  EXPECT_EQ(run.process->ExitCode(), 0u);
  EXPECT_EQ(ReadFileBytes(run.folder + "b.txt"), std::string(500, 'b'));
}

TEST(SfxRun, BrowseDialogIsTitledInTheSystemLanguage) {
  std::string folder = MakeScratchDir("sfxwindow-browse");
  std::string sfx = WriteSfx(folder + "browse.exe", "", false, {{"a.txt", "a"}});
  ChildProcess process(Quoted(sfx));
  ASSERT_TRUE(process.Started());
  HWND dialog = driver::WaitForWindow("#32770", "", 20000, process.Id());
  ASSERT_TRUE(dialog);
  Sleep(500);
  SaveShot(dialog, "browse-dialog");
  bool titled = false;
  for (const driver::Control& control : driver::Controls(dialog)) titled = titled || control.text == Expected().extractTo;
  EXPECT_TRUE(titled) << "no control reads " << Expected().extractTo;
  // Its owner is the progress window.
  HWND owner = GetWindow(dialog, GW_OWNER);
  EXPECT_EQ(driver::ClassNameOf(owner), "ovsfxwindowclass");
  EXPECT_TRUE(driver::PressButtonId(dialog, IDCANCEL));
  EXPECT_TRUE(process.Wait(20000));
  process.Kill();
}

}  // namespace
