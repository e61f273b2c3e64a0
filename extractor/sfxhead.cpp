// The extractor's main sequence: open the own file, find and read the archive, validate
// it whole, extract it, then hand over to the run phase. Every way out is FinishSfx.
#include "sfxhead.h"

#include "tinyrt.h"
#include "u_names.h"
#include "u_upcase.h"
#include "archivecore.h"
#include "u_translations.h"
#include "window.h"

SfxOptions gOptions;
int64_t gTotalSize = 0;
int64_t gDoneBytes = 0;
WCHAR gOwnPath[PathCapacity];
HANDLE gOwnFile;  // opened first thing
ArchiveFile gArchive;
uint64_t gArchiveOffset = 0;
WCHAR gExtractionFolder[PathCapacity];
WCHAR gLaunchTarget[PathCapacity];
WCHAR gHelperPath[PathCapacity];
PathList gExtractedFiles;
PathList gCreatedFolders;
HANDLE gMutex = nullptr;
DWORD gExitCode = 0;

void FailWithLastError(const WCHAR* subject) {
  DWORD code = GetLastError();
  FinishSfx(subject, code ? code : ERROR_HANDLE_EOF);
}

void FailureGuard() { FailWithLastError(gOwnPath); }

void FailWithOwnPath(DWORD code) { FinishSfx(gOwnPath, code); }

void* Grown(void* items, int count, int& capacity, size_t size) {
  if (count < capacity) return items;
  int more = capacity ? capacity * 2 : 64;
  void* grown = Allocated(size * more);
  if (count) memcpy(grown, items, size * count);
  free(items);
  capacity = more;
  return grown;
}

void* Allocated(size_t size) {
  void* block = malloc(size);
  if (!block) FailWithOwnPath(ERROR_NOT_ENOUGH_MEMORY);
  return block;
}

void AddPath(PathList& list, const WCHAR* path, const FileId& id, const FileId& folder) {
  list.entries = static_cast<PathEntry*>(Grown(list.entries, list.count, list.capacity, sizeof(PathEntry)));
  size_t size = (lstrlenW(path) + 1) * sizeof(WCHAR);
  WCHAR* copy = static_cast<WCHAR*>(memcpy(Allocated(size), path, size));
  list.entries[list.count++] = PathEntry{copy, id, folder};
}

void CopyText(WCHAR* to, const WCHAR* from, int capacity) {
  int i = 0;
  for (; i < capacity - 1 && from[i]; ++i) to[i] = from[i];
  to[i] = 0;
}

void EnsureBackslash(WCHAR* path) {
  int length = lstrlenW(path);
  if ((length == 0 || path[length - 1] != '\\') && length + 1 < PathCapacity) {
    path[length] = '\\';
    path[length + 1] = 0;
  }
}

HANDLE OpenPath(const WCHAR* path, DWORD access, DWORD share, DWORD flags) {
  return CreateFileW(LongPath(path), access, share, nullptr, OPEN_EXISTING, flags, nullptr);
}

const WCHAR* LongPath(const WCHAR* path) {
  static WCHAR longPath[PathCapacity + 8];
  if (lstrlenW(path) < MAX_PATH || (path[0] == '\\' && path[1] == '\\' && path[2] == '?')) return path;
  bool unc = path[0] == '\\' && path[1] == '\\';
  CopyText(longPath, L"\\\\?\\UNC", unc ? 8 : 5);
  CopyText(longPath + lstrlenW(longPath), path + unc, PathCapacity);
  return longPath;
}

WCHAR* Widened(const char* text, UINT codePage, int length) {
  int units = MultiByteToWideChar(codePage, 0, text, length, nullptr, 0);
  WCHAR* wide = static_cast<WCHAR*>(Allocated((units + 1) * sizeof(WCHAR)));
  wide[MultiByteToWideChar(codePage, 0, text, length, wide, units)] = 0;
  return wide;
}

WCHAR* OptionText(bool parameters) {
  if (gArchiveTexts.carried) return Widened(parameters ? gArchiveTexts.parameters : gArchiveTexts.customFolder, CP_UTF8);
  // Either field of the record, up to its NUL or its end, whatever it holds.
  const char* field = parameters ? gOptions.CmdParameters : gOptions.CustomFolder;
  int size = parameters ? sizeof gOptions.CmdParameters : sizeof gOptions.CustomFolder, length = 0;
  while (length < size && field[length]) ++length;
  return Widened(field, CP_ACP, length);
}

bool IsSafeStoredName(const char* name, size_t length) {
  static WCHAR wide[MaxEntryNameLength];
  int units = MultiByteToWideChar(CP_ACP, 0, name, static_cast<int>(length), wide, MaxEntryNameLength);
  return units > 0 && IsSafeWideName(reinterpret_cast<const uint16_t*>(wide), static_cast<size_t>(units));
}

// The upper-casing by which the scan compares names: the system's own, of one character (a
// pointer whose high word is zero); ntdll's, which the file system uses, would be an import
// of a DLL the head does not name.
uint16_t UpcaseUnit(uint16_t unit) {
  return static_cast<uint16_t>(reinterpret_cast<UINT_PTR>(CharUpperW(reinterpret_cast<LPWSTR>(static_cast<UINT_PTR>(unit)))));
}

namespace {

// Positioned reads, one system call each. A read that fails or comes up short ends the
// run through the failure guard, so callers never see a failed read.
bool ReadOwnFile(void*, uint64_t position, void* buffer, uint32_t length) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(position);
  at.OffsetHigh = static_cast<DWORD>(position >> 32);
  DWORD got = 0;
  if (!ReadFile(gOwnFile, buffer, length, &got, &at)) FailureGuard();
  if (got != length) FailWithOwnPath(ERROR_HANDLE_EOF);
  return true;
}

const char* NextChar(const char* p) { return CharNextA(p); }

// The identifier names the mutex and a folder below the temporary folder: anything but
// letters and digits could name another object or leave that folder.
bool IsPlainIdentifier(const char* id) {
  if (!*id) return false;  // "~sfx" and a nameless mutex would be shared by every such file
  for (; *id; ++id) {
    char c = *id;
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
  }
  return true;
}

// A long list keeps the window responsive.
void CheckEntry(void*, const ArchiveEntry&, const char*) {
  if (!gOptions.SilentMode) PumpMessages();
}

void CheckOneInstance(const char* id) {
  if (!gOptions.OneInstance) return;
  gMutex = CreateMutexA(nullptr, TRUE, id);
  // No mutex (the name taken by another kind of object, say) would mean no guard at all.
  if (!gMutex) FailureGuard();
  if (GetLastError() == ERROR_ALREADY_EXISTS) FailWithOwnPath(ERROR_SINGLE_INSTANCE_APP);
}

}  // namespace

extern "C" __attribute__((force_align_arg_pointer)) void ProgramEntry() {
  RestrictDllSearch();
  gNextNameChar = NextChar;
  DWORD length = GetModuleFileNameW(nullptr, gOwnPath, PathCapacity);
  if (length == 0 || length >= PathCapacity) FailureGuard();

  gOwnFile = OpenPath(gOwnPath, GENERIC_READ, FILE_SHARE_READ, FILE_ATTRIBUTE_NORMAL);
  LARGE_INTEGER size;
  if (gOwnFile == INVALID_HANDLE_VALUE || !GetFileSizeEx(gOwnFile, &size)) FailureGuard();
  gArchive.read = ReadOwnFile;
  gArchive.size = static_cast<uint64_t>(size.QuadPart);
  uint32_t code = LocateArchive(gArchive, gArchiveOffset);
  if (code != ArchiveOk) FailWithOwnPath(code);
  ReadOwnFile(nullptr, gArchiveOffset, &gOptions, sizeof gOptions);

  char id[sizeof gOptions.InstanceId + 1];
  memcpy(id, gOptions.InstanceId, sizeof gOptions.InstanceId);
  id[sizeof gOptions.InstanceId] = 0;
  if (!IsPlainIdentifier(id)) FailWithOwnPath(ERROR_INVALID_DATA);
  CheckOneInstance(id);
  ChooseLanguage();
  CreateExtractorWindow();
  PumpMessages();

  code = ScanEntries(gArchive, gArchiveOffset, gOptions, gTotalSize, CheckEntry);
  if (code != ArchiveOk) FailWithOwnPath(code);
  ExtractEntries();
  CloseHandle(gOwnFile);
  gOwnFile = INVALID_HANDLE_VALUE;
  RunPhase();
}
