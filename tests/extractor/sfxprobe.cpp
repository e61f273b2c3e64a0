// The program the tests' SFX files launch. Driven by environment variables, which pass
// through the SFX process: ORVEX_PROBE_REPORT (file to write the raw command line, the
// working directory and each argument as the C runtime splits it, one per line),
// ORVEX_PROBE_HOLD (wait until this file exists), ORVEX_PROBE_MAKE (create folders
// beside the probe: made\empty and made\full with a file), ORVEX_PROBE_EXIT (exit code),
// ORVEX_PROBE_CHILD (start a copy that holds this file of the working folder for 2 s),
// ORVEX_PROBE_WIDE (the report's command line is the wide one, in UTF-8).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  int argc = __argc;
  char** argv = __argv;
  char value[MAX_PATH];
  if (GetEnvironmentVariableA("ORVEX_PROBE_CHILD", value, MAX_PATH)) {
    if (std::string(argv[argc - 1]) == "--child")
      return CreateFileA(value, GENERIC_READ, 7, 0, OPEN_EXISTING, 0, 0) ? SleepEx(2000, FALSE) : 1;
    WinExec((std::string(GetCommandLineA()) + " --child").c_str(), SW_HIDE);
  }
  if (GetEnvironmentVariableA("ORVEX_PROBE_REPORT", value, MAX_PATH)) {
    std::string report = std::string(GetCommandLineA()) + "\n";
    char wide[4096] = "";
    if (GetEnvironmentVariableA("ORVEX_PROBE_WIDE", wide, sizeof wide) &&
        WideCharToMultiByte(CP_UTF8, 0, GetCommandLineW(), -1, wide, sizeof wide, nullptr, nullptr))
      report = std::string(wide) + "\n";
    char cwd[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, cwd);
    report += std::string(cwd) + "\n";
    for (int i = 1; i < argc; ++i) report += std::string("[") + argv[i] + "]\n";
    std::string temp = std::string(value) + ".part";
    if (FILE* f = std::fopen(temp.c_str(), "wb")) {
      std::fwrite(report.data(), 1, report.size(), f);
      std::fclose(f);
      MoveFileExA(temp.c_str(), value, MOVEFILE_REPLACE_EXISTING);
    }
  }
  if (GetEnvironmentVariableA("ORVEX_PROBE_MAKE", value, MAX_PATH)) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string folder(self);
    folder = folder.substr(0, folder.find_last_of('\\') + 1) + "made";
    CreateDirectoryA(folder.c_str(), nullptr);
    CreateDirectoryA((folder + "\\empty").c_str(), nullptr);
    CreateDirectoryA((folder + "\\full").c_str(), nullptr);
    if (FILE* f = std::fopen((folder + "\\full\\left.txt").c_str(), "wb")) std::fclose(f);
  }
  if (GetEnvironmentVariableA("ORVEX_PROBE_HOLD", value, MAX_PATH)) {
    for (int i = 0; i < 1200 && GetFileAttributesA(value) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(50);
  }
  if (GetEnvironmentVariableA("ORVEX_PROBE_EXIT", value, MAX_PATH)) return std::atoi(value);
  return 0;
}
