// Helpers of the Windows tests: paths of the built programs, scratch folders, files and
// child processes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

// The folder of the running test program, where every built program lies; ends with "\".
std::string BinDir();
// The folder for screenshots of the windows the tests open (created on demand).
std::string ScreenshotDir();
// A fresh, empty folder for one test; ends with "\".
std::string MakeScratchDir(const std::string& name);
void RemoveTree(const std::string& path);

void WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);

// A started child process; the handle is closed when the object goes.
class ChildProcess {
 public:
  // Starts `commandLine` with `folder` as working directory (empty: the current one).
  // With `capture` its standard output and error go to pipes large enough that the child
  // never waits for them to be read.
  explicit ChildProcess(const std::string& commandLine, const std::string& folder = std::string(),
                        bool capture = false);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return process_ != nullptr; }
  DWORD Id() const { return id_; }
  // Waits for the end; false after `timeoutMs`.
  bool Wait(DWORD timeoutMs);
  DWORD ExitCode() const;
  void Kill();
  // What a capturing child wrote there, read to its end: call after the child has ended.
  std::string Output() const;
  std::string Errors() const;

 private:
  HANDLE process_ = nullptr;
  HANDLE output_ = nullptr, errors_ = nullptr;
  DWORD id_ = 0;
};

// Runs a command to its end and gives its exit code; 0xFFFFFFFF when it cannot start or
// does not end within `timeoutMs` (it is then killed).
DWORD RunToEnd(const std::string& commandLine, DWORD timeoutMs = 60000,
               const std::string& folder = std::string());

// Runs a command to its end and gives its exit code, with its standard output in `output`.
DWORD RunCapture(const std::string& commandLine, std::string& output, DWORD timeoutMs = 60000);

std::string Quoted(const std::string& text);

// The host's path of a Windows path inside the prefix; empty outside Wine.
std::string HostPath(const std::string& path);
// Makes `link` a host symbolic link to `target` (a Windows path, or a host path such as
// "." or "../x" relative to the link's folder), as a user of the host could: Wine follows
// such a link, and shows one to a folder as a reparse point. False when the host cannot
// be reached from here or the link does not show.
bool MakeHostLink(const std::string& link, const std::string& target);
// An empty file `name` in `folder`, made from the host as another system could (any name).
bool MakeHostFile(const std::string& folder, const std::wstring& name);
// Runs a host program (`args`, its path first) to its end; true when it ends with 0.
bool RunOnHost(std::vector<std::string> args);
// Renames on the host, as a program of the host could, whatever Windows handles are open.
bool MoveOnHost(const std::string& from, const std::string& to);

}  // namespace testing_support
