#include "buildertest.h"

#include <cstdio>
#include <memory>

#include <gtest/gtest.h>

#include "testsupport.h"

using namespace testing_support;

std::string OrvexPath() { return BinDir() + "orvex.exe"; }

std::string Arg(const std::string& path) {
  return '"' + path + (!path.empty() && path.back() == '\\' ? "\\" : "") + '"';
}

OrvexRun RunOrvex(const std::string& arguments, const std::string& shotName, const std::vector<std::string>& answers,
                  const std::string& folder, const std::string& program) {
  OrvexRun run;
  std::string command = Quoted(program.empty() ? OrvexPath() : program) + " " + arguments;
  auto child = std::make_unique<ChildProcess>(command, folder, true);
  // Wine now and then fails to start a program: once more, after a moment.
  if (!child->Started()) {
    std::printf("orvex.exe did not start (%lu); started again: %s\n", GetLastError(), arguments.c_str());
    Sleep(500);
    child = std::make_unique<ChildProcess>(command, folder, true);
  }
  if (!child->Started()) {
    ADD_FAILURE() << "orvex.exe did not start";
    return run;
  }
  DWORD start = GetTickCount();
  while (!child->Wait(20)) {
    if (GetTickCount() - start > 120000) {
      ADD_FAILURE() << "orvex.exe did not end: " << arguments;
      child->Kill();
      return run;
    }
    HWND box = driver::WaitForWindow("#32770", "", 100, child->Id());
    if (!box) continue;
    driver::WaitForSettled(box);  // painted before the screenshot
    run.boxes.push_back(driver::ReadMessageBox(box));
    driver::SaveScreenshot(box, ScreenshotDir() + shotName + "-" + std::to_string(run.boxes.size()) + ".png");
    size_t index = run.boxes.size() - 1;
    driver::PressButton(box, index < answers.size() ? answers[index] : "OK");
    driver::WaitForWindowGone(box, 5000);
  }
  run.exitCode = child->ExitCode();
  run.output = child->Output();
  run.errors = child->Errors();
  return run;
}

SfxArchive ReadSfxFile(const std::string& path) {
  SfxArchive archive;
  std::string error = ReadSfx(ReadFileBytes(path), archive);
  EXPECT_EQ(error, "") << path;
  return archive;
}

