#include "testsupport.h"

#include <cstdio>
#include <vector>

namespace testing_support {

std::string BinDir() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  return folder.substr(0, folder.find_last_of('\\') + 1);
}

std::string ScreenshotDir() {
  std::string folder = BinDir() + "..\\screenshots\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

void RemoveTree(const std::string& path) {
  std::string folder = path.back() == '\\' ? path : path + '\\';
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string full = folder + name;
      SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
          !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        RemoveTree(full);
      else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveDirectoryA(full.c_str());
      else
        DeleteFileA(full.c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryA(folder.c_str());
}

std::string MakeScratchDir(const std::string& name) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  std::string folder = std::string(temp) + "orvex-tests\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  folder += name + "\\";
  RemoveTree(folder);
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return;
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

std::string ReadFileBytes(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return std::string();
  std::string bytes;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
  std::fclose(file);
  return bytes;
}

bool FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {

std::string ReadToEnd(HANDLE pipe) {
  std::string bytes;
  char buffer[4096];
  DWORD n = 0;
  while (pipe && ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) bytes.append(buffer, n);
  return bytes;
}

// Starts a process. Wine fails a start with ERROR_INTERNAL_ERROR when the new process died
// inside Wine's own set-up, before it reported to the Wine server and so before the
// program's first instruction. Long runs see it now and then; nothing of the program ran, so it is
// started again (twice at most), and the log says so.
BOOL StartProcess(const std::string& commandLine, BOOL inherit, const std::string& folder, STARTUPINFOA& startup,
                  PROCESS_INFORMATION& info) {
  for (int attempt = 1;; ++attempt) {
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, inherit, 0, nullptr,
                       folder.empty() ? nullptr : folder.c_str(), &startup, &info))
      return TRUE;
    if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == 3) return FALSE;
    std::fprintf(stderr, "Wine's start of %s failed before the program ran; starting it again\n",
                 commandLine.c_str());
  }
}

}  // namespace

ChildProcess::ChildProcess(const std::string& commandLine, const std::string& folder, bool capture) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  HANDLE outputEnd = nullptr, errorsEnd = nullptr;
  if (capture) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    CreatePipe(&output_, &outputEnd, &inherit, 1 << 20);
    CreatePipe(&errors_, &errorsEnd, &inherit, 1 << 20);
    SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errors_, HANDLE_FLAG_INHERIT, 0);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = outputEnd;
    startup.hStdError = errorsEnd;
  }
  PROCESS_INFORMATION info{};
  if (StartProcess(commandLine, capture, folder, startup, info)) {
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    id_ = info.dwProcessId;
  }
  // Only the child's copies stay open, so reading ends when the child does.
  if (outputEnd) CloseHandle(outputEnd);
  if (errorsEnd) CloseHandle(errorsEnd);
}

ChildProcess::~ChildProcess() {
  if (process_) CloseHandle(process_);
  if (output_) CloseHandle(output_);
  if (errors_) CloseHandle(errors_);
}

std::string ChildProcess::Output() const { return ReadToEnd(output_); }

std::string ChildProcess::Errors() const { return ReadToEnd(errors_); }

bool ChildProcess::Wait(DWORD timeoutMs) {
  return process_ && WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0;
}

DWORD ChildProcess::ExitCode() const {
  DWORD code = 0xFFFFFFFF;
  if (process_) GetExitCodeProcess(process_, &code);
  return code;
}

void ChildProcess::Kill() {
  if (process_) {
    TerminateProcess(process_, 0xDEAD);
    WaitForSingleObject(process_, 5000);
  }
}

DWORD RunToEnd(const std::string& commandLine, DWORD timeoutMs, const std::string& folder) {
  ChildProcess child(commandLine, folder);
  if (!child.Started()) return 0xFFFFFFFF;
  if (!child.Wait(timeoutMs)) {
    child.Kill();
    return 0xFFFFFFFF;
  }
  return child.ExitCode();
}

DWORD RunCapture(const std::string& commandLine, std::string& output, DWORD timeoutMs) {
  output.clear();
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return 0xFFFFFFFF;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION info{};
  BOOL started = StartProcess(commandLine, TRUE, std::string(), startup, info);
  CloseHandle(writeEnd);
  if (!started) {
    CloseHandle(readEnd);
    return 0xFFFFFFFF;
  }
  char buffer[4096];
  DWORD n = 0;
  while (ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0) output.append(buffer, n);
  CloseHandle(readEnd);
  DWORD code = 0xFFFFFFFF;
  if (WaitForSingleObject(info.hProcess, timeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hProcess);
  CloseHandle(info.hThread);
  return code;
}

std::string Quoted(const std::string& text) { return '"' + text + '"'; }

std::string HostPath(const std::string& path) {
  typedef char*(CDECL * UnixNameFunction)(const WCHAR*);
  auto unixName = reinterpret_cast<UnixNameFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  std::wstring wide(path.begin(), path.end());
  char* name = unixName ? unixName(wide.c_str()) : nullptr;
  std::string result = name ? name : "";
  if (name) HeapFree(GetProcessHeap(), 0, name);
  return result;
}

bool RunOnHost(std::vector<std::string> args) {
  typedef LONG(CDECL * SpawnFunction)(char* const*, int);
  auto spawn = reinterpret_cast<SpawnFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "__wine_unix_spawnvp")));
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  return spawn && spawn(argv.data(), 1) == 0;
}

bool MakeHostLink(const std::string& link, const std::string& target) {
  bool windowsPath = target.size() > 1 && (target[1] == ':' || target[0] == '\\');
  std::string from = HostPath(link), to = windowsPath ? HostPath(target) : target;
  if (from.empty() || to.empty()) return false;
  while (from.size() > 1 && from.back() == '/') from.pop_back();
  return RunOnHost({"/bin/ln", "-sfn", to, from}) && GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeHostFile(const std::string& folder, const std::wstring& name) {
  std::string folderOnHost = HostPath(folder), utf8(name.size() * 3, '\0');
  utf8.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, name.data(), static_cast<int>(name.size()),
                                                      &utf8[0], static_cast<int>(utf8.size()), nullptr, nullptr)));
  return !folderOnHost.empty() && RunOnHost({"/usr/bin/touch", folderOnHost + "/" + utf8});
}

bool MoveOnHost(const std::string& from, const std::string& to) {
  std::string source = HostPath(from), target = HostPath(to);
  while (target.size() > 1 && target.back() == '/') target.pop_back();
  return !source.empty() && !target.empty() && RunOnHost({"/bin/mv", "-T", source, target});
}

}  // namespace testing_support
