#include "buildertest.h"

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
  ChildProcess child(Quoted(program.empty() ? OrvexPath() : program) + " " + arguments, folder);
  if (!child.Started()) {
    ADD_FAILURE() << "orvex.exe did not start";
    return run;
  }
  DWORD start = GetTickCount();
  while (!child.Wait(20)) {
    if (GetTickCount() - start > 120000) {
      ADD_FAILURE() << "orvex.exe did not end: " << arguments;
      child.Kill();
      return run;
    }
    HWND box = driver::WaitForWindow("#32770", "", 100, child.Id());
    if (!box) continue;
    Sleep(150);  // let it paint before the screenshot
    run.boxes.push_back(driver::ReadMessageBox(box));
    driver::SaveScreenshot(box, ScreenshotDir() + shotName + "-" + std::to_string(run.boxes.size()) + ".png");
    size_t index = run.boxes.size() - 1;
    driver::PressButton(box, index < answers.size() ? answers[index] : "OK");
    driver::WaitForWindowGone(box, 5000);
  }
  run.exitCode = child.ExitCode();
  return run;
}

SfxArchive ReadSfxFile(const std::string& path) {
  SfxArchive archive;
  std::string error = ReadSfx(ReadFileBytes(path), archive);
  EXPECT_EQ(error, "") << path;
  return archive;
}

bool HostLink(const std::string& target, const std::string& link) {
  // Wine's own export: the host's name of a Windows path, on the process heap.
  using UnixName = char*(CDECL*)(LPCWSTR);
  auto unixName = reinterpret_cast<UnixName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
  if (!unixName) return false;
  std::wstring wide(link.begin(), link.end());
  char* hostLink = unixName(wide.c_str());
  if (!hostLink) return false;
  // Wine starts a host program named by its Windows path, and does not wait for its end.
  RunToEnd("Z:\\bin\\ln -s " + Quoted(target) + " " + Quoted(hostLink));
  HeapFree(GetProcessHeap(), 0, hostLink);
  for (int attempt = 0; attempt < 100; ++attempt, Sleep(50))
    if (GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  return false;
}
