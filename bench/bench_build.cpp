// Throughput of a hidden build of orvex.exe against plain zlib level 9 over the same
// bytes in pieces of one chunk (a fresh deflateInit per piece), measured in one run.
// Usage: bench_build SOURCE TARGET   (orvex.exe lies beside this program)
#include <windows.h>
#include <psapi.h>
#include <stdio.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "u_shared.h"

namespace {

double Seconds() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Walk(const std::string& folder, std::vector<std::string>& files) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "*.*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      Walk(folder + name + "\\", files);
    else
      files.push_back(folder + name);
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

// Reads every file in pieces of one chunk and hands each piece to `piece`.
template <typename Piece>
uint64_t ForEachPiece(const std::vector<std::string>& files, std::vector<uint8_t>& buffer, Piece piece) {
  uint64_t total = 0;
  for (const std::string& path : files) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;
    DWORD n = 0;
    while (ReadFile(file, buffer.data(), ChunkSize, &n, nullptr) && n > 0) {
      piece(buffer.data(), n);
      total += n;
    }
    CloseHandle(file);
  }
  return total;
}

std::string BinDir() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  return folder.substr(0, folder.find_last_of('\\') + 1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: bench_build SOURCE TARGET\n");
    return 2;
  }
  std::string source = argv[1];
  if (source.back() != '\\') source += '\\';
  std::string target = argv[2];
  std::vector<std::string> files;
  Walk(source, files);
  std::vector<uint8_t> buffer(ChunkSize), packed(compressBound(ChunkSize));

  // A first pass brings every file into the cache, so both measurements read from memory.
  uint64_t bytes = ForEachPiece(files, buffer, [](const uint8_t*, DWORD) {});

  std::string command = "\"" + BinDir() + "orvex.exe\" -h -c -o \"" + source + "\\\" \"" + target + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  double start = Seconds();
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    fprintf(stderr, "cannot start orvex.exe\n");
    return 1;
  }
  SIZE_T peak = 0;
  while (WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT) {
    PROCESS_MEMORY_COUNTERS memory{};
    if (GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory)) {
      peak = std::max(peak, std::max(memory.PeakWorkingSetSize, memory.WorkingSetSize));
      peak = std::max(peak, memory.PeakPagefileUsage);
    }
  }
  double builderSeconds = Seconds() - start;
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);

  uint64_t compressed = 0;
  start = Seconds();
  ForEachPiece(files, buffer, [&](const uint8_t* data, DWORD n) {
    z_stream stream{};
    deflateInit(&stream, 9);
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = n;
    stream.next_out = packed.data();
    stream.avail_out = static_cast<uInt>(packed.size());
    deflate(&stream, Z_FINISH);
    compressed += stream.total_out;
    deflateEnd(&stream);
  });
  double zlibSeconds = Seconds() - start;

  WIN32_FILE_ATTRIBUTE_DATA info{};
  GetFileAttributesExA(target.c_str(), GetFileExInfoStandard, &info);
  uint64_t outputSize = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  double mib = static_cast<double>(bytes) / (1 << 20);
  printf("source:              %zu files, %.1f MiB\n", files.size(), mib);
  printf("zlib level 9 pieces: %.2f s, %.1f MiB/s, %llu bytes compressed\n", zlibSeconds, mib / zlibSeconds,
         static_cast<unsigned long long>(compressed));
  printf("orvex.exe -h:        %.2f s, %.1f MiB/s, exit status %lu\n", builderSeconds, mib / builderSeconds,
         exitCode);
  printf("ratio builder/zlib:  %.3f\n", zlibSeconds / builderSeconds);
  printf("SFX file:            %llu bytes\n", static_cast<unsigned long long>(outputSize));
  printf("builder peak memory: %.1f MiB\n", static_cast<double>(peak) / (1 << 20));
  return exitCode == 0 ? 0 : 1;
}
