#include "sfxrun.h"

#include <cstdio>

#include <shlobj.h>

#include "archiverun.h"
#include "driver.h"

using namespace testing_support;

namespace sfxtest {

std::string MakeSource(const std::string& scratch, const std::vector<std::pair<std::string, std::string>>& files) {
  std::string source = scratch + "source\\";
  RemoveTree(source);
  CreateDirectoryA(source.c_str(), nullptr);
  for (const auto& [path, content] : files) {
    if (!path.empty() && path.back() == '\\')
      CreateDirectoryA((source + path).c_str(), nullptr);
    else
      WriteFileBytes(source + path, content);
  }
  return source;
}

namespace {

// The builder reads its command line by the C runtime's rules: backslashes before a
// quote are halved, so a path ending in a backslash gets it doubled.
std::string QuotedArgument(const std::string& text) {
  size_t trailing = 0;
  while (trailing < text.size() && text[text.size() - 1 - trailing] == '\\') ++trailing;
  return '"' + text + std::string(trailing, '\\') + '"';
}

}  // namespace

std::string BuildSfx(const std::string& target, const std::string& switches, const std::string& source,
                     const std::string& executable, const std::string& custom, const std::string& parameters) {
  std::string line = Quoted(BinDir() + "orvex.exe") + " -h -c -o " + switches + " " + QuotedArgument(source) + " " +
                     QuotedArgument(target);
  for (const std::string* p : {&executable, &custom, &parameters})
    if (!p->empty()) line += " " + QuotedArgument(*p);
  DeleteFileA(target.c_str());
  DWORD code = RunToEnd(line, 60000);
  if (code == 0 && FileExists(target)) return target;
  std::printf("build failed with %lu: %s\n", code, line.c_str());
  return std::string();
}

std::string WriteSfx(const std::string& target, const SfxOptions& options, const std::vector<Entry>& entries) {
  WriteFileBytes(target, ReadFileBytes(BinDir() + "sfxhead.exe") + MakeArchive(options, entries));
  return target;
}

SfxOptions ReadOptions(const std::string& sfx, size_t* offset) {
  SfxOptions options{};
  uint64_t at = 0;
  ReadOptionsRecord(ReadFileBytes(sfx), options, &at);
  if (offset) *offset = static_cast<size_t>(at);
  return options;
}

std::string TempFolder() {
  char path[MAX_PATH];
  GetTempPathA(MAX_PATH, path);
  return path;
}

std::string TempExtractionFolder(const std::string& sfx) {
  return TempFolder() + "~sfx" + std::string(ReadOptions(sfx).InstanceId) + "\\";
}

std::string SpecialFolder(int csidl) {
  char path[MAX_PATH] = "";
  SHGetFolderPathA(nullptr, csidl, nullptr, 0, path);
  return std::string(path) + "\\";
}

std::string SystemText(DWORD code) {
  char text[256] = "";
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                           sizeof text, nullptr);
  std::string s(text, n);
  while (!s.empty() && (static_cast<unsigned char>(s.back()) <= ' ' || s.back() == '.')) s.pop_back();
  return s;
}

DWORD RunSfx(const std::string& sfx, const std::string& arguments, const std::string& folder) {
  return RunToEnd(Quoted(sfx) + arguments, 60000, folder);
}

DWORD RunSfxLimited(const std::string& sfx) {
  HANDLE token;
  TOKEN_LINKED_TOKEN linked{};
  DWORD size, code = 0xFFFFFFFF;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
  GetTokenInformation(token, TokenLinkedToken, &linked, sizeof linked, &size);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::string line = Quoted(sfx);
  CreateProcessAsUserA(linked.LinkedToken, 0, &line[0], 0, 0, FALSE, 0, 0, 0, &startup, &info);
  WaitForSingleObject(info.hProcess, 60000);
  GetExitCodeProcess(info.hProcess, &code);
  return code;  // the handles go with the test process
}

BoxRun RunSfxAnswering(const std::string& sfx, const std::string& button, const std::string& shotName,
                       const std::string& folder, int boxes) {
  BoxRun run;
  ChildProcess child(Quoted(sfx), folder);
  if (!child.Started()) return run;
  for (int i = 0; i < boxes; ++i) {
    HWND box = driver::WaitForWindow("#32770", "", 20000, child.Id());
    if (!box) break;
    driver::WaitForSettled(box);
    driver::MessageBoxInfo info = driver::ReadMessageBox(box);
    run.boxSeen = true;
    run.text = info.text;
    run.buttons = info.buttons;
    driver::SaveScreenshot(box, ScreenshotDir() + shotName + (i ? std::to_string(i) : "") + ".png");
    driver::PressButton(box, button);
    driver::WaitForWindowGone(box, 5000);
  }
  if (!child.Wait(60000)) child.Kill();
  run.exitCode = child.ExitCode();
  return run;
}

DWORD Attributes(const std::string& path) { return GetFileAttributesA(path.c_str()); }

uint32_t DosTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  FILETIME local;
  WORD date = 0, time = 0;
  FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
  FileTimeToDosDateTime(&local, &date, &time);
  return static_cast<uint32_t>(date) << 16 | time;
}

void SetDosTime(const std::string& path, uint32_t dosTime) {
  FILETIME local, utc;
  DosDateTimeToFileTime(HIWORD(dosTime), LOWORD(dosTime), &local);
  LocalFileTimeToFileTime(&local, &utc);
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  SetFileTime(file, nullptr, nullptr, &utc);
  CloseHandle(file);
}

ProbeEnvironment::ProbeEnvironment(const std::string& name, const std::string& value) : name_(name) {
  SetEnvironmentVariableA(name.c_str(), value.c_str());
}

ProbeEnvironment::~ProbeEnvironment() { SetEnvironmentVariableA(name_.c_str(), nullptr); }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

}  // namespace sfxtest
