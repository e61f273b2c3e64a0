// Extraction throughput: a real SFX file of the benchmark folder, run under Wine, against
// the same chunks inflated with zlib by the extractor's reader in-process and written
// plainly into the same files, in one run; then the same folder in launch mode, which holds
// every written file open until the launch.
// Usage: bench_extract SOURCE WORKDIR
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "archive.h"

namespace {

double Seconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return double(now.QuadPart) / double(frequency.QuadPart);
}

std::string BinDir() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, n);
  return folder.substr(0, folder.find_last_of('\\') + 1);
}

void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = folder + "\\" + name;
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(path);
      else
        DeleteFileA(path.c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(folder.c_str());
}

struct Run {
  double seconds = 0;
  SIZE_T peak = 0;
  DWORD exitCode = 1;
};

Run RunProgram(std::string command) {
  Run run;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  double start = Seconds();
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return run;
  // Wine gives a process's figures only while it lives: poll often.
  DWORD waited;
  do {
    waited = WaitForSingleObject(process.hProcess, 20);
    PROCESS_MEMORY_COUNTERS memory{};
    if (GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory)) run.peak = std::max(run.peak, memory.PeakWorkingSetSize);
  } while (waited == WAIT_TIMEOUT);
  run.seconds = Seconds() - start;
  GetExitCodeProcess(process.hProcess, &run.exitCode);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return run;
}

struct Baseline {
  double seconds = 0;
  uint64_t bytes = 0;
  int files = 0;
};

struct PlainRestorer {
  std::string folder;
  HANDLE file = INVALID_HANDLE_VALUE;
  Baseline* baseline;
};

bool PlainBegin(void* context, const ArchiveEntry& h, const char* name) {
  PlainRestorer* r = static_cast<PlainRestorer*>(context);
  std::string path = r->folder + "\\" + name;
  if (h.Attributes & AttributeDirectory) {
    CreateDirectoryA(path.c_str(), nullptr);
    return false;
  }
  r->file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ++r->baseline->files;
  return true;
}

void PlainWrite(void* context, const void* data, uint32_t length) {
  DWORD written;
  WriteFile(static_cast<PlainRestorer*>(context)->file, data, length, &written, nullptr);
}

void PlainStep(void*, uint32_t) {}

void PlainEnd(void* context, const ArchiveEntry& h) {
  PlainRestorer* r = static_cast<PlainRestorer*>(context);
  if (r->file != INVALID_HANDLE_VALUE) CloseHandle(r->file);
  r->file = INVALID_HANDLE_VALUE;
  r->baseline->bytes += static_cast<uint64_t>(h.Size);
}

bool ReadMemory(void* context, uint64_t position, void* buffer, uint32_t length) {
  const std::string* bytes = static_cast<const std::string*>(context);
  if (position > bytes->size() || length > bytes->size() - position) return false;
  memcpy(buffer, bytes->data() + position, length);
  return true;
}

// The same archive restored in this process by the extractor's reader, which inflates
// each chunk with zlib and checks each sum, straight into files: no temporary names,
// times, attributes, window or process start.
Baseline PlainRestore(const std::string& archive, const std::string& folder) {
  Baseline b;
  double start = Seconds();
  CreateDirectoryA(folder.c_str(), nullptr);
  ArchiveFile file{ReadMemory, const_cast<std::string*>(&archive), archive.size()};
  uint64_t offset = 0;
  SfxOptions options;
  if (LocateArchive(file, offset) != ArchiveOk) return b;
  memcpy(&options, archive.data() + offset, sizeof options);
  PlainRestorer restorer{folder, INVALID_HANDLE_VALUE, &b};
  RestoreSink sink{PlainBegin, PlainWrite, PlainStep, PlainEnd, &restorer, nullptr};
  if (RestoreEntries(file, offset, options, sink) != ArchiveOk) fprintf(stderr, "the reader refused the archive\n");
  b.seconds = Seconds() - start;
  return b;
}

std::string ReadAll(const std::string& path) {
  std::string bytes;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  LARGE_INTEGER size;
  if (file == INVALID_HANDLE_VALUE || !GetFileSizeEx(file, &size)) return bytes;
  bytes.resize(static_cast<size_t>(size.QuadPart));
  DWORD got = 0;
  for (size_t done = 0; done < bytes.size(); done += got)
    if (!ReadFile(file, &bytes[done], static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 24)), &got, nullptr) || !got)
      break;
  CloseHandle(file);
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: bench_extract SOURCE WORKDIR\n");
    return 2;
  }
  std::string source = argv[1], work = argv[2];
  CreateDirectoryA(work.c_str(), nullptr);
  std::string sfx = work + "\\bench-sfx.exe";
  std::string sfxOut = work + "\\sfx-out";
  std::string plainOut = work + "\\plain-out";
  std::string build = "\"" + BinDir() + "orvex.exe\" -h -c -o -me -fm -s -oo \"" + source + "\" \"" + sfx + "\" \"" +
                      sfxOut + "\\\\\"";
  if (RunProgram(build).exitCode != 0) {
    fprintf(stderr, "the build failed\n");
    return 1;
  }
  std::string archive = ReadAll(sfx);

  // Each way three times, alternating, on a fresh folder; the faster run counts (a process start
  // under Wine now and then stalls).
  Run best;
  best.seconds = 1e30;
  Baseline plain;
  plain.seconds = 1e30;
  for (int round = 0; round < 3; ++round) {
    RemoveTree(plainOut);
    Baseline b = PlainRestore(archive, plainOut);
    if (b.seconds < plain.seconds) plain = b;
    RemoveTree(sfxOut);
    Run r = RunProgram("\"" + sfx + "\"");
    if (r.exitCode != 0) {
      fprintf(stderr, "the SFX file ended with %lu\n", r.exitCode);
      return 1;
    }
    if (r.seconds < best.seconds) best.seconds = r.seconds;
    best.peak = std::max(best.peak, r.peak);
  }
  double mb = double(plain.bytes) / (1 << 20);
  printf("content: %.1f MiB in %d files, SFX file %.1f MiB\n", mb, plain.files, double(archive.size()) / (1 << 20));
  printf("sfxhead extraction:       %7.3f s  %7.1f MiB/s  %.3f ms per created file\n", best.seconds, mb / best.seconds,
         1000 * best.seconds / plain.files);
  printf("reader inflate+write:     %7.3f s  %7.1f MiB/s  %.3f ms per created file\n", plain.seconds,
         mb / plain.seconds, 1000 * plain.seconds / plain.files);
  printf("ratio (sfxhead / plain throughput): %.2f\n", plain.seconds / best.seconds);
  printf("sfxhead peak memory: %.1f MiB\n", double(best.peak) / (1 << 20));

  // The launch target is the self-delete helper, which ends at once without an argument.
  std::string target = source + "\\zz-launch.exe", launch = work + "\\bench-launch.exe";
  CopyFileA((BinDir() + "selfdelete.exe").c_str(), target.c_str(), FALSE);
  build = "\"" + BinDir() + "orvex.exe\" -h -c -o -mf -fm -s -oo -dn \"" + source + "\" \"" + launch + "\" \"" + target +
          "\" \"" + sfxOut + "\\\\\"";
  Run held;
  held.seconds = 1e30;
  bool built = RunProgram(build).exitCode == 0;
  for (int round = 0; round < 3 && built; ++round) {
    RemoveTree(sfxOut);
    Run r = RunProgram("\"" + launch + "\"");
    if (r.exitCode != 0) printf("the launch-mode SFX file ended with %lu\n", r.exitCode);
    held.seconds = std::min(held.seconds, r.exitCode == 0 ? r.seconds : 1e30);
    held.peak = std::max(held.peak, r.peak);
  }
  DeleteFileA(target.c_str());
  printf("launch mode, files held:  %7.3f s  peak memory %.1f MiB\n", held.seconds, double(held.peak) / (1 << 20));
  RemoveTree(plainOut);
  RemoveTree(sfxOut);
  return 0;
}
