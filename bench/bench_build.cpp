// Throughput of a hidden build against plain zlib level 9 over the same bytes in pieces
// of one chunk (a fresh deflateInit per piece, on one core: the floor), measured in one
// run: the real orvex.exe with one compressing thread and with one per core for wall time
// and peak memory, and the one-thread build job in this process for CPU time, which
// other work on the machine does not distort.
// Usage: bench_build SOURCE TARGET   (orvex.exe lies beside this program)
#include <windows.h>
#include <psapi.h>
#include <stdio.h>
#include <zlib.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "BuildSfx.h"
#include "orvex.h"
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

double CpuSeconds() {
  FILETIME created, exited, kernel, user;
  if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0;
  auto seconds = [](const FILETIME& t) {
    return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
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

  // The real program, twice for each thread count: under Wine a process start now and
  // then stalls for seconds, so the faster run counts. Its peak memory is polled now and
  // then and read once more at its end; Wine gives the figures of a process only while it
  // lives.
  struct Variant {
    const char* name;
    const char* switches;
    double seconds = 1e30;
    SIZE_T peak = 0;
    DWORD exitCode = 1;
  } variants[] = {{"orvex.exe -h -j1:   ", "-j1"}, {"orvex.exe -h (all): ", ""}};
  for (Variant& variant : variants) {
    std::string command = "\"" + BinDir() + "orvex.exe\" -h -c -o " + variant.switches + " \"" + source + "\\\" \"" +
                          target + "\"";
    for (int run = 0; run < 2; ++run) {
      STARTUPINFOA startup{};
      startup.cb = sizeof startup;
      PROCESS_INFORMATION process{};
      double start = Seconds();
      if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        fprintf(stderr, "cannot start orvex.exe\n");
        return 1;
      }
      DWORD waited;
      do {
        waited = WaitForSingleObject(process.hProcess, 200);
        PROCESS_MEMORY_COUNTERS memory{};
        if (GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory))
          variant.peak = std::max(variant.peak, memory.PeakWorkingSetSize);
      } while (waited == WAIT_TIMEOUT);
      variant.seconds = std::min(variant.seconds, Seconds() - start);
      GetExitCodeProcess(process.hProcess, &variant.exitCode);
      CloseHandle(process.hProcess);
      CloseHandle(process.hThread);
    }
  }

  uint64_t compressed = 0;
  double start = Seconds();
  double cpuStart = CpuSeconds();
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
  double zlibCpu = CpuSeconds() - cpuStart;

  // The build job in this process, with the resources of the built orvex.exe.
  HMODULE orvex = LoadLibraryExA((BinDir() + "orvex.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  auto load = [orvex](const char* type, const char* name) {
    HRSRC info = FindResourceA(orvex, name, type);
    return ByteSpan{info ? LockResource(LoadResource(orvex, info)) : nullptr, info ? SizeofResource(orvex, info) : 0};
  };
  BuildEnvironment environment;
  environment.Heads = SfxHeads{load("EXE", "SFXHEAD"), load("EXE", "SELFDELETE"), load("XML", "UAC")};
  BuildInputs inputs;
  inputs.Source = source;
  inputs.Target = target + ".job.exe";
  // The CPU time of this thread is the whole build's only when it compresses alone.
  inputs.Threads = 1;
  NormalizeInputs(inputs);
  cpuStart = CpuSeconds();
  try {
    BuildSfx(inputs, environment);
  } catch (const std::exception& error) {
    fprintf(stderr, "build job failed: %s\n", error.what());
    return 1;
  }
  double builderCpu = CpuSeconds() - cpuStart;

  WIN32_FILE_ATTRIBUTE_DATA info{};
  GetFileAttributesExA(target.c_str(), GetFileExInfoStandard, &info);
  uint64_t outputSize = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  double mib = static_cast<double>(bytes) / (1 << 20);
  printf("source:              %zu files, %.1f MiB\n", files.size(), mib);
  // CPU seconds are what one core spent; wall seconds also count what other work on
  // the machine took from it.
  printf("zlib level 9 pieces: %.2f s wall, %.2f s CPU, %.1f MiB/s of CPU, %llu bytes compressed\n", zlibSeconds,
         zlibCpu, mib / zlibCpu, static_cast<unsigned long long>(compressed));
  printf("build job:           %.2f s CPU, %.1f MiB/s of CPU\n", builderCpu, mib / builderCpu);
  double floor = mib / zlibSeconds;
  unsigned cores = std::thread::hardware_concurrency();
  printf("floor (zlib, 1 core): %.1f MiB/s\n", floor);
  bool ok = true;
  for (const Variant& v : variants) {
    printf("%s %.2f s wall, %.1f MiB/s, %.2f x floor, %.2f x %u cores x floor, peak working set %.1f MiB, "
           "exit status %lu\n",
           v.name, v.seconds, mib / v.seconds, mib / v.seconds / floor, mib / v.seconds / floor / cores, cores,
           static_cast<double>(v.peak) / (1 << 20), v.exitCode);
    ok = ok && v.exitCode == 0;
  }
  printf("per file (all cores): %.2f ms\n", 1000 * variants[1].seconds / static_cast<double>(files.size()));
  printf("SFX file:            %llu bytes\n", static_cast<unsigned long long>(outputSize));
  return ok ? 0 : 1;
}
